#include "room/NoticeBoard.h"

#include "platform/Clock.h"
#include "platform/MessageWindow.h"
#include "platform/ThreadSignals.h"
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
    m_board.With([](tagBoard& b) { b.notices.clear(); });
}

void CNoticeBoard::OnRoomClosing(bool) {
    StopWorker();
    m_board.With([](tagBoard& b) { b.notices.clear(); });
}

void CNoticeBoard::OnTimedNotice(CKParam& packet) {
    if (packet.IntOr(TimedNoticeKey::STATUS, -1) != 0) {
        return;
    }
    Add(packet.TextOr(TimedNoticeKey::TEXT));
}

void CNoticeBoard::Add(const QString& text) {
    {
        auto board = m_board.Lock();
        board->notices.push_back(text);
        board->deadlines.push_back(CClock::Get().UptimeMs() + int64_t{m_seconds} * 1000);
        board->stop = false;
        if (!m_thread.joinable()) {
            m_thread = StartThread([this] { Worker(); });
        }
    }
    m_window.PostMessage(m_redraw);
    m_wake.notify_all();
}

QStringList CNoticeBoard::Notices() const {
    return m_board.With([](const tagBoard& b) {
        QStringList out;
        for (const auto& s : b.notices) {
            out << s;
        }
        return out;
    });
}

void CNoticeBoard::Worker() {
    for (;;) {
        {
            auto board = m_board.Lock();
            for (;;) {
                if (board->stop) {
                    return;
                }
                if (board->deadlines.empty()) {
                    board.Wait(m_wake,
                               [](const tagBoard& b) { return b.stop || !b.deadlines.empty(); });
                    continue;
                }
                const int64_t remaining = board->deadlines.front() - CClock::Get().UptimeMs();
                if (remaining <= 0) {
                    break;
                }
                board.WaitFor(m_wake,
                              std::chrono::milliseconds(std::min<int64_t>(remaining, kPollMs)));
            }
            board->deadlines.pop_front();
            if (!board->notices.empty()) {
                board->notices.pop_front();
            }
        }
        m_window.PostMessage(m_redraw);
    }
}

void CNoticeBoard::StopWorker() {
    m_board.With([](tagBoard& b) {
        b.stop = true;
        b.deadlines.clear();
    });
    m_wake.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_board.With([](tagBoard& b) { b.stop = false; });
}
