// The room's side of private chat against a scripted room server: what an invitation carries
// and when it gives up, and how an invitation for the user is answered: unasked for a hidden
// window or a greeting below the threshold, otherwise as the person answers the question; the
// settings dialog of the threshold and the greeting range; one file offer of each side at a
// time in the private room; the private room's gifts and what its pictures show.

#include "tests/room/RoomFixture.h"

#include "protocol/Commands.h"
#include "room/Gifts.h"
#include "room/PrivateFiles.h"
#include "room/PrivateInvite.h"
#include "room/PrivateInviteDlgs.h"
#include "room/PrivateLink.h"
#include "room/PrivateRoomDlg.h"
#include "room/PrivateRoomView.h"
#include "room/ResponseDlg.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <tuple>

using namespace tavotest;

namespace {

// The person types each amount in turn and presses OK, until the dialog takes one.
void Typed(CRoomFixture& f, const QStringList& amounts) {
    f.ui.dialogs.Script(CPriChatSubmitDlg::IDD, [amounts](CDialogModel& d) {
        auto& dialog = static_cast<CPriChatSubmitDlg&>(d);
        dialog.SetReason(QStringLiteral("聊聊"));
        for (const QString& amount : amounts) {
            dialog.SetAmountText(amount);
            dialog.OnOK();
            if (!dialog.IsOpen()) {
                return;
            }
        }
        dialog.OnCancel();
    });
}

CKParam Invitation(int amount, bool greeting = false) {
    return Packet(CMD_PRIVATE_REQUESTED, {{20, "amy"}, {30, greeting}, {40, amount}, {50, "唱歌"}});
}

bool AnswerOf(const CPacketCopy& answer, QString& text) {
    CKParam p = answer.Loaded();
    text = p.TextOr(30, "<none>");
    return p.BoolOr(20, false);
}

}  // namespace

TEST(PrivateInvite, AGreetingOutsideTheRangeKeepsTheDialogOpenAndTheTimerGivesUp) {
    CRoomFixture f;
    f.server.members << MemberText("amy", "艾米", 10);
    ASSERT_TRUE(f.Enter());
    CPrivateInvite& invite = f.Room().Invite();
    invite.SetGreetingRange(0, 200);
    EXPECT_EQ(invite.Invite(QString()), -1);
    EXPECT_EQ(f.privateView.Count("请选择请求私聊的用户"), 1);

    // 5 is refused in place, 0.29 goes out: below 0.3 it is no greeting, and it is truncated
    // to hundredths on its way.
    Typed(f, {"5", "0.29"});
    ASSERT_EQ(invite.Invite("amy"), 0);
    EXPECT_TRUE(f.ui.prompt.Saw("请输入0.00塔沃币--2.00塔沃币"));
    ASSERT_TRUE(f.server.main.WaitFor(CMD_PRIVATE_REQUEST));
    const CPacketCopy sent = f.server.main.Received(CMD_PRIVATE_REQUEST).front();
    EXPECT_EQ(TextOf(sent, 20), "amy");
    EXPECT_EQ(IntOf(sent, 40), 29);
    QString reason;
    EXPECT_FALSE(AnswerOf(sent, reason)) << "key 30 says a greeting went with it";
    EXPECT_EQ(TextOf(sent, 50), "聊聊");
    EXPECT_TRUE(invite.RequestPending());
    // One invitation at a time.
    EXPECT_EQ(invite.Invite("amy"), -1);
    EXPECT_EQ(f.privateView.Count("之前请求还没返,请稍候再试."), 1);

    f.clock.Advance(39000);
    EXPECT_TRUE(invite.RequestPending());
    f.clock.Advance(1000);
    EXPECT_FALSE(invite.RequestPending());
    EXPECT_EQ(f.privateView.Count("私聊请求 超时"), 1);
    ASSERT_TRUE(f.server.main.WaitFor(CMD_PRIVATE_GIVE_UP));
    EXPECT_EQ(IntOf(f.server.main.Received(CMD_PRIVATE_GIVE_UP).front(), 20), 520);
}

