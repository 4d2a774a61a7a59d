#include "tests/support/TestSupport.h"

#include "platform/Profile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

namespace tavotest {

bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds limit) {
    QElapsedTimer timer;
    timer.start();
    while (!pred()) {
        if (timer.elapsed() > limit.count()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QThread::usleep(200);
    }
    return true;
}

void Spin(std::chrono::milliseconds time) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < time.count()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(200);
    }
}

CTempConfig::CTempConfig() {
    CProfileStore::SetRoot(m_dir.path());
}

CTempConfig::~CTempConfig() {
    CProfileStore::SetRoot(QString());
}

}  // namespace tavotest
