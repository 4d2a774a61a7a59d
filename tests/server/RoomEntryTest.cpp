// Entering rooms: the login, the entry with each refusal, the second connection, the member
// list and the settings, and what the others see of arrivals and departures.

#include "platform/Clock.h"
#include "protocol/Commands.h"
#include "protocol/Refusal.h"
#include "tests/support/PacketFields.h"
#include "tests/support/ServiceHarness.h"
#include "tests/support/TestSupport.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <map>

using namespace tavotest;

namespace {

bool HasField(const CKParam& p, short key) {
    int i = 0;
    short h = 0;
    bool b = false;
    QString t;
    return p.GetInt(key, i) == 0 || p.GetShortInt(key, h) == 0 || p.GetBoolean(key, b) == 0 ||
           p.GetCString(key, t) == 0;
}

// A room login naming an identity, as anybody can send one.
CKParam RoomLogin(const QString& id, int number, int room, const QString& machine) {
    return Packet(CMD_ROOM_LOGIN, {{20, id}, {30, number}, {40, room}, {80, machine}});
}

}  // namespace

TEST(RoomEntry,
     MembersAndVisitorsEnterWithKeysTheSecondConnectionAttachesAndDeparturesAreAnnounced) {
    CServiceHarness h;
    int refusal = -1;
    auto alice = h.Enter(1001, "alice", "alice123", "M-A", &refusal);
    ASSERT_TRUE(alice) << refusal;
    EXPECT_EQ(alice->id, "alice");
    EXPECT_NE(alice->keyA, 0);
    auto visitor = h.Enter(1001, "看客", QString(), "M-V", &refusal);
    ASSERT_TRUE(visitor) << refusal;
    EXPECT_TRUE(visitor->id.startsWith("游客"));
    EXPECT_EQ(h.Service().Occupancy(1001), 2);

    // The entry reply carried what the client keeps.
    const CPacketCopy entered = alice->main.All(CMD_ENTER_REPLY).front();
    EXPECT_TRUE(HasFields(entered, {{50, static_cast<int>(h.SecondPort())},
                                    {60, "欢迎$某某人$来到$某某房间$!"},
                                    {90, h.Service().Config().serverVersion},
                                    {200, 1001}}));

    // The first member saw the second arrive, with the visitor's nickname and rank.
    ASSERT_TRUE(alice->main.WaitFor(CMD_ARRIVAL));
    EXPECT_TRUE(HasFields(alice->main.All(CMD_ARRIVAL).front(),
                          {{20, visitor->id}, {30, "看客"}, {40, 10}}));
    EXPECT_EQ(visitor->main.Count(CMD_ARRIVAL), 0);

    // Wrong entry keys do not attach a second connection.
    CTestConnection stranger;
    ASSERT_TRUE(stranger.Open(h.SecondPort()));
    EXPECT_EQ(Outcome(stranger.Request(
                  Packet(CMD_ATTACH, {{20, alice->keyA}, {30, "alice"}, {40, alice->keyB + 1}}),
                  CMD_ATTACH_REPLY)),
              REFUSE_BAD_CONNECTION);

    // Departures are announced, and the second connection goes with its member.
    visitor->main.KClose();
    ASSERT_TRUE(alice->main.WaitFor(CMD_DEPARTURE));
    EXPECT_EQ(TextOf(alice->main.All(CMD_DEPARTURE).front(), 20), visitor->id);
    EXPECT_TRUE(visitor->second.WaitClosed());
    EXPECT_EQ(h.Service().Occupancy(1001), 1);
    // alice comes back on a new connection before the old one is noticed as gone.
    auto again = h.Enter(1001, "alice", "alice123", "M-A");
    ASSERT_TRUE(again);
    EXPECT_TRUE(alice->main.WaitClosed());
    EXPECT_EQ(h.Service().Occupancy(1001), 1);
    // The room closes with its last member.
    again->main.KClose();
    EXPECT_TRUE(WaitUntil([&] { return h.Service().RoomServer(0).ActiveRoom(1001) == nullptr; }));
}

