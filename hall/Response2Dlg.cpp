#include "hall/Response2Dlg.h"

#include "core/AppState.h"
#include "hall/HallPacket.h"
#include "hall/KWinSocketLogin.h"
#include "platform/Prompt.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "protocol/Commands.h"

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

    const CAppState& state = State();
    switch (m_command) {
        case CMD_CONFIG_PAGE:
            m_page.SetCompleteHandler([this] { OnPageComplete(); });
            m_page.Navigate(m_pageAddress);
            // The page has no time-out of its own; the loader ends a stalled load.
            return;
        case CMD_SERVER_INFO:
            if (m_route) {
                m_route->SetOwner(this);
                m_route->Connect(state.settings.serverIp, state.settings.serverPort, m_request);
            }
            break;
        case CMD_CREATE_ROOM:
            if (m_route) {
                m_route->SetOwner(this);
                m_route->Connect(state.center.host, state.center.serverPort, m_request);
            }
            break;
        default:
            m_center.SetOwner(this);
            m_center.Request(m_request);
            break;
    }
    if (m_waiting) {
        SetTimer(TIMER_TIMEOUT, kTimeoutMs);
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
