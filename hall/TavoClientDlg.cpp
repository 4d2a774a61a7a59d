#include "hall/TavoClientDlg.h"

#include "core/AppState.h"
#include "core/WindowMessages.h"
#include "hall/HallView.h"
#include "hall/Response2Dlg.h"
#include "infra/TraceLog.h"
#include "platform/Clock.h"
#include "platform/Prompt.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "platform/System.h"
#include "protocol/Commands.h"
#include "protocol/keys/CenterKeys.h"

#include <algorithm>

CTavoClientDlg::CTavoClientDlg(CAppState& state, IHallView& view, IRoomEntry* room)
    : CDialogModel(IDD),
      m_state(state),
      m_view(view),
      m_room(room),
      m_lists(view),
      m_requests(state),
      m_lastPresenceReply(CClock::Get().Now()) {
    RegisterReplies();
}

CTavoClientDlg::~CTavoClientDlg() {
    if (IHallReplySink::Get() == this) {
        IHallReplySink::Set(nullptr);
    }
    m_route.SetOwner(nullptr);
}

void CTavoClientDlg::OnInitDialog() {
    IHallReplySink::Set(this);
    m_quitting = false;
    if (!Start()) {
        IHallReplySink::Set(nullptr);
        EndDialog(IDCANCEL);
    }
}

bool CTavoClientDlg::Start() {
    const tagSettings& settings = m_state.settings;
    m_view.SetTitle(settings.hallWndName);
    m_view.SetPanelAddress(EHallPanel::HallBottomAd, settings.urlAdHallBottom);
    m_view.SetTrayTip(settings.verName);

    if (!FetchServerInformation()) {
        MessageBox(LoadString(IDS_GET_SERVER_INFO) + LoadString(IDS_FAILURE_SUFFIX) +
                   LoadString(IDS_EXITING));
        m_state.exiting = true;
        return false;
    }
    if (!m_state.configRead && !CheckVersion()) {
        return false;
    }
    // The version exchange is done: a room named on the command line is entered now.
    if (m_state.startRoom > 0) {
        EnterRoom(m_state.startRoom);
    } else if (m_state.edition == EDITION_70) {
        OfferLogin();
    }

    m_requests.SendVisitor();
    SetTimer(TIMER_VISITOR, kVisitorMs);
    SetTimer(TIMER_PRESENCE, kPresenceMs);
    SetTimer(TIMER_PRESENCE_CHECK, kPresenceCheckMs);
    LoadAreaDocuments();
    return true;
}

int CTavoClientDlg::RunExchange(CResponse2Dlg& exchange, short command, const CKParam& request) {
    exchange.SetCommand(command);
    exchange.SetRequest(request);
    if (CResponse2Dlg::TakesSecondRoute(command)) {
        exchange.SetSecondRoute(&m_route);
    }
    return exchange.DoModal();
}

bool CTavoClientDlg::FetchServerInformation() {
    CKParam request;
    m_requests.BuildServerInfo(request);
    CResponse2Dlg exchange(&m_state);
    if (RunExchange(exchange, CMD_SERVER_INFO, request) != IDOK) {
        return false;
    }
    const CKParam& reply = exchange.Reply();
    m_state.account.identityText = reply.TextOr(ServerInfoReplyKey::IDENTITY_TEXT);
    m_state.account.identityNumber = reply.IntOr(ServerInfoReplyKey::IDENTITY_NUMBER, 0);
    m_state.center.host = reply.TextOr(ServerInfoReplyKey::CENTER_HOST);
    m_state.center.serverPort = reply.IntOr(ServerInfoReplyKey::SERVER_PORT, 0);
    m_state.center.tcpPort = reply.IntOr(ServerInfoReplyKey::TCP_PORT, 0);
    return true;
}

bool CTavoClientDlg::CheckVersion() {
    CKParam request;
    m_requests.BuildVersion(request);
    CResponse2Dlg exchange(&m_state);
    if (RunExchange(exchange, CMD_VERSION, request) != IDOK) {
        MessageBox(LoadString(IDS_GET_NEWEST_VERSION) + LoadString(IDS_FAILURE_SUFFIX));
        return false;
    }
    if (exchange.Reply().IntOr(VersionReplyKey::NEWEST, 0) <= m_state.clientVersion) {
        return true;
    }
    const QString question = m_state.settings.verName + LoadString(IDS_NEW_VERSION_HALL);
    if (MessageBox(question, QStringLiteral("Warning"), MB_YESNO | MB_ICONQUESTION) == IDYES &&
        !StartProgram(m_state.settings.updateAppName, {QString::number(m_state.clientVersion)},
                      m_state.programFolder)) {
        TheTraceLog().Write(TRACE_ERROR, "CTavoClientDlg", "updater %s not started",
                            qUtf8Printable(m_state.settings.updateAppName));
    }
    return false;
}

void CTavoClientDlg::LoadAreaDocuments() {
    const QStringList& documents = m_state.settings.areaDocuments;
    for (int i = 0; i < std::min<int>(CHallLists::kAreaLists, static_cast<int>(documents.size()));
         ++i) {
        LoadDirectory(documents[i], i + 1);
    }
}

void CTavoClientDlg::LoadDirectory(const QString& address, int kind) {
    auto& window = m_directories[kind];
    if (!window) {
        window = std::make_unique<CTempDlg>(
            &m_view, [this](int k, const QString& text) { OnDirectoryPage(k, text); });
    }
    window->Load(address, kind);
}

