#include "hall/Response2Dlg.h"

#include "core/AppState.h"
#include "hall/HallPacket.h"
#include "hall/KWinSocketLogin.h"
#include "platform/Prompt.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "protocol/Commands.h"
#include "protocol/DispatchTable.h"

namespace {

// The exchanges that do not take the dialog's own center connection.
struct tagRoute {
    short command;
    CResponse2Dlg::ERoute route;
};
constexpr tagRoute kRoutes[] = {
    {CMD_SERVER_INFO, CResponse2Dlg::ERoute::InfoHost},
    {CMD_CREATE_ROOM, CResponse2Dlg::ERoute::HallRoute},
    {CMD_CONFIG_PAGE, CResponse2Dlg::ERoute::WebPage},
};

}  // namespace

CResponse2Dlg::CResponse2Dlg(CAppState* state)
    : CDialogModel(IDD), m_state(state), m_center(nullptr, state) {}

CResponse2Dlg::~CResponse2Dlg() {
    m_page.SetCompleteHandler(nullptr);
    m_page.Stop();
    m_center.SetOwner(nullptr);
    if (m_route && m_route->Owner() == this) {
        m_route->SetOwner(nullptr);
    }
}

CAppState& CResponse2Dlg::State() const {
    return m_state ? *m_state : CAppState::Get();
}

void CResponse2Dlg::SetRequest(const CKParam& request) {
    CopyPacket(m_request, request);
}

int CResponse2Dlg::TitleId(int command) {
    const tagCommandInfo* c = FindCommand(static_cast<short>(command));
    return c && c->feature == EFeature::Center ? c->title : 0;
}

CResponse2Dlg::ERoute CResponse2Dlg::RouteOf(int command) {
    for (const tagRoute& r : kRoutes) {
        if (r.command == command) {
            return r.route;
        }
    }
    return ERoute::Center;
}

void CResponse2Dlg::Register(CDispatchTable& table) {
    for (const tagCommandInfo& c : kCommandTable) {
        if (TitleId(c.code) != 0) {
            table.Sends(c.code);
        }
        // The replies that end a waiting dialog, on either route.
        if (c.feature == EFeature::Center && c.Has(CF_DIALOG_REPLY)) {
            table.Elsewhere(c.code);
        }
    }
}

void CResponse2Dlg::OnInitDialog() {
    m_reply.Release();
    m_errorText.clear();
    m_pageText.clear();
    const int titleId = TitleId(m_command);
    if (titleId == 0) {
        // A command the dialog does not know: it waits for nothing and ends only from outside.
        return;
    }
    const QString title = LoadString(titleId);
    SetTitle(title);
    SetStatusText(title + LoadString(IDS_WAIT_SUFFIX));
    m_waiting = true;

    const ERoute route = RouteOf(m_command);
    StartExchange(route);
    // The page has no time-out of its own; the loader ends a stalled load.
    if (m_waiting && route != ERoute::WebPage) {
        SetTimer(TIMER_TIMEOUT, kTimeoutMs);
    }
}

void CResponse2Dlg::StartExchange(ERoute route) {
    const CAppState& state = State();
    switch (route) {
        case ERoute::WebPage:
            m_page.SetCompleteHandler([this] { OnPageComplete(); });
            m_page.Navigate(m_pageAddress);
            break;
        case ERoute::InfoHost:
        case ERoute::HallRoute:
            if (m_route) {
                const bool info = route == ERoute::InfoHost;
                m_route->SetOwner(this);
                m_route->Connect(info ? state.settings.serverIp : state.center.host,
                                 info ? state.settings.serverPort : state.center.serverPort,
                                 m_request);
            }
            break;
        case ERoute::Center:
            m_center.SetOwner(this);
            m_center.Request(m_request);
            break;
    }
}

void CResponse2Dlg::OnReply(CKParam& reply) {
    if (!m_waiting) {
        return;
    }
    int result = -1;
    if (reply.GetInt(KEY_RESULT, result) == 0 && result == 0) {
        CopyPacket(m_reply, reply);
        Finish(IDOK);
        return;
    }
    // Only 0 is success here; everything else, a missing result included, is a refusal.
    m_errorText = RefusalText(reply.IntOr(KEY_REFUSAL, 0));
    Finish(IDCANCEL);
}

void CResponse2Dlg::OnPageComplete() {
    if (!m_waiting) {
        return;
    }
    m_pageText = m_page.Text();
    Finish(m_pageText.isEmpty() ? IDCANCEL : IDOK);
}

void CResponse2Dlg::OnTimer(unsigned id) {
    if (id != TIMER_TIMEOUT || !m_waiting) {
        return;
    }
    KillTimer(TIMER_TIMEOUT);
    m_waiting = false;
    MessageBox(LoadString(IDS_REQUEST_TIMEOUT), QStringLiteral("Warning"),
               MB_OK | MB_ICONINFORMATION | MB_TOPMOST);
    Finish(IDCANCEL);
}

void CResponse2Dlg::Finish(int result) {
    m_waiting = false;
    KillTimer(TIMER_TIMEOUT);
    // A late reply must not reach a dialog that is gone.
    m_center.SetOwner(nullptr);
    if (m_route && m_route->Owner() == this) {
        m_route->SetOwner(nullptr);
    }
    EndDialog(result);
}