TEST(RoomEntry, RefusesLockedBannedFullAndUnknownRooms) {
    CServiceHarness h;
    int refusal = 0;
    EXPECT_FALSE(h.Enter(1003, "dave", "dave123", "M-D", &refusal));
    EXPECT_EQ(refusal, REFUSE_PASSWORD_NEEDED);
    EXPECT_FALSE(h.Enter(1003, "dave", "dave123", "M-D", &refusal, "open"));
    EXPECT_EQ(refusal, REFUSE_WRONG_ROOM_PASSWORD);
    EXPECT_TRUE(h.Enter(1003, "dave", "dave123", "M-D", &refusal, "sesame"));
    // The owner needs no password.
    EXPECT_TRUE(h.Enter(1003, "carol", "carol123", "M-C", &refusal));

    EXPECT_FALSE(h.Enter(1002, "erin", "erin123", "M-E", &refusal));
    EXPECT_EQ(refusal, REFUSE_BANNED);

    // Room 1004 holds three.
    std::vector<std::unique_ptr<tagRoomGuest>> inside;
    for (int i = 0; i < 3; ++i) {
        inside.push_back(
            h.Enter(1004, QStringLiteral("v%1").arg(i), QString(), QStringLiteral("M-%1").arg(i)));
        ASSERT_TRUE(inside.back());
    }
    EXPECT_FALSE(h.Enter(1004, "late", QString(), "M-L", &refusal));
    EXPECT_EQ(refusal, REFUSE_ROOM_FULL);
    inside.pop_back();  // one leaves: there is room again
    EXPECT_TRUE(WaitUntil([&] { return h.Service().Occupancy(1004) == 2; }));
    EXPECT_TRUE(h.Enter(1004, "late", QString(), "M-L", &refusal));

    EXPECT_FALSE(h.Enter(4242, "x", QString(), "M-X", &refusal));
    EXPECT_EQ(refusal, REFUSE_BAD_ROOM);
}

TEST(RoomEntry, TheDisabledRefusalSaysWhyAndCommandsBeforeEntryAreRefusedAndCounted) {
    CServiceHarness h;
    auto room = h.Service().Store().Room(1001);
    room->disabledUntil = h.Clock().Now() + 7200;
    room->disabledReason = "整顿";
    room->disabledBy = "admin";
    ASSERT_TRUE(h.Service().Store().UpdateRoom(*room));

    const QString visitor = h.Visitor("M-1");
    CTestConnection client;
    ASSERT_TRUE(client.Open(h.RoomPort()));
    auto refused = client.Request(RoomLogin(visitor, -1, 1001, "M-1"), CMD_ROOM_LOGIN_REPLY);
    ASSERT_TRUE(refused);
    EXPECT_TRUE(HasFields(*refused, {{KEY_REFUSAL, REFUSE_ROOM_DISABLED},
                                     {30, static_cast<int>(room->disabledUntil)},
                                     {40, "整顿"},
                                     {50, "admin"}}));

    // Room commands before the entry are refused, and enough of them end the connection.
    CTestConnection early;
    ASSERT_TRUE(early.Open(h.RoomPort()));
    EXPECT_EQ(Outcome(early.Request(Packet(CMD_TEXT, {{30, "hello"}}), CMD_TEXT_REPLY)),
              REFUSE_BAD_CONNECTION);
    EXPECT_EQ(Outcome(early.Request(Packet(CMD_ENTER), CMD_ENTER_REPLY)), REFUSE_BAD_CONNECTION);
    for (int i = 0; i < 30 && !early.closed; ++i) {
        early.Send(Packet(CMD_MEMBER_LIST));
    }
    EXPECT_TRUE(early.WaitClosed());
}

