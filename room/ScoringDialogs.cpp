#include "room/ScoringDialogs.h"

#include "platform/StringIds.h"
#include "platform/StringTable.h"

CEventDlg::CEventDlg(bool running, int cost, const QString& moneyName)
    : CDialogModel(IDD), m_running(running) {
    SetTitle(LoadString(IDS_MENU_ACTIVITY));
    m_costLine =
        QStringLiteral("(%1%2%3)")
            .arg(LoadString(IDS_SCORE_COST), QString::number(cost / 100.0, 'f', 2), moneyName);
}

CMarkScoreDlg::CMarkScoreDlg(const QString& prompt) : CDialogModel(IDD), m_prompt(prompt) {
    SetTitle(LoadString(IDS_OP_SCORE_SUBMIT));
}

void CMarkScoreDlg::ChooseScore(int score) {
    if (score >= 0 && score <= kHighest) {
        m_score = score;
        Changed();
    }
}

void CMarkScoreDlg::OnInitDialog() {
    m_left = kSeconds;
    ShowCountdown();
    SetTimer(TIMER_COUNTDOWN, 1000);
}

void CMarkScoreDlg::OnTimer(unsigned id) {
    if (id != TIMER_COUNTDOWN || !IsOpen()) {
        return;
    }
    --m_left;
    ShowCountdown();
    if (m_left <= 0) {
        // Nobody chose in time: the checked score goes, as if OK were pressed.
        KillTimer(TIMER_COUNTDOWN);
        OnOK();
    }
}

void CMarkScoreDlg::ShowCountdown() {
    SetStatusText(QString::number(m_left) + LoadString(IDS_AUTO_CHOOSE_IN));
}
