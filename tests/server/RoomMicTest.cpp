// The microphone order as the room server runs it: grabbing and queueing, the turn timer moving
// the queue, managers handing out, taking back and extending, and the mode and time settings.

#include "protocol/Commands.h"
#include "protocol/Refusal.h"
#include "tests/server/ServerHarness.h"
#include "tests/support/TestSupport.h"

#include <QStringList>

#include <gtest/gtest.h>

using namespace tavotest;

namespace {

CKParam Named(short command, const QString& id, short key = 20) {
    CKParam p = Packet(command);
    p.SetCString(key, id);
    return p;
}

CKParam Number(short command, int value) {
    CKParam p = Packet(command);
    p.SetInt(20, value);
    return p;
}

QStringList Queue(tagRoomGuest& g) {
    CKParam ask = Packet(CMD_MIC_QUEUE);
    auto reply = g.main.Request(ask, CMD_MIC_QUEUE_REPLY);
    QStringList out;
    if (!reply) {
        return {QStringLiteral("<no reply>")};
    }
    for (int i = 0; i < IntOf(*reply, 30); ++i) {
        out << TextOf(*reply, static_cast<short>(31 + i));
    }
    return out;
}

// The holder a settings reply names for the main microphone.
QString MainHolder(tagRoomGuest& g) {
    CKParam ask = Packet(CMD_ROOM_SETTINGS);
    auto reply = g.main.Request(ask, CMD_ROOM_SETTINGS_REPLY);
    return reply ? TextOf(*reply, 80) : QStringLiteral("<no reply>");
}

QString SecondHolder(tagRoomGuest& g) {
    CKParam ask = Packet(CMD_ROOM_SETTINGS);
    auto reply = g.main.Request(ask, CMD_ROOM_SETTINGS_REPLY);
    return reply ? TextOf(*reply, 90) : QStringLiteral("<no reply>");
}

}  // namespace

TEST(RoomMic, TheQueueMovesOnReleaseAndWhenATurnRunsOut) {
    CServiceHarness h;
    auto alice =
        h.Enter(1001, QStringLiteral("alice"), QStringLiteral("alice123"), QStringLiteral("M-A"));
    auto carol =
        h.Enter(1001, QStringLiteral("carol"), QStringLiteral("carol123"), QStringLiteral("M-C"));
    auto dave =
        h.Enter(1001, QStringLiteral("dave"), QStringLiteral("dave123"), QStringLiteral("M-D"));
    ASSERT_TRUE(alice && carol && dave);
    // The owner shortens turns to 30 seconds.
    CKParam time = Number(CMD_MIC_TIME, 30);
    ASSERT_EQ(RoomRequest(alice->main, time), 0);
    ASSERT_TRUE(dave->main.WaitFor(CMD_MIC_TIME_CHANGED));
    EXPECT_EQ(IntOf(dave->main.All(CMD_MIC_TIME_CHANGED).front(), 30), 30);

    CKParam grab = Packet(CMD_GRAB_MIC);
    ASSERT_EQ(RoomRequest(carol->main, grab), 0);
    ASSERT_TRUE(dave->main.WaitFor(CMD_MIC_TAKEN));
    const CPacketCopy taken = dave->main.All(CMD_MIC_TAKEN).front();
    EXPECT_EQ(TextOf(taken, 20), QStringLiteral("carol"));
    CKParam takenPacket;
    taken.Load(takenPacket);
    EXPECT_EQ(takenPacket.ShortOr(30, 0), 1);

    CKParam grab2 = Packet(CMD_GRAB_MIC);
    ASSERT_EQ(RoomRequest(dave->main, grab2), 0);
    CKParam grab3 = Packet(CMD_GRAB_MIC);
    ASSERT_EQ(RoomRequest(alice->main, grab3), 0);
    ASSERT_TRUE(carol->main.WaitFor(CMD_QUEUE_JOINED, 2));
    EXPECT_EQ(Queue(*carol), (QStringList{QStringLiteral("dave"), QStringLiteral("alice")}));
    // Grabbing again while waiting is refused.
    CKParam grab4 = Packet(CMD_GRAB_MIC);
    EXPECT_EQ(RoomRequest(dave->main, grab4), REFUSE_USER_EXISTS);
    CKParam grab5 = Packet(CMD_GRAB_MIC);
    EXPECT_EQ(RoomRequest(carol->main, grab5), REFUSE_ON_MIC);

    // carol lets go: dave is next, taken from the queue.
    CKParam release = Packet(CMD_RELEASE_MIC);
    ASSERT_EQ(RoomRequest(carol->main, release), 0);
    ASSERT_TRUE(alice->main.WaitFor(CMD_MIC_TAKEN, 2));
    EXPECT_EQ(TextOf(alice->main.All(CMD_MIC_RELEASED).front(), 20), QStringLiteral("carol"));
    CKParam second;
    alice->main.All(CMD_MIC_TAKEN)[1].Load(second);
    EXPECT_EQ(second.TextOr(20), QStringLiteral("dave"));
    EXPECT_EQ(second.ShortOr(40, 0), 1);
    EXPECT_EQ(MainHolder(*alice), QStringLiteral("dave"));

    // dave's turn runs out after 30 seconds; alice follows.
    h.Pass(std::chrono::seconds(29));
    EXPECT_EQ(MainHolder(*alice), QStringLiteral("dave"));
    h.Pass(std::chrono::seconds(2));
    EXPECT_EQ(MainHolder(*alice), QStringLiteral("alice"));
    EXPECT_TRUE(Queue(*alice).isEmpty());
    h.Pass(std::chrono::seconds(31));
    EXPECT_EQ(MainHolder(*alice), QString());
    EXPECT_EQ(alice->main.Count(CMD_MIC_RELEASED), 3);
}

