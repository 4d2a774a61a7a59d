#include "ui/RoomDialogs.h"

#include "core/Notifier.h"
#include "room/AdminDialogs.h"
#include "room/GuardDialogs.h"
#include "room/ScoringDialogs.h"
#include "ui/FormDialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSpinBox>

namespace {

// One line of text the dialog asks for.
template <typename TModel>
class CLineWindow : public CFormDialog {
public:
    using FGet = QString (TModel::*)() const;
    using FSet = void (TModel::*)(const QString&);

    CLineWindow(TModel& model, QWidget* parent, const char* name, int prompt, FGet get, FSet set)
        : CFormDialog(model, parent), m_model(model), m_get(get), m_set(set) {
        setObjectName(QString::fromLatin1(name));
        m_edit = new QLineEdit((model.*get)(), this);
        m_edit->setObjectName(QStringLiteral("text"));
        m_edit->setMinimumWidth(260);
        form->addRow(LoadString(prompt), m_edit);
    }

protected:
    void Refresh() override {
        if (m_edit->text() != (m_model.*m_get)()) {
            m_edit->setText((m_model.*m_get)());
        }
    }
    void Store() override { (m_model.*m_set)(m_edit->text()); }

private:
    TModel& m_model;
    FGet m_get;
    FSet m_set;
    QLineEdit* m_edit;
};

class CNameWindow : public CLineWindow<CModifyNameDlg> {
public:
    CNameWindow(CModifyNameDlg& model, QWidget* parent)
        : CLineWindow(model, parent, "NicknameWindow", IDS_NICKNAME_PROMPT,
                      &CModifyNameDlg::Nickname, &CModifyNameDlg::SetNickname) {}
};

class CTopicWindow : public CLineWindow<CModifyTopicDlg> {
public:
    CTopicWindow(CModifyTopicDlg& model, QWidget* parent)
        : CLineWindow(model, parent, "TopicWindow", IDS_TOPIC_PROMPT, &CModifyTopicDlg::Topic,
                      &CModifyTopicDlg::SetTopic) {
        setWindowTitle(LoadString(IDS_OP_TOPIC));
    }
};

class CLockWindow : public CFormDialog {
public:
    CLockWindow(CModifyLockPasswordDlg& model, QWidget* parent)
        : CFormDialog(model, parent), m_model(model) {
        setObjectName(QStringLiteral("LockWindow"));
        auto* state = new QLabel(model.StateText(), this);
        state->setObjectName(QStringLiteral("state"));
        form->addRow(state);
        m_lock = new QRadioButton(LoadString(IDS_LOCK_CHOICE), this);
        m_lock->setObjectName(QStringLiteral("lock"));
        m_unlock = new QRadioButton(LoadString(IDS_UNLOCK_CHOICE), this);
        m_unlock->setObjectName(QStringLiteral("unlock"));
        auto* choice = new QHBoxLayout;
        choice->addWidget(m_lock);
        choice->addWidget(m_unlock);
        choice->addStretch(1);
        form->addRow(choice);
        m_password = new QLineEdit(this);
        m_password->setObjectName(QStringLiteral("password"));
        m_password->setEchoMode(QLineEdit::Password);
        m_password->setMinimumWidth(220);
        m_confirmation = new QLineEdit(this);
        m_confirmation->setObjectName(QStringLiteral("confirmation"));
        m_confirmation->setEchoMode(QLineEdit::Password);
        form->addRow(LoadString(IDS_PASSWORD_PROMPT), m_password);
        form->addRow(LoadString(IDS_PASSWORD_AGAIN_PROMPT), m_confirmation);
        connect(m_lock, &QRadioButton::toggled, this, [this](bool on) {
            m_password->setEnabled(on);
            m_confirmation->setEnabled(on);
        });
        m_lock->setChecked(model.Lock());
        m_unlock->setChecked(!model.Lock());
        m_password->setEnabled(model.Lock());
        m_confirmation->setEnabled(model.Lock());
    }

protected:
    void Store() override {
        m_model.SetLock(m_lock->isChecked());
        m_model.SetPassword(m_password->text());
        m_model.SetConfirmation(m_confirmation->text());
    }

private:
    CModifyLockPasswordDlg& m_model;
    QRadioButton* m_lock;
    QRadioButton* m_unlock;
    QLineEdit* m_password;
    QLineEdit* m_confirmation;
};

class CKickWindow : public CFormDialog {
public:
    CKickWindow(CKickManDlg& model, QWidget* parent) : CFormDialog(model, parent), m_model(model) {
        setObjectName(QStringLiteral("KickWindow"));
        m_reasons = new QComboBox(this);
        m_reasons->setObjectName(QStringLiteral("reasons"));
        m_reasons->addItems(CKickManDlg::Reasons());
        m_reasons->setCurrentIndex(-1);
        m_reason = new QLineEdit(model.Reason(), this);
        m_reason->setObjectName(QStringLiteral("reason"));
        m_reason->setMinimumWidth(260);
        form->addRow(LoadString(IDS_KICK_REASON_LIST), m_reasons);
        form->addRow(LoadString(IDS_KICK_REASON_PROMPT), m_reason);
        // Choosing a listed reason puts it in the reason, where it may still be edited.
        connect(m_reasons, qOverload<int>(&QComboBox::activated), this,
                [this](int index) { m_model.ChooseReason(index); });
    }

protected:
    void Refresh() override { m_reason->setText(m_model.Reason()); }
    void Store() override { m_model.SetReason(m_reason->text()); }

private:
    CKickManDlg& m_model;
    QComboBox* m_reasons;
    QLineEdit* m_reason;
};

class CBanWindow : public CFormDialog {
public:
    CBanWindow(CBanManDlg& model, QWidget* parent) : CFormDialog(model, parent), m_model(model) {
        setObjectName(QStringLiteral("BanWindow"));
        m_hours = new QSpinBox(this);
        m_hours->setObjectName(QStringLiteral("hours"));
        m_hours->setRange(0, CBanManDlg::kMaxHours);
        m_hours->setValue(model.Hours());
        m_reason = new QLineEdit(model.Reason(), this);
        m_reason->setObjectName(QStringLiteral("reason"));
        m_reason->setMinimumWidth(260);
        form->addRow(LoadString(IDS_BAN_HOURS_PROMPT), m_hours);
        form->addRow(LoadString(IDS_KICK_REASON_PROMPT), m_reason);
    }

protected:
    void Store() override {
        m_model.SetHours(m_hours->value());
        m_model.SetReason(m_reason->text());
    }

private:
    CBanManDlg& m_model;
    QSpinBox* m_hours;
    QLineEdit* m_reason;
};

class CReportWindow : public CFormDialog {
public:
    CReportWindow(CReportDlg& model, QWidget* parent) : CFormDialog(model, parent), m_model(model) {
        setObjectName(QStringLiteral("ReportWindow"));
        if (!model.Information().isEmpty()) {
            auto* information = new QLabel(model.Information(), this);
            information->setWordWrap(true);
            form->addRow(information);
        }
        m_text = new QPlainTextEdit(model.Text(), this);
        m_text->setObjectName(QStringLiteral("text"));
        m_text->setMinimumSize(300, 100);
        form->addRow(LoadString(IDS_REPORT_PROMPT), m_text);
    }

protected:
    void Store() override { m_model.SetText(m_text->toPlainText()); }

private:
    CReportDlg& m_model;
    QPlainTextEdit* m_text;
};

class CEventWindow : public CFormDialog {
public:
    CEventWindow(CEventDlg& model, QWidget* parent) : CFormDialog(model, parent), m_model(model) {
        setObjectName(QStringLiteral("EventWindow"));
        m_running = new QCheckBox(LoadString(IDS_ACTIVITY_SWITCH), this);
        m_running->setObjectName(QStringLiteral("running"));
        m_running->setChecked(model.Running());
        m_title = new QLineEdit(model.EventTitle(), this);
        m_title->setObjectName(QStringLiteral("title"));
        m_title->setMinimumWidth(260);
        auto* cost = new QLabel(model.CostLine(), this);
        cost->setObjectName(QStringLiteral("cost"));
        form->addRow(m_running);
        form->addRow(LoadString(IDS_ACTIVITY_TITLE_PROMPT), m_title);
        form->addRow(cost);
    }

protected:
    void Store() override {
        m_model.SetRunning(m_running->isChecked());
        m_model.SetEventTitle(m_title->text());
    }

private:
    CEventDlg& m_model;
    QCheckBox* m_running;
    QLineEdit* m_title;
};

// Six choices, the prompt and the countdown the model keeps.
class CMarkScoreWindow : public CFormDialog {
public:
    CMarkScoreWindow(CMarkScoreDlg& model, QWidget* parent)
        : CFormDialog(model, parent), m_model(model) {
        setObjectName(QStringLiteral("MarkScoreWindow"));
        auto* prompt = new QLabel(model.Prompt(), this);
        prompt->setObjectName(QStringLiteral("prompt"));
        form->addRow(prompt);
        auto* choices = new QHBoxLayout;
        m_group = new QButtonGroup(this);
        for (int score = 0; score <= CMarkScoreDlg::kHighest; ++score) {
            auto* choice =
                new QRadioButton(QString::number(score) + LoadString(IDS_SCORE_CHOICE), this);
            choice->setObjectName(QStringLiteral("score%1").arg(score));
            m_group->addButton(choice, score);
            choices->addWidget(choice);
        }
        form->addRow(choices);
        m_countdown = new QLabel(this);
        m_countdown->setObjectName(QStringLiteral("countdown"));
        form->addRow(m_countdown);
        connect(m_group, &QButtonGroup::idClicked, this,
                [this](int score) { m_model.ChooseScore(score); });
        Refresh();
    }

protected:
    void Refresh() override {
        if (QAbstractButton* checked = m_group->button(m_model.Score())) {
            checked->setChecked(true);
        }
        m_countdown->setText(m_model.StatusText());
    }

private:
    CMarkScoreDlg& m_model;
    QButtonGroup* m_group;
    QLabel* m_countdown;
};

// A guard's nickname under its prompt, with the quota and the spacing the service keeps.
class CAddGuardWindow : public CLineWindow<CAddGuardDlg> {
public:
    CAddGuardWindow(CAddGuardDlg& model, QWidget* parent)
        : CLineWindow(model, parent, "AddGuardWindow", IDS_GUARD_NICKNAME_PROMPT,
                      &CAddGuardDlg::Nickname, &CAddGuardDlg::SetNickname) {
        for (const QString& text : {model.QuotaNote(), model.SpacingNote()}) {
            auto* note = new QLabel(text, this);
            note->setWordWrap(true);
            form->addRow(note);
        }
    }
};

// The interval, in seconds, at which the guards go; 0 lets them all go at once.
class CGuardExitWindow : public CFormDialog {
public:
    CGuardExitWindow(CGuardExitDlg& model, QWidget* parent)
        : CFormDialog(model, parent), m_model(model) {
        setObjectName(QStringLiteral("GuardExitWindow"));
        m_seconds = new QSpinBox(this);
        m_seconds->setObjectName(QStringLiteral("seconds"));
        m_seconds->setRange(0, 86400);
        m_seconds->setValue(model.Seconds());
        m_seconds->setSuffix(QLatin1Char(' ') + model.UnitNote());
        form->addRow(model.Prompt(), m_seconds);
    }

protected:
    void Store() override { m_model.SetSeconds(m_seconds->value()); }

private:
    CGuardExitDlg& m_model;
    QSpinBox* m_seconds;
};

// One box per kind of desktop notice.
class CNoticeSettingsWindow : public CFormDialog {
public:
    CNoticeSettingsWindow(CNoticeSettingsDlg& model, QWidget* parent)
        : CFormDialog(model, parent), m_model(model) {
        setObjectName(QStringLiteral("NoticeSettingsWindow"));
        for (int kind = 0; kind < NOTICE_COUNT; ++kind) {
            auto* box = new QCheckBox(CNoticeSettingsDlg::Label(ENotice(kind)), this);
            box->setObjectName(NoticeProfileKey(ENotice(kind)));
            box->setChecked(model.Enabled(ENotice(kind)));
            form->addRow(box);
            m_boxes.at(kind) = box;
        }
    }

protected:
    void Store() override {
        for (int kind = 0; kind < NOTICE_COUNT; ++kind) {
            m_model.SetEnabled(ENotice(kind), m_boxes.at(kind)->isChecked());
        }
    }

private:
    CNoticeSettingsDlg& m_model;
    std::array<QCheckBox*, NOTICE_COUNT> m_boxes{};
};

}  // namespace

