// The way into a room and out of it, against a scripted room server on loopback: the steps and
// what each request carries, the refusals of the entry request, the time-out, a dropped
// connection inside the room, the second connection coming back, and switching rooms.

#include "tests/room/RoomFixture.h"

#include "platform/StringTable.h"
#include "protocol/Commands.h"
#include "room/ConnectDlg.h"
#include "room/EntryDialogs.h"
#include "room/ResponseDlg.h"
#include "room/RoomAudio.h"
#include "room/RoomVideo.h"
#include "video/VideoProbe.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <vector>

using namespace tavotest;

TEST(RoomEntry, WalksEveryStepAndSendsWhatEachRequestNeeds) {
    CRoomFixture f;
    f.server.entryText = "欢迎$某某人$来到$某某房间$";
    ASSERT_TRUE(f.Enter(1234));

    // Room login: every key, the identities of the account, the flags of the start-up probe (a
    // camera, none here, and an H.264 decoder) and the configured host.
    ASSERT_EQ(f.server.main.Received(CMD_ROOM_LOGIN).size(), 1u);
    CKParam login = f.server.main.Received(CMD_ROOM_LOGIN)[0].Loaded();
    EXPECT_TRUE(HasFields(login, {{20, "me"}, {30, 4321}, {40, 1234}, {60, true}, {90, 100}}));
    EXPECT_TRUE(HasFields(login, {{50, bool(ProbeH264Encoder())}, {80, "00-11-22-33-44-55"}}));
    EXPECT_TRUE(HasFields(login, {{101, "10.0.0.9"}, {102, 7001}}));
    EXPECT_FALSE(login.TextOr(70).isEmpty());

    // The entry request after the user was verified, and the verification timer stopped.
    CKParam enter = f.server.main.Received(CMD_ENTER)[0].Loaded();
    EXPECT_TRUE(HasFields(enter, {{20, false}, {30, ""}, {101, "10.0.0.9"}}));
    EXPECT_FALSE(f.hall.verifyTimer);

    // The second connection attached with the entry keys and the user's identifier.
    ASSERT_EQ(f.server.second.Received(CMD_ATTACH).size(), 1u);
    CKParam attach = f.server.second.Received(CMD_ATTACH)[0].Loaded();
    EXPECT_TRUE(HasFields(attach, {{20, 77}, {30, "me"}, {40, 88}}));

    // Members and settings were fetched, the room shown, the welcome written with names filled.
    EXPECT_TRUE(f.roomView.shown);
    EXPECT_EQ(f.roomView.countText, "2人");
    EXPECT_TRUE(f.publicView.Has("进房消息 欢迎我来到测试房间"));
    EXPECT_EQ(f.publicView.page, "pub.htm");
    EXPECT_EQ(f.privateView.page, "pri.htm");
    EXPECT_TRUE(f.hall.statuses.contains("连接服务器,请稍候..."));
    EXPECT_TRUE(f.hall.statuses.contains("验证用户信息,请稍候..."));
    EXPECT_TRUE(f.ui.prompt.History().empty());
}

// Which text a refusal code reads as is RefusalText's (tests/platform/ProfileTest.cpp); the
// entry shows it and gives up.
TEST(RoomEntry, ARefusalOfTheEntryRequestIsShownAndShutsTheConnection) {
    CRoomFixture f;
    f.server.refuseEntry = {144};
    f.entry->OnRoomMessage(1, 1234);
    ASSERT_TRUE(WaitUntil([&] { return f.ui.prompt.Saw("房间人满"); }));
    // The main connection is shut and no room window was made.
    EXPECT_TRUE(WaitUntil([&] { return f.server.MainPeer() && f.server.MainPeer()->closed; }));
    EXPECT_FALSE(f.Room().IsWindow());
}

