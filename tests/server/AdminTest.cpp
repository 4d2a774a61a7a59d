// The database and the admin command line, and what room managers do inside a room.

#include "protocol/Commands.h"
#include "protocol/Refusal.h"
#include "server/AdminCommands.h"
#include "server/AdminQueue.h"
#include "server/Seed.h"
#include "server/ServerConfig.h"
#include "server/Store.h"
#include "tests/support/PacketFields.h"
#include "tests/support/ServiceHarness.h"
#include "tests/support/TestSupport.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tavotest;

namespace {

tagServerConfig FileConfig(const QString& path) {
    tagServerConfig config = TestServiceConfig();
    config.databasePath = path;
    config.adminPollMs = 1000;
    return config;
}

}  // namespace

TEST(ServerConfigFile, ReadsEverySectionAndRefusesMalformedValues) {
    QTemporaryDir dir;
    const QString path = dir.filePath("s.ini");
    auto write = [&](const QByteArray& text) { ASSERT_TRUE(WriteFile(path, text)); };
    write(
        "[server]\npublic_host = chat.example.org\nhall_port = 31000\nweb_port = -1\n"
        "database = /tmp/x.db\n[rooms]\nservers = 31100:31101, 31200:31201\n"
        "[limits]\nmax_strikes = 5     ; a comment after the value\nmax_visitors_per_address = 0\n"
        "[server]\nidentity_text = \"a ; b\"\n[roles]\nweb = no\n[rooms]\nfirst_number = 3\n");
    tagServerConfig config;
    QString error;
    ASSERT_TRUE(LoadServerConfig(path, config, &error)) << error.toStdString();
    EXPECT_EQ(config.publicHost, "chat.example.org");
    EXPECT_EQ(config.hallPort, 31000u);
    EXPECT_EQ(config.webPort, -1);
    EXPECT_EQ(config.infoPort, 5566u);  // untouched values keep their defaults
    ASSERT_EQ(config.roomServers.size(), 2u);
    EXPECT_EQ(config.roomServers[1].mainPort, 31200u);
    EXPECT_EQ(config.roomServers[1].secondPort, 31201u);
    EXPECT_EQ(config.limits.maxStrikes, 5);
    EXPECT_EQ(config.limits.maxVisitorsPerAddress, 0);
    EXPECT_EQ(config.identityText, "a ; b");
    EXPECT_FALSE(config.roles.web);
    EXPECT_TRUE(config.roles.hall && config.roles.rooms);
    EXPECT_EQ(config.firstRoomServer, 3);

    for (const QByteArray& bad :
         {QByteArray("[server]\nhall_port = lots\n"), QByteArray("[server]\ninfo_port = 70000\n"),
          QByteArray("[rooms]\nservers = 31100\n"), QByteArray("[limits]\nmax_strikes = 5x\n"),
          QByteArray("[server]\nhal_port = 31000\n"), QByteArray("[roles]\nhall = maybe\n"),
          QByteArray("[limits]\nmax_strikes = 3\n[roles]\nhall = no\nweb = no\nrooms = no\n"),
          QByteArray("[limits]\nmax_strikes = 1\n"
                     "max_strikes = 2\n")}) {
        write(bad);
        tagServerConfig c;
        error.clear();
        EXPECT_FALSE(LoadServerConfig(path, c, &error)) << bad.toStdString();
        EXPECT_FALSE(error.isEmpty());
        // Nothing of a refused file is taken, not even the lines before the wrong one.
        EXPECT_EQ(c.limits.maxStrikes, tagServerLimits().maxStrikes) << bad.toStdString();
    }
    tagServerConfig missing;
    EXPECT_FALSE(LoadServerConfig(dir.filePath("none.ini"), missing, &error));
}

