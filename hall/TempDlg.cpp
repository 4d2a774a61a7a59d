#include "hall/TempDlg.h"

#include "hall/HallView.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"

CTempDlg::CTempDlg(IHallView* view, Handler handler) : m_view(view), m_handler(std::move(handler)) {
    // The page is handed over the moment the loader says it is complete.
    m_page.SetCompleteHandler([this] { HandOver(); });
}

CTempDlg::~CTempDlg() {
    Stop();
}

void CTempDlg::Load(const QString& address, int kind) {
    if (!IsWindow()) {
        CreateMessageWindow(QStringLiteral("TempDlg"));
    }
    m_kind = kind;
    m_title = LoadString(IDS_GET_LIST);
    m_status = m_title + LoadString(IDS_WAIT_SUFFIX);
    Show(true);
    m_loading = true;
    SetTimer(TIMER_CHECK, kCheckMs);
    m_page.Navigate(address);
}

void CTempDlg::Stop() {
    m_loading = false;
    KillTimer(TIMER_CHECK);
    m_page.Stop();
    if (m_visible) {
        Show(false);
    }
}

void CTempDlg::OnTimer(unsigned id) {
    // The look every 15 seconds stays for a load that completes without saying so.
    if (id == TIMER_CHECK && m_page.IsComplete()) {
        HandOver();
    }
}

void CTempDlg::HandOver() {
    if (!m_loading) {
        return;
    }
    m_loading = false;
    KillTimer(TIMER_CHECK);
    Show(false);
    // The handler may load the next page through this very window.
    const QString text = m_page.Text();
    const int kind = m_kind;
    if (m_handler) {
        m_handler(kind, text);
    }
}

void CTempDlg::Show(bool visible) {
    m_visible = visible;
    if (m_view) {
        m_view->ShowListWait(visible, m_title, m_status);
    }
}
