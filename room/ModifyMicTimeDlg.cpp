#include "room/ModifyMicTimeDlg.h"

#include "platform/StringIds.h"
#include "platform/StringTable.h"

namespace {
constexpr int kChoiceSeconds[] = {60, 120, 180, 240, 300, 360, 480, 600};
}

CModifyMicTimeDlg::CModifyMicTimeDlg(int currentSeconds)
    : CDialogModel(IDD), m_seconds(currentSeconds) {}

QStringList CModifyMicTimeDlg::Choices() {
    return {QStringLiteral("1"), QStringLiteral("2"),     QStringLiteral("3"),
            QStringLiteral("4"), QStringLiteral("5"),     QStringLiteral("6"),
            QStringLiteral("8"), QStringLiteral("10分钟")};
}

void CModifyMicTimeDlg::Choose(int index) {
    if (index >= 0 && index < static_cast<int>(std::size(kChoiceSeconds))) {
        m_seconds = kChoiceSeconds[index];
        Changed();
    }
}

void CModifyMicTimeDlg::OnOK() {
    if (m_seconds < kMinimumSeconds) {
        MessageBox(LoadString(IDS_MIC_TIME_TOO_SHORT), QStringLiteral("Warning"), MB_OK);
        return;
    }
    EndDialog(IDOK);
}
