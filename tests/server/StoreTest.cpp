// The store on each engine it runs on: SQLite in a file, and PostgreSQL on a private server.
// Every case runs on both; what only one engine has (taking up an old file, a server that goes
// away) has cases of its own.

#include "platform/Clock.h"
#include "protocol/Refusal.h"
#include "server/AdminQueue.h"
#include "server/GiftStore.h"
#include "server/Presence.h"
#include "server/Schema.h"
#include "server/Sqlite.h"
#include "server/Store.h"
#include "tests/support/PostgresServer.h"
#include "tests/support/ServiceHarness.h"
#include "tests/support/TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using namespace tavotest;

namespace {

// One server for the cases of a test program that run in one process.
CPostgresServer& SharedServer() {
    static const auto server = std::make_unique<CPostgresServer>();
    return *server;
}

class StoreOn : public ::testing::TestWithParam<ESqlEngine> {
protected:
    void SetUp() override {
        if (GetParam() == ESqlEngine::Postgres) {
            CPostgresServer& server = SharedServer();
            TAVO_NEED(server.Running(),
                      "a PostgreSQL server (" + server.Error().toStdString() + ")");
            m_address = server.NewDatabase();
            ASSERT_FALSE(m_address.isEmpty()) << server.Error().toStdString();
        } else {
            m_address = m_dir.filePath("store.sqlite");
        }
        QString error;
        ASSERT_TRUE(m_store.Open(m_address, &error)) << error.toStdString();
    }

