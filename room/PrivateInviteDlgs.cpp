#include "room/PrivateInviteDlgs.h"

#include "core/AppState.h"
#include "platform/Prompt.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"

#include <algorithm>
#include <cmath>

CPriChatSubmitDlg::CPriChatSubmitDlg(bool registered, int lowest, int highest)
    : CDialogModel(IDD), m_registered(registered), m_lowest(lowest), m_highest(highest) {
    SetTitle(LoadString(IDS_OP_PRIVATE_REQUEST));
}

int CPriChatSubmitDlg::AmountHundredths() const {
    if (!m_registered) {
        return 0;
    }
    bool ok = false;
    const double amount = m_amountText.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(amount) || amount <= 0) {
        return 0;
    }
    // Truncated, with a little room for the binary fraction (0.29 is 28.999...).
    return static_cast<int>(std::min(amount * 100.0 + 1e-6, 2147483647.0));
}

QString CPriChatSubmitDlg::RangeText(int lowest, int highest, const QString& unit) {
    return QString::asprintf("%s%0.2f%s--%0.2f%s", qUtf8Printable(LoadString(IDS_PLEASE_ENTER)),
                             lowest / 100.0, qUtf8Printable(unit), highest / 100.0,
                             qUtf8Printable(unit));
}

void CPriChatSubmitDlg::OnOK() {
    if (m_registered) {
        bool ok = false;
        const QString typed = m_amountText.trimmed();
        const double amount = typed.isEmpty() ? 0.0 : typed.toDouble(&ok);
        if ((!typed.isEmpty() && (!ok || !std::isfinite(amount))) || amount < m_lowest / 100.0 ||
            amount > m_highest / 100.0) {
            MessageBox(RangeText(m_lowest, m_highest, CAppState::Get().settings.moneyName),
                       QStringLiteral("Warning"), MB_ICONWARNING);
            return;
        }
    }
    EndDialog(IDOK);
}

CReqPriChatDlg::CReqPriChatDlg(const QString& question) : CDialogModel(IDD), m_question(question) {
    SetTitle(LoadString(IDS_OP_PRIVATE_REQUEST));
}

void CReqPriChatDlg::OnInitDialog() {
    m_left = kSeconds;
    ShowLeft();
    SetTimer(TIMER_COUNTDOWN, 1000);
}

void CReqPriChatDlg::OnTimer(unsigned id) {
    if (id != TIMER_COUNTDOWN) {
        CDialogModel::OnTimer(id);
        return;
    }
    if (--m_left <= 0) {
        KillTimer(TIMER_COUNTDOWN);
        EndDialog(IDCANCEL);
        return;
    }
    ShowLeft();
}

void CReqPriChatDlg::ShowLeft() {
    SetStatusText(QStringLiteral("%1:%2%3")
                      .arg(LoadString(IDS_TIME_LEFT))
                      .arg(m_left)
                      .arg(LoadString(IDS_SECONDS)));
}