TEST(RoomMic, GrabModeGivesAFreeMicrophoneToTheFirstAndRefusesTheRest) {
    CServiceHarness h;
    // Room 1002 grabs, turns of 240 seconds.
    auto bob =
        h.Enter(1002, QStringLiteral("bob"), QStringLiteral("bob123"), QStringLiteral("M-B"));
    auto v = h.Enter(1002, QStringLiteral("游客甲"), QString(), QStringLiteral("M-V"));
    ASSERT_TRUE(bob && v);
    CKParam g1 = Packet(CMD_GRAB_MIC);
    EXPECT_EQ(RoomRequest(v->main, g1), 0);
    CKParam g2 = Packet(CMD_GRAB_MIC);
    EXPECT_EQ(RoomRequest(bob->main, g2), REFUSE_MIC_NOT_DUE);
    EXPECT_EQ(bob->main.Count(CMD_QUEUE_JOINED), 0);
    h.Pass(std::chrono::seconds(241));
    EXPECT_EQ(MainHolder(*bob), QString());
    CKParam g3 = Packet(CMD_GRAB_MIC);
    EXPECT_EQ(RoomRequest(bob->main, g3), 0);
    EXPECT_EQ(MainHolder(*bob), QStringLiteral("bob"));
}

TEST(RoomMic, InOperatorModeManagersHandTheMicrophoneOutAndTakeItBack) {
    CServiceHarness h;
    // Room 1005 is in operator mode; dave owns it.
    auto dave =
        h.Enter(1005, QStringLiteral("dave"), QStringLiteral("dave123"), QStringLiteral("M-D"));
    auto pupil = h.Enter(1005, QStringLiteral("学生"), QString(), QStringLiteral("M-P"));
    auto other = h.Enter(1005, QStringLiteral("旁听"), QString(), QStringLiteral("M-O"));
    ASSERT_TRUE(dave && pupil && other);
    CKParam grab = Packet(CMD_GRAB_MIC);
    EXPECT_EQ(RoomRequest(pupil->main, grab), REFUSE_FORBIDDEN);
    // Ordinary members cannot hand it out either.
    CKParam handByPupil = Named(CMD_HAND_MIC, other->id);
    EXPECT_EQ(RoomRequest(pupil->main, handByPupil), REFUSE_FORBIDDEN);

    CKParam hand = Named(CMD_HAND_MIC, pupil->id);
    ASSERT_EQ(RoomRequest(dave->main, hand), 0);
    ASSERT_TRUE(other->main.WaitFor(CMD_MIC_HANDED));
    const CPacketCopy handed = other->main.All(CMD_MIC_HANDED).front();
    EXPECT_EQ(TextOf(handed, 20), pupil->id);
    EXPECT_EQ(TextOf(handed, 30), QStringLiteral("dave"));
    ASSERT_TRUE(other->main.WaitFor(CMD_MIC_TAKEN));
    // A turn handed out in operator mode has no end.
    h.Pass(std::chrono::minutes(10), std::chrono::seconds(5));
    EXPECT_EQ(MainHolder(*other), pupil->id);

    CKParam again = Named(CMD_HAND_MIC, pupil->id);
    EXPECT_EQ(RoomRequest(dave->main, again), REFUSE_ON_MIC);
    CKParam back = Named(CMD_TAKE_BACK_MIC, pupil->id);
    ASSERT_EQ(RoomRequest(dave->main, back), 0);
    ASSERT_TRUE(other->main.WaitFor(CMD_MIC_TAKEN_BACK));
    ASSERT_TRUE(other->main.WaitFor(CMD_MIC_RELEASED));
    EXPECT_EQ(MainHolder(*other), QString());
    CKParam backAgain = Named(CMD_TAKE_BACK_MIC, pupil->id);
    EXPECT_EQ(RoomRequest(dave->main, backAgain), REFUSE_BAD_OPERATION);
}