void RegisterRoomDialogs(CQtDialogHost& host) {
    host.Register(CNoticeSettingsDlg::IDD, WindowFor<CNoticeSettingsDlg, CNoticeSettingsWindow>());
    host.Register(CModifyNameDlg::IDD, WindowFor<CModifyNameDlg, CNameWindow>());
    host.Register(CModifyTopicDlg::IDD, WindowFor<CModifyTopicDlg, CTopicWindow>());
    host.Register(CModifyLockPasswordDlg::IDD, WindowFor<CModifyLockPasswordDlg, CLockWindow>());
    host.Register(CKickManDlg::IDD, WindowFor<CKickManDlg, CKickWindow>());
    host.Register(CBanManDlg::IDD, WindowFor<CBanManDlg, CBanWindow>());
    host.Register(CReportDlg::IDD, WindowFor<CReportDlg, CReportWindow>());
    host.Register(CEventDlg::IDD, WindowFor<CEventDlg, CEventWindow>());
    host.Register(CMarkScoreDlg::IDD, WindowFor<CMarkScoreDlg, CMarkScoreWindow>());
    host.Register(CAddGuardDlg::IDD, WindowFor<CAddGuardDlg, CAddGuardWindow>());
    host.Register(CGuardExitDlg::IDD, WindowFor<CGuardExitDlg, CGuardExitWindow>());
}