TEST(PrivateInvite, AnInvitationIsRefusedUnaskedWhenHiddenOrBelowTheThreshold) {
    CRecordingNotifier notifier;
    CRoomFixture f;
    f.server.members << MemberText("amy", "艾米", 10);
    ASSERT_TRUE(f.Enter());
    CPrivateInvite& invite = f.Room().Invite();
    invite.SetThreshold(150);
    const int questionsBefore = f.ui.dialogs.Count(CReqPriChatDlg::IDD);

    f.Deliver(Invitation(149, true));
    f.Room().SetShown(false);
    f.Deliver(Invitation(500, true));
    f.Room().SetShown(true);
    f.ui.dialogs.Script(CReqPriChatDlg::IDD, [](CDialogModel& d) { d.OnOK(); });
    f.Deliver(Invitation(150, true));
    ASSERT_TRUE(f.server.main.WaitFor(CMD_PRIVATE_ANSWER, 3));
    const auto answers = f.server.main.Received(CMD_PRIVATE_ANSWER);
    QString text;
    EXPECT_FALSE(AnswerOf(answers[0], text));
    EXPECT_TRUE(text.startsWith("私聊请求被拒绝!邀请对方私聊的最低门槛是"));
    EXPECT_TRUE(text.endsWith(" 1.50塔沃币")) << text.toStdString();
    EXPECT_EQ(f.privateView.Count("回复私聊:艾米(amy) 私聊请求,已拒绝了对方的私聊请求"), 1);
    EXPECT_FALSE(AnswerOf(answers[1], text));
    EXPECT_EQ(text, "");
    EXPECT_TRUE(AnswerOf(answers[2], text));
    EXPECT_EQ(text, "amy");
    // Only the last was asked, with its greeting.
    EXPECT_EQ(f.ui.dialogs.Count(CReqPriChatDlg::IDD), questionsBefore + 1);
    EXPECT_TRUE(invite.AnswerPending());
    EXPECT_EQ(f.privateView.Count("私聊请求:已接受"), 1);
    // Only the invitation put to the user reaches the desktop.
    EXPECT_EQ(notifier.notices,
              QStringList(
                  QStringLiteral("%1 艾米(amy) 邀请您私聊: 唱歌").arg(NOTICE_PRIVATE_INVITATION)));

    // The private room is ready: the room closes for it and the hall enters it with the
    // number the room kept.
    f.ui.dialogs.Script(CResponseDlg::IDD, [&f](CDialogModel&) {
        CKParam entered = Reply(CMD_ENTER_PRIVATE_REPLY);
        entered.SetCString(30, "10.0.0.9");
        f.server.SendMain(std::move(entered));
    });
    f.server.SendMain(Packet(CMD_MOVE_TO_PRIVATE, {{20, 77}}));
    CPrivateRoomDlg& privateRoom = f.entry->PrivateRoom();
    ASSERT_TRUE(WaitUntil([&] { return privateRoom.IsActive(); }));
    EXPECT_FALSE(f.Room().IsWindow());
    EXPECT_FALSE(invite.AnswerPending());
    ASSERT_TRUE(f.server.main.WaitFor(CMD_LEAVE_PRIVATE));
    const CPacketCopy enter = f.server.main.Received(CMD_ENTER_PRIVATE).front();
    EXPECT_EQ(TextOf(enter, 20), "me");
    EXPECT_EQ(IntOf(enter, 40), 77);
    EXPECT_EQ(privateRoom.OwnReportedAddress(), "10.0.0.9");
    EXPECT_EQ(f.entry->MainConnection().Target(), CChatSocket::TARGET_PRIVATE_ROOM);
    EXPECT_EQ(f.entry->SecondConnection().Target(), CChatSocket::TARGET_PRIVATE_ROOM);
    EXPECT_EQ(privateRoom.Title(), "等待私聊对象进入中...");
}

