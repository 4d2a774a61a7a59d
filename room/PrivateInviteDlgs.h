#pragma once
// The two dialogs of a private-chat invitation: the inviter's (a reason and, for a registered
// user, a greeting amount within the range the service allows) and the invitee's question,
// which counts down thirty seconds and then closes as a refusal.

#include "platform/DialogHost.h"

#include <QString>

class CPrivateInvite;

// An amount of money as the user types it ("1.5"), in hundredths, truncated; -1 when the text is
// no amount (empty, negative, not a number or beyond any balance).
int TypedHundredths(const QString& text);

class CPriChatSubmitDlg : public CDialogModel {
public:
    enum : int { IDD = 170 };

    // registered enables the amount; lowest and highest are in hundredths.
    CPriChatSubmitDlg(bool registered, int lowest, int highest);

    bool AmountEnabled() const { return m_registered; }
    int Lowest() const { return m_lowest; }
    int Highest() const { return m_highest; }
    void SetReason(const QString& reason) { m_reason = reason; }
    QString Reason() const { return m_reason; }
    // The amount as typed, in units of the money ("1.5").
    void SetAmountText(const QString& text) { m_amountText = text; }
    QString AmountText() const { return m_amountText; }
    // The typed amount in hundredths, truncated; 0 when the field is off or empty.
    int AmountHundredths() const;

    // An amount outside the range is refused in a "Warning" box and the dialog stays open.
    void OnOK() override;

    // "请输入" and the range, "%s%0.2f%s--%0.2f%s".
    static QString RangeText(int lowest, int highest, const QString& unit);

private:
    bool m_registered;
    int m_lowest;
    int m_highest;
    QString m_reason;
    QString m_amountText;
};

class CReqPriChatDlg : public CDialogModel {
public:
    enum : int { IDD = 171, TIMER_COUNTDOWN = 3 };
    static constexpr int kSeconds = 30;

    explicit CReqPriChatDlg(const QString& question);

    QString Question() const { return m_question; }
    int SecondsLeft() const { return m_left; }

protected:
    void OnInitDialog() override;
    void OnTimer(unsigned id) override;

private:
    void ShowLeft();

    QString m_question;
    int m_left = kSeconds;
};

// The user's private-chat settings: the lowest greeting an invitation must bring, and the range
// of greetings the invitation dialog takes. Amounts are typed in units of the money; OK refuses
// what is no amount or a range upside down (a "Warning" box, the dialog stays open), otherwise
// hands them to the room's invitations, which keep them for the next runs.
class CPrivateSettingsDlg : public CDialogModel {
public:
    enum : int { IDD = 4601 };

    explicit CPrivateSettingsDlg(CPrivateInvite& invite);

    void SetThresholdText(const QString& text) { m_threshold = text; }
    QString ThresholdText() const { return m_threshold; }
    void SetLowestText(const QString& text) { m_lowest = text; }
    QString LowestText() const { return m_lowest; }
    void SetHighestText(const QString& text) { m_highest = text; }
    QString HighestText() const { return m_highest; }

    void OnOK() override;

private:
    CPrivateInvite& m_invite;
    QString m_threshold;
    QString m_lowest;
    QString m_highest;
};
