#include "room/NoticeBoard.h"

#include "platform/Clock.h"
#include "platform/MessageWindow.h"
#include "protocol/Commands.h"
#include "protocol/keys/DispatchKeys.h"
#include "protocol/DispatchTable.h"

CNoticeBoard::CNoticeBoard(CMessageWindow& window, unsigned redrawMessage)
    : m_window(window), m_redraw(redrawMessage) {}

CNoticeBoard::~CNoticeBoard() {
    StopWorker();
}

void CNoticeBoard::Register(CDispatchTable& table) {
    table.On(CMD_TIMED_NOTICE, [this](CKParam& p) { OnTimedNotice(p); });
}

void CNoticeBoard::OnRoomOpened() {
    StopWorker();
    m_notices.With([](std::deque<QString>& n) { n.clear(); });
}

void CNoticeBoard::OnRoomClosing(bool) {
    StopWorker();
    m_notices.With([](std::deque<QString>& n) { n.clear(); });
}

void CNoticeBoard::OnTimedNotice(CKParam& packet) {
    if (packet.IntOr(TimedNoticeKey::STATUS, -1) != 0) {
        return;
    }
    Add(packet.TextOr(TimedNoticeKey::TEXT));
}

void CNoticeBoard::Add(const QString& text) {
    m_notices.With([&](std::deque<QString>& n) { n.push_back(text); });
    m_window.PostMessage(m_redraw);
    {
        std::lock_guard lock(m_mutex);
        m_deadlines.push_back(CClock::Get().UptimeMs() + int64_t{m_seconds} * 1000);
        m_stop = false;
        if (!m_thread.joinable()) {
            m_thread = std::thread([this] { Worker(); });
        }
    }
    m_wake.notify_all();
}

QStringList CNoticeBoard::Notices() const {
    return m_notices.With([](const std::deque<QString>& n) {
        QStringList out;
        for (const auto& s : n) {
            out << s;
        }
        return out;
    });
}

void CNoticeBoard::Worker() {
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        if (m_deadlines.empty()) {
            m_wake.wait(lock, [this] { return m_stop || !m_deadlines.empty(); });
            continue;
        }
        const int64_t remaining = m_deadlines.front() - CClock::Get().UptimeMs();
        if (remaining > 0) {
            m_wake.wait_for(lock, std::chrono::milliseconds(std::min<int64_t>(remaining, kPollMs)));
            continue;
        }
        m_deadlines.pop_front();
        lock.unlock();
        m_notices.With([](std::deque<QString>& n) {
            if (!n.empty()) {
                n.pop_front();
            }
        });
        m_window.PostMessage(m_redraw);
        lock.lock();
    }
}

void CNoticeBoard::StopWorker() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_deadlines.clear();
    }
    m_wake.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    std::lock_guard lock(m_mutex);
    m_stop = false;
}
