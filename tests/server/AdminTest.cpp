// The database and the admin command line, and what room managers do inside a room.

#include "protocol/Commands.h"
#include "protocol/Refusal.h"
#include "server/AdminCommands.h"
#include "server/AdminQueue.h"
#include "server/Seed.h"
#include "server/ServerConfig.h"
#include "server/Store.h"
#include "tests/server/ServerHarness.h"
#include "tests/support/TestSupport.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tavotest;

namespace {

int Admin(CStore& store, const QStringList& args, QString* output = nullptr) {
    QString text;
    QTextStream out(&text);
    const int rc = RunAdminCommand(store, args, out);
    out.flush();
    if (output) {
        *output = text;
    }
    return rc;
}

tagServerConfig FileConfig(const QString& path) {
    tagServerConfig config;
    config.databasePath = path;
    config.infoPort = config.hallPort = config.routePort = 0;
    config.roomServers = {{0, 0}};
    config.webPort = -1;
    config.adminPollMs = 1000;
    return config;
}

}  // namespace

TEST(ServerConfigFile, ReadsEverySectionAndRefusesMalformedValues) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("s.ini"));
    auto write = [&](const QByteArray& text) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    };
    write(
        "[server]\npublic_host = chat.example.org\nhall_port = 31000\nweb_port = -1\n"
        "database = /tmp/x.db\n[rooms]\nservers = 31100:31101, 31200:31201\n"
        "[limits]\nmax_strikes = 5\nmax_visitors_per_address = 0\n");
    tagServerConfig config;
    QString error;
    ASSERT_TRUE(LoadServerConfig(path, config, &error)) << error.toStdString();
    EXPECT_EQ(config.publicHost, QStringLiteral("chat.example.org"));
    EXPECT_EQ(config.hallPort, 31000u);
    EXPECT_EQ(config.webPort, -1);
    EXPECT_EQ(config.infoPort, 5566u);  // untouched values keep their defaults
    ASSERT_EQ(config.roomServers.size(), 2u);
    EXPECT_EQ(config.roomServers[1].mainPort, 31200u);
    EXPECT_EQ(config.roomServers[1].secondPort, 31201u);
    EXPECT_EQ(config.limits.maxStrikes, 5);
    EXPECT_EQ(config.limits.maxVisitorsPerAddress, 0);

    for (const QByteArray& bad :
         {QByteArray("[server]\nhall_port = lots\n"), QByteArray("[server]\ninfo_port = 70000\n"),
          QByteArray("[rooms]\nservers = 31100\n"), QByteArray("[limits]\nmax_strikes = 5x\n")}) {
        write(bad);
        tagServerConfig c;
        error.clear();
        EXPECT_FALSE(LoadServerConfig(path, c, &error)) << bad.toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
    tagServerConfig missing;
    EXPECT_FALSE(LoadServerConfig(dir.filePath(QStringLiteral("none.ini")), missing, &error));
}

TEST(ServerStore, CreatesTheDatabaseSeedsItOnceAndKeepsItAcrossRuns) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("service.db"));
    {
        CStore store;
        ASSERT_TRUE(store.Open(path));
        EXPECT_TRUE(store.Accounts().empty());
        EXPECT_EQ(Admin(store, {QStringLiteral("seed")}), 0);
        // Seeding twice would duplicate everything: it refuses.
        EXPECT_EQ(Admin(store, {QStringLiteral("seed")}), 1);
        EXPECT_EQ(Admin(store, {QStringLiteral("add-account"), QStringLiteral("grace"),
                                QStringLiteral("g"), QStringLiteral("格蕾丝")}),
                  0);
    }
    CStore again;
    ASSERT_TRUE(again.Open(path));
    EXPECT_EQ(again.Accounts().size(), 6u);
    EXPECT_EQ(again.Rooms().size(), 5u);
    EXPECT_EQ(again.Areas(1).size(), 2u);
    EXPECT_EQ(again.FindAccount(QStringLiteral("GRACE"))->nickname, QStringLiteral("格蕾丝"));
    EXPECT_EQ(again.FindAccount(QStringLiteral("grace"))->number, 10006);
    // A name that would break the credential text or a member text is refused.
    EXPECT_EQ(
        Admin(again, {QStringLiteral("add-account"), QStringLiteral("a b"), QStringLiteral("x")}),
        1);
    EXPECT_EQ(
        Admin(again, {QStringLiteral("add-account"), QStringLiteral("a,b"), QStringLiteral("x")}),
        1);
    EXPECT_EQ(
        Admin(again, {QStringLiteral("add-account"), QStringLiteral("grace"), QStringLiteral("x")}),
        1);
}

