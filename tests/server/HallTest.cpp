// The server-information host and the hall, driven over loopback as the client drives them.

#include "protocol/Commands.h"
#include "protocol/LoginCipher.h"
#include "protocol/Refusal.h"
#include "server/AdminQueue.h"
#include "server/Sqlite.h"
#include "tests/support/PacketFields.h"
#include "tests/support/ServiceHarness.h"
#include "tests/support/TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <tuple>

using namespace tavotest;

TEST(HallLogin, AcceptsAccountsByNameInAnyCaseOrByNumberAndRefusesWrongPasswordsAndBrokenBlocks) {
    CServiceHarness h;
    const QString m = "00-11-22-33-44-55";
    auto byName = h.Login("ALICE", "alice123", m);
    ASSERT_TRUE(byName);
    EXPECT_EQ(IntOf(*byName, KEY_RESULT), 0);
    EXPECT_EQ(TextOf(*byName, 40), "alice");
    // The user number is the login's own, never the account's public number.
    const int userNumber = IntOf(*byName, 30);
    EXPECT_GT(userNumber, 0);
    EXPECT_NE(userNumber, 10001);

    auto byNumber = h.Login("10002", "bob123", m);
    ASSERT_TRUE(byNumber);
    EXPECT_EQ(TextOf(*byNumber, 40), "bob");
    EXPECT_NE(IntOf(*byNumber, 30), userNumber);

    for (const auto& [user, password] :
         {std::pair{"alice", "alice124"}, std::pair{"alice", ""}, std::pair{"nobody", "x"}}) {
        auto refused = h.Login(QString::fromUtf8(user), QString::fromUtf8(password), m);
        ASSERT_TRUE(refused) << user;
        EXPECT_EQ(IntOf(*refused, KEY_RESULT), -1) << user;
        EXPECT_EQ(IntOf(*refused, KEY_REFUSAL), REFUSE_BAD_PASSWORD) << user;
    }

    // Passwords with blanks and Chinese are read whole.
    ASSERT_GT(h.Service().Store().AddAccount("frank", "芝麻 开门", QString()), 0);
    auto ok = h.Login("frank", "芝麻 开门", m, "游客800001");
    ASSERT_TRUE(ok);
    EXPECT_EQ(IntOf(*ok, KEY_RESULT), 0);

    // A block that is not whole cipher blocks cannot be a credential text.
    CKParam broken = HallRequest(CMD_LOGIN, m);
    broken.SetInt(20, 10);
    broken.SetChar(30, "0123456789", 10);
    EXPECT_EQ(Outcome(h.Hall(broken, CMD_LOGIN_REPLY)), REFUSE_BAD_PARAMETER);
}

TEST(HallLogin, FailedLoginsWaitLongerAndLongerPerAccountAndPerAddress) {
    CServiceHarness h;
    const QString m = "M-T";
    auto refusal = [](const CTestConnection& c) {
        return IntOf(c.All(CMD_LOGIN_REPLY).back(), KEY_REFUSAL, 0);
    };
    // Ten wrong passwords within a minute are answered at once.
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(Outcome(h.Login("alice", "wrong", m)), REFUSE_BAD_PASSWORD) << i;
    }
    // The eleventh waits: no answer while the clock stands still, the refusal a second on.
    CTestConnection eleventh;
    ASSERT_TRUE(eleventh.Open(h.HallPort()));
    eleventh.Send(CServiceHarness::LoginRequest("alice", "wrong", m));
    EXPECT_FALSE(eleventh.WaitFor(CMD_LOGIN_REPLY, 1, std::chrono::milliseconds(300)));
    h.Pass(std::chrono::seconds(1));
    ASSERT_TRUE(eleventh.WaitFor(CMD_LOGIN_REPLY));
    EXPECT_EQ(refusal(eleventh), REFUSE_BAD_PASSWORD);

    // The account waits from any address, also with the right password; another account from
    // another address does not; and this address waits whatever account it names.
    CTestConnection owner;
    ASSERT_TRUE(owner.Open(h.HallPort(), "127.0.0.2"));
    owner.Send(CServiceHarness::LoginRequest("alice", "alice123", m));
    auto bob = h.Login("bob", "bob123", "M-B", QString(), "127.0.0.2");
    ASSERT_TRUE(bob);
    EXPECT_EQ(IntOf(*bob, KEY_RESULT), 0);
    CTestConnection neighbour;
    ASSERT_TRUE(neighbour.Open(h.HallPort()));
    neighbour.Send(CServiceHarness::LoginRequest("carol", "carol123", "M-C"));
    Spin(std::chrono::milliseconds(300));
    EXPECT_EQ(owner.Count(CMD_LOGIN_REPLY) + neighbour.Count(CMD_LOGIN_REPLY), 0);
    // Each waits two seconds now: the delay doubles with every failure past the tenth.
    h.Pass(std::chrono::seconds(1));
    Spin(std::chrono::milliseconds(300));
    EXPECT_EQ(owner.Count(CMD_LOGIN_REPLY) + neighbour.Count(CMD_LOGIN_REPLY), 0);
    h.Pass(std::chrono::seconds(1));
    ASSERT_TRUE(owner.WaitFor(CMD_LOGIN_REPLY) && neighbour.WaitFor(CMD_LOGIN_REPLY));
    EXPECT_EQ(IntOf(owner.All(CMD_LOGIN_REPLY).back(), KEY_RESULT), 0);
    EXPECT_EQ(IntOf(neighbour.All(CMD_LOGIN_REPLY).back(), KEY_RESULT), 0);
}

