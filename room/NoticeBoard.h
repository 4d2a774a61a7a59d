#pragma once
// Timed notices (command 614): each stays on the room's notice display for the configured
// number of seconds. The list and its deadlines are shared with a worker that takes the oldest
// notice away when its time is up; both sides reach them only through their one lock. The
// worker tells the room window
// to redraw by a posted message, so the display is only ever touched on the GUI thread.

#include "platform/Locked.h"
#include "room/RoomFeature.h"

#include <QString>
#include <QStringList>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <thread>

class CKParam;
class CMessageWindow;

class CNoticeBoard : public IRoomFeature {
public:
    // The worker looks at the clock at least this often, so a clock that tests move by hand
    // is noticed too.
    static constexpr int kPollMs = 20;

    // redraw: the window told (by a posted message) that the list changed.
    CNoticeBoard(CMessageWindow& window, unsigned redrawMessage);
    ~CNoticeBoard() override;

    void Register(CDispatchTable& table) override;
    void OnRoomOpened() override;
    void OnRoomClosing(bool keepSharedCapture) override;

    void SetDuration(int seconds) { m_seconds = seconds; }
    void OnTimedNotice(CKParam& packet);
    void Add(const QString& text);
    QStringList Notices() const;

private:
    void Worker();
    void StopWorker();

    // What the GUI thread and the worker share.
    struct tagBoard {
        std::deque<QString> notices;
        std::deque<int64_t> deadlines;  // uptime milliseconds, oldest first
        bool stop = false;
    };

    CMessageWindow& m_window;
    unsigned m_redraw;
    int m_seconds = 30;
    CLocked<tagBoard> m_board;
    std::condition_variable m_wake;
    // Started and joined on the GUI thread only.
    std::thread m_thread;
};