TEST(PrivateInvite, TheSettingsDialogRefusesWhatIsNoAmountOrNoRangeAndKeepsTheRest) {
    CRoomFixture f;
    ASSERT_TRUE(f.Enter());
    CPrivateInvite& invite = f.Room().Invite();
    f.ui.dialogs.Script(CPrivateSettingsDlg::IDD, [](CDialogModel& d) {
        auto& settings = static_cast<CPrivateSettingsDlg&>(d);
        // Each refusal keeps the dialog open for the next try.
        for (const auto& [threshold, lowest, highest] :
             {std::tuple("-1", "0", "2"), std::tuple("1.5", "三", "2"), std::tuple("1.5", "3", "2"),
              std::tuple("1.5", "0.3", "20")}) {
            settings.SetThresholdText(threshold);
            settings.SetLowestText(lowest);
            settings.SetHighestText(highest);
            settings.OnOK();
            if (!settings.IsOpen()) {
                return;
            }
        }
        settings.OnCancel();
    });
    CPrivateSettingsDlg dialog(invite);
    EXPECT_EQ(dialog.ThresholdText(), "0.00");
    ASSERT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(f.ui.prompt.Texts().filter("请输入不小于0的金额.").size(), 2);
    EXPECT_EQ(f.ui.prompt.Texts().filter("见面礼的最低金额不能高于最高金额.").size(), 1);
    EXPECT_EQ(invite.Threshold(), 150);
    EXPECT_EQ(invite.GreetingLowest(), 30);
    EXPECT_EQ(invite.GreetingHighest(), 2000);
    // A later run starts from what was saved.
    CPrivateInvite later(f.Room());
    later.OnRoomOpened();
    EXPECT_EQ(later.Threshold(), 150);
    EXPECT_EQ(later.GreetingHighest(), 2000);
}

TEST(PrivateInvite, ThePrivateRoomKeepsOneFileOfferOfEachSideOpenAtATime) {
    CRoomFixture f;
    ASSERT_TRUE(f.Enter());
    CPrivateRoomDlg& room = f.entry->PrivateRoom();
    CRecordingChatView chat;
    CPrivateLink link(room);
    CPrivateFiles files(room, link, f.entry->MainConnection());
    room.SetViews(nullptr, &chat);
    room.Open("me", "我", true);
    room.SetActive(true);
    QTemporaryDir dir;
    const QString file = dir.filePath("a.txt");
    QFile(file).open(QIODevice::WriteOnly);

    // The user's second offer, while the first waits for its answer, is refused with a line.
    f.ui.dialogs.Script(CFileChoiceDlg::IDD_FILE_TO_SEND, [file](CDialogModel& d) {
        static_cast<CFileChoiceDlg&>(d).SetPath(file);
        d.OnOK();
    });
    files.Offer(room);
    files.Offer(room);
    ASSERT_TRUE(f.server.main.WaitFor(CMD_FILE_OFFER));
    EXPECT_EQ(chat.Count("上一个文件还在等待对方回答"), 1);

    // The peer offers again while the user is still choosing where to save the first: the
    // second is refused at once and never asked.
    f.ui.dialogs.Script(CFileChoiceDlg::IDD_FOLDER_TO_SAVE, [&](CDialogModel& d) {
        CKParam again = Packet(CMD_FILE_OFFERED);
        room.DispatchPacket(again);
        static_cast<CFileChoiceDlg&>(d).SetPath(dir.path());
        d.OnOK();
    });
    CKParam offered = Packet(CMD_FILE_OFFERED);
    room.DispatchPacket(offered);
    ASSERT_TRUE(f.server.main.WaitFor(CMD_FILE_ANSWER, 2));
    const auto answers = f.server.main.Received(CMD_FILE_ANSWER);
    QString unused;
    EXPECT_FALSE(AnswerOf(answers[0], unused));
    EXPECT_TRUE(AnswerOf(answers[1], unused));
    EXPECT_EQ(f.ui.prompt.Texts().filter("对方请求发送文件").size(), 1);
    EXPECT_EQ(f.server.main.Received(CMD_FILE_OFFER).size(), 1u);
    room.Close();
    room.SetViews(nullptr, nullptr);
}

