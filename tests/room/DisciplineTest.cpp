// The request discipline as the room's operations meet it: one request per code on its way,
// the minimum intervals, the time-outs, the standard lines and the generic reply.

#include "tests/room/RoomFixture.h"

#include "protocol/Commands.h"
#include "room/ChatText.h"
#include "room/MicOrder.h"

#include <gtest/gtest.h>

using namespace tavotest;

namespace {

int Kick(CRoomFixture& f) {
    CKParam p = Packet(CMD_KICK, {{20, "amy"}});
    return f.Room().Discipline().Request(CMD_KICK, p);
}

void Answer(CRoomFixture& f, short code, int result, int refusal = 0, short key31 = -1) {
    CKParam p = Reply(code, result, refusal);
    if (key31 >= 0) {
        p.SetShortInt(31, key31);
    }
    f.server.SendMain(std::move(p));
}

}  // namespace

TEST(RequestDiscipline, TwoQuickClicksSendOneRequestAndTextsKeepTwoSecondsApart) {
    CRoomFixture f;
    ASSERT_TRUE(f.Enter());
    EXPECT_EQ(f.Room().Mic().Grab(), 0);
    EXPECT_EQ(f.Room().Mic().Grab(), -1);
    ASSERT_TRUE(f.server.main.WaitFor(CMD_GRAB_MIC));
    tavotest::Spin(std::chrono::milliseconds(50));
    EXPECT_EQ(f.server.main.Received(CMD_GRAB_MIC).size(), 1u);
    EXPECT_EQ(f.privateView.Count("之前请求还没返,请稍候再试."), 1);
    EXPECT_EQ(f.privateView.Count("系统提示: 抢麦,请稍候..."), 1);

    // Texts keep two seconds apart, counted from the last one sent.
    CChatText& chat = f.Room().Chat();
    ASSERT_EQ(chat.SendText("一"), 0);
    ASSERT_TRUE(WaitUntil([&] { return !f.Room().Discipline().IsPending(CMD_TEXT); }));
    f.clock.Advance(1000);
    EXPECT_EQ(chat.SendText("二"), -1);
    EXPECT_EQ(f.privateView.Count("打字时间间隔不得少于2秒"), 1);
    f.clock.Advance(1000);
    EXPECT_EQ(chat.SendText("三"), 0);
    ASSERT_TRUE(f.server.main.WaitFor(CMD_TEXT, 2));
}

TEST(RequestDiscipline, RepliesWriteTheStandardLinesAndAMissingOneTimesOut) {
    CRoomFixture f;
    ASSERT_TRUE(f.Enter());
    ASSERT_EQ(Kick(f), 0);
    Answer(f, CMD_KICK_REPLY, 0);
    ASSERT_TRUE(WaitUntil([&] { return f.privateView.Has("系统提示: 踢人成功."); }));
    EXPECT_FALSE(f.Room().Discipline().IsPending(CMD_KICK));

    // A refusal names the reason (the text of an unknown code is RefusalText's own test's).
    Answer(f, CMD_KICK_REPLY, -1, 144);
    ASSERT_TRUE(WaitUntil([&] { return f.privateView.Has("系统提示: 踢人失败.房间人满"); }));

    // A gift reply with kind 10 is a stamp.
    Answer(f, CMD_GIFT_REPLY, 0, 0, 10);
    ASSERT_TRUE(WaitUntil([&] { return f.privateView.Has("盖印章成功."); }));
    EXPECT_FALSE(f.privateView.Has("赠送礼物成功."));

    // A refused text says so twice.
    Answer(f, CMD_TEXT_REPLY, -1, 163);
    ASSERT_TRUE(WaitUntil([&] { return f.privateView.Has("您刚才的文字信息发送失败!"); }));
    EXPECT_TRUE(f.privateView.Has("打字失败.文字信息包含非法字符"));

    // The private-chat reply leaves its request to the private chat.
    CKParam invite = Packet(CMD_PRIVATE_REQUEST);
    ASSERT_EQ(f.Room().Discipline().Send(CMD_PRIVATE_REQUEST, invite), 0);
    Answer(f, CMD_PRIVATE_REQUEST_REPLY, 0);
    Answer(f, CMD_KICK_REPLY, 0);  // a marker that the reply before it was handled
    ASSERT_TRUE(WaitUntil([&] { return f.privateView.Count("踢人成功.") == 2; }));
    EXPECT_TRUE(f.Room().Discipline().IsPending(CMD_PRIVATE_REQUEST));

    // A missing reply times out after twenty seconds, the private-chat request's after forty,
    // and the operation may go again.
    f.clock.Advance(4000);  // kicks keep four seconds apart
    ASSERT_EQ(Kick(f), 0);
    f.clock.Advance(19000);
    EXPECT_TRUE(f.Room().Discipline().IsPending(CMD_KICK));
    EXPECT_TRUE(f.Room().Discipline().IsPending(CMD_PRIVATE_REQUEST));
    f.clock.Advance(1000);
    EXPECT_FALSE(f.Room().Discipline().IsPending(CMD_KICK));
    EXPECT_EQ(f.privateView.Count("系统提示: 踢人 超时"), 1);
    EXPECT_EQ(Kick(f), 0);
    ASSERT_TRUE(f.server.main.WaitFor(CMD_KICK, 3));
    f.clock.Advance(16000);
    EXPECT_FALSE(f.Room().Discipline().IsPending(CMD_PRIVATE_REQUEST));
}
