// The server-information host and the hall, driven over loopback as the client drives them.

#include "protocol/Commands.h"
#include "protocol/LoginCipher.h"
#include "protocol/Refusal.h"
#include "server/AdminQueue.h"
#include "server/Sqlite.h"
#include "tests/server/ServerHarness.h"
#include "tests/support/TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tavotest;

namespace {

CKParam Named(short command, const QString& machine, const QString& name, int number) {
    CKParam p;
    p.SetShortInt(KEY_COMMAND, command);
    p.SetCString(20, name);
    p.SetInt(30, number);
    p.SetCString(104, QStringLiteral("tavo"));
    p.SetInt(105, 1);
    p.SetCString(106, machine);
    return p;
}

}  // namespace

TEST(ServerInfoHost, TellsWhereTheHallIsOnTheSecondRoute) {
    CServiceHarness h;
    CTestClient route(kRouteFrame);
    ASSERT_TRUE(route.Open(h.Service().Config().infoPort));
    CKParam ask;
    ask.SetShortInt(KEY_COMMAND, CMD_SERVER_INFO);
    auto reply = route.Request(ask, CMD_SERVER_INFO_REPLY);
    ASSERT_TRUE(reply);
    const tagServerConfig& c = h.Service().Config();
    EXPECT_EQ(IntOf(*reply, KEY_RESULT), 0);  // the request dialog accepts only 0
    EXPECT_EQ(TextOf(*reply, 12), c.identityText);
    EXPECT_EQ(IntOf(*reply, 13), c.identityNumber);
    EXPECT_EQ(TextOf(*reply, 30), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(IntOf(*reply, 40), static_cast<int>(c.routePort));
    EXPECT_EQ(IntOf(*reply, 50), static_cast<int>(c.hallPort));
    // The ports it names are the ones that answer.
    EXPECT_NE(c.hallPort, 0u);
    CKParam version = HallRequest(CMD_VERSION, QStringLiteral("00-11-22-33-44-55"));
    auto v = h.Hall(version, CMD_VERSION_REPLY);
    ASSERT_TRUE(v);
    EXPECT_EQ(IntOf(*v, 30), c.lastVersion);
}

TEST(HallLogin, AcceptsAccountsByNameInAnyCaseOrByNumberAndRefusesWrongPasswords) {
    CServiceHarness h;
    const QString m = QStringLiteral("00-11-22-33-44-55");
    auto byName = h.Login(QStringLiteral("ALICE"), QStringLiteral("alice123"), m);
    ASSERT_TRUE(byName);
    EXPECT_EQ(IntOf(*byName, KEY_RESULT), 0);
    EXPECT_EQ(TextOf(*byName, 40), QStringLiteral("alice"));
    // The user number is the login's own, never the account's public number.
    const int userNumber = IntOf(*byName, 30);
    EXPECT_GT(userNumber, 0);
    EXPECT_NE(userNumber, 10001);

    auto byNumber = h.Login(QStringLiteral("10002"), QStringLiteral("bob123"), m);
    ASSERT_TRUE(byNumber);
    EXPECT_EQ(TextOf(*byNumber, 40), QStringLiteral("bob"));
    EXPECT_NE(IntOf(*byNumber, 30), userNumber);

    for (const auto& [user, password] :
         {std::pair{"alice", "alice124"}, std::pair{"alice", ""}, std::pair{"nobody", "x"}}) {
        auto refused = h.Login(QString::fromUtf8(user), QString::fromUtf8(password), m);
        ASSERT_TRUE(refused) << user;
        EXPECT_EQ(IntOf(*refused, KEY_RESULT), -1) << user;
        EXPECT_EQ(IntOf(*refused, KEY_REFUSAL), REFUSE_BAD_PASSWORD) << user;
    }
}

TEST(HallLogin, ReadsPasswordsWithBlanksAndChineseAndRefusesBrokenBlocks) {
    CServiceHarness h;
    ASSERT_GT(h.Service().Store().AddAccount(QStringLiteral("frank"), QStringLiteral("芝麻 开门"),
                                             QString()),
              0);
    const QString m = QStringLiteral("AA-BB-CC-DD-EE-FF");
    auto ok = h.Login(QStringLiteral("frank"), QStringLiteral("芝麻 开门"), m,
                      QStringLiteral("游客800001"));
    ASSERT_TRUE(ok);
    EXPECT_EQ(IntOf(*ok, KEY_RESULT), 0);

    // A block that is not whole cipher blocks cannot be a credential text.
    CKParam broken = HallRequest(CMD_LOGIN, m);
    broken.SetInt(20, 10);
    broken.SetChar(30, "0123456789", 10);
    auto refused = h.Hall(broken, CMD_LOGIN_REPLY);
    ASSERT_TRUE(refused);
    EXPECT_EQ(IntOf(*refused, KEY_REFUSAL), REFUSE_BAD_PARAMETER);
}

TEST(HallLogin, FailedLoginsWaitLongerAndLongerPerAccountAndPerAddress) {
    CServiceHarness h;
    const QString m = QStringLiteral("M-T");
    auto refusal = [](const CTestClient& c) {
        return IntOf(c.All(CMD_LOGIN_REPLY).back(), KEY_REFUSAL, 0);
    };
    // Ten wrong passwords within a minute are answered at once.
    for (int i = 0; i < 10; ++i) {
        auto refused = h.Login(QStringLiteral("alice"), QStringLiteral("wrong"), m);
        ASSERT_TRUE(refused) << i;
        EXPECT_EQ(IntOf(*refused, KEY_REFUSAL), REFUSE_BAD_PASSWORD);
    }
    // The eleventh waits: no answer while the clock stands still, the refusal a second on.
    CTestClient eleventh;
    ASSERT_TRUE(eleventh.Open(h.HallPort()));
    CKParam wrong =
        CServiceHarness::LoginRequest(QStringLiteral("alice"), QStringLiteral("wrong"), m);
    eleventh.Send(wrong);
    EXPECT_FALSE(eleventh.WaitFor(CMD_LOGIN_REPLY, 1, std::chrono::milliseconds(300)));
    h.Pass(std::chrono::seconds(1));
    ASSERT_TRUE(eleventh.WaitFor(CMD_LOGIN_REPLY));
    EXPECT_EQ(refusal(eleventh), REFUSE_BAD_PASSWORD);

    // The account waits from any address, also with the right password; another account from
    // another address does not; and this address waits whatever account it names.
    CTestClient owner;
    ASSERT_TRUE(owner.Open(h.HallPort(), QStringLiteral("127.0.0.2")));
    CKParam right =
        CServiceHarness::LoginRequest(QStringLiteral("alice"), QStringLiteral("alice123"), m);
    owner.Send(right);
    auto bob = h.Login(QStringLiteral("bob"), QStringLiteral("bob123"), QStringLiteral("M-B"),
                       QString(), QStringLiteral("127.0.0.2"));
    ASSERT_TRUE(bob);
    EXPECT_EQ(IntOf(*bob, KEY_RESULT), 0);
    CTestClient neighbour;
    ASSERT_TRUE(neighbour.Open(h.HallPort()));
    CKParam carol = CServiceHarness::LoginRequest(
        QStringLiteral("carol"), QStringLiteral("carol123"), QStringLiteral("M-C"));
    neighbour.Send(carol);
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
    tagServerConfig config = TestConfig();
    config.databasePath = dir.filePath(QStringLiteral("service.sqlite"));
    CServiceHarness h(config);
    CStore& store = h.Service().Store();
    // Nothing a stolen database holds gives the password away or shows who shares one.
    ASSERT_GT(store.AddAccount(QStringLiteral("twin"), QStringLiteral("bob123"), QString()), 0);
    const QString bobHash = store.FindAccount(QStringLiteral("bob"))->digest;
    EXPECT_NE(bobHash, store.FindAccount(QStringLiteral("twin"))->digest);
    EXPECT_FALSE(bobHash.contains(PasswordDigest(QStringLiteral("bob123")), Qt::CaseInsensitive));

    // A row written before passwords were salted holds the bare MD5 digest.
    const QString md5 = PasswordDigest(QStringLiteral("alice123"));
    CSqliteDb old;
    ASSERT_TRUE(old.Open(config.databasePath));
    CSqliteStatement q(old, "UPDATE accounts SET digest = ? WHERE name = 'alice'");
    ASSERT_TRUE(q.Bind(1, md5).Run());
    const QString m = QStringLiteral("M-A");
    EXPECT_EQ(IntOf(*h.Login(QStringLiteral("alice"), QStringLiteral("alice124"), m), KEY_REFUSAL),
              REFUSE_BAD_PASSWORD);
    EXPECT_EQ(store.FindAccount(QStringLiteral("alice"))->digest, md5);
    EXPECT_EQ(IntOf(*h.Login(QStringLiteral("alice"), QStringLiteral("alice123"), m), KEY_RESULT),
              0);
    const QString upgraded = store.FindAccount(QStringLiteral("alice"))->digest;
    EXPECT_NE(upgraded, md5);
    EXPECT_FALSE(upgraded.contains(md5, Qt::CaseInsensitive));
    EXPECT_EQ(IntOf(*h.Login(QStringLiteral("alice"), QStringLiteral("alice123"), m), KEY_RESULT),
              0);
}

TEST(HallPresence, GivesVisitorsTheirOwnNamesAndAnswersPresence) {
    CServiceHarness h;
    int number = 0;
    const QString a = h.Visitor(QStringLiteral("M-1"), QStringLiteral("小明"), &number);
    const QString b = h.Visitor(QStringLiteral("M-2"));
    EXPECT_FALSE(a.isEmpty());
    EXPECT_NE(a, b);
    ASSERT_NE(h.Service().Presence().Visitor(a), nullptr);
    EXPECT_EQ(h.Service().Presence().Visitor(a)->nickname, QStringLiteral("小明"));
    CKParam presence = Named(CMD_PRESENCE, QStringLiteral("M-1"), a, number);
    auto reply = h.Hall(presence, CMD_PRESENCE_REPLY);
    ASSERT_TRUE(reply);
    EXPECT_EQ(IntOf(*reply, KEY_RESULT), 0);
    // Quitting forgets the visitor, but only for the client the hall gave its user number to.
    CKParam claim = Named(CMD_QUIT, QStringLiteral("M-1"), a, a.mid(2).toInt());
    CTestClient other;
    ASSERT_TRUE(other.Open(h.HallPort()));
    other.Send(claim);
    Spin(std::chrono::milliseconds(50));
    EXPECT_NE(h.Service().Presence().Visitor(a), nullptr);
    CKParam quit = Named(CMD_QUIT, QStringLiteral("M-1"), a, number);
    CTestClient c;
    ASSERT_TRUE(c.Open(h.HallPort()));
    c.Send(quit);
    EXPECT_TRUE(WaitUntil([&] { return h.Service().Presence().Visitor(a) == nullptr; }));
}

TEST(HallPresence, ThereAreOnlySoManyVisitorsFromOneAddress) {
    tagServerConfig config = TestConfig();
    config.limits.maxVisitorsPerAddress = 3;
    CServiceHarness h(config);
    QStringList names;
    int first = 0;
    for (int i = 0; i < 3; ++i) {
        names << h.Visitor(QStringLiteral("M-%1").arg(i), QString(), i == 0 ? &first : nullptr);
        EXPECT_FALSE(names.back().isEmpty());
    }
    CKParam fourth = HallRequest(CMD_VISITOR, QStringLiteral("M-4"));
    auto refused = h.Hall(fourth, CMD_VISITOR_REPLY);
    ASSERT_TRUE(refused);
    EXPECT_EQ(IntOf(*refused, KEY_REFUSAL), REFUSE_SERVER_FULL);
    // One leaves, so another may come.
    CKParam quit = Named(CMD_QUIT, QStringLiteral("M-0"), names.front(), first);
    CTestClient c;
    ASSERT_TRUE(c.Open(h.HallPort()));
    c.Send(quit);
    ASSERT_TRUE(WaitUntil([&] { return h.Service().Presence().VisitorCount() == 2; }));
    EXPECT_FALSE(h.Visitor(QStringLiteral("M-5")).isEmpty());
    // Visitors that stop asking for presence are forgotten in time.
    h.Pass(std::chrono::seconds(200), std::chrono::seconds(10));
    EXPECT_EQ(h.Service().Presence().VisitorCount(), 0);
}

TEST(HallPresence, ALoginFromAnotherMachineTakesOverAndTheFirstMachineIsToldOnce) {
    CServiceHarness h;
    const QString m1 = QStringLiteral("M-1");
    const QString m2 = QStringLiteral("M-2");
    auto first = h.Login(QStringLiteral("alice"), QStringLiteral("alice123"), m1);
    ASSERT_TRUE(first);
    auto second = h.Login(QStringLiteral("alice"), QStringLiteral("alice123"), m2);
    ASSERT_TRUE(second);
    EXPECT_EQ(IntOf(*second, KEY_RESULT), 0);
    const int n1 = IntOf(*first, 30);
    const int n2 = IntOf(*second, 30);

    CKParam fromFirst = Named(CMD_PRESENCE, m1, QStringLiteral("alice"), n1);
    auto told = h.Hall(fromFirst, CMD_LOGGED_ELSEWHERE);
    ASSERT_TRUE(told);
    CKParam again = Named(CMD_PRESENCE, m1, QStringLiteral("alice"), n1);
    EXPECT_TRUE(h.Hall(again, CMD_PRESENCE_REPLY));
    CKParam fromSecond = Named(CMD_PRESENCE, m2, QStringLiteral("alice"), n2);
    EXPECT_TRUE(h.Hall(fromSecond, CMD_PRESENCE_REPLY));
    // Requests that need the login work only for the machine that holds it now.
    CKParam list1 = Named(CMD_ROOM_LIST, m1, QStringLiteral("alice"), n1);
    EXPECT_EQ(IntOf(*h.Hall(list1, CMD_ROOM_LIST_REPLY), KEY_REFUSAL), REFUSE_BAD_USER);
    CKParam list2 = Named(CMD_ROOM_LIST, m2, QStringLiteral("alice"), n2);
    EXPECT_EQ(IntOf(*h.Hall(list2, CMD_ROOM_LIST_REPLY), KEY_RESULT), 0);
}

TEST(HallPresence, RefusesASecondLoginWhileTheAccountIsInARoom) {
    CServiceHarness h;
    auto guest =
        h.Enter(1001, QStringLiteral("alice"), QStringLiteral("alice123"), QStringLiteral("M-1"));
    ASSERT_TRUE(guest);
    auto refused =
        h.Login(QStringLiteral("alice"), QStringLiteral("alice123"), QStringLiteral("M-2"));
    ASSERT_TRUE(refused);
    EXPECT_EQ(IntOf(*refused, KEY_REFUSAL), REFUSE_ALREADY_LOGGED_IN);
    // The same machine logging in again is no conflict.
    auto same = h.Login(QStringLiteral("alice"), QStringLiteral("alice123"), QStringLiteral("M-1"));
    EXPECT_EQ(IntOf(*same, KEY_RESULT), 0);
}

TEST(HallPresence, AdminPushesArriveInsteadOfThePresenceReply) {
    CServiceHarness h;
    const QString m = QStringLiteral("M-1");
    auto login = h.Login(QStringLiteral("bob"), QStringLiteral("bob123"), m);
    ASSERT_TRUE(login);
    const int number = IntOf(*login, 30);
    CAdminQueue queue(h.Service().Store());

    ASSERT_TRUE(
        queue.Enqueue(QStringLiteral("send-to-room"), 1003, QString(), QStringLiteral("bob")));
    EXPECT_EQ(h.Service().RunAdminQueue(), 1);
    CKParam p1 = Named(CMD_PRESENCE, m, QStringLiteral("bob"), number);
    auto go = h.Hall(p1, CMD_ROOM_ADDRESS_PUSH);
    ASSERT_TRUE(go);
    EXPECT_EQ(IntOf(*go, KEY_RESULT), 0);
    EXPECT_EQ(IntOf(*go, 30), 1003);
    EXPECT_TRUE(TextOf(*go, 40).endsWith(QStringLiteral(":%1").arg(h.RoomPort())));

    ASSERT_TRUE(queue.Enqueue(QStringLiteral("quit-client"), 0, QString(), QStringLiteral("bob")));
    h.Service().RunAdminQueue();
    CKParam p2 = Named(CMD_PRESENCE, m, QStringLiteral("bob"), number);
    EXPECT_TRUE(h.Hall(p2, CMD_SERVER_QUIT));

    ASSERT_TRUE(queue.Enqueue(QStringLiteral("shutdown"), 0, QString()));
    h.Service().RunAdminQueue();
    CKParam visitor = HallRequest(CMD_VISITOR, m);
    EXPECT_TRUE(h.Hall(visitor, CMD_SERVER_QUIT));
}

TEST(HallRooms, TellsWhereARoomLivesAndRefusesUnknownRooms) {
    CServiceHarness h;
    CKParam ask = HallRequest(CMD_ROOM_ADDRESS, QStringLiteral("M"));
    ask.SetInt(20, 1002);
    auto where = h.Hall(ask, CMD_ROOM_ADDRESS_REPLY);
    ASSERT_TRUE(where);
    EXPECT_EQ(IntOf(*where, KEY_RESULT), 0);
    EXPECT_EQ(IntOf(*where, 30), 1002);
    EXPECT_EQ(IntOf(*where, 70), static_cast<int>(h.RoomPort()));
    EXPECT_EQ(TextOf(*where, 80), QStringLiteral("127.0.0.1"));
    for (int room : {0, -5, 999999}) {
        CKParam bad = HallRequest(CMD_ROOM_ADDRESS, QStringLiteral("M"));
        bad.SetInt(20, room);
        EXPECT_EQ(IntOf(*h.Hall(bad, CMD_ROOM_ADDRESS_REPLY), KEY_REFUSAL), REFUSE_BAD_ROOM)
            << room;
    }
}

TEST(HallRooms, KeepsFavouritesAndListsThemWithTheirLiveState) {
    CServiceHarness h;
    const QString m = QStringLiteral("M-9");
    CKParam anonymous = Named(CMD_ADD_FAVORITE, m, QStringLiteral("carol"), 10003);
    anonymous.SetInt(40, 1001);
    EXPECT_EQ(IntOf(*h.Hall(anonymous, CMD_ADD_FAVORITE_REPLY), KEY_REFUSAL), REFUSE_BAD_USER);

    auto login = h.Login(QStringLiteral("carol"), QStringLiteral("carol123"), m);
    ASSERT_TRUE(login);
    const int number = IntOf(*login, 30);
    for (int room : {1003, 1001}) {
        CKParam add = Named(CMD_ADD_FAVORITE, m, QStringLiteral("carol"), number);
        add.SetInt(40, room);
        EXPECT_EQ(IntOf(*h.Hall(add, CMD_ADD_FAVORITE_REPLY), KEY_RESULT), 0);
    }
    CKParam unknown = Named(CMD_ADD_FAVORITE, m, QStringLiteral("carol"), number);
    unknown.SetInt(40, 4242);
    EXPECT_EQ(IntOf(*h.Hall(unknown, CMD_ADD_FAVORITE_REPLY), KEY_REFUSAL), REFUSE_BAD_ROOM);

    auto guest =
        h.Enter(1001, QStringLiteral("dave"), QStringLiteral("dave123"), QStringLiteral("M-D"));
    ASSERT_TRUE(guest);
    CKParam list = Named(CMD_ROOM_LIST, m, QStringLiteral("carol"), number);
    auto rows = h.Hall(list, CMD_ROOM_LIST_REPLY);
    ASSERT_TRUE(rows);
    ASSERT_EQ(IntOf(*rows, 30), 2);
    EXPECT_EQ(TextOf(*rows, 31), QStringLiteral("1003,密室,[0/50]锁"));
    EXPECT_EQ(TextOf(*rows, 32), QStringLiteral("1001,音乐之声,[1/100]"));
}

TEST(HallRooms, ListsOwnAndManagedRoomsWithTheirMarks) {
    CServiceHarness h;
    const QString m = QStringLiteral("M-B");
    auto login = h.Login(QStringLiteral("bob"), QStringLiteral("bob123"), m);
    ASSERT_TRUE(login);
    CKParam own = Named(CMD_OWN_ROOMS, m, QStringLiteral("bob"), IntOf(*login, 30));
    auto reply = h.Hall(own, CMD_OWN_ROOMS_REPLY);
    ASSERT_TRUE(reply);
    EXPECT_EQ(IntOf(*reply, KEY_RESULT), 0);
    // bob owns 1002 and is an operator of 1001.
    EXPECT_EQ(IntOf(*reply, 30), 1);
    EXPECT_EQ(IntOf(*reply, 31), 1002);
    EXPECT_EQ(IntOf(*reply, 32), 1);
    EXPECT_EQ(IntOf(*reply, 33), 1001);
    EXPECT_EQ(IntOf(*reply, 33 + 9970), 1);
}

TEST(HallRooms, OffersFormatsAndCreatesRoomsOnTheSecondRouteWithinLimits) {
    tagServerConfig config = TestConfig();
    config.limits.maxOwnRooms = 2;
    CServiceHarness h(config);
    const QString m = QStringLiteral("M-E");

    CKParam formats = HallRequest(CMD_ROOM_FORMATS, m);
    auto offered = h.Hall(formats, CMD_ROOM_FORMATS_REPLY);
    ASSERT_TRUE(offered);
    ASSERT_EQ(IntOf(*offered, 30), 3);
    // Three fields, each closed by a comma.
    for (short key = 40; key < 43; ++key) {
        const QString format = TextOf(*offered, key);
        EXPECT_TRUE(format.endsWith(QLatin1Char(','))) << key;
        EXPECT_EQ(format.count(QLatin1Char(',')), 3) << key;
    }

    int number = 10005;
    auto create = [&](const QString& name, int area, int format) {
        CTestClient route(kRouteFrame);
        EXPECT_TRUE(route.Open(h.Service().Config().routePort));
        CKParam request = Named(CMD_CREATE_ROOM, m, QStringLiteral("erin"), number);
        request.SetCString(40, name);
        request.SetInt(50, area);
        request.SetCString(60, QStringLiteral("pw"));
        request.SetInt(70, format);
        request.SetBoolean(80, true);
        return route.Request(request, CMD_CREATE_ROOM_REPLY);
    };
    EXPECT_EQ(IntOf(*create(QStringLiteral("艾琳的家"), 1, 1), KEY_REFUSAL), REFUSE_BAD_USER);
    auto login = h.Login(QStringLiteral("erin"), QStringLiteral("erin123"), m);
    ASSERT_TRUE(login);
    number = IntOf(*login, 30);
    EXPECT_EQ(IntOf(*create(QStringLiteral("nowhere"), 77, 1), KEY_REFUSAL), REFUSE_BAD_PARAMETER);
    EXPECT_EQ(IntOf(*create(QString(), 1, 1), KEY_REFUSAL), REFUSE_BAD_PARAMETER);
    EXPECT_EQ(IntOf(*create(QStringLiteral("no format"), 1, 9), KEY_REFUSAL), REFUSE_BAD_PARAMETER);

    auto made = create(QStringLiteral("艾琳的家"), 1, 2);
    ASSERT_TRUE(made);
    ASSERT_EQ(IntOf(*made, KEY_RESULT), 0);
    const int room = IntOf(*made, 30);
    auto stored = h.Service().Store().Room(room);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->owner, 10005);
    EXPECT_EQ(stored->maxMembers, 100);
    EXPECT_EQ(stored->name, QStringLiteral("艾琳的家"));
    EXPECT_EQ(stored->password, QStringLiteral("pw"));
    EXPECT_EQ(IntOf(*create(QStringLiteral("second"), 2, 1), KEY_RESULT), 0);
    EXPECT_EQ(IntOf(*create(QStringLiteral("third"), 2, 1), KEY_REFUSAL), REFUSE_FORBIDDEN);

    // The new room can be entered by its owner straight away.
    auto owner = h.Enter(room, QStringLiteral("erin"), QStringLiteral("erin123"), m);
    EXPECT_TRUE(owner);
}

