#include "ui/QtPromptService.h"

#include "platform/StringIds.h"
#include "platform/StringTable.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>

namespace {

QMessageBox::Icon IconOf(unsigned flags) {
    switch (flags & 0xF0) {
        case MB_ICONERROR:
            return QMessageBox::Critical;
        case MB_ICONQUESTION:
            return QMessageBox::Question;
        case MB_ICONWARNING:
            return QMessageBox::Warning;
        case MB_ICONINFORMATION:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

QMessageBox::StandardButtons ButtonsOf(unsigned flags) {
    switch (flags & 0xF) {
        case MB_OKCANCEL:
            return QMessageBox::Ok | QMessageBox::Cancel;
        case MB_YESNO:
            return QMessageBox::Yes | QMessageBox::No;
        case MB_YESNOCANCEL:
            return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        default:
            return QMessageBox::Ok;
    }
}

void Label(QMessageBox& box, QMessageBox::StandardButton which, int textId) {
    if (QAbstractButton* button = box.button(which)) {
        button->setText(LoadString(textId));
    }
}

}  // namespace

QMessageBox* CQtPromptService::CreateBox(const QString& text, const QString& caption,
                                         unsigned flags) {
    auto* box = new QMessageBox(IconOf(flags), caption, text, ButtonsOf(flags),
                                QApplication::activeWindow());
    Label(*box, QMessageBox::Ok, IDS_UI_OK);
    Label(*box, QMessageBox::Cancel, IDS_UI_CANCEL);
    Label(*box, QMessageBox::Yes, IDS_UI_YES);
    Label(*box, QMessageBox::No, IDS_UI_NO);
    switch (flags & 0xF) {
        case MB_YESNO:
            // Closing a yes/no question answers no.
            box->setEscapeButton(QMessageBox::No);
            break;
        case MB_OK:
            box->setEscapeButton(QMessageBox::Ok);
            break;
        default:
            box->setEscapeButton(QMessageBox::Cancel);
            break;
    }
    box->setWindowModality(Qt::ApplicationModal);
    if (flags & MB_TOPMOST) {
        box->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    }
    return box;
}

int CQtPromptService::ResultOf(int standardButton, unsigned flags) {
    switch (standardButton) {
        case QMessageBox::Ok:
            return IDOK;
        case QMessageBox::Yes:
            return IDYES;
        case QMessageBox::No:
            return IDNO;
        case QMessageBox::Cancel:
            return IDCANCEL;
        default:
            // Closed without a button: the box's escape answer.
            switch (flags & 0xF) {
                case MB_OK:
                    return IDOK;
                case MB_YESNO:
                    return IDNO;
                default:
                    return IDCANCEL;
            }
    }
}

int CQtPromptService::MessageBox(const QString& text, const QString& caption, unsigned flags) {
    QPointer<QMessageBox> box = CreateBox(text, caption, flags);
    // exec() answers with the standard button pressed, or the escape button when closed.
    const int button = box->exec();
    delete box.data();
    return ResultOf(button, flags);
}