TEST(ServerAdmin, CommandsChangeWhatTheServiceDoes) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("service.db"));
    CServiceHarness h(FileConfig(path));
    // The command line works on its own connection to the same file while the service runs.
    CStore admin;
    ASSERT_TRUE(admin.Open(path));
    ASSERT_EQ(Admin(admin, {QStringLiteral("add-account"), QStringLiteral("grace"),
                            QStringLiteral("pw1")}),
              0);
    EXPECT_EQ(IntOf(*h.Login(QStringLiteral("grace"), QStringLiteral("pw1"), QStringLiteral("M-G")),
                    KEY_RESULT),
              0);
    ASSERT_EQ(Admin(admin, {QStringLiteral("set-password"), QStringLiteral("grace"),
                            QStringLiteral("pw2")}),
              0);
    EXPECT_EQ(IntOf(*h.Login(QStringLiteral("grace"), QStringLiteral("pw1"), QStringLiteral("M-G")),
                    KEY_REFUSAL),
              REFUSE_BAD_PASSWORD);

    ASSERT_EQ(Admin(admin, {QStringLiteral("set-room"), QStringLiteral("1004"),
                            QStringLiteral("password=knock"), QStringLiteral("max=10")}),
              0);
    int refusal = 0;
    EXPECT_FALSE(h.Enter(1004, QStringLiteral("x"), QString(), QStringLiteral("M-X"), &refusal));
    EXPECT_EQ(refusal, REFUSE_PASSWORD_NEEDED);
    EXPECT_TRUE(h.Enter(1004, QStringLiteral("x"), QString(), QStringLiteral("M-X"), &refusal,
                        QStringLiteral("knock")));
    EXPECT_EQ(Admin(admin, {QStringLiteral("set-room"), QStringLiteral("1004"),
                            QStringLiteral("mic-mode=7")}),
              1);
    EXPECT_EQ(Admin(admin, {QStringLiteral("set-room"), QStringLiteral("1004"),
                            QStringLiteral("colour=red")}),
              1);

    ASSERT_EQ(Admin(admin, {QStringLiteral("ban"), QStringLiteral("1001"), QStringLiteral("grace"),
                            QStringLiteral("2")}),
              0);
    EXPECT_FALSE(h.Enter(1001, QStringLiteral("grace"), QStringLiteral("pw2"),
                         QStringLiteral("M-G"), &refusal));
    EXPECT_EQ(refusal, REFUSE_BANNED);
    // Bans run out.
    h.Clock().SetUnixMs(h.Clock().UnixMs() + 3 * 3600 * 1000LL);
    EXPECT_TRUE(h.Enter(1001, QStringLiteral("grace"), QStringLiteral("pw2"), QStringLiteral("M-G"),
                        &refusal));

    QString usage;
    EXPECT_EQ(Admin(admin, {QStringLiteral("frobnicate")}, &usage), 2);
    EXPECT_TRUE(usage.contains(QStringLiteral("add-room")));
}

