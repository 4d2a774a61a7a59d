#include "room/AdminDialogs.h"

#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "room/ChatFormat.h"

namespace {

void Refuse(int text) {
    MessageBox(LoadString(text), QStringLiteral("Warning"), MB_ICONINFORMATION);
}

QString MemberTitle(int operation, const QString& nickname, const QString& id) {
    return QStringLiteral("%1: %2(%3)").arg(LoadString(operation), nickname, id);
}

}  // namespace

CModifyNameDlg::CModifyNameDlg(const QString& current)
    : CDialogModel(IDD), m_current(current), m_nickname(current) {
    SetTitle(LoadString(IDS_OP_NICKNAME));
}

void CModifyNameDlg::OnOK() {
    if (m_nickname.isEmpty()) {
        Refuse(IDS_ENTER_NICKNAME);
        return;
    }
    if (m_nickname == m_current) {
        Refuse(IDS_SAME_NICKNAME);
        return;
    }
    if (!CForbiddenText::Get().Check(m_nickname, CForbiddenText::NICKNAMES)) {
        return;
    }
    // "|#" would turn into a face in every line that shows the name.
    m_nickname.replace(QStringLiteral("|#"), QStringLiteral("| #"));
    EndDialog(IDOK);
}

void CModifyTopicDlg::OnOK() {
    if (m_topic.isEmpty()) {
        Refuse(IDS_ENTER_TOPIC);
        return;
    }
    if (!CForbiddenText::Get().Check(m_topic, CForbiddenText::TEXTS)) {
        return;
    }
    EndDialog(IDOK);
}

CModifyLockPasswordDlg::CModifyLockPasswordDlg(bool locked)
    : CDialogModel(IDD), m_locked(locked), m_lock(!locked) {
    SetTitle(LoadString(IDS_OP_LOCK_ROOM));
}

QString CModifyLockPasswordDlg::StateText() const {
    return LoadString(m_locked ? IDS_LOCK_STATE_LOCKED : IDS_LOCK_STATE_UNLOCKED);
}

void CModifyLockPasswordDlg::OnOK() {
    if (m_lock) {
        if (m_password.isEmpty()) {
            Refuse(IDS_ENTER_PASSWORD);
            return;
        }
        if (m_confirmation.isEmpty()) {
            Refuse(IDS_ENTER_PASSWORD_AGAIN);
            return;
        }
        if (m_password != m_confirmation) {
            Refuse(IDS_PASSWORDS_DIFFER);
            return;
        }
    }
    EndDialog(IDOK);
}

CKickManDlg::CKickManDlg(const QString& nickname, const QString& id) : CDialogModel(IDD) {
    SetTitle(MemberTitle(IDS_OP_KICK, nickname, id));
}

QStringList CKickManDlg::Reasons() {
    return LoadString(IDS_KICK_REASONS).split(QLatin1Char(','));
}

void CKickManDlg::ChooseReason(int index) {
    const QStringList reasons = Reasons();
    if (index >= 0 && index < reasons.size()) {
        m_reason = reasons[index];
        Changed();
    }
}

CBanManDlg::CBanManDlg(const QString& nickname, const QString& id) : CDialogModel(IDD) {
    SetTitle(MemberTitle(IDS_OP_BAN, nickname, id));
}

void CBanManDlg::OnOK() {
    if (m_hours < 1 || m_hours > kMaxHours) {
        Refuse(IDS_BAN_HOURS_INVALID);
        return;
    }
    EndDialog(IDOK);
}

CReportDlg::CReportDlg(const QString& information) : CDialogModel(IDD), m_information(information) {
    SetTitle(LoadString(IDS_OP_REPORT));
}

void CReportDlg::OnOK() {
    if (m_text.trimmed().isEmpty()) {
        Refuse(IDS_REPORT_EMPTY);
        return;
    }
    EndDialog(IDOK);
}
