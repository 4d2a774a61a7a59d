#include "ui/StatusDialog.h"

#include "platform/StringIds.h"
#include "platform/StringTable.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

CStatusDialog::CStatusDialog(CDialogModel& model, QWidget* parent) : CDialogWidget(model, parent) {
    setObjectName(QStringLiteral("StatusDialog"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 18, 20, 14);
    layout->setSpacing(12);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setWordWrap(true);
    m_status->setMinimumWidth(260);
    layout->addWidget(m_status);
    auto* busy = new QProgressBar(this);
    busy->setRange(0, 0);
    busy->setTextVisible(false);
    busy->setMaximumHeight(8);
    layout->addWidget(busy);
    auto* buttons = new QDialogButtonBox(this);
    m_cancel = buttons->addButton(LoadString(IDS_UI_CANCEL), QDialogButtonBox::RejectRole);
    m_cancel->setObjectName(QStringLiteral("cancel"));
    connect(m_cancel, &QPushButton::clicked, this, [this] { PressCancel(); });
    m_cancel->setVisible(!model.SwallowsEnterAndEscape());
    layout->addWidget(buttons);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    Refresh();
}

QString CStatusDialog::ShownStatus() const {
    return m_status->text();
}

void CStatusDialog::Refresh() {
    if (!Model()) {
        return;
    }
    // The title alone when the model has no status line of its own.
    const QString status =
        Model()->StatusText().isEmpty() ? Model()->Title() : Model()->StatusText();
    m_status->setText(status);
    if (windowTitle().isEmpty()) {
        setWindowTitle(Model()->Title());
    }
}
