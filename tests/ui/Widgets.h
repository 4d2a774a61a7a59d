#pragma once
// Reading a window as a person does: the text a named label, box or button shows, the lines
// of a named list, and the pictures a document holds; answering a window that runs its own loop.

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QTimer>

#include <functional>

namespace tavotest {

inline QPushButton* Button(const QWidget& window, const char* name) {
    return window.findChild<QPushButton*>(name);
}

inline QString Shown(const QWidget& window, const char* name) {
    QWidget* w = window.findChild<QWidget*>(name);
    if (auto* label = qobject_cast<QLabel*>(w)) {
        return label->text();
    }
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        return edit->text();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        return button->text();
    }
    return QStringLiteral("<no %1>").arg(QLatin1String(name));
}

inline QStringList Items(const QWidget& window, const char* name) {
    QStringList texts;
    if (auto* list = window.findChild<QListWidget*>(name)) {
        for (int i = 0; i < list->count(); ++i) {
            texts << list->item(i)->text();
        }
    }
    return texts;
}

// The image names the document holds, in order.
inline QStringList ImageNames(const QTextDocument& doc) {
    QStringList names;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            if (f.isImageFormat()) {
                names << f.toImageFormat().name();
            }
        }
    }
    return names;
}

// Runs the action on the first modal window that appears (polling the event loop), then stops
// polling: how boxes and dialogs that run their own loops are answered. A window given as
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
