#pragma once
// The waiting dialog: sends one request on a room connection, waits up to 20 seconds for its
// reply and ends with OK (a success) or Cancel (refusal, time-out, lost connection, the user
// closed it). Every result but -1 is a success.

#include "platform/DialogHost.h"
#include "protocol/KParam.h"

class CChatSocket;

class CResponseDlg : public CDialogModel {
public:
    enum : int { IDD = 134 };
    enum : unsigned { TIMER_REPLY = 1 };
    static constexpr unsigned kReplyTimeoutMs = 20000;

    CResponseDlg(CChatSocket* socket, short requestCode);
    ~CResponseDlg() override;

    // The prepared request (codes 110, 122, 150 and 680); copied.
    void SetRequest(const CKParam& request);

    short RequestCode() const { return m_code; }
    int ErrorCode() const { return m_errorCode; }
    QString ErrorText() const { return m_errorText; }
    // A copy of the reply; empty when the dialog ended without one.
    const CKParam& Reply() const { return m_reply; }
    bool HasReply() const { return m_reply.GetLength() > 0; }

    // The connection hands it the replies of the entry steps.
    void OnReply(CKParam& reply);

    // The window title of a request code; empty for codes the dialog does not run.
    static QString TitleFor(short requestCode);

protected:
    void OnInitDialog() override;
    void OnShowDialog() override;
    void OnTimer(unsigned id) override;
    intptr_t OnMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) override;

private:
    void Unregister();

    CChatSocket* m_socket;
    short m_code;
    CKParam m_request;
    CKParam m_reply;
    int m_errorCode = 0;
    QString m_errorText;
};