TEST(HallLogin, KeepsPasswordsSaltedAndUpgradesAnOldDigestAtTheNextGoodLogin) {
    QTemporaryDir dir;
    tagServerConfig config = TestServiceConfig();
    config.databasePath = dir.filePath("service.sqlite");
    CServiceHarness h(config);
    CStore& store = h.Service().Store();
    // Nothing a stolen database holds gives the password away or shows who shares one.
    ASSERT_GT(store.AddAccount("twin", "bob123", QString()), 0);
    const QString bobHash = store.FindAccount("bob")->digest;
    EXPECT_NE(bobHash, store.FindAccount("twin")->digest);
    EXPECT_FALSE(bobHash.contains(PasswordDigest("bob123"), Qt::CaseInsensitive));

    // A row written before passwords were salted holds the bare MD5 digest.
    const QString md5 = PasswordDigest("alice123");
    CSqliteDb old;
    ASSERT_TRUE(old.Open(config.databasePath));
    CSqlStatement q(old, "UPDATE accounts SET digest = ? WHERE name = 'alice'");
    ASSERT_TRUE(q.Bind(1, md5).Run());
    const QString m = "M-A";
    EXPECT_EQ(IntOf(*h.Login("alice", "alice124", m), KEY_REFUSAL), REFUSE_BAD_PASSWORD);
    EXPECT_EQ(store.FindAccount("alice")->digest, md5);
    EXPECT_EQ(IntOf(*h.Login("alice", "alice123", m), KEY_RESULT), 0);
    const QString upgraded = store.FindAccount("alice")->digest;
    EXPECT_NE(upgraded, md5);
    EXPECT_FALSE(upgraded.contains(md5, Qt::CaseInsensitive));
    EXPECT_EQ(IntOf(*h.Login("alice", "alice123", m), KEY_RESULT), 0);
}

