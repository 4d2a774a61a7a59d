// Room administration on the client: what each request checks before it leaves and what it
// carries, the dialogs' checks, the announcements' lines and state, a disabled room, the
// menus' rules, and announcements that name nobody the room knows. The kick, the quiet ban and
// the same nickname refused are walked whole by the console's admin script.

#include "tests/room/RoomFixture.h"

#include "protocol/Commands.h"
#include "room/AdminDialogs.h"
#include "room/ChatFormat.h"
#include "room/ChatText.h"
#include "room/ManageMenu.h"
#include "room/MemberMenu.h"
#include "room/MicOrder.h"
#include "room/RoomAdministration.h"
#include "room/RoomMembers.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace tavotest;

namespace {

// Enters a room where the user has a rank and bob and amy are members.
void EnterAs(CRoomFixture& f, int rank) {
    f.server.members = QStringList{MemberText(QStringLiteral("me"), QStringLiteral("我"), rank),
                                   MemberText(QStringLiteral("amy"), QStringLiteral("艾米"), 20),
                                   MemberText(QStringLiteral("bob"), QStringLiteral("鲍勃"), 30)};
    f.server.settings = {{290, "admin"}, {300, "广告,<b>"}};
    CForbiddenText::Get().ResetForTests();
    ASSERT_TRUE(f.Enter());
}

// Fills the next dialog of a kind and presses OK; a dialog its checks keep open is cancelled.
template <typename TDialog>
void Answer(CRoomFixture& f, std::function<void(TDialog&)> fill) {
    f.ui.dialogs.Script(TDialog::IDD, [fill](CDialogModel& d) {
        auto& dialog = static_cast<TDialog&>(d);
        fill(dialog);
        dialog.OnOK();
        if (dialog.IsOpen()) {
            dialog.OnCancel();
        }
    });
}

const tagMemberEntry* Entry(const std::vector<tagMemberEntry>& entries, EMemberEntry id) {
    const auto it = std::find_if(entries.begin(), entries.end(),
                                 [id](const tagMemberEntry& e) { return e.id == id; });
    return it == entries.end() ? nullptr : &*it;
}

}  // namespace

TEST(RoomAdministration, DialogsRefuseBeforeAnythingIsSent) {
    CRoomFixture f;
    EnterAs(f, 60);
    CRoomAdministration& admin = f.Room().Admin();

    // A listed string in the topic is named with its angle brackets in full width.
    Answer<CModifyTopicDlg>(f, [](CModifyTopicDlg& d) { d.SetTopic(QStringLiteral("今晚<b>")); });
    EXPECT_EQ(admin.ChangeTopic(), -1);
    EXPECT_TRUE(f.ui.prompt.Saw(QStringLiteral("请重新输入,不能包含字符: ＜b＞")));
    // Locking needs the password twice, the same.
    Answer<CModifyLockPasswordDlg>(f, [](CModifyLockPasswordDlg& d) {
        d.SetLock(true);
        d.SetPassword(QStringLiteral("a"));
        d.SetConfirmation(QStringLiteral("b"));
    });
    EXPECT_EQ(admin.ChangeLock(), -1);
    EXPECT_TRUE(f.ui.prompt.Saw(QStringLiteral("确认密码不正确,请重新输入!")));
    // Public text that is on already.
    EXPECT_EQ(admin.SetPublicText(true), -1);
    EXPECT_TRUE(f.privateView.Has(QStringLiteral("当前已经是允许文本公聊")));
    // A member who left.
    EXPECT_EQ(admin.Kick(QStringLiteral("ghost")), -1);
    EXPECT_TRUE(f.privateView.Has(QStringLiteral("此人已离开房间")));

    for (short code : {CMD_TOPIC, CMD_LOCK_ROOM, CMD_PUBLIC_TEXT_CONTROL, CMD_KICK}) {
        EXPECT_TRUE(f.SentMain(code).empty()) << code;
    }
    EXPECT_EQ(f.ui.dialogs.Count(CKickManDlg::IDD), 0);
}