void CTavoClientDlg::OnDirectoryPage(int kind, const QString& text) {
    if (kind == kRoomListKind) {
        std::vector<tagRoomItem> rooms;
        ParseRoomDocument(text, rooms);
        m_lists.FillRoomsFromDocument(rooms);
        if (m_state.account.IsLoggedIn()) {
            m_lists.RefreshMarks(m_state.userRooms);
        }
        return;
    }
    if (kind >= 1 && kind <= CHallLists::kAreaLists) {
        std::vector<tagAreaItem> areas;
        ParseAreaDocument(text, AreaElementName(kind, m_state.edition), areas);
        m_lists.FillArea(kind - 1, areas);
    }
}

void CTavoClientDlg::OnSelectArea(int list, int index) {
    if (list < 0 || list >= CHallLists::kAreaLists) {
        return;
    }
    const auto& entries = m_lists.Area(list);
    if (index < 0 || index >= static_cast<int>(entries.size())) {
        return;
    }
    LoadDirectory(RoomListDocumentAddress(m_state.settings.urlAreaRoomList,
                                          entries[static_cast<size_t>(index)].data),
                  kRoomListKind);
}

void CTavoClientDlg::OnSelectRoom(int index) {
    m_lists.SelectRoom(index);
}

void CTavoClientDlg::OnEnterTypedRoom() {
    const int room = m_view.RoomNumberText().trimmed().toInt();
    if (room < 1) {
        MessageBox(LoadString(IDS_BAD_ROOM_NUMBER));
        return;
    }
    EnterRoom(room);
}

void CTavoClientDlg::EnterRoom(int room) {
    PostMessage(WM_HALL_ROOM, 1, room);
}

void CTavoClientDlg::OnTimer(unsigned id) {
    switch (id) {
        case TIMER_VISITOR:
            if (m_state.account.visitorName.isEmpty()) {
                m_requests.SendVisitor();
            }
            break;
        case TIMER_PRESENCE:
            if (!m_state.account.loginName.isEmpty() || !m_state.account.visitorName.isEmpty()) {
                m_requests.SendPresence();
            }
            break;
        case TIMER_PRESENCE_CHECK: {
            const int64_t now = CClock::Get().Now();
            if (now - m_lastPresenceReply >= kPresenceLostSeconds) {
                // The server lost us: start over as nobody; the visitor timer comes back in.
                m_state.account.visitorName.clear();
                m_state.account.loginName.clear();
                m_lastPresenceReply = now;
                m_view.RefreshAccount();
            }
            break;
        }
        case TIMER_VERIFY:
            KillTimer(TIMER_VERIFY);
            if (m_room) {
                m_room->OnVerifyTimeout();
            }
            break;
        case TIMER_OWN_ROOMS:
            KillTimer(TIMER_OWN_ROOMS);
            RequestOwnRooms();
            break;
        case TIMER_QUIT:
            EndQuit();
            break;
        default:
            break;
    }
}

intptr_t CTavoClientDlg::OnMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) {
    switch (msg) {
        case WM_HALL_ROOM:
            if (m_room) {
                m_room->OnRoomMessage(static_cast<unsigned>(wParam), static_cast<long>(lParam));
            } else {
                TheTraceLog().Write(TRACE_ERROR, "CTavoClientDlg", "no room side for message %u",
                                    unsigned(wParam));
            }
            return 0;
        case WM_HALL_RETRY_ENTRY:
            if (m_room) {
                m_room->OnRetryEntry(wParam != 0);
            }
            return 0;
        case WM_CLOSE:
            Quit();
            return 0;
        case WM_HALL_QUIT_GONE:
            EndQuit();
            return 0;
        case WM_HALL_OPEN_LOGIN:
            if (wParam != 0 &&
                (m_loginOpen || m_state.account.IsLoggedIn() ||
                 (m_room && (m_room->IsRoomOpen() || m_room->IsPrivateRoomOpen())))) {
                return 0;
            }
            OnLogin();
            return 0;
        default:
            return 0;
    }
}

void CTavoClientDlg::Quit() {
    if (m_quitting) {
        return;
    }
    if (!m_state.exiting) {
        const QString question =
            LoadString(IDS_ASK_QUIT) + m_state.settings.verName + QLatin1Char('?');
        if (MessageBox(question, QStringLiteral("Warning"), MB_OKCANCEL | MB_ICONQUESTION) !=
            IDOK) {
            return;
        }
    }
    m_quitting = true;
    // The run ends as soon as the request is on its way; nothing answers it. The timer only
    // bounds a server that takes the connection too long.
    if (m_requests.SendQuit([this] { PostMessage(WM_HALL_QUIT_GONE); }) != 0) {
        PostMessage(WM_HALL_QUIT_GONE);
    }
    SetTimer(TIMER_QUIT, m_state.exiting ? kQuitExitingMs : kQuitMs);
}

void CTavoClientDlg::EndQuit() {
    if (!KillTimer(TIMER_QUIT)) {
        return;  // ended already
    }
    m_requests.CloseQuit();
    for (auto& [kind, window] : m_directories) {
        window->Stop();
    }
    m_view.SetTrayTip(QString());
    if (IHallReplySink::Get() == this) {
        IHallReplySink::Set(nullptr);
    }
    EndDialog(IDOK);
}

// --- what the room side asks of the hall -------------------------------------------------

void CTavoClientDlg::RequestRoomAddress(int room) {
    m_requests.SendRoomAddress(room);
}

void CTavoClientDlg::SetHallStatus(const QString& text) {
    m_view.SetStatus(text);
}

void CTavoClientDlg::ShowHall(bool show) {
    m_view.ShowHall(show);
}

void CTavoClientDlg::StartVerifyTimer(bool start) {
    if (start) {
        SetTimer(TIMER_VERIFY, kVerifyMs);
    } else {
        KillTimer(TIMER_VERIFY);
    }
}

void CTavoClientDlg::PostToHall(unsigned msg, unsigned wParam, long lParam) {
    PostMessage(msg, wParam, lParam);
}