namespace {

struct CPicturesView : CNullPrivateRoomView {
    void SetVideoPicture(int area, EVideoPicture picture) override { pictures[area] = picture; }
    std::map<int, EVideoPicture> pictures;
};

}  // namespace

TEST(PrivateInvite, ThePrivateRoomGivesOneItemPlaysGiftsAsTheRoomDoesAndShowsItsCameraOff) {
    QTemporaryDir folder;
    ASSERT_TRUE(WriteFile(folder.filePath("skin/public/gift/gift.ini"),
                          "[Main]\nCount=1\n[Gift1]\nNumber=1001\nName=玫瑰\nValue=100\n"));
    ASSERT_TRUE(WriteFile(folder.filePath("img/gift/1001.gif"), "GIF89a"));
    CRoomFixture f;
    f.Room().Options().programFolder = folder.path();
    ASSERT_TRUE(f.Enter());
    CRecordingGiftView animations;
    f.Room().Gifts().SetView(&animations);
    CPrivateRoomDlg& room = f.entry->PrivateRoom();
    CPicturesView view;
    CRecordingChatView chat;
    room.SetViews(&view, &chat);
    room.Open("me", "我", true);
    room.SetActive(true);
    // Until the user turns the camera on, the own picture says it is off; the peer's waits.
    EXPECT_EQ(view.pictures[PRIVATE_VIDEO_OWN], EVideoPicture::Closed);
    EXPECT_EQ(view.pictures[PRIVATE_VIDEO_PEER], EVideoPicture::Idle);

    f.server.main.AnswerWith(CMD_PEER_INFO, CMD_PEER_INFO_REPLY, {{30, "amy"}, {40, "艾米"}});
    CKParam arrived = Packet(CMD_PEER_IN_PRIVATE_ROOM, {{20, "amy"}});
    room.DispatchPacket(arrived);
    ASSERT_TRUE(WaitUntil([&] { return room.PeerPresent(); }));

    // The request names the gift alone, so the dialog offers no quantity to choose.
    bool offered = true;
    f.ui.dialogs.Script(CGiveGiftDlg::IDD, [&offered](CDialogModel& d) {
        auto& give = static_cast<CGiveGiftDlg&>(d);
        offered = give.OffersQuantity();
        give.SetQuantity(5);
        give.Choose(0);
        give.OnOK();
    });
    ASSERT_EQ(room.AskGift(), 0);
    EXPECT_FALSE(offered);
    ASSERT_TRUE(f.server.main.WaitFor(CMD_GIFT));
    CKParam sent = f.server.main.Received(CMD_GIFT)[0].Loaded();
    EXPECT_EQ(sent.IntOr(30, 0), 1001);
    short unused = 0;
    EXPECT_NE(sent.GetShortInt(40, unused), 0);

    // An announced gift plays its animation from our picture folder, within the room's bounds;
    // one from elsewhere is not played.
    CKParam given = Packet(CMD_GIFT_GIVEN, {{20, "me"},
                                            {30, 1001},
                                            {35, "玫瑰"},
                                            {40, 100},
                                            {50, "amy"},
                                            {70, "img/gift/1001.gif"},
                                            {80, 100000},
                                            {100, 3}});
    room.DispatchPacket(given);
    CKParam foreign =
        Packet(CMD_GIFT_GIVEN,
               {{20, "me"}, {30, 1001}, {35, "玫瑰"}, {50, "amy"}, {70, "http://10.9.9.9/g.gif"}});
    room.DispatchPacket(foreign);
    ASSERT_EQ(animations.shown.size(), 1u);
    EXPECT_TRUE(animations.shown[0].source.endsWith("/img/gift/1001.gif"));
    EXPECT_EQ(animations.shown[0].width, 4096);
    EXPECT_EQ(animations.shown[0].seconds, 3);
    EXPECT_EQ(chat.Count("赠送了"), 2);
    room.Close();
    room.SetViews(nullptr, nullptr);
    f.Room().Gifts().SetView(nullptr);
}
