// Private chat in the service: invitations between members of a room, refused while the invitee
// is being asked and when they come too fast; a yes moves both into a private room that
// carries their lines and their voice. That one is told when the other leaves is the console's
// private-chat script's.

#include "protocol/Commands.h"
#include "protocol/Refusal.h"
#include "protocol/keys/GiftsKeys.h"
#include "protocol/keys/PrivateChatKeys.h"
#include "server/GiftStore.h"
#include "server/PrivateChat.h"
#include "tests/support/PacketFields.h"
#include "tests/support/ServiceHarness.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using namespace tavotest;

namespace {

int Invite(tagRoomGuest& from, const QString& to) {
    return RoomRequest(from.main, Packet(CMD_PRIVATE_REQUEST,
                                         {{20, to}, {30, false}, {40, 0}, {50, QString("聊聊")}}));
}

struct Room {
    CServiceHarness h;
    std::unique_ptr<tagRoomGuest> alice = h.Enter(1001, "alice", "alice123", "M-A");
    std::unique_ptr<tagRoomGuest> bob = h.Enter(1001, "bob", "bob123", "M-B");
    std::unique_ptr<tagRoomGuest> carol = h.Enter(1001, "carol", "carol123", "M-C");
};

bool Accepted(const CPacketCopy& answer) {
    CKParam p;
    answer.Load(p);
    return p.BoolOr(20, true);
}

// Alice invites bob, he says yes and both enter the private room.
bool EnterTogether(Room& r) {
    if (Invite(*r.alice, "bob") != 0 ||
        RoomRequest(r.bob->main, Packet(CMD_PRIVATE_ANSWER, {{20, true}, {30, "alice"}})) != 0 ||
        !r.alice->main.WaitFor(CMD_MOVE_TO_PRIVATE)) {
        return false;
    }
    const int number = IntOf(r.alice->main.All(CMD_MOVE_TO_PRIVATE).front(), 20);
    for (tagRoomGuest* g : {r.alice.get(), r.bob.get()}) {
        if (RoomRequest(g->main, Packet(CMD_ENTER_PRIVATE, {{20, g->id}, {30, 1}, {40, number}})) !=
            0) {
            return false;
        }
    }
    return r.alice->main.WaitFor(CMD_PEER_IN_PRIVATE_ROOM) &&
           r.bob->main.WaitFor(CMD_PEER_IN_PRIVATE_ROOM);
}

}  // namespace

TEST(PrivateChat, AnInvitationIsRefusedWhileItsInviteeIsAskedAndWhenItComesTooSoon) {
    Room r;
    ASSERT_TRUE(r.alice && r.bob && r.carol);
    ASSERT_EQ(Invite(*r.alice, "bob"), 0);
    ASSERT_TRUE(r.bob->main.WaitFor(CMD_PRIVATE_REQUESTED));
    EXPECT_TRUE(
        HasFields(r.bob->main.All(CMD_PRIVATE_REQUESTED).front(), {{20, "alice"}, {50, "聊聊"}}));

    EXPECT_EQ(Invite(*r.carol, "bob"), REFUSE_PRIVATE_BUSY);
    // Nor is the one who asks free to be asked.
    EXPECT_EQ(Invite(*r.carol, "alice"), REFUSE_PRIVATE_BUSY);
    // Bob says no; alice, who just invited, must wait before she invites again.
    ASSERT_EQ(RoomRequest(r.bob->main, Packet(CMD_PRIVATE_ANSWER, {{20, false}, {30, "alice"}})),
              0);
    ASSERT_TRUE(r.alice->main.WaitFor(CMD_PRIVATE_ANSWERED));
    const CPacketCopy answer = r.alice->main.All(CMD_PRIVATE_ANSWERED).front();
    EXPECT_FALSE(Accepted(answer));
    // The answer named the inviter, which is no reason to show her.
    EXPECT_EQ(TextOf(answer, 30), "");
    EXPECT_EQ(Invite(*r.alice, "carol"), REFUSE_PRIVATE_TOO_FAST);
    r.h.Pass(std::chrono::seconds(11));
    EXPECT_EQ(Invite(*r.alice, "carol"), 0);
    // A refusal the invitee's client made on its own says why.
    ASSERT_EQ(
        RoomRequest(r.carol->main, Packet(CMD_PRIVATE_ANSWER, {{20, false}, {30, "门槛不够"}})), 0);
    ASSERT_TRUE(r.alice->main.WaitFor(CMD_PRIVATE_ANSWERED, 2));
    EXPECT_EQ(TextOf(r.alice->main.All(CMD_PRIVATE_ANSWERED).back(), 30), "门槛不够");
}

