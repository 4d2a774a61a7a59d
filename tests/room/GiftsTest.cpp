// Gifts against the scripted room server: giving through the give dialog, the announcement's
// lines, balance, stamp and mark, and which animation sources are played.

#include "RoomFixture.h"

#include "protocol/Commands.h"
#include "protocol/keys/GiftsKeys.h"
#include "room/Gifts.h"
#include "room/RoomMembers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tavotest;

namespace {

CKParam Given(const QString& giver, const QString& to, int number, short quantity, int value,
              tagFields more = {}) {
    CKParam p = Packet(CMD_GIFT_GIVEN, {{20, giver},
                                        {30, number},
                                        {31, short(GIFT_KIND_GIFT)},
                                        {32, quantity},
                                        {35, "玫瑰"},
                                        {40, value},
                                        {50, to}});
    SetFields(p, more);
    return p;
}

}  // namespace

TEST(Gifts, GivingWantsAnAccountAndSendsTheDialogsChoice) {
    QTemporaryDir folder;
    ASSERT_TRUE(WriteFile(folder.path() + "/skin/public/gift/gift.ini",
                          "[Main]\nCount=2\n[Gift1]\nNumber=7\nName=A\nValue=10\n"
                          "[Gift2]\nNumber=1002\nName=蛋糕\nValue=2000\n"));
    CRoomFixture f;
    f.Room().Options().programFolder = folder.path();
    ASSERT_TRUE(f.Enter());
    CGifts& gifts = f.Room().Gifts();
    ASSERT_EQ(gifts.Catalogue().Gifts().size(), 2u);

    UserInfo* me = f.Room().Members().List().Find("me");
    me->registered = false;
    EXPECT_EQ(gifts.Give("amy"), -1);
    EXPECT_TRUE(f.privateView.Has("请先登陆!"));
    EXPECT_EQ(f.ui.dialogs.Count(CGiveGiftDlg::IDD), 0);
    me->registered = true;

    f.ui.dialogs.Script(CGiveGiftDlg::IDD, [](CDialogModel& d) {
        auto& give = static_cast<CGiveGiftDlg&>(d);
        give.Choose(1);
        give.SetQuantity(CGiveGiftDlg::QuantityPresets()[2]);
        give.OnOK();
    });
    ASSERT_EQ(gifts.Give("amy"), 0);
    ASSERT_TRUE(f.server.main.WaitFor(CMD_GIFT));
    CKParam sent = f.server.main.Received(CMD_GIFT)[0].Loaded();
    EXPECT_TRUE(HasFields(sent, {{GiveGiftKey::RECIPIENT, "amy"},
                                 {GiveGiftKey::GIFT, 1002},
                                 {GiveGiftKey::QUANTITY, short(3)},
                                 {GiveGiftKey::KIND, short(GIFT_KIND_GIFT)}}));
    EXPECT_TRUE(f.privateView.Has("赠送礼物,请稍候..."));
}

TEST(Gifts, AnnouncementsWriteItemLinesMoveTheBalanceAndMarkBoth) {
    CRoomFixture f;
    f.app.edition = EDITION_70;
    ASSERT_TRUE(f.Enter());
    CGifts& gifts = f.Room().Gifts();
    CRecordingGiftView view;
    gifts.SetView(&view);
    gifts.SetBalance(1000);

    f.Deliver(Given("me", "amy", 1001, 3, 50,
                    {{60, 3}, {70, "http://evil.invalid/a.gif"}, {200, 150}, {210, 100}}));
    EXPECT_EQ(gifts.Balance(), 850);
    const QString line = "我(me) 赠送了 玫瑰(价值0.5塔沃币) 给 艾米(amy)";
    EXPECT_EQ(f.privateView.Count(line + "<img src='file:////opt/tavo/img/gift/1001.gif'/>"), 3);
    // A source that is neither our pictures nor our service is never played.
    EXPECT_TRUE(view.shown.empty());
    for (const char* id : {"me", "amy"}) {
        EXPECT_EQ(f.Room().Members().Find(id)->CurrentGiftMark(f.clock.Now()), 3) << id;
    }
    f.clock.Advance(CGifts::kMarkSeconds * 1000);
    EXPECT_EQ(f.Room().Members().Find("amy")->CurrentGiftMark(f.clock.Now()), 0);

    // Small gifts in edition 70 are one line without a picture; the service's address plays.
    f.Deliver(Given("amy", "me", 3, 9999, 200,
                    {{70, "http://127.0.0.1/gift/3.gif"}, {80, 120}, {100, 7}, {210, 200}}));
    EXPECT_EQ(gifts.Balance(), 1050);
    EXPECT_EQ(f.privateView.Count("赠送了 玫瑰(价值2塔沃币) 给 我(me)"), 1);
    ASSERT_EQ(view.shown.size(), 1u);
    EXPECT_EQ(view.shown[0].width, 120);
    EXPECT_EQ(view.shown[0].seconds, 7);

    // However many items, the chat gets a bounded number of lines.
    const int before = static_cast<int>(f.privateView.fragments.size());
    f.Deliver(Given("amy", "me", 1002, 32000, 100));
    EXPECT_EQ(static_cast<int>(f.privateView.fragments.size()) - before, CGifts::kMaxItemLines);

    // A stamp is put on the recipient even when it is one.
    f.Deliver(
        Packet(CMD_GIFT_GIVEN, {{20, "amy"}, {30, 4}, {31, short(GIFT_KIND_STAMP)}, {50, "me"}}));
    EXPECT_EQ(f.Room().Members().Find("me")->stamp, 4);
}

TEST(Gifts, AnimationsComeOnlyFromOurPicturesOrOurService) {
    QTemporaryDir folder;
    ASSERT_TRUE(WriteFile(folder.path() + "/img/gift/1.gif", "GIF89a"));
    ASSERT_TRUE(WriteFile(folder.path() + "/secret.gif", "GIF89a"));
    const QString root = QFileInfo(folder.path()).canonicalFilePath();
    const QStringList hosts{"10.0.0.9"};
    EXPECT_EQ(CGifts::AllowedSource("img/gift/1.gif", folder.path(), hosts),
              root + "/img/gift/1.gif");
    EXPECT_EQ(
        CGifts::AllowedSource("file://" + folder.path() + "/img/gift/1.gif", folder.path(), hosts),
        root + "/img/gift/1.gif");
    EXPECT_EQ(CGifts::AllowedSource("http://10.0.0.9:8080/g.gif", folder.path(), hosts),
              "http://10.0.0.9:8080/g.gif");
    for (const QString& bad : {QString("img/gift/../../secret.gif"), folder.path() + "/secret.gif",
                               QString("http://10.0.0.99/g.gif"), QString("ftp://10.0.0.9/g.gif"),
                               QString("img/gift/missing.gif"), QString("/etc/passwd")}) {
        EXPECT_TRUE(CGifts::AllowedSource(bad, folder.path(), hosts).isEmpty())
            << bad.toStdString();
    }
}
