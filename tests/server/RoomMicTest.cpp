// The microphone order as the room server runs it: grabbing and queueing, the turn timer moving
// the queue, managers handing out, taking back and extending, and the mode and time settings.

#include "protocol/Commands.h"
#include "protocol/Refusal.h"
#include "tests/support/PacketFields.h"
#include "tests/support/ServiceHarness.h"
#include "tests/support/TestSupport.h"

#include <QStringList>

#include <gtest/gtest.h>

using namespace tavotest;

namespace {

CKParam Named(short command, const QString& id) {
    return Packet(command, {{20, id}});
}

CKParam Number(short command, int value) {
    return Packet(command, {{20, value}});
}

QStringList Queue(tagRoomGuest& g) {
    auto reply = g.main.Request(Packet(CMD_MIC_QUEUE), CMD_MIC_QUEUE_REPLY);
    QStringList out;
    if (!reply) {
        return {"<no reply>"};
    }
    for (int i = 0; i < IntOf(*reply, 30); ++i) {
        out << TextOf(*reply, static_cast<short>(31 + i));
    }
    return out;
}

// The holder a settings reply names for the main microphone (key 80) or the second (90).
QString MainHolder(tagRoomGuest& g, short key = 80) {
    auto reply = g.main.Request(Packet(CMD_ROOM_SETTINGS), CMD_ROOM_SETTINGS_REPLY);
    return reply ? TextOf(*reply, key) : "<no reply>";
}

}  // namespace

TEST(RoomMic, TheQueueMovesOnReleaseAndWhenATurnRunsOutAndTheModeAndTimeAreChecked) {
    CServiceHarness h;
    auto alice = h.Enter(1001, "alice", "alice123", "M-A");
    auto carol = h.Enter(1001, "carol", "carol123", "M-C");
    auto dave = h.Enter(1001, "dave", "dave123", "M-D");
    ASSERT_TRUE(alice && carol && dave);
    // The owner shortens turns to 30 seconds; not below 30, not past an hour, and no member
    // below an operator (the rank gate every manager's change of the microphones shares).
    EXPECT_EQ(RoomRequest(alice->main, Number(CMD_MIC_TIME, 10)), REFUSE_MIC_TIME_TOO_SHORT);
    EXPECT_EQ(RoomRequest(alice->main, Number(CMD_MIC_TIME, 3601)), REFUSE_MIC_TIME_TOO_LONG);
    EXPECT_EQ(RoomRequest(carol->main, Number(CMD_MIC_TIME, 60)), REFUSE_FORBIDDEN);
    EXPECT_EQ(RoomRequest(alice->main, Number(CMD_MIC_MODE, 3)), REFUSE_BAD_PARAMETER);
    ASSERT_EQ(RoomRequest(alice->main, Number(CMD_MIC_TIME, 30)), 0);
    ASSERT_TRUE(dave->main.WaitFor(CMD_MIC_TIME_CHANGED));
    EXPECT_EQ(IntOf(dave->main.All(CMD_MIC_TIME_CHANGED).front(), 30), 30);

    ASSERT_EQ(RoomRequest(carol->main, Packet(CMD_GRAB_MIC)), 0);
    ASSERT_TRUE(dave->main.WaitFor(CMD_MIC_TAKEN));
    EXPECT_TRUE(HasFields(dave->main.All(CMD_MIC_TAKEN).front(), {{20, "carol"}, {30, short{1}}}));

    ASSERT_EQ(RoomRequest(dave->main, Packet(CMD_GRAB_MIC)), 0);
    ASSERT_EQ(RoomRequest(alice->main, Packet(CMD_GRAB_MIC)), 0);
    ASSERT_TRUE(carol->main.WaitFor(CMD_QUEUE_JOINED, 2));
    EXPECT_EQ(Queue(*carol), (QStringList{"dave", "alice"}));
    // Grabbing again while waiting is refused.
    EXPECT_EQ(RoomRequest(dave->main, Packet(CMD_GRAB_MIC)), REFUSE_USER_EXISTS);
    EXPECT_EQ(RoomRequest(carol->main, Packet(CMD_GRAB_MIC)), REFUSE_ON_MIC);

    // carol lets go: dave is next, taken from the queue.
    ASSERT_EQ(RoomRequest(carol->main, Packet(CMD_RELEASE_MIC)), 0);
    ASSERT_TRUE(alice->main.WaitFor(CMD_MIC_TAKEN, 2));
    EXPECT_EQ(TextOf(alice->main.All(CMD_MIC_RELEASED).front(), 20), "carol");
    EXPECT_TRUE(HasFields(alice->main.All(CMD_MIC_TAKEN)[1], {{20, "dave"}, {40, short{1}}}));
    EXPECT_EQ(MainHolder(*alice), "dave");

    // dave's turn runs out after 30 seconds; alice follows.
    h.Pass(std::chrono::seconds(29));
    EXPECT_EQ(MainHolder(*alice), "dave");
    h.Pass(std::chrono::seconds(2));
    EXPECT_EQ(MainHolder(*alice), "alice");
    EXPECT_TRUE(Queue(*alice).isEmpty());
    h.Pass(std::chrono::seconds(31));
    EXPECT_EQ(MainHolder(*alice), QString());
    EXPECT_EQ(alice->main.Count(CMD_MIC_RELEASED), 3);

    // Leaving queue mode empties the queue, is announced, and outlives the room's stay.
    ASSERT_EQ(RoomRequest(carol->main, Packet(CMD_GRAB_MIC)), 0);
    ASSERT_EQ(RoomRequest(alice->main, Packet(CMD_GRAB_MIC)), 0);
    EXPECT_EQ(Queue(*carol), QStringList{"alice"});
    ASSERT_EQ(RoomRequest(alice->main, Number(CMD_MIC_MODE, 0)), 0);
    ASSERT_TRUE(carol->main.WaitFor(CMD_MIC_MODE_CHANGED));
    EXPECT_EQ(IntOf(carol->main.All(CMD_MIC_MODE_CHANGED).front(), 30), 0);
    EXPECT_TRUE(Queue(*carol).isEmpty());
    EXPECT_EQ(h.Service().Store().Room(1001)->micMode, 0);
    EXPECT_EQ(IntOf(*carol->main.Request(Packet(CMD_ROOM_SETTINGS), CMD_ROOM_SETTINGS_REPLY), 100),
              0);
}

