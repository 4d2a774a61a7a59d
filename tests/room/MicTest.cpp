// The microphone order: countdown texts, holders and the queue as the announcements move them,
// the local checks of the requests, the floor holder and the private microphones. When the
// user's voice starts and stops is the room's voice tests' (tests/room/AudioTest.cpp).

#include "tests/room/RoomFixture.h"

#include "protocol/Commands.h"
#include "room/MicOrder.h"
#include "room/ModifyMicTimeDlg.h"
#include "room/NoticeBoard.h"
#include "room/PrivateMic.h"
#include "room/RoomMembers.h"

#include <gtest/gtest.h>

using namespace tavotest;

namespace {

void Mode(CRoomFixture& f, int mode, int forced = 0) {
    f.Deliver(Packet(CMD_MIC_MODE_CHANGED, {{20, "amy"}, {30, mode}, {40, forced}}));
}

}  // namespace

TEST(MicOrder, HoldersCountDownAndAFreeMicrophoneStopsThem) {
    CRoomFixture f;
    f.server.settings = {{110, 61}};
    ASSERT_TRUE(f.Enter());
    // Nobody holds either microphone at entry.
    EXPECT_EQ(f.roomView.mainHolder, "空闲");
    EXPECT_EQ(f.roomView.secondHolder, "空闲");
    EXPECT_EQ(f.roomView.secondTime, "0秒");
    f.MicTaken("amy");
    EXPECT_EQ(f.roomView.mainHolder, "艾米");
    EXPECT_EQ(f.roomView.mainTime, "2分");
    EXPECT_EQ(f.roomView.mainTimeBar, std::pair(0, 61));
    f.clock.Advance(1000);
    EXPECT_EQ(f.roomView.mainTime, "2分");
    f.clock.Advance(1000);
    EXPECT_EQ(f.roomView.mainTime, "59秒");
    EXPECT_EQ(f.roomView.mainTimeBar, std::pair(2, 61)) << "the bar fills as the time goes";
    // The second microphone shows "未知" until its first tick.
    f.MicTaken("me", 2);
    EXPECT_EQ(f.roomView.secondTime, "未知");
    f.clock.Advance(1000);
    EXPECT_EQ(f.roomView.secondTime, "2分");
    EXPECT_EQ(f.roomView.secondTimeBar, std::pair(1, 61));
    EXPECT_EQ(f.roomView.mainTime, "58秒");
    // An empty holder frees the main microphone and stops both countdowns.
    f.MicTaken("");
    EXPECT_EQ(f.roomView.mainHolder, "空闲");
    EXPECT_EQ(f.roomView.mainTime, "0秒");
    EXPECT_EQ(f.roomView.mainTimeBar, std::pair(0, 0));
    const QString second = f.roomView.secondTime;
    f.clock.Advance(3000);
    EXPECT_EQ(f.roomView.mainTime, "0秒");
    EXPECT_EQ(f.roomView.secondTime, second);
    EXPECT_TRUE(f.Room().Mic().MainHolder().isEmpty());
}

TEST(MicOrder, TheUserIsToldOnceOnBecomingNextInTheQueue) {
    CRecordingNotifier notifier;
    CRoomFixture f;
    f.server.members << MemberText("cat", "凯特", 20);
    f.server.settings = {{100, 1}};
    ASSERT_TRUE(f.Enter());
    f.server.SendMain(With(Reply(CMD_MIC_QUEUE_REPLY), {{30, 2}, {31, "cat"}, {32, "amy"}}));
    ASSERT_TRUE(WaitUntil([&] { return f.roomView.queue.size() == 2; }));
    f.Deliver(Packet(CMD_QUEUE_JOINED, {{20, "me"}, {30, short(0)}}));
    // Cat speaks from the head; amy waits first behind her, then the user.
    f.MicTaken("cat");
    EXPECT_TRUE(notifier.notices.isEmpty()) << notifier.notices.join(';').toStdString();
    f.MicTaken("amy", 1, 1);
    ASSERT_EQ(notifier.notices.size(), 1);
    EXPECT_EQ(notifier.notices[0], QStringLiteral("%1 下一个就是您: %2: 您排在麦序的下一位")
                                       .arg(NOTICE_QUEUE_NEXT)
                                       .arg(f.Room().Settings().name));
    // Still next after another redraw: no second notice.
    f.MicTaken("amy", 1, 1);
    EXPECT_EQ(notifier.notices.size(), 1);
    // Her turn over, the user holds the microphone: that is the hand-over notice.
    f.MicTaken("me", 1, 1);
    ASSERT_EQ(notifier.notices.size(), 2);
    EXPECT_TRUE(notifier.notices[1].startsWith(QString::number(NOTICE_MIC_HANDED)));
}

