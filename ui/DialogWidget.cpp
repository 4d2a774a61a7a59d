#include "ui/DialogWidget.h"

#include "ui/ScreenFit.h"

#include <QCloseEvent>
#include <QKeyEvent>

CDialogWidget::CDialogWidget(CDialogModel& model, QWidget* parent)
    : QDialog(parent), m_model(&model) {
    setAttribute(Qt::WA_DeleteOnClose, false);
}

CDialogWidget::CDialogWidget(QWidget* parent) : QDialog(parent) {
    setAttribute(Qt::WA_DeleteOnClose, false);
}

CDialogWidget::~CDialogWidget() {
    if (m_model) {
        m_model->SetView(nullptr);
    }
}

void CDialogWidget::Detach() {
    if (m_model) {
        m_model->SetView(nullptr);
    }
    m_model = nullptr;
}

void CDialogWidget::OnModelChanged() {
    if (!m_model) {
        return;
    }
    if (!m_model->Title().isEmpty()) {
        setWindowTitle(m_model->Title());
    }
    Refresh();
}

void CDialogWidget::PressOk() {
    if (m_model && m_model->IsOpen()) {
        Store();
        m_model->OnOK();
    }
}

void CDialogWidget::PressCancel() {
    if (m_model && m_model->IsOpen()) {
        m_model->OnCancel();
    }
}

void CDialogWidget::setVisible(bool visible) {
    if (visible && !m_fitted && !isVisible()) {
        m_fitted = true;
        // A dialog gets its size from its layout only as it shows; it is wanted now.
        if (!testAttribute(Qt::WA_Resized)) {
            adjustSize();
        }
        FitWindowToScreen(*this, FillsScreen());
    }
    QDialog::setVisible(visible);
}

void CDialogWidget::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
    const bool escape = key == Qt::Key_Escape;
    if (!enter && !escape) {
        QDialog::keyPressEvent(event);
        return;
    }
    event->accept();
    if (!m_model || m_model->SwallowsEnterAndEscape()) {
        return;
    }
    if (enter) {
        PressOk();
    } else {
        PressCancel();
    }
}

void CDialogWidget::closeEvent(QCloseEvent* event) {
    // The close button is Cancel; the window goes away when the model has ended.
    event->ignore();
    PressCancel();
}

void CDialogWidget::accept() {
    PressOk();
}

void CDialogWidget::reject() {
    PressCancel();
}