TEST(RoomMic, ExtendingReorderingAndTheSecondMicrophone) {
    CServiceHarness h;
    auto alice =
        h.Enter(1001, QStringLiteral("alice"), QStringLiteral("alice123"), QStringLiteral("M-A"));
    auto carol =
        h.Enter(1001, QStringLiteral("carol"), QStringLiteral("carol123"), QStringLiteral("M-C"));
    auto dave =
        h.Enter(1001, QStringLiteral("dave"), QStringLiteral("dave123"), QStringLiteral("M-D"));
    auto erin =
        h.Enter(1001, QStringLiteral("erin"), QStringLiteral("erin123"), QStringLiteral("M-E"));
    ASSERT_TRUE(alice && carol && dave && erin);
    CKParam time = Number(CMD_MIC_TIME, 20);
    ASSERT_EQ(RoomRequest(alice->main, time), 0);
    for (auto* g : {carol.get(), dave.get(), erin.get()}) {
        CKParam grab = Packet(CMD_GRAB_MIC);
        ASSERT_EQ(RoomRequest(g->main, grab), 0);
    }
    EXPECT_EQ(Queue(*alice), (QStringList{QStringLiteral("dave"), QStringLiteral("erin")}));
    CKParam up = Named(CMD_QUEUE_CONTROL, QStringLiteral("erin"), 30);
    up.SetInt(20, 1);
    ASSERT_EQ(RoomRequest(alice->main, up), 0);
    EXPECT_EQ(Queue(*alice), (QStringList{QStringLiteral("erin"), QStringLiteral("dave")}));
    CKParam byMember = Named(CMD_QUEUE_CONTROL, QStringLiteral("dave"), 30);
    byMember.SetInt(20, 0);
    EXPECT_EQ(RoomRequest(carol->main, byMember), REFUSE_FORBIDDEN);

    // One extension adds one turn.
    CKParam extend = Named(CMD_EXTEND_MIC, QStringLiteral("carol"));
    ASSERT_EQ(RoomRequest(alice->main, extend), 0);
    ASSERT_TRUE(dave->main.WaitFor(CMD_MIC_EXTENDED));
    h.Pass(std::chrono::seconds(25));
    EXPECT_EQ(MainHolder(*alice), QStringLiteral("carol"));
    h.Pass(std::chrono::seconds(16));
    EXPECT_EQ(MainHolder(*alice), QStringLiteral("erin"));

    // The second microphone: handed, then forbidden, which frees it.
    CKParam hand2 = Named(CMD_HAND_SECOND_MIC, QStringLiteral("carol"));
    ASSERT_EQ(RoomRequest(alice->main, hand2), 0);
    EXPECT_EQ(SecondHolder(*alice), QStringLiteral("carol"));
    CKParam forbid = Packet(CMD_SECOND_MIC_CONTROL);
    forbid.SetInt(20, 0);
    forbid.SetInt(30, 2);
    ASSERT_EQ(RoomRequest(alice->main, forbid), 0);
    ASSERT_TRUE(dave->main.WaitFor(CMD_SECOND_MIC_RELEASED));
    ASSERT_TRUE(dave->main.WaitFor(CMD_SECOND_MIC_CONTROL_CHANGED));
    EXPECT_EQ(IntOf(dave->main.All(CMD_SECOND_MIC_CONTROL_CHANGED).front(), 30), 0);
    EXPECT_EQ(SecondHolder(*alice), QString());
    CKParam handAgain = Named(CMD_HAND_SECOND_MIC, QStringLiteral("dave"));
    EXPECT_EQ(RoomRequest(alice->main, handAgain), REFUSE_FORBIDDEN);

    // The holder leaving hands the microphone to the next in line.
    erin->main.KClose();
    ASSERT_TRUE(WaitUntil([&] { return MainHolder(*alice) == QStringLiteral("dave"); }));
}