TEST(RoomEntry, PasswordAndPaymentRefusalsRetryTheEntryWithWhatTheUserGave) {
    {
        CRoomFixture f;
        f.server.refuseEntry = {143};
        f.ui.dialogs.Script(CUnlockRoomDlg::IDD, [](CDialogModel& d) {
            static_cast<CUnlockRoomDlg&>(d).SetPassword("secret");
            d.OnOK();
        });
        ASSERT_TRUE(f.Enter(1234));
        EXPECT_TRUE(f.ui.prompt.Saw("解锁密码错误"));
        const auto requests = f.server.main.Received(CMD_ENTER);
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_TRUE(HasFields(requests[1], {{20, false}, {30, "secret"}}));
    }
    {
        CRoomFixture f;
        f.server.refuseEntry = {157};
        f.server.entryExtra = {{80, 5}, {100, 300}, {110, "半满进房"}};
        int price = 0;
        f.ui.dialogs.Script(CPaymentDlg::IDD, [&](CDialogModel& d) {
            price = static_cast<CPaymentDlg&>(d).Key100();
            d.OnOK();
        });
        ASSERT_TRUE(f.Enter(1234));
        EXPECT_EQ(price, 300);
        const auto requests = f.server.main.Received(CMD_ENTER);
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_TRUE(requests[1].Loaded().BoolOr(20, false));
    }
    {
        CRoomFixture f;
        f.server.refuseEntry = {146};
        f.ui.prompt.Answer(IDYES);
        f.entry->OnRoomMessage(1, 1234);
        ASSERT_TRUE(WaitUntil([&] { return f.hall.loginsOpened == 1; }));
        EXPECT_TRUE(f.ui.prompt.Saw("需要登陆后付费进入,是否先登陆?"));
    }
}

// A refused room login or verification says why and never asks to enter: a disabled room names
// the reason, the person and the end; a login refused without a reason says it is unknown; a
// refused verification also closes the room connection at once.
TEST(RoomEntry, RefusalsBeforeTheEntryRequestSayWhyAndAskNothingMore) {
    {
        CRoomFixture f;
        f.server.refuseLogin = 140;
        f.server.loginExtra = {{30, 1700000000}, {40, "违规"}, {50, "管理员"}};
        f.entry->OnRoomMessage(1, 1234);
        ASSERT_TRUE(WaitUntil([&] { return !f.ui.prompt.History().empty(); }));
        const QString text = f.ui.prompt.Texts().front();
        EXPECT_TRUE(text.startsWith("该房间被禁止使用,被禁理由:违规,责任人塔沃号:管理员,解禁时间:"))
            << text.toStdString();
        EXPECT_TRUE(QRegularExpression("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$")
                        .match(text)
                        .hasMatch());
        EXPECT_TRUE(f.server.main.Received(CMD_ENTER).empty());
    }
    {
        CRoomFixture f;
        f.server.refuseLogin = -1;
        f.entry->OnRoomMessage(1, 1234);
        ASSERT_TRUE(WaitUntil([&] { return !f.ui.prompt.History().empty(); }));
        EXPECT_EQ(f.ui.prompt.Texts(), QStringList({"未知错误"}));
        EXPECT_TRUE(f.server.main.Received(CMD_ENTER).empty());
    }
    {
        CRoomFixture f;
        f.server.refuseVerified = 145;
        f.entry->OnRoomMessage(1, 1234);
        ASSERT_TRUE(WaitUntil([&] { return f.ui.prompt.Saw("用户被禁止进入房间"); }));
        // Nothing keeps the connection alive until some later entry: it is closed now.
        EXPECT_TRUE(WaitUntil([&] { return f.server.MainPeer()->closed; }));
        EXPECT_FALSE(f.entry->MainConnection().IsConnect());
        EXPECT_TRUE(f.server.main.Received(CMD_ENTER).empty());
        EXPECT_FALSE(f.Room().IsWindow());
    }
}