TEST(HallAccount, GivesUserInformationStoresEntrySettingsAndLogsOut) {
    CServiceHarness h;
    const QString m = QStringLiteral("M-A");
    auto login = h.Login(QStringLiteral("alice"), QStringLiteral("alice123"), m);
    ASSERT_TRUE(login);
    const int number = IntOf(*login, 30);
    CKParam info = Named(CMD_USER_INFO, m, QStringLiteral("alice"), number);
    auto reply = h.Hall(info, CMD_USER_INFO_REPLY);
    ASSERT_TRUE(reply);
    EXPECT_EQ(IntOf(*reply, KEY_RESULT), 0);
    EXPECT_EQ(TextOf(*reply, 30), QStringLiteral("alice"));
    EXPECT_EQ(TextOf(*reply, 31), QStringLiteral("爱丽丝"));
    EXPECT_EQ(IntOf(*reply, 33), 10001);
    EXPECT_EQ(IntOf(*reply, 39), 1);  // logins so far

    CKParam entry = Named(CMD_ENTRY_INFO, m, QStringLiteral("alice"), number);
    entry.SetInt(40, 7);
    entry.SetInt(50, 2);
    EXPECT_EQ(IntOf(*h.Hall(entry, CMD_ENTRY_INFO_REPLY), KEY_RESULT), 0);
    EXPECT_EQ(h.Service().Store().AccountByNumber(10001)->entryEffect, 7);
    EXPECT_EQ(h.Service().Store().AccountByNumber(10001)->entryVip, 2);

    CKParam logout = Named(CMD_LOGOUT, m, QStringLiteral("alice"), number);
    logout.SetCString(40, QStringLiteral("路人"));
    auto out = h.Hall(logout, CMD_LOGOUT_REPLY);
    ASSERT_TRUE(out);
    EXPECT_EQ(IntOf(*out, KEY_RESULT), 0);
    const QString visitor = TextOf(*out, 30);
    ASSERT_NE(h.Service().Presence().Visitor(visitor), nullptr);
    EXPECT_EQ(h.Service().Presence().Visitor(visitor)->nickname, QStringLiteral("路人"));
    // The reply names the visitor only: the client goes on with the user number it has.
    EXPECT_EQ(h.Service().Presence().Visitor(visitor)->userNumber, number);
    CKParam after = Named(CMD_USER_INFO, m, QStringLiteral("alice"), number);
    EXPECT_EQ(IntOf(*h.Hall(after, CMD_USER_INFO_REPLY), KEY_REFUSAL), REFUSE_BAD_USER);
}
