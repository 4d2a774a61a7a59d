#pragma once
// The request dialog: runs one exchange with the hall server for its caller, shows what it is
// doing, gives up after 40 seconds and leaves the reply (OK) or the refusal text (Cancel).
// The command chooses the title (from the command table) and the route (RouteOf): the dialog's
// own center connection, the second route (a connection the caller lends) to the
// server-information host or to the hall, or, for the configuration page, a web document.

#include "hall/CenterSocket.h"
#include "hall/ReplySink.h"
#include "platform/DialogHost.h"
#include "platform/WebDocument.h"
#include "protocol/KParam.h"

#include <QString>

class CAppState;
class CDispatchTable;
class CKWinSocketLogin;

class CResponse2Dlg : public CDialogModel, public IRequestOwner {
public:
    enum : int { IDD = 189 };
    enum : unsigned { TIMER_TIMEOUT = 79 };
    static constexpr unsigned kTimeoutMs = 40000;

    // state: where the routes' hosts and ports are read; nullptr means the process-wide state.
    explicit CResponse2Dlg(CAppState* state = nullptr);
    ~CResponse2Dlg() override;

    void SetCommand(int command) { m_command = command; }
    // Takes a copy of the caller's request.
    void SetRequest(const CKParam& request);
    void SetSecondRoute(CKWinSocketLogin* route) { m_route = route; }
    void SetPageAddress(const QString& address) { m_pageAddress = address; }

    int Command() const { return m_command; }
    const CKParam& Reply() const { return m_reply; }
    QString ErrorText() const { return m_errorText; }
    QString PageText() const { return m_pageText; }

    // The string number of a command's title; 0 for a command the dialog does not run.
    static int TitleId(int command);

    // How an exchange travels.
    enum class ERoute {
        Center,     // the dialog's own center connection
        InfoHost,   // the second route, to the server-information host
        HallRoute,  // the second route, to the hall's second port
        WebPage,    // a web document at the page address
    };
    static ERoute RouteOf(int command);
    static bool TakesSecondRoute(int command) {
        const ERoute route = RouteOf(command);
        return route == ERoute::InfoHost || route == ERoute::HallRoute;
    }
    // Declares in the hall's dispatch table the requests the dialog runs and the replies that
    // end it.
    static void Register(CDispatchTable& table);

    void OnReply(CKParam& reply) override;

    // Only a reply, the page or the time-out ends the dialog.
    void OnOK() override {}
    void OnCancel() override {}
    bool SwallowsEnterAndEscape() const override { return true; }

protected:
    void OnInitDialog() override;
    void OnTimer(unsigned id) override;

private:
    CAppState& State() const;
    void StartExchange(ERoute route);
    void OnPageComplete();
    void Finish(int result);

    CAppState* m_state;
    int m_command = 0;
    CKParam m_request;
    CKParam m_reply;
    QString m_errorText;
    CKWinSocketLogin* m_route = nullptr;
    QString m_pageAddress;
    QString m_pageText;
    CCenterSocket m_center;
    CWebDocument m_page;
    bool m_waiting = false;
};
