// Paid play-outs and recordings (490): each charge takes one period's price from the member's
// balance and says what is left; a short balance takes nothing and still tells the figures;
// visitors have no balance to pay from.

#include "protocol/Commands.h"
#include "protocol/Refusal.h"
#include "protocol/keys/RecordKeys.h"
#include "server/GiftStore.h"
#include "server/RoomRecording.h"
#include "tests/support/ServiceHarness.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using namespace tavotest;

TEST(RoomRecording, ChargesAPeriodWhileTheBalanceLastsAndTellsTheFiguresEitherWay) {
    CServiceHarness h;
    auto bob = h.Enter(1001, "bob", "bob123", "M-B");
    ASSERT_TRUE(bob);
    CGiftStore money(h.Service().Store());
    const auto account = h.Service().Store().FindAccount(QStringLiteral("bob"));
    ASSERT_TRUE(account);
    constexpr int kCost = CRoomRecording::kPeriodCost;
    ASSERT_TRUE(money.SetBalance(account->number, kCost + kCost / 2));

    auto charge = [&](CTestConnection& c) {
        return c.Request(
            Packet(CMD_RECORD_CONTROL, {{RecordChargeKey::KIND, RECORD_CHARGE_PLAYOUT}}),
            CMD_RECORD_CONTROL_REPLY);
    };
    auto first = charge(bob->main);
    ASSERT_TRUE(first);
    EXPECT_EQ(IntOf(*first, KEY_RESULT, 0), 0);
    EXPECT_EQ(IntOf(*first, RecordChargeReplyKey::PERIOD), CRoomRecording::kPeriodSeconds);
    EXPECT_EQ(IntOf(*first, RecordChargeReplyKey::COST), kCost);
    EXPECT_EQ(IntOf(*first, RecordChargeReplyKey::BALANCE), kCost / 2);

    auto second = charge(bob->main);
    ASSERT_TRUE(second);
    EXPECT_EQ(IntOf(*second, KEY_RESULT), -1);
    EXPECT_EQ(IntOf(*second, KEY_REFUSAL), REFUSE_BALANCE);
    EXPECT_EQ(IntOf(*second, RecordChargeReplyKey::BALANCE), kCost / 2);
    EXPECT_EQ(money.Balance(account->number), kCost / 2) << "a refused charge took money";

    auto visitor = h.Enter(1001, "guest", QString(), "M-V");
    ASSERT_TRUE(visitor);
    auto refused = charge(visitor->main);
    ASSERT_TRUE(refused);
    EXPECT_EQ(IntOf(*refused, KEY_REFUSAL), REFUSE_VISITOR);
}
