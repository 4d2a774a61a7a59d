// Mic guards on the client: who counts towards the ten members a room needs, the quota of
// guards, the enter packet each guard's own connection sends, and letting them go oldest
// first at the interval or all with the room.

#include "tests/room/RoomFixture.h"

#include "protocol/Commands.h"
#include "room/GuardDialogs.h"
#include "room/MicGuards.h"
#include "room/VirtualClient.h"

#include <gtest/gtest.h>

using namespace tavotest;

namespace {

// A room of rows members (the user first), the one at guardRow a guard, with a quota of 2.
void EnterRoom(CRoomFixture& f, int rows, int guardRow) {
    QStringList members{MemberText(QStringLiteral("me"), QStringLiteral("我"), 20)};
    for (int i = 1; i < rows; ++i) {
        members << (i == guardRow ? MemberText(QStringLiteral("7990003"), QStringLiteral("守"), 10)
                                  : MemberText(QStringLiteral("u%1").arg(i),
                                               QStringLiteral("用户%1").arg(i), 20));
    }
    f.server.members = members;
    f.server.settings = {{360, 2}};
    ASSERT_TRUE(f.Enter());
}

void AddGuard(CRoomFixture& f, const QString& nick) {
    f.ui.dialogs.Script(CAddGuardDlg::IDD, [nick](CDialogModel& d) {
        static_cast<CAddGuardDlg&>(d).SetNickname(nick);
        d.OnOK();
    });
    f.Room().Guards().Add();
    f.ui.dialogs.Unscript(CAddGuardDlg::IDD);
}

}  // namespace

TEST(MicGuards, TheRowsThatCountTheQuotaTheEntryAndTheDepartures) {
    CRoomFixture f;
    // Thirteen rows, one of them a guard: the first and last rows and guards do not count, so
    // ten members do.
    EnterRoom(f, 13, 5);
    CMicGuards& guards = f.Room().Guards();
    AddGuard(f, QStringLiteral("守一"));
    EXPECT_TRUE(f.ui.prompt.Saw(QStringLiteral("对不起,房间用户满10人才能挂守麦员")));
    EXPECT_EQ(f.ui.dialogs.Count(CAddGuardDlg::IDD), 0);
    EXPECT_EQ(guards.Count(), 0);

    f.Deliver(Packet(CMD_ARRIVAL, {{20, "late"}, {30, "迟到"}, {40, 20}, {50, true}}));
    // An empty nickname adds nothing; the quota is three times the room's.
    AddGuard(f, QString());
    EXPECT_EQ(guards.Count(), 0);
    for (int i = 1; i <= 6; ++i) {
        AddGuard(f, QStringLiteral("守%1").arg(i));
    }
    ASSERT_EQ(guards.Count(), 6);
    f.ui.prompt.Clear();
    AddGuard(f, QStringLiteral("守7"));
    EXPECT_EQ(f.ui.prompt.Texts(), QStringList{QStringLiteral("最多只能设置 6 个守麦员")});
    EXPECT_EQ(guards.Count(), 6);

    // Each guard enters on a connection of its own, under its nickname, into this room.
    ASSERT_TRUE(WaitUntil([&] { return f.server.main.Received(CMD_GUARD_ENTER).size() == 6; }));
    QStringList entered;
    for (const CPacketCopy& p : f.server.main.Received(CMD_GUARD_ENTER)) {
        entered << TextOf(p, 20);
        EXPECT_TRUE(HasFields(p, {{40, 1234}, {70, "0.0.0.0"}}));
    }
    entered.sort();
    EXPECT_EQ(entered,
              (QStringList{QStringLiteral("守1"), QStringLiteral("守2"), QStringLiteral("守3"),
                           QStringLiteral("守4"), QStringLiteral("守5"), QStringLiteral("守6")}));
    EXPECT_EQ(f.server.main.PeerCount(), 7);

    // Let go at three seconds apart: the oldest first.
    f.ui.dialogs.Script(CGuardExitDlg::IDD, [](CDialogModel& d) {
        static_cast<CGuardExitDlg&>(d).SetSeconds(3);
        d.OnOK();
    });
    guards.Remove();
    f.clock.Advance(2999);
    EXPECT_EQ(guards.Count(), 6);
    f.clock.Advance(1);
    ASSERT_EQ(guards.Count(), 5);
    EXPECT_EQ(guards.Guard(0).Nickname(), QStringLiteral("守2"));
    f.clock.Advance(4 * 3000);
    EXPECT_EQ(guards.Count(), 1);
    f.clock.Advance(3000);
    EXPECT_EQ(guards.Count(), 0);
    EXPECT_FALSE(f.Room().HasTimer(CMicGuards::TIMER_EXIT));

    // Those left go with the room.
    AddGuard(f, QStringLiteral("守8"));
    AddGuard(f, QStringLiteral("守9"));
    ASSERT_EQ(guards.Count(), 2);
    f.Room().Close(IDCANCEL);
    EXPECT_EQ(guards.Count(), 0);
}