TEST(HallPresence, GivesVisitorsTheirOwnNamesAnswersPresenceAndTakesOnlySoManyFromOneAddress) {
    tagServerConfig config = TestServiceConfig();
    config.limits.maxVisitorsPerAddress = 3;
    CServiceHarness h(config);
    int number = 0;
    const QString a = h.Visitor("M-1", "小明", &number);
    int bNumber = 0;
    const QString b = h.Visitor("M-2", QString(), &bNumber);
    EXPECT_FALSE(a.isEmpty());
    EXPECT_NE(a, b);
    ASSERT_NE(h.Service().Presence().Visitor(a), nullptr);
    EXPECT_EQ(h.Service().Presence().Visitor(a)->nickname, "小明");
    auto reply = h.Hall(HallRequest(CMD_PRESENCE, "M-1", a, number), CMD_PRESENCE_REPLY);
    ASSERT_TRUE(reply);
    EXPECT_EQ(IntOf(*reply, KEY_RESULT), 0);
    // Quitting forgets the visitor, but only for the client the hall gave its user number to.
    CTestConnection other;
    ASSERT_TRUE(other.Open(h.HallPort()));
    other.Send(HallRequest(CMD_QUIT, "M-1", a, a.mid(2).toInt()));
    Spin(std::chrono::milliseconds(50));
    EXPECT_NE(h.Service().Presence().Visitor(a), nullptr);
    CTestConnection c;
    ASSERT_TRUE(c.Open(h.HallPort()));
    c.Send(HallRequest(CMD_QUIT, "M-1", a, number));
    EXPECT_TRUE(WaitUntil([&] { return h.Service().Presence().Visitor(a) == nullptr; }));

    // Three visitors from one address at most; one leaves, so another may come.
    EXPECT_FALSE(h.Visitor("M-3").isEmpty());
    EXPECT_FALSE(h.Visitor("M-4").isEmpty());
    EXPECT_EQ(Outcome(h.Hall(HallRequest(CMD_VISITOR, "M-5"), CMD_VISITOR_REPLY)),
              REFUSE_SERVER_FULL);
    CTestConnection leaving;
    ASSERT_TRUE(leaving.Open(h.HallPort()));
    leaving.Send(HallRequest(CMD_QUIT, "M-2", b, bNumber));
    ASSERT_TRUE(WaitUntil([&] { return h.Service().Presence().VisitorCount() == 2; }));
    EXPECT_FALSE(h.Visitor("M-6").isEmpty());
    // Visitors that stop asking for presence are forgotten in time.
    h.Pass(std::chrono::seconds(200), std::chrono::seconds(10));
    EXPECT_EQ(h.Service().Presence().VisitorCount(), 0);
}

TEST(HallPresence, ALoginFromAnotherMachineTakesOverAndTheFirstIsToldOnceUnlessItIsInARoom) {
    CServiceHarness h;
    const QString m1 = "M-1";
    const QString m2 = "M-2";
    auto first = h.Login("alice", "alice123", m1);
    ASSERT_TRUE(first);
    auto second = h.Login("alice", "alice123", m2);
    ASSERT_TRUE(second);
    EXPECT_EQ(IntOf(*second, KEY_RESULT), 0);
    const int n1 = IntOf(*first, 30);
    const int n2 = IntOf(*second, 30);

    auto told = h.Hall(HallRequest(CMD_PRESENCE, m1, "alice", n1), CMD_LOGGED_ELSEWHERE);
    ASSERT_TRUE(told);
    EXPECT_TRUE(h.Hall(HallRequest(CMD_PRESENCE, m1, "alice", n1), CMD_PRESENCE_REPLY));
    EXPECT_TRUE(h.Hall(HallRequest(CMD_PRESENCE, m2, "alice", n2), CMD_PRESENCE_REPLY));
    // Requests that need the login work only for the machine that holds it now.
    EXPECT_EQ(Outcome(h.Hall(HallRequest(CMD_ROOM_LIST, m1, "alice", n1), CMD_ROOM_LIST_REPLY)),
              REFUSE_BAD_USER);
    EXPECT_EQ(Outcome(h.Hall(HallRequest(CMD_ROOM_LIST, m2, "alice", n2), CMD_ROOM_LIST_REPLY)), 0);

    // While the account is inside a room, another machine's login is refused; the same
    // machine logging in again is no conflict.
    auto guest = h.Enter(1001, "bob", "bob123", m1);
    ASSERT_TRUE(guest);
    EXPECT_EQ(IntOf(*h.Login("bob", "bob123", m2), KEY_REFUSAL), REFUSE_ALREADY_LOGGED_IN);
    EXPECT_EQ(IntOf(*h.Login("bob", "bob123", m1), KEY_RESULT), 0);
}

