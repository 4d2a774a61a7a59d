#pragma once
// Helpers of the window tests: acting on the window that is up, as a person would.

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <ostream>

// Texts print as text in failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace tavotest {

// Runs the action on the first modal window that appears (polling the event loop), then
// stops polling. Used to answer boxes and dialogs that run their own loops. A window given as
// `except` (one already being handled) is passed over.
inline void OnModalWindow(std::function<void(QWidget*)> action, QWidget* except = nullptr) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, action, except] {
        if (QWidget* modal = QApplication::activeModalWidget();
            modal && modal != except && modal->isVisible()) {
            timer->stop();
            timer->deleteLater();
            action(modal);
        }
    });
    timer->start();
}

}  // namespace tavotest
