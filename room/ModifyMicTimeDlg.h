#pragma once
// The microphone-time dialog: a choice of whole minutes and a seconds field that starts at the
// current microphone time. OK with fewer than 11 seconds keeps it open with a warning.

#include "platform/DialogHost.h"

class CModifyMicTimeDlg : public CDialogModel {
public:
    enum : int { IDD = 190 };
    static constexpr int kMinimumSeconds = 11;

    explicit CModifyMicTimeDlg(int currentSeconds);

    // The choice list: "1" ... "8", "10分钟".
    static QStringList Choices();
    // Choosing an entry puts its seconds into the field.
    void Choose(int index);
    void SetSeconds(int seconds) { m_seconds = seconds; }
    int Seconds() const { return m_seconds; }

    void OnOK() override;

private:
    int m_seconds;
};