TEST(ServerAdmin, CommandsChangeWhatTheServiceDoesAndTheirNoticesAndChangesReachTheRooms) {
    QTemporaryDir dir;
    const QString path = dir.filePath("service.db");
    CServiceHarness h(FileConfig(path));
    // The command line works on its own connection to the same file while the service runs.
    CStore admin;
    ASSERT_TRUE(admin.Open(path));
    ASSERT_EQ(Admin(admin, {"add-account", "grace", "pw1"}), 0);
    EXPECT_EQ(IntOf(*h.Login("grace", "pw1", "M-G"), KEY_RESULT), 0);
    ASSERT_EQ(Admin(admin, {"set-password", "grace", "pw2"}), 0);
    EXPECT_EQ(IntOf(*h.Login("grace", "pw1", "M-G"), KEY_REFUSAL), REFUSE_BAD_PASSWORD);

    ASSERT_EQ(Admin(admin, {"set-room", "1004", "password=knock", "max=10"}), 0);
    int refusal = 0;
    EXPECT_FALSE(h.Enter(1004, "x", QString(), "M-X", &refusal));
    EXPECT_EQ(refusal, REFUSE_PASSWORD_NEEDED);
    EXPECT_TRUE(h.Enter(1004, "x", QString(), "M-X", &refusal, "knock"));
    EXPECT_EQ(Admin(admin, {"set-room", "1004", "mic-mode=7"}), 1);
    EXPECT_EQ(Admin(admin, {"set-room", "1004", "colour=red"}), 1);

    ASSERT_EQ(Admin(admin, {"ban", "1001", "grace", "2"}), 0);
    EXPECT_FALSE(h.Enter(1001, "grace", "pw2", "M-G", &refusal));
    EXPECT_EQ(refusal, REFUSE_BANNED);
    // Bans run out.
    h.Clock().SetUnixMs(h.Clock().UnixMs() + 3 * 3600 * 1000LL);
    EXPECT_TRUE(h.Enter(1001, "grace", "pw2", "M-G", &refusal));

    QString usage;
    EXPECT_EQ(Admin(admin, {"frobnicate"}, &usage), 2);
    EXPECT_TRUE(usage.contains("add-room"));

    // Reports are kept; the command line's notices and room changes reach the rooms.
    auto carol = h.Enter(1001, "carol", "carol123", "M-C");
    auto inKaraoke = h.Enter(1002, "歌迷", QString(), "M-2");
    ASSERT_TRUE(carol && inKaraoke);

    // A report needs the ticket its information fetch gave, once.
    EXPECT_EQ(RoomRequest(carol->main, Packet(CMD_REPORT, {{20, 0}, {30, "广告"}})),
              REFUSE_BAD_OPERATION);
    const auto info = carol->main.Request(Packet(CMD_REPORT_INFO), CMD_REPORT_INFO_REPLY);
    ASSERT_TRUE(info);
    const int ticket = IntOf(*info, 30, 0);
    EXPECT_EQ(RoomRequest(carol->main, Packet(CMD_REPORT, {{20, ticket}, {30, "有人发广告"}})), 0);
    EXPECT_EQ(RoomRequest(carol->main, Packet(CMD_REPORT, {{20, ticket}, {30, "再报"}})),
              REFUSE_BAD_OPERATION);
    const auto reports = h.Service().Store().Reports(1001);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].who, "carol");
    EXPECT_EQ(reports[0].text, "有人发广告");

    // The command line's notices: nothing moves until the service reads its queue, which is
    // emptied as it is read.
    ASSERT_EQ(Admin(admin, {"notice", "1001", "今晚", "八点"}), 0);
    ASSERT_EQ(Admin(admin, {"text-notice", "0", "维护通知"}), 0);
    Spin(std::chrono::milliseconds(20));
    EXPECT_EQ(carol->main.Count(CMD_TIMED_NOTICE), 0);
    h.Pass(std::chrono::milliseconds(1000));
    ASSERT_TRUE(carol->main.WaitFor(CMD_TIMED_NOTICE));
    EXPECT_TRUE(HasFields(carol->main.All(CMD_TIMED_NOTICE).front(), {{20, 0}, {30, "今晚 八点"}}));
    ASSERT_TRUE(inKaraoke->main.WaitFor(CMD_TEXT_NOTICE));
    ASSERT_TRUE(carol->main.WaitFor(CMD_TEXT_NOTICE));
    EXPECT_EQ(TextOf(inKaraoke->main.All(CMD_TEXT_NOTICE).front(), 20), "维护通知");
    EXPECT_EQ(inKaraoke->main.Count(CMD_TIMED_NOTICE), 0);
    EXPECT_TRUE(CAdminQueue(admin).Take().empty());

    // It renames the room, then disables it under its members.
    ASSERT_EQ(Admin(admin, {"set-room", "1001", "name=新房名"}), 0);
    h.Pass(std::chrono::milliseconds(1000));
    ASSERT_TRUE(carol->main.WaitFor(CMD_ROOM_NAME_CHANGED));
    EXPECT_TRUE(HasFields(carol->main.All(CMD_ROOM_NAME_CHANGED).front(),
                          {{20, QString()}, {30, "新房名"}}));
    ASSERT_EQ(Admin(admin, {"set-room", "1001", "disabled-hours=2", "disabled-reason=违规"}), 0);
    h.Pass(std::chrono::milliseconds(1000));
    ASSERT_TRUE(carol->main.WaitFor(CMD_ROOM_DISABLED));
    EXPECT_EQ(TextOf(carol->main.All(CMD_ROOM_DISABLED).front(), 20), "违规");
    // A client that stays anyway is let go.
    EXPECT_FALSE(carol->main.closed);
    h.Pass(std::chrono::milliseconds(31000));
    EXPECT_TRUE(carol->main.WaitClosed());
}

