#include "ui/InviteDialogs.h"

#include "core/AppState.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "room/PrivateInviteDlgs.h"
#include "ui/DialogWidget.h"
#include "ui/FormDialog.h"
#include "ui/QtDialogHost.h"

#include <QDialogButtonBox>
#include <QDoubleValidator>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QDialogButtonBox* OkCancel(CDialogWidget* owner, const QString& ok, const QString& cancel) {
    auto* buttons = new QDialogButtonBox(owner);
    auto* okButton = buttons->addButton(ok, QDialogButtonBox::AcceptRole);
    okButton->setObjectName(QStringLiteral("ok"));
    okButton->setDefault(true);
    auto* cancelButton = buttons->addButton(cancel, QDialogButtonBox::RejectRole);
    cancelButton->setObjectName(QStringLiteral("cancel"));
    return buttons;
}

class CPriChatSubmitWindow : public CDialogWidget {
public:
    CPriChatSubmitWindow(CPriChatSubmitDlg& model, QWidget* parent)
        : CDialogWidget(model, parent), m_model(model) {
        setObjectName(QStringLiteral("PriChatSubmitWindow"));
        auto* layout = new QVBoxLayout(this);
        auto* form = new QFormLayout;
        m_reason = new QLineEdit(this);
        m_reason->setObjectName(QStringLiteral("reason"));
        m_reason->setMaxLength(100);
        form->addRow(LoadString(IDS_UI_INVITE_REASON), m_reason);
        m_amount = new QLineEdit(this);
        m_amount->setObjectName(QStringLiteral("amount"));
        m_amount->setValidator(new QDoubleValidator(0, 1e7, 2, m_amount));
        // Only a registered user brings a greeting.
        m_amount->setEnabled(model.AmountEnabled());
        form->addRow(LoadString(IDS_UI_INVITE_GREETING) + QLatin1Char(' ') +
                         CAppState::Get().settings.moneyName,
                     m_amount);
        layout->addLayout(form);
        auto* buttons = OkCancel(this, LoadString(IDS_UI_OK), LoadString(IDS_UI_CANCEL));
        connect(buttons, &QDialogButtonBox::accepted, this, [this] { PressOk(); });
        connect(buttons, &QDialogButtonBox::rejected, this, [this] { PressCancel(); });
        layout->addWidget(buttons);
    }

protected:
    void Store() override {
        m_model.SetReason(m_reason->text());
        m_model.SetAmountText(m_amount->text());
    }

private:
    CPriChatSubmitDlg& m_model;
    QLineEdit* m_reason;
    QLineEdit* m_amount;
};

class CReqPriChatWindow : public CDialogWidget {
public:
    CReqPriChatWindow(CReqPriChatDlg& model, QWidget* parent)
        : CDialogWidget(model, parent), m_model(model) {
        setObjectName(QStringLiteral("ReqPriChatWindow"));
        auto* layout = new QVBoxLayout(this);
        auto* question = new QLabel(model.Question(), this);
        question->setObjectName(QStringLiteral("question"));
        question->setWordWrap(true);
        question->setTextFormat(Qt::PlainText);
        layout->addWidget(question);
        m_left = new QLabel(this);
        m_left->setObjectName(QStringLiteral("left"));
        layout->addWidget(m_left);
        auto* buttons = OkCancel(this, LoadString(IDS_UI_ACCEPT), LoadString(IDS_UI_REFUSE));
        connect(buttons, &QDialogButtonBox::accepted, this, [this] { PressOk(); });
        connect(buttons, &QDialogButtonBox::rejected, this, [this] { PressCancel(); });
        layout->addWidget(buttons);
        Refresh();
    }

protected:
    void Refresh() override { m_left->setText(m_model.StatusText()); }

private:
    CReqPriChatDlg& m_model;
    QLabel* m_left;
};

// The threshold and the greeting range, each an amount of money.
class CPrivateSettingsWindow : public CFormDialog {
public:
    CPrivateSettingsWindow(CPrivateSettingsDlg& model, QWidget* parent)
        : CFormDialog(model, parent), m_model(model) {
        setObjectName(QStringLiteral("PrivateSettingsWindow"));
        const QString unit = QLatin1Char(' ') + CAppState::Get().settings.moneyName;
        m_threshold = AmountBox("threshold", model.ThresholdText());
        m_lowest = AmountBox("lowest", model.LowestText());
        m_highest = AmountBox("highest", model.HighestText());
        form->addRow(LoadString(IDS_UI_PRIVATE_THRESHOLD) + unit, m_threshold);
        form->addRow(LoadString(IDS_UI_GREETING_LOWEST) + unit, m_lowest);
        form->addRow(LoadString(IDS_UI_GREETING_HIGHEST) + unit, m_highest);
    }

protected:
    void Store() override {
        m_model.SetThresholdText(m_threshold->text());
        m_model.SetLowestText(m_lowest->text());
        m_model.SetHighestText(m_highest->text());
    }

private:
    QLineEdit* AmountBox(const char* name, const QString& text) {
        auto* box = new QLineEdit(text, this);
        box->setObjectName(QLatin1String(name));
        box->setValidator(new QDoubleValidator(0, 1e7, 2, box));
        return box;
    }

    CPrivateSettingsDlg& m_model;
    QLineEdit* m_threshold;
    QLineEdit* m_lowest;
    QLineEdit* m_highest;
};

}  // namespace

void RegisterInviteDialogs(CQtDialogHost& host) {
    host.Register(CPriChatSubmitDlg::IDD,
                  [](CDialogModel& model, QWidget* parent) -> CDialogWidget* {
                      auto* typed = dynamic_cast<CPriChatSubmitDlg*>(&model);
                      return typed ? new CPriChatSubmitWindow(*typed, parent) : nullptr;
                  });
    host.Register(CReqPriChatDlg::IDD, [](CDialogModel& model, QWidget* parent) -> CDialogWidget* {
        auto* typed = dynamic_cast<CReqPriChatDlg*>(&model);
        return typed ? new CReqPriChatWindow(*typed, parent) : nullptr;
    });
    host.Register(CPrivateSettingsDlg::IDD,
                  WindowFor<CPrivateSettingsDlg, CPrivateSettingsWindow>());
}
