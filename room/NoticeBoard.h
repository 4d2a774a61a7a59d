#pragma once
// Timed notices (command 614): each stays on the room's notice display for the configured
// number of seconds. The list is shared with a worker that takes the oldest notice away when
// its time is up; both sides reach it only through its lock. The worker tells the room window
// to redraw by a posted message, so the display is only ever touched on the GUI thread.

#include "room/Locked.h"
#include "room/RoomFeature.h"

#include <QString>
#include <QStringList>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
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

    CMessageWindow& m_window;
    unsigned m_redraw;
    int m_seconds = 30;
    CLocked<std::deque<QString>> m_notices;

    std::mutex m_mutex;  // guards the deadlines and the stop flag
    std::condition_variable m_wake;
    std::deque<int64_t> m_deadlines;  // uptime milliseconds, oldest first
    bool m_stop = false;
    std::thread m_thread;
};