TEST(RoomAdmin, ManagersKickBanAndSilenceMembersBelowThem) {
    CServiceHarness h;
    auto alice = h.Enter(1001, "alice", "alice123", "M-A");
    auto bob = h.Enter(1001, "bob", "bob123", "M-B");
    auto carol = h.Enter(1001, "carol", "carol123", "M-C");
    auto dave = h.Enter(1001, "dave", "dave123", "M-D");
    ASSERT_TRUE(alice && bob && carol && dave);

    // bob, an operator, silences carol; carol's lines are refused until he allows them again.
    ASSERT_EQ(RoomRequest(bob->main, Packet(CMD_TYPE_CONTROL, {{20, 0}, {30, "carol"}})), 0);
    ASSERT_TRUE(dave->main.WaitFor(CMD_TYPE_CONTROL_CHANGED));
    EXPECT_EQ(RoomRequest(carol->main, Packet(CMD_TEXT, {{30, "hi"}, {40, 0}})), REFUSE_FORBIDDEN);
    // Nobody acts on the owner, or on themselves.
    EXPECT_EQ(RoomRequest(bob->main, Packet(CMD_TYPE_CONTROL, {{20, 0}, {30, "alice"}})),
              REFUSE_FORBIDDEN);
    // Banning needs more than an operator.
    EXPECT_EQ(RoomRequest(bob->main, Packet(CMD_BAN, {{20, "dave"}, {30, 2}})), REFUSE_FORBIDDEN);

    ASSERT_EQ(RoomRequest(bob->main, Packet(CMD_KICK, {{20, "carol"}, {30, "刷屏"}})), 0);
    ASSERT_TRUE(carol->main.WaitFor(CMD_KICKED));
    EXPECT_EQ(TextOf(carol->main.All(CMD_KICKED).front(), 40), "刷屏");
    EXPECT_TRUE(carol->main.WaitClosed());
    ASSERT_TRUE(dave->main.WaitFor(CMD_DEPARTURE));
    // The owner's ban, and the banned member kept out, are the console's admin script's.
}

TEST(RoomAdmin, TheOwnerSetsTopicLockAndOperatorsAndEveryoneTheirNickname) {
    CServiceHarness h;
    auto alice = h.Enter(1001, "alice", "alice123", "M-A");
    auto dave = h.Enter(1001, "dave", "dave123", "M-D");
    auto visitor = h.Enter(1001, "路过", QString(), "M-V");
    ASSERT_TRUE(alice && dave && visitor);

    ASSERT_EQ(RoomRequest(alice->main, Packet(CMD_TOPIC, {{20, "今晚八点演唱会"}})), 0);
    ASSERT_TRUE(dave->main.WaitFor(CMD_TOPIC_CHANGED));
    EXPECT_EQ(h.Service().Store().Room(1001)->topic, "今晚八点演唱会");
    EXPECT_EQ(RoomRequest(alice->main, Packet(CMD_TOPIC, {{20, "广告位招租"}})), REFUSE_BAD_TEXT);

    EXPECT_EQ(RoomRequest(visitor->main, Packet(CMD_NICKNAME, {{20, "我是admin"}})),
              REFUSE_BAD_NICKNAME);
    EXPECT_EQ(RoomRequest(visitor->main, Packet(CMD_NICKNAME, {{20, "  "}})),
              REFUSE_EMPTY_NICKNAME);
    ASSERT_EQ(RoomRequest(visitor->main, Packet(CMD_NICKNAME, {{20, "新名字"}})), 0);
    ASSERT_TRUE(dave->main.WaitFor(CMD_NICKNAME_CHANGED));
    EXPECT_EQ(TextOf(dave->main.All(CMD_NICKNAME_CHANGED).front(), 30), "新名字");

    // dave becomes an operator, which lasts beyond this stay.
    ASSERT_EQ(RoomRequest(alice->main, Packet(CMD_OP_CONTROL, {{20, "dave"}, {30, 1}})), 0);
    EXPECT_EQ(h.Service().Store().RankIn(1001, 10004), 30);
    EXPECT_EQ(RoomRequest(alice->main, Packet(CMD_OP_CONTROL, {{20, visitor->id}, {30, 1}})),
              REFUSE_VISITOR);

    ASSERT_EQ(RoomRequest(alice->main, Packet(CMD_LOCK_ROOM, {{20, 1}, {30, "k3y"}})), 0);
    ASSERT_TRUE(visitor->main.WaitFor(CMD_ROOM_LOCK_CHANGED));
    int refusal = 0;
    EXPECT_FALSE(h.Enter(1001, "新人", QString(), "M-N", &refusal));
    EXPECT_EQ(refusal, REFUSE_PASSWORD_NEEDED);
    // The new operator passes the lock.
    dave->main.KClose();
    ASSERT_TRUE(WaitUntil([&] { return h.Service().Occupancy(1001) == 2; }));
    EXPECT_TRUE(h.Enter(1001, "dave", "dave123", "M-D", &refusal));
}