TEST(HallPresence, AdminPushesArriveInsteadOfThePresenceReply) {
    CServiceHarness h;
    const QString m = "M-1";
    auto login = h.Login("bob", "bob123", m);
    ASSERT_TRUE(login);
    const int number = IntOf(*login, 30);
    CAdminQueue queue(h.Service().Store());

    ASSERT_TRUE(queue.Enqueue("send-to-room", 1003, QString(), "bob"));
    EXPECT_EQ(h.Service().RunAdminQueue(), 1);
    auto go = h.Hall(HallRequest(CMD_PRESENCE, m, "bob", number), CMD_ROOM_ADDRESS_PUSH);
    ASSERT_TRUE(go);
    EXPECT_TRUE(HasFields(*go, {{KEY_RESULT, 0}, {30, 1003}}));
    EXPECT_TRUE(TextOf(*go, 40).endsWith(QStringLiteral(":%1").arg(h.RoomPort())));

    ASSERT_TRUE(queue.Enqueue("quit-client", 0, QString(), "bob"));
    h.Service().RunAdminQueue();
    EXPECT_TRUE(h.Hall(HallRequest(CMD_PRESENCE, m, "bob", number), CMD_SERVER_QUIT));

    // A shutdown reaches the hall of another process sharing the database too.
    const int64_t now = CClock::Get().Now();
    ASSERT_TRUE(h.Service().Store().BeatHall(2, now));
    ASSERT_TRUE(queue.Enqueue("shutdown", 0, QString()));
    h.Service().RunAdminQueue();
    EXPECT_TRUE(h.Hall(HallRequest(CMD_VISITOR, m), CMD_SERVER_QUIT));
    const std::vector<tagAdminCommand> forSecond = queue.Take({true, 2, false, 1, 0, now - 15});
    ASSERT_EQ(forSecond.size(), 1u);
    EXPECT_EQ(forSecond[0].command, "shutdown");
}

TEST(HallRooms, KeepsFavouritesAndListsThemAndTheOwnAndManagedRoomsWithTheirLiveState) {
    CServiceHarness h;
    const QString m = "M-9";
    auto login = h.Login("carol", "carol123", m);
    ASSERT_TRUE(login);
    const int number = IntOf(*login, 30);
    for (int room : {1003, 1001}) {
        EXPECT_EQ(
            Outcome(h.Hall(With(HallRequest(CMD_ADD_FAVORITE, m, "carol", number), {{40, room}}),
                           CMD_ADD_FAVORITE_REPLY)),
            0);
    }
    EXPECT_EQ(Outcome(h.Hall(With(HallRequest(CMD_ADD_FAVORITE, m, "carol", number), {{40, 4242}}),
                             CMD_ADD_FAVORITE_REPLY)),
              REFUSE_BAD_ROOM);

    auto guest = h.Enter(1001, "dave", "dave123", "M-D");
    ASSERT_TRUE(guest);
    auto rows = h.Hall(HallRequest(CMD_ROOM_LIST, m, "carol", number), CMD_ROOM_LIST_REPLY);
    ASSERT_TRUE(rows);
    ASSERT_EQ(IntOf(*rows, 30), 2);
    EXPECT_EQ(TextOf(*rows, 31), "1003,密室,[0/50]锁");
    EXPECT_EQ(TextOf(*rows, 32), "1001,音乐之声,[1/100]");

    // The own and managed rooms, with their marks.
    auto bob = h.Login("bob", "bob123", "M-B");
    ASSERT_TRUE(bob);
    auto reply =
        h.Hall(HallRequest(CMD_OWN_ROOMS, "M-B", "bob", IntOf(*bob, 30)), CMD_OWN_ROOMS_REPLY);
    ASSERT_TRUE(reply);
    // bob owns 1002 and is an operator of 1001.
    EXPECT_TRUE(HasFields(
        *reply, {{KEY_RESULT, 0}, {30, 1}, {31, 1002}, {32, 1}, {33, 1001}, {33 + 9970, 1}}));
}

