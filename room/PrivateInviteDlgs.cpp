#include "room/PrivateInviteDlgs.h"

#include "core/AppState.h"
#include "platform/Prompt.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "room/PrivateInvite.h"

#include <algorithm>
#include <cmath>

namespace {

QString AmountText(int hundredths) {
    return QString::number(hundredths / 100.0, 'f', 2);
}

}  // namespace

int TypedHundredths(const QString& text) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    // Truncated, with a little room for the binary fraction (0.29 is 28.999...).
    return ok && std::isfinite(value) && value >= 0 && value < 2.0e7
               ? static_cast<int>(value * 100.0 + 1e-6)
               : -1;
}

CPriChatSubmitDlg::CPriChatSubmitDlg(bool registered, int lowest, int highest)
    : CDialogModel(IDD), m_registered(registered), m_lowest(lowest), m_highest(highest) {
    SetTitle(LoadString(IDS_OP_PRIVATE_REQUEST));
}

int CPriChatSubmitDlg::AmountHundredths() const {
    if (!m_registered) {
        return 0;
    }
    return std::max(0, TypedHundredths(m_amountText));
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

CPrivateSettingsDlg::CPrivateSettingsDlg(CPrivateInvite& invite)
    : CDialogModel(IDD),
      m_invite(invite),
      m_threshold(AmountText(invite.Threshold())),
      m_lowest(AmountText(invite.GreetingLowest())),
      m_highest(AmountText(invite.GreetingHighest())) {
    SetTitle(LoadString(IDS_PRIVATE_SETTINGS));
}

void CPrivateSettingsDlg::OnOK() {
    const int threshold = TypedHundredths(m_threshold);
    const int lowest = TypedHundredths(m_lowest);
    const int highest = TypedHundredths(m_highest);
    if (threshold < 0 || lowest < 0 || highest < 0) {
        MessageBox(LoadString(IDS_PRIVATE_SETTINGS_BAD_AMOUNT), QStringLiteral("Warning"),
                   MB_ICONWARNING);
        return;
    }
    if (lowest > highest) {
        MessageBox(LoadString(IDS_PRIVATE_SETTINGS_BAD_RANGE), QStringLiteral("Warning"),
                   MB_ICONWARNING);
        return;
    }
    m_invite.SetThreshold(threshold);
    m_invite.SetGreetingRange(lowest, highest);
    m_invite.SaveSettings();
    EndDialog(IDOK);
}