TEST(RoomActivity, ManagersRunItMembersScoreOnceAndTheRankingIsBestFirst) {
    CServiceHarness h;
    auto alice = h.Enter(1001, "alice", "alice123", "M-A");
    auto bob = h.Enter(1001, "bob", "bob123", "M-B");
    auto carol = h.Enter(1001, "carol", "carol123", "M-C");
    ASSERT_TRUE(alice && bob && carol);

    // An operator does not start it, and nobody scores without it.
    EXPECT_EQ(RoomRequest(bob->main, Packet(CMD_ACTIVITY, {{20, true}, {30, "歌会"}})),
              REFUSE_FORBIDDEN);
    EXPECT_EQ(RoomRequest(bob->main, Packet(CMD_SCORE_REQUEST, {{20, "carol"}})),
              REFUSE_BAD_OPERATION);
    ASSERT_EQ(RoomRequest(alice->main, Packet(CMD_ACTIVITY, {{20, true}, {30, "歌会"}})), 0);
    ASSERT_TRUE(carol->main.WaitFor(CMD_ACTIVITY_ORGANISED));

    ASSERT_EQ(RoomRequest(bob->main, Packet(CMD_SCORE_REQUEST, {{20, "carol"}})), 0);
    ASSERT_TRUE(alice->main.WaitFor(CMD_SCORING_MEMBER));
    // One round at a time; nobody scores themselves, out of range or twice.
    EXPECT_EQ(RoomRequest(alice->main, Packet(CMD_SCORE_REQUEST, {{20, "bob"}})),
              REFUSE_BAD_OPERATION);
    EXPECT_EQ(RoomRequest(carol->main, Packet(CMD_SCORE_SUBMIT, {{20, "carol"}, {30, 5}})),
              REFUSE_FORBIDDEN);
    EXPECT_EQ(RoomRequest(alice->main, Packet(CMD_SCORE_SUBMIT, {{20, "carol"}, {30, 6}})),
              REFUSE_BAD_PARAMETER);
    ASSERT_EQ(RoomRequest(alice->main, Packet(CMD_SCORE_SUBMIT, {{20, "carol"}, {30, 4}})), 0);
    EXPECT_EQ(RoomRequest(alice->main, Packet(CMD_SCORE_SUBMIT, {{20, "carol"}, {30, 4}})),
              REFUSE_FORBIDDEN);
    // The last scorer ends the round.
    ASSERT_EQ(RoomRequest(bob->main, Packet(CMD_SCORE_SUBMIT, {{20, "carol"}, {30, 1}})), 0);
    ASSERT_TRUE(carol->main.WaitFor(CMD_SCORING_RESULT));
    EXPECT_TRUE(HasFields(carol->main.All(CMD_SCORING_RESULT).front(), {{30, "2.50"}, {40, 2}}));

    // A round nobody answers ends with its time.
    ASSERT_EQ(RoomRequest(carol->main, Packet(CMD_SCORE_REQUEST, {{20, "bob"}})), 0);
    ASSERT_EQ(RoomRequest(alice->main, Packet(CMD_SCORE_SUBMIT, {{20, "bob"}, {30, 5}})), 0);
    h.Pass(std::chrono::milliseconds(26000));
    ASSERT_TRUE(carol->main.WaitFor(CMD_SCORING_RESULT, 2));

    ASSERT_EQ(RoomRequest(alice->main, Packet(CMD_ACTIVITY, {{20, false}})), 0);
    ASSERT_TRUE(carol->main.WaitFor(CMD_ACTIVITY_ENDED));
    EXPECT_TRUE(HasFields(carol->main.All(CMD_ACTIVITY_ENDED).front(),
                          {{20, "alice"}, {50, 2}, {60, "bob,5.00"}, {61, "carol,2.50"}}));
}
