#pragma once
// The connect dialog: connects a room connection to a host and port and waits up to 10
// seconds. The connection ends it with OK from its connect notification, or with Cancel (a
// close request) when the attempt fails; the timer ends it with Cancel.

#include "platform/DialogHost.h"

class CChatSocket;

class CConnectDlg : public CDialogModel {
public:
    enum : int { IDD = 180 };
    enum : unsigned { TIMER_GIVE_UP = 1000 };
    static constexpr unsigned kGiveUpMs = 10000;

    CConnectDlg(CChatSocket* socket, const QString& host, int port);
    ~CConnectDlg() override;

    bool SwallowsEnterAndEscape() const override { return true; }

protected:
    void OnInitDialog() override;
    void OnTimer(unsigned id) override;
    intptr_t OnMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) override;

private:
    CChatSocket* m_socket;
    QString m_host;
    int m_port;
};
