#include "ui/QtDialogHost.h"

#include "ui/DialogWidget.h"
#include "ui/StatusDialog.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

void CQtDialogHost::Register(int templateId, Factory factory) {
    m_factories[templateId] = std::move(factory);
}

void CQtDialogHost::Open(CDialogModel& model) {
    QWidget* parent = QApplication::activeWindow();
    CDialogWidget* widget = nullptr;
    if (auto it = m_factories.find(model.TemplateId()); it != m_factories.end()) {
        widget = it->second(model, parent);
    }
    if (!widget) {
        widget = new CStatusDialog(model, parent);
    }
    if (!widget->IsMainWindow()) {
        widget->setWindowModality(Qt::ApplicationModal);
    }
    model.SetView(widget);
    m_open[&model] = widget;
}

void CQtDialogHost::Shown(CDialogModel& model) {
    CDialogWidget* widget = WidgetOf(model);
    if (!widget) {
        return;
    }
    widget->OnModelChanged();
    if (!widget->IsMainWindow()) {
        widget->adjustSize();
    }
    if (!widget->parentWidget()) {
        // Dialogs without an owner are centred on the screen, as the system's are.
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect area = screen->availableGeometry();
            widget->move(area.center() - widget->rect().center());
        }
    }
    widget->show();
    widget->raise();
    widget->activateWindow();
}

void CQtDialogHost::Close(CDialogModel& model) {
    auto it = m_open.find(&model);
    if (it == m_open.end()) {
        return;
    }
    QPointer<CDialogWidget> widget = it->second;
    m_open.erase(it);
    if (widget) {
        const bool main = widget->IsMainWindow();
        widget->Detach();
        widget->hide();
        if (!main) {
            // Deleted later: the close may come from inside one of the window's own handlers.
            widget->deleteLater();
        }
    }
}

CDialogWidget* CQtDialogHost::WidgetOf(const CDialogModel& model) const {
    auto it = m_open.find(&model);
    return it == m_open.end() ? nullptr : it->second.data();
}