TEST(HallRooms, OffersFormatsCreatesRoomsOnTheSecondRouteWithinLimitsAndTellsWhereTheyLive) {
    tagServerConfig config = TestServiceConfig();
    config.limits.maxOwnRooms = 2;
    CServiceHarness h(config);
    const QString m = "M-E";

    auto offered = h.Hall(HallRequest(CMD_ROOM_FORMATS, m), CMD_ROOM_FORMATS_REPLY);
    ASSERT_TRUE(offered);
    ASSERT_EQ(IntOf(*offered, 30), 3);
    // Three fields, each closed by a comma.
    for (short key = 40; key < 43; ++key) {
        const QString format = TextOf(*offered, key);
        EXPECT_TRUE(format.endsWith(QLatin1Char(','))) << key;
        EXPECT_EQ(format.count(QLatin1Char(',')), 3) << key;
    }

    auto login = h.Login("erin", "erin123", m);
    ASSERT_TRUE(login);
    const int number = IntOf(*login, 30);
    auto create = [&](const QString& name, int area, int format) {
        CTestConnection route(kRouteFrame);
        EXPECT_TRUE(route.Open(h.Service().Config().routePort));
        return route.Request(With(HallRequest(CMD_CREATE_ROOM, m, "erin", number),
                                  {{40, name}, {50, area}, {60, "pw"}, {70, format}, {80, true}}),
                             CMD_CREATE_ROOM_REPLY);
    };
    EXPECT_EQ(IntOf(*create("nowhere", 77, 1), KEY_REFUSAL), REFUSE_BAD_PARAMETER);
    EXPECT_EQ(IntOf(*create(QString(), 1, 1), KEY_REFUSAL), REFUSE_BAD_PARAMETER);
    EXPECT_EQ(IntOf(*create("no format", 1, 9), KEY_REFUSAL), REFUSE_BAD_PARAMETER);

    auto made = create("艾琳的家", 1, 2);
    ASSERT_TRUE(made);
    ASSERT_EQ(IntOf(*made, KEY_RESULT), 0);
    const int room = IntOf(*made, 30);
    auto stored = h.Service().Store().Room(room);
    ASSERT_TRUE(stored);
    EXPECT_EQ(std::tie(stored->owner, stored->maxMembers, stored->name, stored->password),
              std::tuple(10005, 100, QString("艾琳的家"), QString("pw")));
    EXPECT_EQ(IntOf(*create("second", 2, 1), KEY_RESULT), 0);
    EXPECT_EQ(IntOf(*create("third", 2, 1), KEY_REFUSAL), REFUSE_FORBIDDEN);

    // The new room can be entered by its owner straight away.
    auto owner = h.Enter(room, "erin", "erin123", m);
    EXPECT_TRUE(owner);

    // The hall tells where it lives, and refuses rooms that do not exist.
    auto where =
        h.Hall(With(HallRequest(CMD_ROOM_ADDRESS, "M"), {{20, room}}), CMD_ROOM_ADDRESS_REPLY);
    ASSERT_TRUE(where);
    EXPECT_TRUE(HasFields(
        *where,
        {{KEY_RESULT, 0}, {30, room}, {70, static_cast<int>(h.RoomPort())}, {80, "127.0.0.1"}}));
    for (int unknown : {0, -5, 999999}) {
        EXPECT_EQ(Outcome(h.Hall(With(HallRequest(CMD_ROOM_ADDRESS, "M"), {{20, unknown}}),
                                 CMD_ROOM_ADDRESS_REPLY)),
                  REFUSE_BAD_ROOM)
            << unknown;
    }
}

TEST(HallAccount, GivesUserInformationStoresEntrySettingsAndLogsOut) {
    CServiceHarness h;
    const QString m = "M-A";
    auto login = h.Login("alice", "alice123", m);
    ASSERT_TRUE(login);
    const int number = IntOf(*login, 30);
    auto reply = h.Hall(HallRequest(CMD_USER_INFO, m, "alice", number), CMD_USER_INFO_REPLY);
    ASSERT_TRUE(reply);
    // Key 39: the logins so far.
    EXPECT_TRUE(
        HasFields(*reply, {{KEY_RESULT, 0}, {30, "alice"}, {31, "爱丽丝"}, {33, 10001}, {39, 1}}));

    EXPECT_EQ(
        Outcome(h.Hall(With(HallRequest(CMD_ENTRY_INFO, m, "alice", number), {{40, 7}, {50, 2}}),
                       CMD_ENTRY_INFO_REPLY)),
        0);
    EXPECT_EQ(h.Service().Store().AccountByNumber(10001)->entryEffect, 7);
    EXPECT_EQ(h.Service().Store().AccountByNumber(10001)->entryVip, 2);

    auto out =
        h.Hall(With(HallRequest(CMD_LOGOUT, m, "alice", number), {{40, "路人"}}), CMD_LOGOUT_REPLY);
    ASSERT_TRUE(out);
    EXPECT_EQ(IntOf(*out, KEY_RESULT), 0);
    const QString visitor = TextOf(*out, 30);
    ASSERT_NE(h.Service().Presence().Visitor(visitor), nullptr);
    EXPECT_EQ(h.Service().Presence().Visitor(visitor)->nickname, "路人");
    // The reply names the visitor only: the client goes on with the user number it has.
    EXPECT_EQ(h.Service().Presence().Visitor(visitor)->userNumber, number);
    EXPECT_EQ(Outcome(h.Hall(HallRequest(CMD_USER_INFO, m, "alice", number), CMD_USER_INFO_REPLY)),
              REFUSE_BAD_USER);
}
