#pragma once
// Reading a window as a person does: the text a named label, box or button shows, the lines
// of a named list, and the pictures a document holds.

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>

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

}  // namespace tavotest