TEST(RoomAdministration, RequestsCarryTheirKeys) {
    CRoomFixture f;
    EnterAs(f, 60);
    CRoomAdministration& admin = f.Room().Admin();

    Answer<CModifyNameDlg>(f, [](CModifyNameDlg& d) { d.SetNickname(QStringLiteral("新|#01")); });
    ASSERT_EQ(admin.ChangeNickname(), 0);
    const auto nick = f.SentMain(CMD_NICKNAME);
    ASSERT_EQ(nick.size(), 1u);
    EXPECT_EQ(TextOf(nick[0], 20), QStringLiteral("新| #01"));
    // The nickname carries the configured host; the kick does not.
    EXPECT_TRUE(HasFields(nick[0], {{101, "10.0.0.9"}, {102, 7001}}));

    Answer<CKickManDlg>(f, [](CKickManDlg& d) { d.ChooseReason(1); });
    ASSERT_EQ(admin.Kick(QStringLiteral("amy")), 0);
    EXPECT_EQ(f.ui.dialogs.History().back().title, QStringLiteral("踢人: 艾米(amy)"));
    const auto kick = f.SentMain(CMD_KICK);
    ASSERT_EQ(kick.size(), 1u);
    EXPECT_TRUE(HasFields(kick[0], {{20, "amy"}, {30, CKickManDlg::Reasons().at(1)}}));
    EXPECT_EQ(kick[0].Loaded().TextOr(101, QStringLiteral("none")), QStringLiteral("none"));

    ASSERT_EQ(admin.QuickBan(QStringLiteral("amy")), 0);
    const auto ban = f.SentMain(CMD_BAN);
    ASSERT_EQ(ban.size(), 1u);
    EXPECT_TRUE(HasFields(ban[0], {{30, 99}, {40, 0}}));
}

TEST(RoomAdministration, AnnouncementsChangeWhatTheRoomShowsOrNamingNobodyNothing) {
    CRoomFixture f;
    EnterAs(f, 20);
    CRoomDlg& room = f.Room();

    f.Deliver(Packet(CMD_NICKNAME_CHANGED, {{20, "amy"}, {30, "小艾"}}));
    EXPECT_TRUE(f.privateView.Has(QStringLiteral("艾米(amy) 修改昵称为: 小艾")));
    EXPECT_EQ(room.Members().Find(QStringLiteral("amy"))->nickname, QStringLiteral("小艾"));

    f.Deliver(Packet(CMD_TOPIC_CHANGED, {{20, "bob"}, {30, "<i>新</i>"}}));
    EXPECT_EQ(room.Settings().topic, QStringLiteral("<i>新</i>"));
    EXPECT_TRUE(
        f.privateView.Has(QStringLiteral("鲍勃(bob) 修改房间宣言为: &lt;i&gt;新&lt;/i&gt;")));

    // Public text off: a member below operator may no longer write to everybody.
    f.Deliver(Packet(CMD_PUBLIC_TEXT_CHANGED, {{20, "bob"}, {30, false}}));
    EXPECT_TRUE(f.privateView.Has(QStringLiteral("鲍勃(bob) 禁止了公聊打字.")));
    EXPECT_EQ(room.Chat().SendText(QStringLiteral("大家好")), -1);
    EXPECT_TRUE(f.privateView.Has(QStringLiteral("此房暂时不允许公聊!")));

    // The user may no longer grab the microphone, then may again.
    f.Deliver(Packet(CMD_GRAB_CONTROL_CHANGED, {{20, 0}, {30, "me"}, {40, "bob"}}));
    EXPECT_TRUE(f.privateView.Has(QStringLiteral("我(me) 被 鲍勃(bob) 禁止了抢麦")));
    EXPECT_EQ(room.Mic().Grab(), -1);
    EXPECT_TRUE(f.privateView.Has(QStringLiteral("您已被禁止抢麦!")));
    f.Deliver(Packet(CMD_GRAB_CONTROL_CHANGED, {{20, 1}, {30, "me"}, {40, "bob"}}));
    EXPECT_FALSE(room.Mic().GrabForbidden());

    // Typing: the user's own text is refused naming who forbade it.
    f.Deliver(Packet(CMD_TYPE_CONTROL_CHANGED, {{20, 0}, {30, "me"}, {40, "bob"}}));
    f.privateView.fragments.clear();
    room.Chat().SetTarget(QStringLiteral("amy"));
    EXPECT_EQ(room.Chat().SendText(QStringLiteral("悄悄话")), -1);
    EXPECT_TRUE(f.privateView.Has(QStringLiteral("你 被 鲍勃(bob) 禁止了打字")));

    f.Deliver(Packet(CMD_ROOM_LOCK_CHANGED, {{20, QString()}, {30, 1}}));
    EXPECT_TRUE(room.Admin().Locked());
    EXPECT_TRUE(f.privateView.Has(QStringLiteral("后台管理员 将房间上锁")));

    f.Deliver(Packet(CMD_VIDEO_CONTROL_CHANGED, {{20, "bob"}, {30, 0}, {40, 2}}));
    EXPECT_TRUE(f.privateView.Has(QStringLiteral("鲍勃(bob) 禁止二号视频")));
    EXPECT_TRUE(room.Admin().VideoAllowed());

    f.Deliver(Packet(CMD_VIDEO_PERMISSION_CHANGED, {{20, "amy"}, {30, false}, {40, "不雅"}}));
    EXPECT_TRUE(f.privateView.Has(QStringLiteral("小艾(amy)禁止视频! 理由:不雅")));

    f.Deliver(Packet(CMD_ROOM_NAME_CHANGED, {{20, QString()}, {30, "新房名"}}));
    EXPECT_EQ(room.Settings().name, QStringLiteral("新房名"));
    EXPECT_TRUE(f.privateView.Has(QStringLiteral("后台管理员 修改了房间名字!新名字是: 新房名")));

    // Announcements naming nobody the room knows write the identifier and change nothing.
    const int redraws = f.roomView.redraws;
    f.Deliver(Packet(CMD_NICKNAME_FORCED, {{20, "ghost"}, {30, "bob"}, {40, "鬼"}}));
    EXPECT_TRUE(
        f.privateView.Has(QStringLiteral("ghost 被 鲍勃(bob) 强制修改了昵称,新昵称是: 鬼")));
    f.Deliver(Packet(CMD_TYPE_CONTROL_CHANGED, {{20, 0}, {30, "ghost"}, {40, "bob"}}));
    EXPECT_FALSE(f.Room().Admin().TypingForbidden(QStringLiteral("ghost")));
    EXPECT_EQ(f.roomView.redraws, redraws);
    EXPECT_EQ(f.Room().Members().List().Count(), 3);
}