TEST(ServerAdmin, NoticesReachTheRoomsOfARunningService) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("service.db"));
    CServiceHarness h(FileConfig(path));
    auto inMusic = h.Enter(1001, QStringLiteral("听众"), QString(), QStringLiteral("M-1"));
    auto inKaraoke = h.Enter(1002, QStringLiteral("歌迷"), QString(), QStringLiteral("M-2"));
    ASSERT_TRUE(inMusic && inKaraoke);
    CStore admin;
    ASSERT_TRUE(admin.Open(path));
    ASSERT_EQ(Admin(admin, {QStringLiteral("notice"), QStringLiteral("1001"),
                            QStringLiteral("今晚"), QStringLiteral("八点")}),
              0);
    ASSERT_EQ(Admin(admin, {QStringLiteral("text-notice"), QStringLiteral("0"),
                            QStringLiteral("维护通知")}),
              0);
    // Nothing moves until the service reads its queue.
    Spin(std::chrono::milliseconds(20));
    EXPECT_EQ(inMusic->main.Count(CMD_TIMED_NOTICE), 0);
    h.Pass(std::chrono::milliseconds(1000));
    ASSERT_TRUE(inMusic->main.WaitFor(CMD_TIMED_NOTICE));
    const CPacketCopy notice = inMusic->main.All(CMD_TIMED_NOTICE).front();
    EXPECT_EQ(IntOf(notice, 20), 0);
    EXPECT_EQ(TextOf(notice, 30), QStringLiteral("今晚 八点"));
    ASSERT_TRUE(inKaraoke->main.WaitFor(CMD_TEXT_NOTICE));
    ASSERT_TRUE(inMusic->main.WaitFor(CMD_TEXT_NOTICE));
    EXPECT_EQ(TextOf(inKaraoke->main.All(CMD_TEXT_NOTICE).front(), 20), QStringLiteral("维护通知"));
    EXPECT_EQ(inKaraoke->main.Count(CMD_TIMED_NOTICE), 0);
    // The queue is emptied as it is read.
    EXPECT_TRUE(CAdminQueue(admin).Take().empty());
}

TEST(RoomAdmin, ManagersKickBanAndSilenceMembersBelowThem) {
    CServiceHarness h;
    auto alice =
        h.Enter(1001, QStringLiteral("alice"), QStringLiteral("alice123"), QStringLiteral("M-A"));
    auto bob =
        h.Enter(1001, QStringLiteral("bob"), QStringLiteral("bob123"), QStringLiteral("M-B"));
    auto carol =
        h.Enter(1001, QStringLiteral("carol"), QStringLiteral("carol123"), QStringLiteral("M-C"));
    auto dave =
        h.Enter(1001, QStringLiteral("dave"), QStringLiteral("dave123"), QStringLiteral("M-D"));
    ASSERT_TRUE(alice && bob && carol && dave);

    // bob, an operator, silences carol; carol's lines are refused until he allows them again.
    CKParam silence = Packet(CMD_TYPE_CONTROL);
    silence.SetInt(20, 0);
    silence.SetCString(30, QStringLiteral("carol"));
    ASSERT_EQ(RoomRequest(bob->main, silence), 0);
    ASSERT_TRUE(dave->main.WaitFor(CMD_TYPE_CONTROL_CHANGED));
    CKParam line = Packet(CMD_TEXT);
    line.SetCString(30, QStringLiteral("hi"));
    line.SetInt(40, 0);
    EXPECT_EQ(RoomRequest(carol->main, line), REFUSE_FORBIDDEN);
    // Nobody acts on the owner, or on themselves.
    CKParam up = Packet(CMD_TYPE_CONTROL);
    up.SetInt(20, 0);
    up.SetCString(30, QStringLiteral("alice"));
    EXPECT_EQ(RoomRequest(bob->main, up), REFUSE_FORBIDDEN);
    // Banning needs more than an operator.
    CKParam banByOp = Packet(CMD_BAN);
    banByOp.SetCString(20, QStringLiteral("dave"));
    banByOp.SetInt(30, 2);
    EXPECT_EQ(RoomRequest(bob->main, banByOp), REFUSE_FORBIDDEN);

    CKParam kick = Packet(CMD_KICK);
    kick.SetCString(20, QStringLiteral("carol"));
    kick.SetCString(30, QStringLiteral("刷屏"));
    ASSERT_EQ(RoomRequest(bob->main, kick), 0);
    ASSERT_TRUE(carol->main.WaitFor(CMD_KICKED));
    EXPECT_EQ(TextOf(carol->main.All(CMD_KICKED).front(), 40), QStringLiteral("刷屏"));
    EXPECT_TRUE(carol->main.WaitClosed());
    ASSERT_TRUE(dave->main.WaitFor(CMD_DEPARTURE));

    CKParam ban = Packet(CMD_BAN);
    ban.SetCString(20, QStringLiteral("dave"));
    ban.SetInt(30, 2);
    ban.SetInt(40, 0);
    ban.SetCString(50, QStringLiteral("捣乱"));
    ASSERT_EQ(RoomRequest(alice->main, ban), 0);
    ASSERT_TRUE(dave->main.WaitClosed());
    EXPECT_TRUE(
        h.Service().Store().ActiveBan(1001, QStringLiteral("dave"), h.Clock().Now()).has_value());
    int refusal = 0;
    EXPECT_FALSE(h.Enter(1001, QStringLiteral("dave"), QStringLiteral("dave123"),
                         QStringLiteral("M-D"), &refusal));
    EXPECT_EQ(refusal, REFUSE_BANNED);
}