    QTemporaryDir m_dir;
    QString m_address;
    CStore m_store;
};

std::string EngineName(const ::testing::TestParamInfo<ESqlEngine>& info) {
    return info.param == ESqlEngine::Sqlite ? "Sqlite" : "Postgres";
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Engines, StoreOn,
                         ::testing::Values(ESqlEngine::Sqlite, ESqlEngine::Postgres), EngineName);

TEST_P(StoreOn, IsSeededOnceAndKeepsItsDataForTheNextProcess) {
    EXPECT_TRUE(m_store.Accounts().empty());
    EXPECT_EQ(Admin(m_store, {"seed"}), 0);
    // Seeding twice would duplicate everything: it refuses.
    EXPECT_EQ(Admin(m_store, {"seed"}), 1);
    EXPECT_EQ(Admin(m_store, {"add-account", "grace", "g", "格蕾丝"}), 0);

    CStore again;
    ASSERT_TRUE(again.Open(m_address));
    EXPECT_EQ(SchemaVersion(again.Database()), LatestSchemaVersion());
    EXPECT_EQ(again.Accounts().size(), 6u);
    EXPECT_EQ(again.Rooms().size(), 5u);
    EXPECT_EQ(again.Areas(1).size(), 2u);
    ASSERT_TRUE(again.FindAccount("GRACE"));
    EXPECT_EQ(again.FindAccount("GRACE")->nickname, "格蕾丝");
    EXPECT_EQ(again.FindAccount("10006").value_or(tagAccount{}).name, "grace");
    // Names differ in more than letter case; one that would break the credential text or a
    // member text is refused.
    EXPECT_EQ(Admin(again, {"add-account", "Grace", "x"}), 1);
    EXPECT_EQ(Admin(again, {"add-account", "a b", "x"}), 1);
    EXPECT_EQ(Admin(again, {"add-account", "a,b", "x"}), 1);
    // A hash replaced meanwhile is not overwritten with one made from the older row.
    const tagAccount grace = again.FindAccount("grace").value_or(tagAccount{});
    ASSERT_TRUE(again.SetPassword("grace", "h"));
    EXPECT_FALSE(again.ReplacePasswordHash(grace.number, grace.digest, "stale"));
    EXPECT_TRUE(again.RecordLogin(grace.number, 1700000000));
    EXPECT_EQ(again.AccountByNumber(grace.number)->loginCount, 1);
    EXPECT_FALSE(again.SetEntryInfo(4242, 1, 1));
}

TEST_P(StoreOn, RoomsRanksBansAndFormatsAreReplacedByTheirKeys) {
    tagRoomRecord room;
    room.name = "一号";
    room.area = 7;
    ASSERT_EQ(m_store.AddRoom(room), 1001);
    room.name = "二号";
    ASSERT_EQ(m_store.AddRoom(room), 1002);
    room.number = 1002;
    room.topic = "话题";
    room.micForced = true;
    room.publicText = false;
    room.disabledUntil = 4102444800;  // beyond 32 bits of seconds
    ASSERT_TRUE(m_store.UpdateRoom(room));
    const tagRoomRecord read = *m_store.Room(1002);
    EXPECT_EQ(read.topic, "话题");
    EXPECT_TRUE(read.micForced);
    EXPECT_FALSE(read.publicText);
    EXPECT_EQ(read.disabledUntil, 4102444800);
    EXPECT_EQ(m_store.Rooms(7).size(), 2u);
    EXPECT_TRUE(m_store.Rooms(8).empty());

    ASSERT_TRUE(m_store.SetRank(1001, 10001, RANK_OPERATOR));
    ASSERT_TRUE(m_store.SetRank(1001, 10001, RANK_MANAGER));
    EXPECT_EQ(m_store.RankIn(1001, 10001), RANK_MANAGER);
    EXPECT_EQ(m_store.RoomsManagedBy(10001), std::vector<int>{1001});
    ASSERT_TRUE(m_store.SetRank(1001, 10001, RANK_MEMBER));
    EXPECT_EQ(m_store.RankIn(1001, 10001), 0);

    // A second ban of the same name in a room replaces the first; names match in any case;
    // room 0 bans from every room.
    ASSERT_TRUE(m_store.AddBan({1001, "Bob", 2000, "一", "alice"}));
    ASSERT_TRUE(m_store.AddBan({1001, "Bob", 3000, "二", "carol"}));
    EXPECT_EQ(m_store.ActiveBan(1001, "BOB", 2500).value_or(tagBan{}).reason, "二");
    EXPECT_FALSE(m_store.ActiveBan(1001, "bob", 3000));
    ASSERT_TRUE(m_store.AddBan({0, "dave", 4102444800, "", ""}));
    EXPECT_TRUE(m_store.ActiveBan(1002, "Dave", 3000));
    EXPECT_TRUE(m_store.RemoveBan(1001, "bob"));
    EXPECT_FALSE(m_store.RemoveBan(1001, "bob"));

    ASSERT_TRUE(m_store.AddFormat({1, "小", 50}));
    ASSERT_TRUE(m_store.AddFormat({1, "中", 100}));
    ASSERT_EQ(m_store.Formats().size(), 1u);
    EXPECT_EQ(m_store.Format(1)->maxMembers, 100);
    ASSERT_TRUE(m_store.AddArea({3, "乙", 2, 1}));
    ASSERT_TRUE(m_store.AddArea({3, "甲", 2, 1}));
    EXPECT_EQ(m_store.Areas(2).at(0).name, "甲");
    EXPECT_TRUE(m_store.Areas(1).empty());
}

TEST_P(StoreOn, FavouritesKeepTheOrderTheyCameInAndReportsAreNumbered) {
    for (int room : {1003, 1001, 1003}) {
        EXPECT_TRUE(m_store.AddFavourite(10001, room, 1700000000));
    }
    EXPECT_EQ(m_store.Favourites(10001), (std::vector<int>{1003, 1001}));
    EXPECT_TRUE(m_store.Favourites(10002).empty());

    ASSERT_TRUE(m_store.AddReport({0, 1001, "bob", "吵", 1}));
    ASSERT_TRUE(m_store.AddReport({0, 1002, "eve", "spam", 2}));
    ASSERT_TRUE(m_store.AddReport({0, 1001, "dan", "again", 3}));
    const std::vector<tagReport> all = m_store.Reports(0);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_LT(all[0].id, all[1].id);
    EXPECT_LT(all[1].id, all[2].id);
    EXPECT_EQ(m_store.Reports(1001).size(), 2u);
    EXPECT_EQ(m_store.Reports(1001).back().text, "again");
}

TEST_P(StoreOn, RoomsCountMembersOnLiveRoomServersAndMoveOnceWhenTwoHallsMoveThem) {
    ASSERT_EQ(Admin(m_store, {"seed"}), 0);
    const int64_t now = 1700000000;
    ASSERT_TRUE(m_store.BeatRoomServer({1, "a", 1, 2, now, {}}));
    ASSERT_TRUE(m_store.BeatRoomServer({2, "b", 3, 4, now - 100, {}}));
    ASSERT_TRUE(m_store.BeatRoomServer({3, "c", 5, 6, now, {}}));
    for (const char* name : {"Bob", "carol", "dave"}) {
        ASSERT_TRUE(m_store.PutPresence({name, 1, name, true, 42, "M"}));
    }
    ASSERT_TRUE(m_store.SetPresenceRoom("BOB", 1001, 1));
    ASSERT_TRUE(m_store.SetPresenceRoom("carol", 1001, 3));
    // A member the room server that stopped beating still lists does not count.
    ASSERT_TRUE(m_store.SetPresenceRoom("dave", 1001, 2));
    EXPECT_EQ(m_store.RoomOccupancy(1001, now - 15), 2);
    ASSERT_TRUE(m_store.LeavePresenceRoom("bob", 1002));
    ASSERT_TRUE(m_store.LeavePresenceRoom("bob", 1001));
    EXPECT_EQ(m_store.RoomOccupancy(1001, now - 15), 1);
    EXPECT_EQ(m_store.FindPresence("BOB").value_or(tagPresenceRow{}).userNumber, 42);

    // The live servers, the least occupied first: 1 holds nobody now, 3 holds Carol.
    const auto live = m_store.LiveRoomServers(now - 15);
    ASSERT_EQ(live.size(), 2u);
    EXPECT_EQ(live[0].number, 1);
    EXPECT_EQ(live[1].number, 3);
    // Two halls find 1002's server dead at once: the first move stands.
    ASSERT_EQ(m_store.Room(1002)->server, 1);
    EXPECT_TRUE(m_store.MoveRoom(1002, 1, 3));
    EXPECT_FALSE(m_store.MoveRoom(1002, 1, 2));
    EXPECT_EQ(m_store.Room(1002)->server, 3);
}

TEST_P(StoreOn, HallsVouchWhileTheyBeatAndWhatIsForAClientReachesTheHallHoldingIt) {
    const int64_t now = CClock::Get().Now();
    CStore other;
    ASSERT_TRUE(other.Open(m_address));
    CPresence first;
    CPresence second;
    first.Share(&m_store, 15, 1);
    second.Share(&other, 15, 2);
    ASSERT_TRUE(m_store.BeatHall(1, now));
    ASSERT_TRUE(other.BeatHall(2, now));
    const int alice = first.Login({"alice", 10001, "A", "M1", now}).userNumber;
    const tagVisitor guest = first.AddVisitor("guest", "M3", now);
    EXPECT_TRUE(second.Vouched("ALICE", alice, "M1"));
    // Both halls number visitors from the same first number.
    EXPECT_NE(second.AddVisitor("guest", "M4", now).name, guest.name);
    second.Login({"bob", 10002, "B", "M2", now});

    // Alice logs in anew at the second hall from another machine: the row is its own now,
    // and the first hall, which alone reaches her first client, is told. Bob is the second
    // hall's client; nobody is anybody's.
    second.Login({"alice", 10001, "A", "M2", now});
    CAdminQueue admin(m_store);
    ASSERT_TRUE(admin.Enqueue("quit-client", 0, {}, "BOB"));
    ASSERT_TRUE(admin.Enqueue("send-to-room", 1001, {}, "nobody"));
    const std::vector<tagAdminCommand> forFirst = admin.Take({true, 1, false, 1, 0, now - 15});
    ASSERT_EQ(forFirst.size(), 2u);
    EXPECT_EQ(forFirst[0].command, "logged-elsewhere");
    EXPECT_EQ(forFirst[1].target, "nobody");
    first.TakenOver(forFirst[0].target, forFirst[0].text);
    EXPECT_EQ(first.Touch("alice", alice, "M1", now).kind, EPush::LoggedElsewhere);
    EXPECT_FALSE(first.Vouched("alice", alice, "M1"));
    // What a second login at the first hall is checked against.
    EXPECT_EQ(first.LoggedInFrom("alice").value_or("none"), "M2");
    const std::vector<tagAdminCommand> forSecond =
        CAdminQueue(other).Take({true, 2, false, 1, 0, now - 15});
    ASSERT_EQ(forSecond.size(), 1u);
    EXPECT_EQ(forSecond[0].target, "BOB");

    // The first hall stops beating: its visitor is no longer vouched for, and the second hall
    // sweeps its rows. Its leftovers never remove the second hall's rows.
    ASSERT_TRUE(m_store.BeatHall(1, now - 100));
    EXPECT_FALSE(second.Vouched(guest.name, guest.userNumber, "M3"));
    ASSERT_TRUE(other.SweepPresence(now - 15));
    EXPECT_FALSE(other.FindPresence(guest.name));
    first.Logout("alice");
    EXPECT_TRUE(other.FindPresence("alice"));
    // The second hall starting afresh clears what it left.
    ASSERT_TRUE(other.ClearHallPresence(2));
    EXPECT_FALSE(other.FindPresence("alice"));
    EXPECT_FALSE(other.FindPresence("bob"));
}

TEST_P(StoreOn, AGiftMovesAllItsMoneyOrNone) {
    CGiftStore gifts(m_store);
    const int giver = m_store.AddAccount("giver", "g", {});
    const int recipient = m_store.AddAccount("recipient", "r", {});
    const int owner = m_store.AddAccount("owner", "o", {});
    ASSERT_TRUE(gifts.SetBalance(giver, 1000));
    const tagGift rose{1001, 0, "玫瑰", 300, {}, 300, 300, 5, 0};
    ASSERT_TRUE(gifts.Add(rose));
    EXPECT_FALSE(gifts.Add(rose));
    EXPECT_EQ(gifts.Find(1001, 0)->name, "玫瑰");
    EXPECT_FALSE(gifts.Find(1001, 10));

    const auto t = gifts.Transfer(giver, recipient, owner, rose, 3);
    ASSERT_TRUE(t);
    EXPECT_EQ(gifts.Balance(giver), 100);
    EXPECT_EQ(gifts.Balance(recipient), t->recipientCredit);
    EXPECT_EQ(gifts.Balance(owner), t->ownerCredit);
    // Short: nobody is credited.
    EXPECT_FALSE(gifts.Transfer(giver, recipient, owner, rose, 1));
    EXPECT_EQ(gifts.Balance(giver), 100);
    EXPECT_EQ(gifts.Balance(recipient), t->recipientCredit);
    EXPECT_EQ(gifts.Charge(giver, 60), 40);
    EXPECT_FALSE(gifts.Charge(giver, 60));
    EXPECT_FALSE(gifts.Charge(4242, 0));
}

TEST_P(StoreOn, TheAdminQueueHandsEachCommandToOneTakerInOrder) {
    // The admin command line and the service each open the database.
    CStore admin;
    ASSERT_TRUE(admin.Open(m_address));
    CAdminQueue queued(admin);
    CAdminQueue service(m_store);
    ASSERT_TRUE(queued.Enqueue("notice", 1001, "停机"));
    ASSERT_TRUE(queued.Enqueue("quit-client", 0, {}, "bob"));
    const std::vector<tagAdminCommand> taken = service.Take();
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_EQ(taken[0].command, "notice");
    EXPECT_EQ(taken[0].text, "停机");
    EXPECT_EQ(taken[1].target, "bob");
    EXPECT_TRUE(service.Take().empty());
    ASSERT_TRUE(queued.Enqueue("reload", 1002, {}));
    EXPECT_EQ(queued.Take().size(), 1u);
    EXPECT_TRUE(service.Take().empty());
}

TEST(StoreSchema, ADatabaseFromBeforeTheNumberingIsTakenUpAndANewerOneRefused) {
    QTemporaryDir dir;
    const QString path = dir.filePath("old.sqlite");
    {
        CSqliteDb old;
        ASSERT_TRUE(old.Open(path));
        ASSERT_TRUE(
            old.Exec("CREATE TABLE accounts(number INTEGER PRIMARY KEY, "
                     "name TEXT NOT NULL UNIQUE COLLATE NOCASE, "
                     "nickname TEXT NOT NULL DEFAULT '', digest TEXT NOT NULL, "
                     "created_at INTEGER NOT NULL DEFAULT 0, "
                     "last_login INTEGER NOT NULL DEFAULT 0, "
                     "login_count INTEGER NOT NULL DEFAULT 0, "
                     "money INTEGER NOT NULL DEFAULT 0, level INTEGER NOT NULL DEFAULT 0, "
                     "entry_effect INTEGER NOT NULL DEFAULT 0, "
                     "entry_vip INTEGER NOT NULL DEFAULT 0, "
                     "signature TEXT NOT NULL DEFAULT '');"
                     "INSERT INTO accounts(number, name, digest) VALUES(10001, 'ann', 'x')"));
    }
    {
        CStore store;
        QString error;
        ASSERT_TRUE(store.Open(path, &error)) << error.toStdString();
        EXPECT_EQ(store.FindAccount("ANN")->number, 10001);
        EXPECT_EQ(SchemaVersion(store.Database()), LatestSchemaVersion());
        EXPECT_TRUE(CAdminQueue(store).Enqueue("reload", 0, {}));
        CSqlStatement ahead(store.Database(), "INSERT INTO schema_version(version) VALUES(?)");
        ASSERT_TRUE(ahead.Bind(1, LatestSchemaVersion() + 1).Run());
    }
    // A program older than its database would write rows a newer one does not expect.
    CStore older;
    QString error;
    EXPECT_FALSE(older.Open(path, &error));
    EXPECT_TRUE(error.contains("newer")) << error.toStdString();
}

TEST(StorePostgres, WhileTheServerIsAwayEntriesAreRefusedAndNothingAcknowledgedIsLost) {
    CPostgresServer server;
    TAVO_NEED(server.Running(), "a PostgreSQL server (" + server.Error().toStdString() + ")");
    tagServerConfig config = TestServiceConfig();
    config.databasePath = server.NewDatabase();
    CServiceHarness h(config);
    CStore& store = h.Service().Store();
    const int ann = store.AddAccount("ann", "ann123", {});
    ASSERT_GT(ann, 0);

    ASSERT_TRUE(server.Stop());
    // The database's own refusal, not a wrong password or an unknown room; and the store says
    // where the database was.
    auto login = h.Login("ann", "ann123", "M-A");
    ASSERT_TRUE(login);
    EXPECT_EQ(IntOf(*login, KEY_REFUSAL), REFUSE_READ_DATASET);
    int refusal = 0;
    EXPECT_FALSE(h.Enter(1001, "guest", QString(), "M-G", &refusal));
    EXPECT_EQ(refusal, REFUSE_READ_DATASET);
    EXPECT_TRUE(store.LastError().contains(config.databasePath)) << store.LastError().toStdString();
    CStore late;
    QString error;
    EXPECT_FALSE(late.Open(config.databasePath, &error));
    EXPECT_TRUE(error.contains(config.databasePath)) << error.toStdString();

    ASSERT_TRUE(server.Start()) << server.Error().toStdString();
    EXPECT_TRUE(WaitUntil([&] {
        login = h.Login("ann", "ann123", "M-A");
        return login && IntOf(*login, KEY_RESULT) == 0;
    }));
    EXPECT_TRUE(h.Enter(1001, "guest", QString(), "M-G"));
    EXPECT_GT(store.AddAccount("bea", "bea123", {}), ann);
}