TEST(MicOrder, TheQueueFollowsTheServer) {
    CRoomFixture f;
    f.server.members << MemberText("bob", "鲍勃", 20) << MemberText("cat", "凯特", 20);
    f.server.settings = {{100, 1}};
    ASSERT_TRUE(f.Enter());
    ASSERT_TRUE(f.server.main.WaitFor(CMD_MIC_QUEUE));
    EXPECT_EQ(f.roomView.micMode, "麦序方式");
    f.server.SendMain(
        With(Reply(CMD_MIC_QUEUE_REPLY), {{30, 3}, {31, "cat"}, {32, "stranger"}, {33, "amy"}}));
    ASSERT_TRUE(WaitUntil([&] { return f.roomView.queue.size() == 2; }));
    EXPECT_EQ(f.roomView.queue, QStringList({"cat", "amy"}));
    f.Deliver(Packet(CMD_QUEUE_JOINED, {{20, "bob"}, {30, short(0)}}));
    EXPECT_EQ(f.roomView.queue, QStringList({"cat", "amy", "bob"}));
    // The new holder moves to the head; the previous one's turn ends with key 40.
    f.MicTaken("cat");
    f.MicTaken("amy", 1, 1);
    EXPECT_EQ(f.roomView.queue, QStringList({"amy", "bob"}));
    // The holder announced again goes on holding it, at the head of the queue.
    f.MicTaken("amy", 1, 1);
    EXPECT_EQ(f.roomView.queue, QStringList({"amy", "bob"}));
    // A manager moves a member up (after the holder) or takes it out.
    f.Deliver(Packet(CMD_QUEUE_CHANGED, {{20, "bob"}, {30, 1}, {40, "me"}}));
    EXPECT_EQ(f.roomView.queue, QStringList({"amy", "bob"}));
    EXPECT_TRUE(f.privateView.Has("鲍勃(bob) 被 我(me) 提前了麦序"));
    f.Deliver(Packet(CMD_QUEUE_CHANGED, {{20, "bob"}, {30, 0}, {40, ""}}));
    EXPECT_EQ(f.roomView.queue, QStringList({"amy"}));
    EXPECT_TRUE(f.privateView.Has("鲍勃(bob) 被 后台管理员 取消了麦序"));
    // A holder handed the microphone from outside the queue counts down without joining it.
    f.MicTaken("bob");
    EXPECT_EQ(f.roomView.queue, QStringList({"amy"}));
    EXPECT_EQ(f.roomView.mainHolder, "鲍勃");
    EXPECT_EQ(f.roomView.mainTime, "3分");
    // Every 150 seconds the queue is asked for again while in queue mode.
    // Both ends' keep-alives cross meanwhile, or the connection would close for silence.
    const size_t asked = f.server.main.Received(CMD_MIC_QUEUE).size();
    for (int step = 0; step < 15; ++step) {
        f.clock.Advance(10000);
        Spin(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(f.server.main.WaitFor(CMD_MIC_QUEUE, static_cast<int>(asked) + 1));
}

TEST(MicOrder, RequestsAreCheckedBeforeTheyGo) {
    CRoomFixture f;
    f.server.members << MemberText("bob", "鲍勃", 20);
    f.server.settings = {{100, 2}, {80, "amy"}};
    ASSERT_TRUE(f.Enter());
    CMicOrder& mic = f.Room().Mic();
    EXPECT_EQ(mic.Grab(), -1);
    EXPECT_TRUE(f.privateView.Has("OP方式,禁止抢麦!"));
    Mode(f, 0);
    EXPECT_TRUE(f.privateView.Has("艾米(amy) 设置拿麦方式为: 抢麦方式."));
    // Handing the microphone to its holder, taking it from someone without one.
    EXPECT_EQ(mic.HandMic("amy"), -1);
    EXPECT_TRUE(f.privateView.Has("该用户在主麦上!"));
    EXPECT_EQ(mic.TakeBack("bob"), -1);
    EXPECT_TRUE(f.privateView.Has("用户没有在主麦或二麦上"));
    EXPECT_EQ(mic.HandMic("gone"), -1);
    EXPECT_TRUE(f.privateView.Has("此人已离开房间"));
    // Asking for the state the room is in already.
    EXPECT_EQ(mic.SetMode(0, false), -1);
    EXPECT_TRUE(f.privateView.Has("当前已经是抢麦方式"));
    EXPECT_EQ(mic.SetSecondMicAllowed(false), -1);
    EXPECT_TRUE(f.privateView.Has("当前已经是禁止二麦"));
    // Turning to queue mode asks nothing of the server: the queue comes with the refresh.
    Mode(f, 1);
    // What does go out carries its keys.
    ASSERT_EQ(mic.HandMic("bob"), 0);
    ASSERT_EQ(mic.SetMode(1, true), 0);
    ASSERT_TRUE(f.server.main.WaitFor(CMD_MIC_MODE));
    CKParam sent = f.server.main.Received(CMD_MIC_MODE)[0].Loaded();
    EXPECT_TRUE(HasFields(sent, {{20, 1}, {30, 1}}));
    f.server.main.Received(CMD_HAND_MIC)[0].Load(sent);
    EXPECT_EQ(sent.TextOr(20), "bob");
    EXPECT_TRUE(f.server.main.Received(CMD_MIC_QUEUE).empty());
    // Releasing: nothing to release sends nothing.
    EXPECT_EQ(mic.Release(), -1);
    EXPECT_TRUE(f.server.main.Received(CMD_RELEASE_MIC).empty());
}

TEST(PrivateMic, TakingOneWantsAnAccountAndReleasingTheMicrophoneGivesItBack) {
    CRoomFixture f;
    ASSERT_TRUE(f.Enter());
    CPrivateMic& privateMic = f.Room().PrivateMic();
    UserInfo* me = f.Room().Members().List().Find("me");
    me->registered = false;
    EXPECT_EQ(privateMic.Take(true), -1);
    EXPECT_TRUE(f.privateView.Has("对不起,您没有上私麦的权限"));
    me->registered = true;
    ASSERT_EQ(privateMic.Take(false), 0);
    ASSERT_TRUE(f.server.main.WaitFor(CMD_PRIVATE_MIC));
    CKParam sent = f.server.main.Received(CMD_PRIVATE_MIC)[0].Loaded();
    EXPECT_FALSE(sent.BoolOr(20, true));
    // Once the server says the user holds it, the release button releases the private one.
    f.Deliver(Packet(CMD_PRIVATE_MIC_CHANGED, {{20, "me"}}));
    EXPECT_TRUE(f.Room().Members().Find("me")->onPrivateMic);
    ASSERT_EQ(f.Room().Mic().Release(), 0);
    ASSERT_TRUE(f.server.main.WaitFor(CMD_RELEASE_PRIVATE_MIC));
    EXPECT_TRUE(f.server.main.Received(CMD_RELEASE_MIC).empty());
    f.Deliver(Packet(CMD_PRIVATE_MIC_RELEASED, {{20, "me"}}));
    EXPECT_FALSE(f.Room().Members().Find("me")->onPrivateMic);
}

TEST(MicOrder, AnnouncementsWriteTheirLines) {
    CRoomFixture f;
    f.OpenOffline();
    f.Room().Members().List().Add(Member("amy", "艾米"));
    f.Room().Members().List().Add(Member("boss", "房主"));
    auto two = [&](short code) { f.Deliver(Packet(code, {{20, "amy"}, {30, "boss"}})); };
    two(CMD_MIC_HANDED);
    two(CMD_HANDLE_HANDED);
    EXPECT_TRUE(f.privateView.Has("艾米(amy) 被 房主(boss) 递了麦"));
    EXPECT_TRUE(f.publicView.Has("系统消息: 艾米(amy) 被 房主(boss) 递了话筒"));
    EXPECT_EQ(f.Room().Mic().State().Snapshot().floorHolder, "amy");
    f.Deliver(Packet(CMD_MIC_TIME_CHANGED, {{20, "boss"}, {30, 300}}));
    EXPECT_EQ(f.Room().Mic().MicTime(), 300);
    EXPECT_TRUE(f.privateView.Has("房主(boss) 修改麦序时长为: 300秒"));
    f.Deliver(Packet(CMD_SECOND_MIC_CONTROL_CHANGED, {{20, "boss"}, {30, 1}, {40, 3}}));
    EXPECT_TRUE(f.Room().Mic().DualMic());
    EXPECT_TRUE(f.privateView.Has("房主(boss) 允许双麦"));
    // A new microphone mode empties the floor holder.
    Mode(f, 1, 1);
    EXPECT_EQ(f.roomView.micMode, "麦序方式(强制)");
    EXPECT_TRUE(f.Room().Mic().State().Snapshot().floorHolder.isEmpty());
}

TEST(MicOrder, TimedNoticesStayForTheirTime) {
    CRoomFixture f;
    f.OpenOffline();
    f.Room().Notices().SetDuration(30);
    auto notice = [&](int result, const QString& text) {
        f.Deliver(Packet(CMD_TIMED_NOTICE, {{20, result}, {30, text}}));
    };
    notice(0, "第一条");
    f.clock.Advance(10000);
    notice(0, "第二条");
    notice(1, "不算");
    ASSERT_TRUE(WaitUntil([&] { return f.roomView.notices.size() == 2; }));
    f.clock.Advance(20000);
    ASSERT_TRUE(WaitUntil([&] { return f.roomView.notices == QStringList({"第二条"}); }));
    f.clock.Advance(10000);
    ASSERT_TRUE(WaitUntil([&] { return f.roomView.notices.isEmpty(); }));
}

TEST(MicOrder, TheMicrophoneTimeDialogWantsMoreThanTenSeconds) {
    CRoomFixture f;
    ASSERT_TRUE(f.Enter());
    int shownWith = 0;
    f.ui.dialogs.Script(CModifyMicTimeDlg::IDD, [&](CDialogModel& d) {
        auto& dialog = static_cast<CModifyMicTimeDlg&>(d);
        shownWith = dialog.Seconds();
        dialog.SetSeconds(10);
        dialog.OnOK();  // refused: the dialog stays
        dialog.Choose(1);
        dialog.OnOK();
    });
    ASSERT_EQ(f.Room().Mic().ChangeMicTime(), 0);
    EXPECT_EQ(shownWith, 120);
    EXPECT_EQ(f.ui.prompt.Texts(), QStringList({"麦序必须大于10秒!"}));
    ASSERT_TRUE(f.server.main.WaitFor(CMD_MIC_TIME));
    CKParam sent = f.server.main.Received(CMD_MIC_TIME)[0].Loaded();
    EXPECT_EQ(sent.IntOr(20, 0), 120);
    // Cancel sends nothing.
    f.Room().Discipline().ClearPending(CMD_MIC_TIME);
    f.ui.dialogs.Script(CModifyMicTimeDlg::IDD, [](CDialogModel& d) { d.OnCancel(); });
    EXPECT_EQ(f.Room().Mic().ChangeMicTime(), -1);
    tavotest::Spin(std::chrono::milliseconds(20));
    EXPECT_EQ(f.server.main.Received(CMD_MIC_TIME).size(), 1u);
}