TEST(PrivateChat, AYesMovesBothIntoAPrivateRoomThatCarriesTheirLinesAndVoice) {
    Room r;
    ASSERT_TRUE(r.alice && r.bob && r.carol);
    ASSERT_EQ(Invite(*r.alice, "bob"), 0);
    ASSERT_EQ(RoomRequest(r.bob->main, Packet(CMD_PRIVATE_ANSWER, {{20, true}, {30, "alice"}})), 0);
    ASSERT_TRUE(r.alice->main.WaitFor(CMD_MOVE_TO_PRIVATE));
    ASSERT_TRUE(r.bob->main.WaitFor(CMD_MOVE_TO_PRIVATE));
    const int number = IntOf(r.alice->main.All(CMD_MOVE_TO_PRIVATE).front(), 20);
    EXPECT_EQ(IntOf(r.bob->main.All(CMD_MOVE_TO_PRIVATE).front(), 20), number);
    // The room sees both go.
    ASSERT_TRUE(r.carol->main.WaitFor(CMD_DEPARTURE, 2));

    // A wrong number enters nothing; the right one answers with the address we came from.
    EXPECT_EQ(
        RoomRequest(r.alice->main, Packet(CMD_ENTER_PRIVATE, {{20, "alice"}, {40, number + 1}})),
        REFUSE_BAD_OPERATION);
    for (tagRoomGuest* g : {r.alice.get(), r.bob.get()}) {
        auto reply =
            g->main.Request(Packet(CMD_ENTER_PRIVATE, {{20, g->id}, {30, 1}, {40, number}}),
                            CMD_ENTER_PRIVATE_REPLY);
        ASSERT_TRUE(reply);
        EXPECT_TRUE(HasFields(*reply, {{KEY_RESULT, 0}, {30, "127.0.0.1"}}));
    }
    for (tagRoomGuest* g : {r.alice.get(), r.bob.get()}) {
        ASSERT_TRUE(g->main.WaitFor(CMD_PEER_IN_PRIVATE_ROOM));
        ASSERT_TRUE(g->main.WaitFor(CMD_PRIVATE_SPEAK));
    }
    EXPECT_EQ(TextOf(r.alice->main.All(CMD_PEER_IN_PRIVATE_ROOM).front(), 20), "bob");
    auto info = r.bob->main.Request(Packet(CMD_PEER_INFO), CMD_PEER_INFO_REPLY);
    ASSERT_TRUE(info);
    EXPECT_TRUE(HasFields(*info, {{30, "alice"}, {40, "爱丽丝"}, {90, "127.0.0.1"}}));

    EXPECT_EQ(
        RoomRequest(r.alice->main,
                    Packet(CMD_TEXT, {{20, "bob"}, {30, "<font>hi</font>"}, {40, 1}, {50, "hi"}})),
        0);
    ASSERT_TRUE(r.bob->main.WaitFor(CMD_TEXT_LINE));
    EXPECT_TRUE(HasFields(r.bob->main.All(CMD_TEXT_LINE).front(),
                          {{20, "alice"}, {30, "<font>hi</font>"}}));
    EXPECT_EQ(RoomRequest(r.alice->main, Packet(CMD_QUALITY, {{20, 7}})), REFUSE_BAD_PARAMETER);
    // What the private room does not know is refused at once.
    EXPECT_EQ(RoomRequest(r.alice->main, Packet(CMD_GIFT_INFO)), REFUSE_FORBIDDEN);

    CKParam voice = Packet(CMD_AUDIO, {{20, 1}, {30, 3}, {50, 9}, {60, "carol"}});
    const QByteArray payload(250, '\x5a');
    voice.SetChar(40, payload.constData(), static_cast<unsigned short>(payload.size()));
    r.alice->second.Send(voice);
    ASSERT_TRUE(r.bob->second.WaitFor(CMD_AUDIO));
    // The sender is who the service knows, not who the packet claims.
    EXPECT_TRUE(HasFields(r.bob->second.All(CMD_AUDIO).front(), {{60, "alice"}, {30, 3}}));
    // Carol, left behind in the room, hears none of it.
    EXPECT_EQ(r.carol->second.Count(CMD_AUDIO), 0);
    EXPECT_EQ(r.carol->main.Count(CMD_TEXT_LINE), 0);

    // A file offer is answered by the peer; the file's packets then go through the service.
    r.alice->main.Send(Packet(CMD_FILE_OFFER));
    ASSERT_TRUE(r.bob->main.WaitFor(CMD_FILE_OFFERED));
    r.bob->main.Send(Packet(CMD_FILE_ANSWER, {{20, true}}));
    ASSERT_TRUE(r.alice->main.WaitFor(CMD_FILE_OFFER_REPLY));
    EXPECT_TRUE(Accepted(r.alice->main.All(CMD_FILE_OFFER_REPLY).front()));
    r.alice->second.Send(Packet(CMD_FILE_BEGIN, {{20, 7}}));
    ASSERT_TRUE(r.bob->second.WaitFor(CMD_FILE_BEGIN));
    EXPECT_EQ(TextOf(r.bob->second.All(CMD_FILE_BEGIN).front(), 110), "alice");
}