TEST(RoomMic, ModeAndTimeChangesAreCheckedAnnouncedAndKept) {
    CServiceHarness h;
    auto alice =
        h.Enter(1001, QStringLiteral("alice"), QStringLiteral("alice123"), QStringLiteral("M-A"));
    auto carol =
        h.Enter(1001, QStringLiteral("carol"), QStringLiteral("carol123"), QStringLiteral("M-C"));
    ASSERT_TRUE(alice && carol);
    CKParam tooShort = Number(CMD_MIC_TIME, 10);
    EXPECT_EQ(RoomRequest(alice->main, tooShort), REFUSE_MIC_TIME_TOO_SHORT);
    CKParam tooLong = Number(CMD_MIC_TIME, 3601);
    EXPECT_EQ(RoomRequest(alice->main, tooLong), REFUSE_MIC_TIME_TOO_LONG);
    CKParam byMember = Number(CMD_MIC_TIME, 60);
    EXPECT_EQ(RoomRequest(carol->main, byMember), REFUSE_FORBIDDEN);
    CKParam badMode = Number(CMD_MIC_MODE, 3);
    EXPECT_EQ(RoomRequest(alice->main, badMode), REFUSE_BAD_PARAMETER);

    CKParam grab = Packet(CMD_GRAB_MIC);
    ASSERT_EQ(RoomRequest(carol->main, grab), 0);
    CKParam queued = Packet(CMD_GRAB_MIC);
    ASSERT_EQ(RoomRequest(alice->main, queued), 0);
    CKParam forced = Number(CMD_MIC_MODE, 0);
    ASSERT_EQ(RoomRequest(alice->main, forced), 0);
    ASSERT_TRUE(carol->main.WaitFor(CMD_MIC_MODE_CHANGED));
    EXPECT_EQ(IntOf(carol->main.All(CMD_MIC_MODE_CHANGED).front(), 30), 0);
    // Leaving queue mode empties the queue; the setting outlives the room's stay.
    EXPECT_TRUE(Queue(*carol).isEmpty());
    EXPECT_EQ(h.Service().Store().Room(1001)->micMode, 0);
    CKParam settings = Packet(CMD_ROOM_SETTINGS);
    EXPECT_EQ(IntOf(*carol->main.Request(settings, CMD_ROOM_SETTINGS_REPLY), 100), 0);
}
