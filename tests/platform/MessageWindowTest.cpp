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

protected:
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

}  // namespace