TEST(PrivateChat, GiftsAndSnapshotsInAPrivateRoomArePaidFromTheGiversBalance) {
    Room r;
    ASSERT_TRUE(r.alice && r.bob && r.carol);
    ASSERT_TRUE(EnterTogether(r));
    CStore& store = r.h.Service().Store();
    CGiftStore money(store);
    const int alice = store.FindAccount(QStringLiteral("alice"))->number;
    const int bob = store.FindAccount(QStringLiteral("bob"))->number;
    ASSERT_TRUE(money.SetBalance(alice, 2500));
    ASSERT_TRUE(money.SetBalance(bob, 0));

    // The private room gives with the recipient and the gift alone: one item.
    ASSERT_EQ(RoomRequest(r.alice->main, Packet(CMD_GIFT, {{20, "bob"}, {30, 1001}})), 0);
    for (tagRoomGuest* g : {r.alice.get(), r.bob.get()}) {
        ASSERT_TRUE(g->main.WaitFor(CMD_GIFT_GIVEN));
        const CPacketCopy given = g->main.All(CMD_GIFT_GIVEN).front();
        EXPECT_TRUE(HasFields(
            given, {{GiftGivenKey::GIVER, "alice"},
                    {GiftGivenKey::RECIPIENT, "bob"},
                    {GiftGivenKey::GIVER_DEBIT, 1000},
                    {GiftGivenKey::RECIPIENT_CREDIT, 1000 * CGiftStore::kRecipientShare / 100}}));
        // Nobody owns a private room: nobody else is paid.
        EXPECT_EQ(TextOf(given, GiftGivenKey::THIRD), "<missing>");
    }
    EXPECT_EQ(money.Balance(alice), 1500);
    EXPECT_EQ(money.Balance(bob), 1000 * CGiftStore::kRecipientShare / 100);
    // Two more are more than she has left; carol is not in the private room at all.
    EXPECT_EQ(
        RoomRequest(r.alice->main, Packet(CMD_GIFT, {{20, "bob"}, {30, 1001}, {40, short{2}}})),
        REFUSE_BALANCE);
    EXPECT_EQ(RoomRequest(r.alice->main, Packet(CMD_GIFT, {{20, "carol"}, {30, 1}})),
              REFUSE_BAD_USER);
    EXPECT_EQ(money.Balance(alice), 1500) << "a refused gift took money";
    EXPECT_EQ(r.carol->main.Count(CMD_GIFT_GIVEN), 0);

    // A screenshot is paid by who asks for it; video control costs nothing here.
    const int credited = 1000 * CGiftStore::kRecipientShare / 100;
    ASSERT_EQ(RoomRequest(r.bob->main, Packet(CMD_SNAPSHOT_CONTROL, {{20, SNAPSHOT_RECORD}})), 0);
    ASSERT_EQ(RoomRequest(r.bob->main, Packet(CMD_SNAPSHOT_CONTROL, {{20, SNAPSHOT_PICTURE}})), 0);
    EXPECT_EQ(money.Balance(bob), credited - CPrivateChat::kSnapshotCost);
    ASSERT_TRUE(money.SetBalance(bob, 0));
    EXPECT_EQ(RoomRequest(r.bob->main, Packet(CMD_SNAPSHOT_CONTROL, {{20, SNAPSHOT_PICTURE}})),
              REFUSE_BALANCE);
    EXPECT_EQ(RoomRequest(r.bob->main, Packet(CMD_SNAPSHOT_CONTROL, {{20, 4}})),
              REFUSE_BAD_PARAMETER);
}
