#pragma once
// A dialog window laid out as a form with OK and Cancel at the bottom, wired to its model, and
// the factory the dialog host makes such windows with.

#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "ui/DialogWidget.h"
#include "ui/QtDialogHost.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>
#include <QVBoxLayout>

class CFormDialog : public CDialogWidget {
public:
    CFormDialog(CDialogModel& model, QWidget* parent) : CDialogWidget(model, parent) {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(18, 16, 18, 12);
        form = new QFormLayout;
        form->setHorizontalSpacing(12);
        form->setVerticalSpacing(8);
        layout->addLayout(form);
        auto* buttons = new QDialogButtonBox(this);
        ok = buttons->addButton(LoadString(IDS_UI_OK), QDialogButtonBox::AcceptRole);
        ok->setObjectName(QStringLiteral("ok"));
        ok->setDefault(true);
        auto* cancel = buttons->addButton(LoadString(IDS_UI_CANCEL), QDialogButtonBox::RejectRole);
        cancel->setObjectName(QStringLiteral("cancel"));
        connect(ok, &QPushButton::clicked, this, [this] { PressOk(); });
        connect(cancel, &QPushButton::clicked, this, [this] { PressCancel(); });
        layout->addWidget(buttons);
        setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    }
    QFormLayout* form;
    QPushButton* ok;
};

// The factory of a model's window for the dialog host.
template <typename TModel, typename TWindow>
CQtDialogHost::Factory WindowFor() {
    return [](CDialogModel& model, QWidget* parent) -> CDialogWidget* {
        auto* typed = dynamic_cast<TModel*>(&model);
        return typed ? new TWindow(*typed, parent) : nullptr;
    };
}
