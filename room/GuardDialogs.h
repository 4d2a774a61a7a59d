#pragma once
// The dialogs of mic guards: adding one under a nickname, and letting them all go at an
// interval.

#include "platform/DialogHost.h"

class CAddGuardDlg : public CDialogModel {
public:
    enum : int { IDD = 254 };
    // allowed: how many guards the room takes, shown in the note.
    explicit CAddGuardDlg(int allowed);

    QString Prompt() const;
    // "(*注:最多添加x个)" with the allowed number.
    QString QuotaNote() const { return m_quotaNote; }
    QString SpacingNote() const;
    QString Nickname() const { return m_nickname; }
    void SetNickname(const QString& nickname) { m_nickname = nickname; }

private:
    QString m_quotaNote;
    QString m_nickname;
};

class CGuardExitDlg : public CDialogModel {
public:
    enum : int { IDD = 255 };
    CGuardExitDlg();

    QString Prompt() const;
    QString UnitNote() const;
    int Seconds() const { return m_seconds; }
    void SetSeconds(int seconds) { m_seconds = seconds; }

private:
    int m_seconds = 0;
};