TEST(RoomAdmin, TheOwnerSetsTopicLockAndOperatorsAndEveryoneTheirNickname) {
    CServiceHarness h;
    auto alice =
        h.Enter(1001, QStringLiteral("alice"), QStringLiteral("alice123"), QStringLiteral("M-A"));
    auto dave =
        h.Enter(1001, QStringLiteral("dave"), QStringLiteral("dave123"), QStringLiteral("M-D"));
    auto visitor = h.Enter(1001, QStringLiteral("路过"), QString(), QStringLiteral("M-V"));
    ASSERT_TRUE(alice && dave && visitor);

    CKParam topic = Packet(CMD_TOPIC);
    topic.SetCString(20, QStringLiteral("今晚八点演唱会"));
    ASSERT_EQ(RoomRequest(alice->main, topic), 0);
    ASSERT_TRUE(dave->main.WaitFor(CMD_TOPIC_CHANGED));
    EXPECT_EQ(h.Service().Store().Room(1001)->topic, QStringLiteral("今晚八点演唱会"));
    CKParam adTopic = Packet(CMD_TOPIC);
    adTopic.SetCString(20, QStringLiteral("广告位招租"));
    EXPECT_EQ(RoomRequest(alice->main, adTopic), REFUSE_BAD_TEXT);

    CKParam nick = Packet(CMD_NICKNAME);
    nick.SetCString(20, QStringLiteral("我是admin"));
    EXPECT_EQ(RoomRequest(visitor->main, nick), REFUSE_BAD_NICKNAME);
    CKParam empty = Packet(CMD_NICKNAME);
    empty.SetCString(20, QStringLiteral("  "));
    EXPECT_EQ(RoomRequest(visitor->main, empty), REFUSE_EMPTY_NICKNAME);
    CKParam good = Packet(CMD_NICKNAME);
    good.SetCString(20, QStringLiteral("新名字"));
    ASSERT_EQ(RoomRequest(visitor->main, good), 0);
    ASSERT_TRUE(dave->main.WaitFor(CMD_NICKNAME_CHANGED));
    EXPECT_EQ(TextOf(dave->main.All(CMD_NICKNAME_CHANGED).front(), 30), QStringLiteral("新名字"));

    // dave becomes an operator, which lasts beyond this stay.
    CKParam promote = Packet(CMD_OP_CONTROL);
    promote.SetCString(20, QStringLiteral("dave"));
    promote.SetInt(30, 1);
    ASSERT_EQ(RoomRequest(alice->main, promote), 0);
    EXPECT_EQ(h.Service().Store().RankIn(1001, 10004), 30);
    CKParam promoteVisitor = Packet(CMD_OP_CONTROL);
    promoteVisitor.SetCString(20, visitor->id);
    promoteVisitor.SetInt(30, 1);
    EXPECT_EQ(RoomRequest(alice->main, promoteVisitor), REFUSE_VISITOR);

    CKParam lock = Packet(CMD_LOCK_ROOM);
    lock.SetInt(20, 1);
    lock.SetCString(30, QStringLiteral("k3y"));
    ASSERT_EQ(RoomRequest(alice->main, lock), 0);
    ASSERT_TRUE(visitor->main.WaitFor(CMD_ROOM_LOCK_CHANGED));
    int refusal = 0;
    EXPECT_FALSE(h.Enter(1001, QStringLiteral("新人"), QString(), QStringLiteral("M-N"), &refusal));
    EXPECT_EQ(refusal, REFUSE_PASSWORD_NEEDED);
    // The new operator passes the lock.
    dave->main.KClose();
    ASSERT_TRUE(WaitUntil([&] { return h.Service().Occupancy(1001) == 2; }));
    EXPECT_TRUE(h.Enter(1001, QStringLiteral("dave"), QStringLiteral("dave123"),
                        QStringLiteral("M-D"), &refusal));
}
