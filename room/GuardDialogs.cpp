#include "room/GuardDialogs.h"

#include "platform/StringIds.h"
#include "platform/StringTable.h"

CAddGuardDlg::CAddGuardDlg(int allowed) : CDialogModel(IDD) {
    SetTitle(LoadString(IDS_GUARD_ADD_TITLE));
    m_quotaNote = LoadString(IDS_GUARD_AT_MOST_NOTE);
    m_quotaNote.replace(QLatin1Char('x'), QString::number(allowed));
}

QString CAddGuardDlg::Prompt() const {
    return LoadString(IDS_GUARD_NICKNAME_PROMPT);
}

QString CAddGuardDlg::SpacingNote() const {
    return LoadString(IDS_GUARD_SPACING_NOTE);
}

CGuardExitDlg::CGuardExitDlg() : CDialogModel(IDD) {
    SetTitle(LoadString(IDS_GUARD_EXIT_TITLE));
}

QString CGuardExitDlg::Prompt() const {
    return LoadString(IDS_GUARD_INTERVAL_PROMPT);
}

QString CGuardExitDlg::UnitNote() const {
    return LoadString(IDS_GUARD_SECONDS_NOTE);
}