TEST(RoomEntry, NoReplyAClosedOrALostWaitingDialogEndsTheEntry) {
    {
        CRoomFixture f;
        f.server.main.Silence(CMD_ENTER);
        // The person waits: twenty seconds pass while the entry request's dialog is up.
        f.ui.dialogs.Script(CResponseDlg::IDD, [](CDialogModel&) {});
        f.ui.dialogs.Script(CResponseDlg::IDD, [&](CDialogModel&) { f.clock.Advance(20000); });
        f.entry->OnRoomMessage(1, 1234);
        ASSERT_TRUE(WaitUntil([&] { return f.ui.prompt.Saw("用户取消操作."); }));
        EXPECT_EQ(f.ui.prompt.Texts(), QStringList({"请求超时", "用户取消操作."}));
    }
    {
        CRoomFixture f;
        f.server.main.Silence(CMD_ENTER);
        f.ui.dialogs.Script(CResponseDlg::IDD, [](CDialogModel&) {});  // room login: left alone
        f.ui.dialogs.Script(CResponseDlg::IDD, [](CDialogModel& d) { d.OnCancel(); });
        f.entry->OnRoomMessage(1, 1234);
        ASSERT_TRUE(WaitUntil([&] { return f.ui.prompt.Saw("用户取消操作."); }));
        EXPECT_EQ(f.ui.prompt.Texts(), QStringList({"用户取消操作."}));
    }
    {
        // A waiting dialog on a connection already lost says so and sends nothing.
        CRoomFixture f;
        CResponseDlg dialog(&f.entry->MainConnection(), CMD_MEMBER_LIST);
        EXPECT_EQ(dialog.DoModal(), IDCANCEL);
        EXPECT_EQ(dialog.Title(), "连接已断开!");
        EXPECT_TRUE(f.ui.prompt.Saw("与服务器的连接已断开,请重新进入房间!"));
        EXPECT_EQ(dialog.ErrorCode(), 0);
    }
}

TEST(RoomEntry, ALostMainConnectionShowsTheReasonAndLeavesTheRoom) {
    {
        CRoomFixture f;
        ASSERT_TRUE(f.Enter());
        f.server.MainPeer()->KClose();
        ASSERT_TRUE(WaitUntil([&] { return !f.Room().IsWindow(); }));
        EXPECT_TRUE(f.ui.prompt.Saw("可能是网络原因导致服务器与您的连接断开,请点击确定退出房间!"));
        EXPECT_EQ(f.roomView.mainHolder, "空闲");
        EXPECT_EQ(f.roomView.secondHolder, "空闲");
        EXPECT_EQ(f.roomView.secondTime, "0秒");
        // The hall is told the window closed and shuts both connections.
        ASSERT_TRUE(WaitUntil([&] { return f.server.SecondPeer()->closed; }));
        EXPECT_EQ(f.hall.posted.back(), std::make_pair(1357u, 0u));
        EXPECT_TRUE(f.voice.calls.contains("teardown"));
    }
    {
        CRoomFixture f;
        ASSERT_TRUE(f.Enter());
        f.server.SendMain(Packet(CMD_FORCED_EXIT));
        ASSERT_TRUE(WaitUntil([&] { return !f.entry->MainConnection().CloseReason().isEmpty(); }));
        f.server.MainPeer()->KClose();
        ASSERT_TRUE(WaitUntil([&] { return !f.Room().IsWindow(); }));
        EXPECT_TRUE(f.ui.prompt.Saw("您已被迫退出房间,请点击确定退出房间!"));
        EXPECT_TRUE(f.entry->MainConnection().CloseReason().isEmpty());
    }
}

