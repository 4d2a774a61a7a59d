#pragma once
// The carrier of window timers and window messages. A message window lives on the thread that
// created it (the GUI thread); timers fire there, and messages posted from any thread are
// delivered there in order. Message numbers are the system's own.

#include "platform/Clock.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

class QObject;

class CMessageWindow : public ITimerTarget {
public:
    CMessageWindow();
    virtual ~CMessageWindow();
    CMessageWindow(const CMessageWindow&) = delete;
    CMessageWindow& operator=(const CMessageWindow&) = delete;

    // Creates the window on the calling thread. False when it already exists.
    bool CreateMessageWindow(const QString& name = QString());
    // Destroys the window: its timers stop and messages not yet delivered are dropped.
    void DestroyMessageWindow();
    bool IsWindow() const;
    QString WindowName() const;

    // Starts (or restarts, when the id is already running) a periodic timer.
    bool SetTimer(unsigned id, unsigned periodMs);
    bool KillTimer(unsigned id);
    bool HasTimer(unsigned id) const;

    // Queues a message for the window's thread. Safe from any thread; false when there is no
    // window.
    bool PostMessage(unsigned msg, uintptr_t wParam = 0, intptr_t lParam = 0);
    // Delivers a message: directly on the window's thread, otherwise queued and waited for.
    intptr_t SendMessage(unsigned msg, uintptr_t wParam = 0, intptr_t lParam = 0);
    // Hands bytes to the window's thread (the copy-data message). Safe from any thread.
    bool PostCopyData(unsigned tag, QByteArray data);

protected:
    virtual void OnTimer(unsigned id) {}
    virtual intptr_t OnMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) { return 0; }
    virtual void OnCopyData(unsigned tag, const QByteArray& data) {}

private:
    class CSink;
    friend class CSink;
    void OnClockTimer(unsigned id) override;

    mutable std::mutex m_mutex;  // guards m_sink against posts from other threads
    CSink* m_sink = nullptr;
    QString m_name;
    std::map<unsigned, uintptr_t> m_timers;
};
