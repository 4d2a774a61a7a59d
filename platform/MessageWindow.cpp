#include "platform/MessageWindow.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QObject>
#include <QThread>

namespace {

const QEvent::Type kMessageEvent = static_cast<QEvent::Type>(QEvent::User + 0x155);
const QEvent::Type kCopyDataEvent = static_cast<QEvent::Type>(QEvent::User + 0x156);

struct CMessageEvent : QEvent {
    CMessageEvent(unsigned m, uintptr_t w, intptr_t l)
        : QEvent(kMessageEvent), msg(m), wParam(w), lParam(l) {}
    unsigned msg;
    uintptr_t wParam;
    intptr_t lParam;
};

struct CCopyDataEvent : QEvent {
    CCopyDataEvent(unsigned t, QByteArray d) : QEvent(kCopyDataEvent), tag(t), data(std::move(d)) {}
    unsigned tag;
    QByteArray data;
};

}  // namespace

class CMessageWindow::CSink : public QObject {
public:
    explicit CSink(CMessageWindow* owner) : m_owner(owner) {}

    bool event(QEvent* e) override {
        if (e->type() == kMessageEvent) {
            auto* m = static_cast<CMessageEvent*>(e);
            m_owner->OnMessage(m->msg, m->wParam, m->lParam);
            return true;
        }
        if (e->type() == kCopyDataEvent) {
            auto* c = static_cast<CCopyDataEvent*>(e);
            m_owner->OnCopyData(c->tag, c->data);
            return true;
        }
        return QObject::event(e);
    }

private:
    CMessageWindow* m_owner;
};

CMessageWindow::CMessageWindow() = default;

CMessageWindow::~CMessageWindow() {
    DestroyMessageWindow();
}

bool CMessageWindow::CreateMessageWindow(const QString& name) {
    std::lock_guard lock(m_mutex);
    if (m_sink) {
        return false;
    }
    m_sink = new CSink(this);
    m_name = name;
    return true;
}

void CMessageWindow::DestroyMessageWindow() {
    for (auto& [id, handle] : m_timers) {
        CClock::Get().StopTimer(handle);
    }
    m_timers.clear();
    CSink* sink;
    {
        std::lock_guard lock(m_mutex);
        sink = m_sink;
        m_sink = nullptr;
    }
    // Deleting the sink drops the events still queued for it. A window may destroy itself
    // from inside one of its own messages, so the deletion waits for the event loop.
    if (sink) {
        QCoreApplication::removePostedEvents(sink);
        sink->deleteLater();
    }
}

bool CMessageWindow::IsWindow() const {
    std::lock_guard lock(m_mutex);
    return m_sink != nullptr;
}

QString CMessageWindow::WindowName() const {
    std::lock_guard lock(m_mutex);
    return m_name;
}

bool CMessageWindow::SetTimer(unsigned id, unsigned periodMs) {
    if (!IsWindow()) {
        return false;
    }
    KillTimer(id);
    m_timers[id] = CClock::Get().StartTimer(this, id, periodMs);
    return true;
}

bool CMessageWindow::KillTimer(unsigned id) {
    auto it = m_timers.find(id);
    if (it == m_timers.end()) {
        return false;
    }
    CClock::Get().StopTimer(it->second);
    m_timers.erase(it);
    return true;
}

bool CMessageWindow::HasTimer(unsigned id) const {
    return m_timers.count(id) != 0;
}

void CMessageWindow::OnClockTimer(unsigned id) {
    if (m_timers.count(id)) {
        OnTimer(id);
    }
}

bool CMessageWindow::PostMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) {
    std::lock_guard lock(m_mutex);
    if (!m_sink) {
        return false;
    }
    QCoreApplication::postEvent(m_sink, new CMessageEvent(msg, wParam, lParam));
    return true;
}

intptr_t CMessageWindow::SendMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) {
    QObject* sink;
    {
        std::lock_guard lock(m_mutex);
        sink = m_sink;
    }
    if (!sink) {
        return 0;
    }
    if (sink->thread() == QThread::currentThread()) {
        return OnMessage(msg, wParam, lParam);
    }
    intptr_t result = 0;
    QMetaObject::invokeMethod(
        sink, [&] { result = OnMessage(msg, wParam, lParam); }, Qt::BlockingQueuedConnection);
    return result;
}

bool CMessageWindow::PostCopyData(unsigned tag, QByteArray data) {
    std::lock_guard lock(m_mutex);
    if (!m_sink) {
        return false;
    }
    QCoreApplication::postEvent(m_sink, new CCopyDataEvent(tag, std::move(data)));
    return true;
}
