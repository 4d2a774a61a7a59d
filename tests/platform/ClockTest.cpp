#include "platform/Clock.h"
#include "platform/MessageWindow.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <vector>

using namespace tavotest;

namespace {

class CRecordingWindow : public CMessageWindow {
public:
    std::vector<std::pair<unsigned, int64_t>> fired;  // id, uptime when fired
    std::function<void(unsigned)> onTimer;

protected:
    void OnTimer(unsigned id) override {
        fired.emplace_back(id, CClock::Get().UptimeMs());
        if (onTimer) {
            onTimer(id);
        }
    }
};

TEST(ManualClock, TimersFireInDeadlineOrderAtTheirDeadlines) {
    CManualClock clock(1000000, 0);
    CScopedClock scope(clock);
    CRecordingWindow w;
    ASSERT_TRUE(w.CreateMessageWindow());
    w.SetTimer(1, 3000);
    w.SetTimer(2, 5000);
    clock.Advance(10000);
    std::vector<std::pair<unsigned, int64_t>> expected{
        {1, 3000}, {2, 5000}, {1, 6000}, {1, 9000}, {2, 10000}};
    EXPECT_EQ(w.fired, expected);
    EXPECT_EQ(clock.UnixMs(), 1000000 + 10000);
}

TEST(ManualClock, SetTimerAgainRestartsAndAKillInsideAHandlerOrADestroyedWindowStops) {
    CManualClock clock(0, 0);
    CScopedClock scope(clock);
    CRecordingWindow w;
    ASSERT_TRUE(w.CreateMessageWindow());
    w.SetTimer(7, 1000);
    clock.Advance(900);
    w.SetTimer(7, 1000);  // restarts: next tick at 1900
    clock.Advance(500);
    EXPECT_TRUE(w.fired.empty());
    w.onTimer = [&](unsigned id) { w.KillTimer(id); };
    clock.Advance(5000);
    ASSERT_EQ(w.fired.size(), 1u);
    EXPECT_EQ(w.fired[0].second, 1900);

    // A destroyed window's timers stop, and it takes no new ones.
    w.onTimer = nullptr;
    w.SetTimer(1, 100);
    w.DestroyMessageWindow();
    clock.Advance(1000);
    EXPECT_EQ(w.fired.size(), 1u);
    EXPECT_FALSE(w.SetTimer(1, 100));
}

TEST(SystemClock, RealTimersFireOnTheEventLoop) {
    CRecordingWindow w;
    ASSERT_TRUE(w.CreateMessageWindow());
    w.SetTimer(3, 10);
    EXPECT_TRUE(WaitUntil([&] { return w.fired.size() >= 2; }));
    w.KillTimer(3);
    const size_t count = w.fired.size();
    Spin(std::chrono::milliseconds(40));
    EXPECT_EQ(w.fired.size(), count);
}

}  // namespace