TEST(RoomEntry, SwitchingRoomsAsksFirstAndLeavesForTheNewRoom) {
    CRoomFixture f;
    ASSERT_TRUE(f.Enter(1234));
    // The same room: said only after the user agreed to switch.
    f.ui.prompt.Answer(IDYES);
    f.entry->OnRoomMessage(1, 1234);
    EXPECT_EQ(f.ui.prompt.Texts(),
              QStringList({"是否退出当前房间并进入新房间?", "您现在正在该房间中!"}));
    EXPECT_TRUE(f.Room().IsWindow());
    // Declining changes nothing.
    f.ui.prompt.Clear();
    f.ui.prompt.Answer(IDNO);
    f.entry->OnRoomMessage(1, 5678);
    EXPECT_TRUE(f.Room().IsWindow());
    // Another room: the window closes with OK and the hall enters the next room.
    f.ui.prompt.Answer(IDYES);
    f.server.room = 5678;
    f.entry->OnRoomMessage(1, 5678);
    ASSERT_TRUE(WaitUntil([&] { return f.hall.addressRequests.size() == 2; }));
    EXPECT_EQ(f.hall.addressRequests.back(), 5678);
    ASSERT_TRUE(f.server.main.WaitFor(CMD_ROOM_LOGIN, 2));
    EXPECT_EQ(IntOf(f.server.main.Received(CMD_ROOM_LOGIN)[1], 40), 5678);
    ASSERT_TRUE(WaitUntil([&] { return f.Room().Entry().room == 5678 && f.Room().IsWindow(); }));
    EXPECT_EQ(f.entry->NextRoom(), 0);
}

// Inside the room: a dropped second connection comes back, and an address of another room the
// hall passes on without an entry asked for leaves the room and its connection alone.
TEST(RoomEntry, ADroppedSecondConnectionOrAStrayAddressLeavesTheRoomOpen) {
    CRoomFixture f;
    ASSERT_TRUE(f.Enter(1234));
    CTestConnection* peer = f.server.MainPeer();
    f.server.SecondPeer()->KClose();
    ASSERT_TRUE(f.server.second.WaitFor(CMD_ATTACH, 2));
    EXPECT_EQ(IntOf(f.server.second.Received(CMD_ATTACH)[1], 20), 77);

    CKParam address = With(Reply(CMD_ROOM_ADDRESS_REPLY),
                           {{30, 5678}, {70, int(f.server.main.Port())}, {80, "127.0.0.1"}});
    f.entry->OnRoomAddress(address);
    Spin(std::chrono::milliseconds(200));
    EXPECT_FALSE(peer->closed);
    EXPECT_EQ(f.server.main.PeerCount(), 1);
    EXPECT_TRUE(f.entry->MainConnection().IsRoomConnected());
    EXPECT_TRUE(f.Room().IsWindow());
    EXPECT_EQ(f.Room().Entry().room, 1234);
    EXPECT_TRUE(f.ui.prompt.History().empty());
}

TEST(RoomEntry, AFeatureTheRoomHandlesAccountsForEveryCodeItOwns) {
    CRoomFixture f;
    CRoomAudio::Install(f.Room());
    CRoomVideo::Install(f.Room());
    const CDispatchTable& table = f.Room().Dispatch();
    std::map<EFeature, std::vector<const char*>> unrouted;
    std::set<EFeature> built;
    for (const tagCommandInfo& c : kCommandTable) {
        if (c.feature == EFeature::Center || c.feature == EFeature::Connection ||
            c.feature == EFeature::Log) {
            continue;
        }
        // The generic reply takes every reply of the table, built or not; a feature is built
        // once it handles or sends anything.
        switch (table.Route(c.code)) {
            case CDispatchTable::ERoute::None:
                unrouted[c.feature].push_back(c.name);
                break;
            case CDispatchTable::ERoute::GenericReply:
                break;
            default:
                built.insert(c.feature);
                break;
        }
    }
    EXPECT_GE(built.size(), 6u);
    for (EFeature feature : built) {
        EXPECT_TRUE(unrouted[feature].empty())
            << "feature " << static_cast<int>(feature) << " leaves " << unrouted[feature].front()
            << " unrouted";
    }
    // Every reply of the reply table goes to the generic reply.
    EXPECT_EQ(table.Route(CMD_KICK_REPLY), CDispatchTable::ERoute::GenericReply);
    EXPECT_EQ(table.Route(CMD_GIFT_REPLY), CDispatchTable::ERoute::GenericReply);
}
