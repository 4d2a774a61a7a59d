#pragma once
// The two dialogs a refused entry may open: the unlock dialog asks for the room's password;
// the payment dialog shows what entering costs and asks the user to agree.

#include "platform/DialogHost.h"

class CUnlockRoomDlg : public CDialogModel {
public:
    enum : int { IDD = 160 };
    explicit CUnlockRoomDlg(const QString& password = QString())
        : CDialogModel(IDD), m_password(password) {}
    QString Password() const { return m_password; }
    void SetPassword(const QString& password) {
        m_password = password;
        Changed();
    }

private:
    QString m_password;
};

class CPaymentDlg : public CDialogModel {
public:
    enum : int { IDD = 161 };
    // Keys 80, 100 and 110 of the refusal.
    CPaymentDlg(int key80, int key100, const QString& key110)
        : CDialogModel(IDD), m_key80(key80), m_key100(key100), m_key110(key110) {}
    int Key80() const { return m_key80; }
    int Key100() const { return m_key100; }
    QString Key110() const { return m_key110; }

private:
    int m_key80;
    int m_key100;
    QString m_key110;
};