TEST(RoomMic, GrabModeGivesAFreeMicrophoneToTheFirstAndInOperatorModeManagersHandItOut) {
    CServiceHarness h;
    // Room 1002 grabs, turns of 240 seconds.
    auto bob = h.Enter(1002, "bob", "bob123", "M-B");
    auto v = h.Enter(1002, "游客甲", QString(), "M-V");
    ASSERT_TRUE(bob && v);
    EXPECT_EQ(RoomRequest(v->main, Packet(CMD_GRAB_MIC)), 0);
    EXPECT_EQ(RoomRequest(bob->main, Packet(CMD_GRAB_MIC)), REFUSE_MIC_NOT_DUE);
    EXPECT_EQ(bob->main.Count(CMD_QUEUE_JOINED), 0);
    h.Pass(std::chrono::seconds(241));
    EXPECT_EQ(MainHolder(*bob), QString());
    EXPECT_EQ(RoomRequest(bob->main, Packet(CMD_GRAB_MIC)), 0);
    EXPECT_EQ(MainHolder(*bob), "bob");

    // In operator mode managers hand the microphone out and take it back.
    // Room 1005 is in operator mode; dave owns it.
    auto dave = h.Enter(1005, "dave", "dave123", "M-D");
    auto pupil = h.Enter(1005, "学生", QString(), "M-P");
    auto other = h.Enter(1005, "旁听", QString(), "M-O");
    ASSERT_TRUE(dave && pupil && other);
    EXPECT_EQ(RoomRequest(pupil->main, Packet(CMD_GRAB_MIC)), REFUSE_FORBIDDEN);

    ASSERT_EQ(RoomRequest(dave->main, Named(CMD_HAND_MIC, pupil->id)), 0);
    ASSERT_TRUE(other->main.WaitFor(CMD_MIC_HANDED));
    EXPECT_TRUE(
        HasFields(other->main.All(CMD_MIC_HANDED).front(), {{20, pupil->id}, {30, "dave"}}));
    ASSERT_TRUE(other->main.WaitFor(CMD_MIC_TAKEN));
    // A turn handed out in operator mode has no end.
    h.Pass(std::chrono::minutes(10), std::chrono::seconds(5));
    EXPECT_EQ(MainHolder(*other), pupil->id);

    EXPECT_EQ(RoomRequest(dave->main, Named(CMD_HAND_MIC, pupil->id)), REFUSE_ON_MIC);
    ASSERT_EQ(RoomRequest(dave->main, Named(CMD_TAKE_BACK_MIC, pupil->id)), 0);
    ASSERT_TRUE(other->main.WaitFor(CMD_MIC_TAKEN_BACK));
    ASSERT_TRUE(other->main.WaitFor(CMD_MIC_RELEASED));
    EXPECT_EQ(MainHolder(*other), QString());
    EXPECT_EQ(RoomRequest(dave->main, Named(CMD_TAKE_BACK_MIC, pupil->id)), REFUSE_BAD_OPERATION);
}

