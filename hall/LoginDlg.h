#pragma once
// The login dialog: the user's account (as typed) and password go to the hall server in one
// request whose credential block is enciphered. On success the typed account is replaced by
// the account's own name from the reply and the dialog ends with OK; on a refusal the user
// sees why and the dialog stays open with both fields as typed.

#include "platform/DialogHost.h"

#include <QString>

class CAppState;

class CLoginDlg : public CDialogModel {
public:
    enum : int { IDD = 133, IDC_USER_ID = 1034, IDC_PASSWORD = 1035 };
    // Presses closer together than the login's interval are refused.
    static int IntervalSeconds();

    explicit CLoginDlg(CAppState* state = nullptr);

    void SetUserId(const QString& text) {
        m_userId = text;
        Changed();
    }
    void SetPassword(const QString& text) {
        m_password = text;
        Changed();
    }
    QString UserId() const { return m_userId; }
    QString Password() const { return m_password; }

    void OnOK() override;

    // "登陆时间间隔不得少于5秒"
    static QString IntervalMessage();
    // "user password visitor": the text that travels enciphered.
    static QString CredentialText(const QString& userId, const QString& password,
                                  const QString& visitorName);

private:
    CAppState& State() const;

    CAppState* m_state;
    QString m_userId;
    QString m_password;
};
