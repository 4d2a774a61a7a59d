// Running a room from the console against the reference service: the owner kicks, bans
// quietly and locks; the members see what the room and they themselves are told; a banned
// member stays out and a locked room asks for its password; a scoring round averages the
// scores and its ranking names a member who left. Mic guards then enter beside a member,
// spaced apart and up to the room's quota.

#include "room/VirtualClient.h"
#include "tests/e2e/ConsoleClient.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace std::chrono_literals;
using namespace tavotest;

TEST(AdminScript, TheOwnerKicksBansLocksAndScoresThenGuardsEnterAndTheRoomSeesIt) {
    CServiceProcess service(
        QStringLiteral(TAVO_SERVERD),
        {QStringLiteral("mic_guard_quota=1"), QStringLiteral("mic_guard_spacing_ms=1500")});
    ASSERT_TRUE(service.Running() && service.RoomPort() > 0) << service.Output().toStdString();

    // Everybody is inside before the owner comes. Erin comes back through the lock and is
    // scored; Bob scores her and stays for the ranking and the guards.
    std::vector<std::unique_ptr<CConsoleClient>> members;
    const QString scripts[] = {
        InRoom("carol", "carol123", "wait-line 请点击确定退出房间 60\n"),
        InRoom("dave", "dave123",
               "wait-line 请点击确定退出房间 60\nenter 1001\nwait-line 用户被禁止进入房间 20\n"),
        InRoom("erin", "erin123",
               "wait-line 将房间上锁 60\nleave\nenter 1001\nwait-line 房间已上锁,请输入密码 15\n"
               "password sesame2\nenter 1001\nwait-line window open 15\nwait-line 平均得分 60\n"
               "leave\n"),
        InRoom("bob", "bob123",
               "mark 4\nwait-line 本次活动结果如下 90\nwait-line 守一 离开房间 120\nsleep 1\n"
               "leave\n"),
    };
    for (const QString& script : scripts) {
        members.push_back(std::make_unique<CConsoleClient>(service, script));
        ASSERT_TRUE(members.back()->WaitFor("window open", 30s))
            << members.back()->Output().toStdString();
    }
    CConsoleClient alice(
        service, InRoom("alice", "alice123",
                        "nick 爱丽丝\nkick carol 刷屏\nwait-line 卡罗尔 离开房间 15\n"
                        "ban dave 99 捣乱\nwait-line 大卫 离开房间 15\nlock sesame2\n"
                        "wait-line 将房间上锁 10\nwait-line 艾琳 进入房间 30\n"
                        "mark 5\nactivity on 歌会\nwait-line 组织了一个活动 10\nscore erin\n"
                        "wait-line 平均得分 30\nwait-line 艾琳 离开房间 20\nactivity off 歌会\n"
                        "wait-line 本次活动结果如下 10\nunlock\nsleep 1\nleave\n"));
    ASSERT_TRUE(alice.WaitEnd(120s)) << alice.Output().toStdString();
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(members[i]->WaitEnd(60s)) << members[i]->Output().toStdString();
    }

    // Mic guards enter beside Bob spaced apart and up to three times the quota.
    CConsoleClient& watcher = *members[3];
    const auto guard = [&](const char* nick) {
        auto g = std::make_unique<CVirtualClient>();
        g->SetNickname(QString::fromUtf8(nick));
        g->SetRoom(1001);
        EXPECT_EQ(g->KCreate(), 0);
        EXPECT_EQ(g->KConnect(QStringLiteral("127.0.0.1"), service.RoomPort()), 0);
        return g;
    };
    // The service drops a guard it does not take; nothing answers.
    const auto dropped = [](CVirtualClient& g) {
        return WaitUntil([&] { return !g.IsCreated(); }, 5s);
    };
    std::vector<std::unique_ptr<CVirtualClient>> taken;
    taken.push_back(guard("守一"));
    ASSERT_TRUE(watcher.WaitFor("守一", 30s)) << watcher.Output().toStdString();
    auto tooSoon = guard("守二");
    EXPECT_TRUE(dropped(*tooSoon));
    for (const char* nick : {"守三", "守四"}) {
        Spin(1600ms);
        taken.push_back(guard(nick));
        ASSERT_TRUE(watcher.WaitFor(nick, 30s)) << watcher.Output().toStdString();
    }
    Spin(1600ms);
    auto overQuota = guard("守五");
    EXPECT_TRUE(dropped(*overQuota));
    for (const auto& g : taken) {
        EXPECT_TRUE(g->IsConnect()) << g->Nickname().toStdString();
    }
    // A guard let go leaves the room like a member.
    taken.front().reset();
    ASSERT_TRUE(watcher.WaitEnd(30s)) << watcher.Output().toStdString();
    const QByteArray carol = members[0]->Output();
    const QByteArray dave = members[1]->Output();
    const QByteArray erin = members[2]->Output();
    const QByteArray bob = members[3]->Output();
    const QByteArray owner = alice.Output();
    for (const QByteArray* out : {&carol, &dave, &erin, &bob, &owner}) {
        EXPECT_FALSE(out->contains("FAILED")) << out->toStdString();
    }

    // The same nickname is refused in its dialog; nothing goes to the room.
    EXPECT_TRUE(owner.contains("昵称相同!请重新输入")) << owner.toStdString();
    EXPECT_FALSE(owner.contains("修改昵称,请稍候")) << owner.toStdString();
    // The kicked member reads it about themselves; the others read the line.
    EXPECT_TRUE(carol.contains("你 被 爱丽丝(alice) 踢出了房间,原因: 刷屏,请点击确定退出房间!"))
        << carol.toStdString();
    EXPECT_TRUE(bob.contains("卡罗尔(carol) 被 爱丽丝(alice) 踢出了房间,原因: 刷屏"))
        << bob.toStdString();
    // The quiet ban tells the room nothing and its victim of a system fault; the victim stays
    // out.
    EXPECT_FALSE(bob.contains("封了")) << bob.toStdString();
    EXPECT_TRUE(dave.contains("抱歉, 系统故障, 请退出房间.,请点击确定退出房间!"))
        << dave.toStdString();
    EXPECT_TRUE(dave.contains("用户被禁止进入房间")) << dave.toStdString();
    // The locked room asks for its password, and the password opens it.
    EXPECT_TRUE(erin.contains("房间已上锁,请输入密码")) << erin.toStdString();
    EXPECT_EQ(erin.count("[房间] window open"), 2) << erin.toStdString();
    // A scoring round averages the two scores, and the ranking names the departed.
    EXPECT_TRUE(bob.contains("爱丽丝(alice) 提示您给 艾琳(erin) 打分")) << bob.toStdString();
    EXPECT_TRUE(owner.contains("本次打分结果: 艾琳(erin) 平均得分: 4.50(共有2人参与打分)"))
        << owner.toStdString();
    // The console shows the page's text, where runs of blanks are one.
    EXPECT_TRUE(owner.contains("第1名: 此人已离开房间(erin) 得分:4.50")) << owner.toStdString();
    EXPECT_TRUE(bob.contains("守一 离开房间")) << bob.toStdString();
    EXPECT_FALSE(bob.contains("守二")) << bob.toStdString();
    EXPECT_FALSE(bob.contains("守五")) << bob.toStdString();
}
