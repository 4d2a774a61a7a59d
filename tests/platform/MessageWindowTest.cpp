// Message windows: posts and sends from any thread, destruction, and timers on the manual and
// the system clock.

#include "platform/Clock.h"
#include "platform/MessageWindow.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <QThread>

#include <thread>
#include <vector>

using namespace tavotest;

namespace {

class CMessages : public CMessageWindow {
public:
    std::vector<std::tuple<unsigned, uintptr_t, intptr_t>> got;
    std::vector<QByteArray> copies;
    std::vector<QThread*> threads;
    std::vector<std::pair<unsigned, int64_t>> fired;  // timer id, uptime when fired
    std::function<void(unsigned)> onTimer;

protected:
    void OnTimer(unsigned id) override {
        fired.emplace_back(id, CClock::Get().UptimeMs());
        if (onTimer) {
            onTimer(id);
        }
    }
    intptr_t OnMessage(unsigned msg, uintptr_t w, intptr_t l) override {
        got.emplace_back(msg, w, l);
        threads.push_back(QThread::currentThread());
        return static_cast<intptr_t>(w + l);
    }
    void OnCopyData(unsigned tag, const QByteArray& data) override { copies.push_back(data); }
};

TEST(MessageWindow, PostsFromOtherThreadsArriveInOrderOnTheWindowThread) {
    CMessages w;
    ASSERT_TRUE(w.CreateMessageWindow("test"));
    std::thread poster([&] {
        for (int i = 0; i < 100; ++i) {
            w.PostMessage(1357, static_cast<uintptr_t>(i), -i);
        }
        w.PostCopyData(5, QByteArray("frame"));
    });
    poster.join();
    ASSERT_TRUE(WaitUntil([&] { return w.copies.size() == 1; }));
    ASSERT_EQ(w.got.size(), 100u);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(std::get<1>(w.got[static_cast<size_t>(i)]), static_cast<uintptr_t>(i));
    }
    for (QThread* t : w.threads) {
        EXPECT_EQ(t, QThread::currentThread());
    }
    EXPECT_EQ(w.copies[0], QByteArray("frame"));
}

TEST(MessageWindow, SendIsDirectOnItsThreadAndWaitsFromOthers) {
    CMessages w;
    ASSERT_TRUE(w.CreateMessageWindow());
    EXPECT_EQ(w.SendMessage(1, 2, 3), 5);
    EXPECT_EQ(w.got.size(), 1u);
    intptr_t fromThread = 0;
    std::thread sender([&] { fromThread = w.SendMessage(1, 10, 20); });
    ASSERT_TRUE(WaitUntil([&] { return w.got.size() == 2; }));
    sender.join();
    EXPECT_EQ(fromThread, 30);
    EXPECT_EQ(w.threads.back(), QThread::currentThread());
}

TEST(MessageWindow, MessagesForADestroyedWindowAreDroppedAlsoWhenItDestroysItself) {
    CMessages w;
    ASSERT_TRUE(w.CreateMessageWindow());
    w.PostMessage(1, 0, 0);
    w.DestroyMessageWindow();
    EXPECT_FALSE(w.PostMessage(2, 0, 0));
    Spin(std::chrono::milliseconds(20));
    EXPECT_TRUE(w.got.empty());
    EXPECT_FALSE(w.CreateMessageWindow() == false);
    w.PostMessage(3, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return w.got.size() == 1; }));
    EXPECT_EQ(std::get<0>(w.got[0]), 3u);

    // A window may destroy itself from its own message; what was posted after it is dropped.
    struct CSelfDestroying : CMessageWindow {
        int handled = 0;
        intptr_t OnMessage(unsigned, uintptr_t, intptr_t) override {
            ++handled;
            DestroyMessageWindow();
            return 0;
        }
    } self;
    ASSERT_TRUE(self.CreateMessageWindow());
    self.PostMessage(1, 0, 0);
    self.PostMessage(2, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return self.handled == 1; }));
    Spin(std::chrono::milliseconds(20));
    EXPECT_EQ(self.handled, 1);
    EXPECT_FALSE(self.IsWindow());
}

TEST(ManualClock, TimersFireInDeadlineOrderRestartAndStopWhenKilledOrTheWindowIsGone) {
    CManualClock clock(1000000, 0);
    CScopedClock scope(clock);
    CMessages w;
    ASSERT_TRUE(w.CreateMessageWindow());
    w.SetTimer(1, 3000);
    w.SetTimer(2, 5000);
    clock.Advance(10000);
    std::vector<std::pair<unsigned, int64_t>> expected{
        {1, 3000}, {2, 5000}, {1, 6000}, {1, 9000}, {2, 10000}};
    EXPECT_EQ(w.fired, expected);
    EXPECT_EQ(clock.UnixMs(), 1000000 + 10000);

    // Setting a timer again restarts it; a kill inside its handler stops it.
    w.DestroyMessageWindow();
    CMessages v;
    ASSERT_TRUE(v.CreateMessageWindow());
    v.SetTimer(7, 1000);
    clock.Advance(900);
    v.SetTimer(7, 1000);  // restarts: next tick at 11900
    clock.Advance(500);
    EXPECT_TRUE(v.fired.empty());
    v.onTimer = [&](unsigned id) { v.KillTimer(id); };
    clock.Advance(5000);
    ASSERT_EQ(v.fired.size(), 1u);
    EXPECT_EQ(v.fired[0].second, 11900);

    // A destroyed window's timers stop, and it takes no new ones.
    v.onTimer = nullptr;
    v.SetTimer(1, 100);
    v.DestroyMessageWindow();
    clock.Advance(1000);
    EXPECT_EQ(v.fired.size(), 1u);
    EXPECT_FALSE(v.SetTimer(1, 100));
    EXPECT_EQ(w.fired.size(), expected.size());
}

TEST(SystemClock, RealTimersFireOnTheEventLoop) {
    CMessages w;
    ASSERT_TRUE(w.CreateMessageWindow());
    w.SetTimer(3, 10);
    EXPECT_TRUE(WaitUntil([&] { return w.fired.size() >= 2; }));
    w.KillTimer(3);
    const size_t count = w.fired.size();
    Spin(std::chrono::milliseconds(40));
    EXPECT_EQ(w.fired.size(), count);
}

}  // namespace