TEST(RoomEntry, AnEntryWithAnotherMembersPublicValuesIsRefusedAndTheirStayKept) {
    CServiceHarness h;
    auto alice = h.Enter(1001, "alice", "alice123", "M-A");
    auto guest = h.Enter(1001, "路人", QString(), "M-G");
    ASSERT_TRUE(alice && guest);
    // Nobody may enter as an account that is not logged in from their machine.
    CTestConnection stranger;
    ASSERT_TRUE(stranger.Open(h.RoomPort()));
    EXPECT_EQ(IntOf(*stranger.Request(RoomLogin("bob", 10002, 1002, "M-1"), CMD_ROOM_LOGIN_REPLY),
                    KEY_REFUSAL),
              REFUSE_BAD_USER);
    // Everybody in the room reads the others' names and numbers in the member list.
    auto members = guest->main.Request(Packet(CMD_MEMBER_LIST), CMD_MEMBER_LIST_REPLY);
    ASSERT_TRUE(members);
    std::map<QString, int> numbers;
    for (short key = 31; key < 31 + IntOf(*members, 30); ++key) {
        const QStringList fields = TextOf(*members, key).split(QLatin1Char(','));
        ASSERT_GE(fields.size(), 11);
        numbers[fields[0]] = fields[10].toInt();
    }
    ASSERT_EQ(numbers.size(), 2u);
    // Somebody on another machine who knows those and each one's machine text as well.
    for (const auto& [id, machine] : {std::pair{alice->id, "M-A"}, std::pair{guest->id, "M-G"}}) {
        CTestConnection impostor;
        ASSERT_TRUE(impostor.Open(h.RoomPort(), "127.0.0.2"));
        EXPECT_EQ(Outcome(impostor.Request(RoomLogin(id, numbers[id], 1001, machine),
                                           CMD_ROOM_LOGIN_REPLY)),
                  REFUSE_BAD_USER)
            << id.toStdString();
        // Had the login passed, this entry would have replaced the member's stay.
        impostor.Request(Packet(CMD_ENTER), CMD_ENTER_REPLY);
    }
    Spin(std::chrono::milliseconds(50));
    EXPECT_FALSE(alice->main.closed);
    EXPECT_FALSE(guest->main.closed);
    EXPECT_EQ(h.Service().Occupancy(1001), 2);
}

TEST(RoomEntry, MemberListAndSettingsTellTheRoomAsItIs) {
    CServiceHarness h;
    auto alice = h.Enter(1001, "alice", "alice123", "M-A");
    auto bob = h.Enter(1001, "bob", "bob123", "M-B");
    auto guest = h.Enter(1001, "路人,甲", QString(), "M-G");
    ASSERT_TRUE(alice && bob && guest);

    auto members = bob->main.Request(Packet(CMD_MEMBER_LIST), CMD_MEMBER_LIST_REPLY);
    ASSERT_TRUE(members);
    ASSERT_EQ(IntOf(*members, KEY_RESULT), 0);
    ASSERT_EQ(IntOf(*members, 30), 3);
    std::map<QString, QStringList> byId;
    for (short key = 31; key < 34; ++key) {
        const QStringList fields = TextOf(*members, key).split(QLatin1Char(','));
        EXPECT_GE(fields.size(), 23);
        byId[fields[0]] = fields;
    }
    // The asker comes first, so it always finds itself.
    EXPECT_EQ(TextOf(*members, 31).section(QLatin1Char(','), 0, 0), "bob");
    EXPECT_EQ(byId["alice"][1], "爱丽丝");
    EXPECT_EQ(byId["alice"][3], "60");  // owner
    EXPECT_EQ(byId["bob"][3], "30");    // operator
    EXPECT_EQ(byId["bob"][2], "1");
    EXPECT_EQ(byId[guest->id][3], "10");
    EXPECT_EQ(byId[guest->id][2], "0");
    // A comma in a nickname would split the text: it travels as a full-width comma.
    EXPECT_EQ(byId[guest->id][1], "路人，甲");
    // Registered members may send faces (their face end time lies ahead), visitors may not.
    EXPECT_GT(byId["bob"][27].toLongLong(), CClock::Get().Now() + 86400);
    EXPECT_EQ(byId[guest->id][27], "0");

    auto s = guest->main.Request(Packet(CMD_ROOM_SETTINGS), CMD_ROOM_SETTINGS_REPLY);
    ASSERT_TRUE(s);
    EXPECT_TRUE(HasFields(*s, {{30, "音乐之声"},
                               {40, "好声音在这里"},
                               {70, 0},
                               {100, 1},
                               {110, 300},
                               {300, "广告,spam"},
                               {290, "管理员,admin"},
                               {120, true}}));
    const CKParam p = s->Loaded();
    // Every setting the client reads is there, whatever its value.
    for (short key : {41,  50,  60,  80,  90,  101, 130, 135, 140, 150, 160, 170, 180, 190, 200,
                      210, 220, 230, 240, 250, 260, 270, 280, 310, 330, 340, 350, 360, 370}) {
        EXPECT_TRUE(HasField(p, key)) << "key " << key;
    }
}