TEST(RoomMic, ExtendingReorderingAndTheSecondMicrophone) {
    CServiceHarness h;
    auto alice = h.Enter(1001, "alice", "alice123", "M-A");
    auto carol = h.Enter(1001, "carol", "carol123", "M-C");
    auto dave = h.Enter(1001, "dave", "dave123", "M-D");
    auto erin = h.Enter(1001, "erin", "erin123", "M-E");
    ASSERT_TRUE(alice && carol && dave && erin);
    ASSERT_EQ(RoomRequest(alice->main, Number(CMD_MIC_TIME, 20)), 0);
    for (auto* g : {carol.get(), dave.get(), erin.get()}) {
        ASSERT_EQ(RoomRequest(g->main, Packet(CMD_GRAB_MIC)), 0);
    }
    EXPECT_EQ(Queue(*alice), (QStringList{"dave", "erin"}));
    ASSERT_EQ(RoomRequest(alice->main, Packet(CMD_QUEUE_CONTROL, {{30, "erin"}, {20, 1}})), 0);
    EXPECT_EQ(Queue(*alice), (QStringList{"erin", "dave"}));

    // One extension adds one turn.
    ASSERT_EQ(RoomRequest(alice->main, Named(CMD_EXTEND_MIC, "carol")), 0);
    ASSERT_TRUE(dave->main.WaitFor(CMD_MIC_EXTENDED));
    h.Pass(std::chrono::seconds(25));
    EXPECT_EQ(MainHolder(*alice), "carol");
    h.Pass(std::chrono::seconds(16));
    EXPECT_EQ(MainHolder(*alice), "erin");

    // The second microphone: handed, then forbidden, which frees it.
    ASSERT_EQ(RoomRequest(alice->main, Named(CMD_HAND_SECOND_MIC, "carol")), 0);
    EXPECT_EQ(MainHolder(*alice, 90), "carol");
    ASSERT_EQ(RoomRequest(alice->main, Packet(CMD_SECOND_MIC_CONTROL, {{20, 0}, {30, 2}})), 0);
    ASSERT_TRUE(dave->main.WaitFor(CMD_SECOND_MIC_RELEASED));
    ASSERT_TRUE(dave->main.WaitFor(CMD_SECOND_MIC_CONTROL_CHANGED));
    EXPECT_EQ(IntOf(dave->main.All(CMD_SECOND_MIC_CONTROL_CHANGED).front(), 30), 0);
    EXPECT_EQ(MainHolder(*alice, 90), QString());
    EXPECT_EQ(RoomRequest(alice->main, Named(CMD_HAND_SECOND_MIC, "dave")), REFUSE_FORBIDDEN);

    // The holder leaving hands the microphone to the next in line.
    erin->main.KClose();
    ASSERT_TRUE(WaitUntil([&] { return MainHolder(*alice) == "dave"; }));
}