// The kick and the quiet ban of the user are the console's admin script's; a disabled room
// says why and until when, and closes.
TEST(RoomAdministration, ADisabledRoomEndsTheStayWithItsReasonAndEnd) {
    CRoomFixture f;
    EnterAs(f, 20);
    f.Deliver(Packet(CMD_ROOM_DISABLED, {{20, "违规"}, {30, 0}, {40, "admin"}}));
    EXPECT_FALSE(f.Room().IsWindow());
    const QString shown = f.ui.prompt.Texts().last();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("该房间被禁止使用,被禁理由:违规, 解禁时间:")));
    EXPECT_TRUE(shown.endsWith(QStringLiteral(", 请点击确定退出房间!")));
}

TEST(RoomAdministration, MenusFollowTheRanks) {
    CRoomFixture f;
    EnterAs(f, 30);
    CMemberMenu menu(f.Room());
    // An operator: the member's menu is whole, banning and promoting greyed.
    auto amy = menu.Entries(QStringLiteral("amy"));
    ASSERT_EQ(amy.size(), 23u);
    EXPECT_TRUE(Entry(amy, EMemberEntry::Kick)->enabled);
    EXPECT_FALSE(Entry(amy, EMemberEntry::Ban)->enabled);
    EXPECT_FALSE(Entry(amy, EMemberEntry::MakeOperator)->enabled);
    // Outside queue mode nobody's turn is extended.
    EXPECT_FALSE(Entry(amy, EMemberEntry::Extend)->enabled);
    // The user's own entry: nothing done to oneself.
    auto self = menu.Entries(QStringLiteral("me"));
    for (EMemberEntry e : {EMemberEntry::Kick, EMemberEntry::NoTyping, EMemberEntry::NoGrab,
                           EMemberEntry::Rename, EMemberEntry::Gift}) {
        EXPECT_FALSE(Entry(self, e)->enabled);
    }
    // Below operator the room-management menu is refused and the member menu keeps five.
    CManageMenu manage(f.Room());
    EXPECT_FALSE(manage.MayOpen());
    EXPECT_TRUE(f.publicView.Has(QStringLiteral("只有房主才能使用")));
    f.Room().Members().List().Find(QStringLiteral("me"))->rank = 20;
    EXPECT_EQ(menu.Entries(QStringLiteral("amy")).size(), 5u);
    EXPECT_EQ(menu.Run(QStringLiteral("amy"), EMemberEntry::Kick), -1);

    // The owner promotes only members up to operator; choosing a checked entry undoes it.
    f.Room().Members().List().Find(QStringLiteral("me"))->rank = 60;
    EXPECT_TRUE(Entry(menu.Entries(QStringLiteral("amy")), EMemberEntry::MakeOperator)->enabled);
    auto bob = menu.Entries(QStringLiteral("bob"));
    EXPECT_TRUE(Entry(bob, EMemberEntry::MakeOperator)->checked);
    ASSERT_EQ(menu.Run(QStringLiteral("bob"), EMemberEntry::MakeOperator), 0);
    const auto op = f.SentMain(CMD_OP_CONTROL);
    ASSERT_EQ(op.size(), 1u);
    EXPECT_EQ(IntOf(op[0], 30), 0);
    // The room-management menu's administration entries are live.
    const auto entries = manage.Entries();
    for (const tagManageEntry& e : entries) {
        if (e.id == EManageEntry::PublicTextOff || e.id == EManageEntry::VideoOff ||
            e.id == EManageEntry::Topic || e.id == EManageEntry::Lock) {
            EXPECT_TRUE(e.enabled) << e.text.toStdString();
        }
    }
    ASSERT_EQ(manage.Run(EManageEntry::PublicTextOff), 0);
    ASSERT_EQ(f.SentMain(CMD_PUBLIC_TEXT_CONTROL).size(), 1u);
}
