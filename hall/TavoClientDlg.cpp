#include "hall/TavoClientDlg.h"

#include "core/AppState.h"
#include "core/WindowMessages.h"
#include "hall/CreateRoomDlg.h"
#include "hall/HallView.h"
#include "hall/LoginDlg.h"
#include "hall/Response2Dlg.h"
#include "infra/TraceLog.h"
#include "platform/Clock.h"
#include "platform/Profile.h"
#include "platform/Prompt.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "platform/System.h"
#include "protocol/Commands.h"
#include "protocol/LoginCipher.h"
#include "protocol/keys/CenterKeys.h"

#include <algorithm>

namespace {

const QString kMain = QStringLiteral("Main");
constexpr int kMaxKey = 32767;

// "%s,%s." — what failed and why.
QString FailureText(int what, const QString& why) {
    return LoadString(what) + LoadString(IDS_FAILURE_SUFFIX) + QLatin1Char(',') + why +
           QLatin1Char('.');
}

bool IsRefusal(const CKParam& reply) {
    return reply.IntOr(KEY_RESULT, 0) == -1;
}

void ShowRefusal(const CKParam& reply) {
    MessageBox(RefusalText(reply.IntOr(KEY_REFUSAL, 0)));
}

}  // namespace

CTavoClientDlg::CTavoClientDlg(CAppState& state, IHallView& view, IRoomEntry* room)
    : CDialogModel(IDD),
      m_state(state),
      m_view(view),
      m_room(room),
      m_lists(view),
      m_requests(state),
      m_lastPresenceReply(CClock::Get().Now()) {}

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

bool CTavoClientDlg::FetchServerInformation() {
    CKParam request;
    m_requests.BuildServerInfo(request);
    CResponse2Dlg exchange(&m_state);
    exchange.SetCommand(CMD_SERVER_INFO);
    exchange.SetRequest(request);
    exchange.SetSecondRoute(&m_route);
    if (exchange.DoModal() != IDOK) {
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
    exchange.SetCommand(CMD_VERSION);
    exchange.SetRequest(request);
    if (exchange.DoModal() != IDOK) {
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
            KillTimer(TIMER_QUIT);
            m_requests.CloseQuit();
            for (auto& [kind, window] : m_directories) {
                window->Stop();
            }
            m_view.SetTrayTip(QString());
            if (IHallReplySink::Get() == this) {
                IHallReplySink::Set(nullptr);
            }
            EndDialog(IDOK);
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
    m_requests.SendQuit();
    SetTimer(TIMER_QUIT, m_state.exiting ? kQuitExitingMs : kQuitMs);
}

// --- login and the account ---------------------------------------------------------------

bool CTavoClientDlg::RequireLogin() {
    if (m_state.account.IsLoggedIn()) {
        return true;
    }
    MessageBox(LoadString(IDS_LOGIN_FIRST));
    return false;
}

void CTavoClientDlg::OnLogin() {
    if (m_room && (m_room->IsRoomOpen() || m_room->IsPrivateRoomOpen())) {
        MessageBox(LoadString(IDS_LEAVE_ROOM_FIRST));
        return;
    }
    if (m_state.account.IsLoggedIn()) {
        // Logged in already: log out first; the logout reply opens the login.
        m_loginAfterLogout = true;
        m_requests.SendLogout();
        return;
    }
    if (CClock::Get().Now() - m_lastLoginTime < CLoginDlg::IntervalSeconds()) {
        MessageBox(CLoginDlg::IntervalMessage());
        return;
    }
    CLoginDlg login(&m_state);
    login.SetUserId(CAppProfile::GetProfileString(kMain, QStringLiteral("LoginID")));
    m_loginOpen = true;
    const int result = login.DoModal();
    m_loginOpen = false;
    if (result != IDOK) {
        return;
    }
    AfterLogin(login.UserId(), login.Password());
}

bool CTavoClientDlg::CanLogout() const {
    return m_state.account.IsLoggedIn();
}

void CTavoClientDlg::OnLogout() {
    if (!CanLogout()) {
        return;
    }
    // The room knows the user by the account; it would be left with a name that is gone.
    if (m_room && (m_room->IsRoomOpen() || m_room->IsPrivateRoomOpen())) {
        MessageBox(LoadString(IDS_LEAVE_ROOM_FIRST));
        return;
    }
    m_loginAfterLogout = false;
    m_requests.SendLogout();
}

void CTavoClientDlg::AfterLogin(const QString& loginName, const QString& password) {
    m_lastLoginTime = CClock::Get().Now();
    m_state.account.loginName = loginName;
    CAppProfile::WriteProfileString(kMain, QStringLiteral("LoginID"), loginName);
    m_state.settings.loginId = loginName;
    m_view.RefreshAccount();
    MessageBox(LoadString(IDS_LOGIN) + LoadString(IDS_SUCCESS_SUFFIX));
    SetTimer(TIMER_OWN_ROOMS, kOwnRoomsDelayMs);
    m_state.account.passwordDigest = PasswordDigest(password);
    const QString panel = QStringLiteral("%1?u=%2");
    m_view.SetPanelAddress(EHallPanel::CaseList,
                           panel.arg(m_state.settings.urlHallCaseList, loginName));
    if (m_state.edition == EDITION_70) {
        const auto it = m_state.settings.edition70Links.find(QStringLiteral("USER_HEAD"));
        const QString head = it == m_state.settings.edition70Links.end() ? QString() : it->second;
        m_view.SetPanelAddress(EHallPanel::UserHead, panel.arg(head, loginName));
    }
}

void CTavoClientDlg::RequestOwnRooms() {
    if (!m_state.account.IsLoggedIn()) {
        return;
    }
    CKParam request;
    m_requests.BuildOwnRooms(request);
    CResponse2Dlg exchange(&m_state);
    exchange.SetCommand(CMD_OWN_ROOMS);
    exchange.SetRequest(request);
    if (exchange.DoModal() != IDOK) {
        MessageBox(FailureText(IDS_GET_OWN_ROOMS, exchange.ErrorText()));
    } else {
        const CKParam& reply = exchange.Reply();
        const bool marked = m_state.edition == EDITION_50 || m_state.edition == EDITION_70;
        tagUserRooms rooms;
        // Reads a count at key, then that many room numbers after it; returns the next key.
        auto readList = [&](int key, std::vector<int>& list) {
            const int count =
                std::clamp(reply.IntOr(static_cast<short>(std::min(key, kMaxKey)), 0), 0, kMaxKey);
            int k = key + 1;
            for (int i = 0; i < count && k <= kMaxKey; ++i, ++k) {
                const int room = reply.IntOr(static_cast<short>(k), 0);
                list.push_back(room);
                if (marked && k + OwnRoomsReplyKey::MARK_OFFSET <= kMaxKey) {
                    rooms.marks[room] =
                        reply.IntOr(static_cast<short>(k + OwnRoomsReplyKey::MARK_OFFSET), 0);
                }
            }
            return k;
        };
        const int next = readList(OwnRoomsReplyKey::COUNT, rooms.first);
        if (next <= kMaxKey) {
            readList(next, rooms.second);
        }
        m_state.userRooms = std::move(rooms);
        m_lists.RefreshMarks(m_state.userRooms);
    }
    m_requests.SendRoomList();
}

void CTavoClientDlg::ResetAccountValues() {
    m_state.userRooms = tagUserRooms();
    m_state.userInfo = tagUserInfo();
    m_state.account.passwordDigest.clear();
    m_lists.RefreshMarks(m_state.userRooms);
}

void CTavoClientDlg::OnUserInfo() {
    if (!RequireLogin()) {
        return;
    }
    CKParam request;
    m_requests.BuildUserInfo(request);
    CResponse2Dlg exchange(&m_state);
    exchange.SetCommand(CMD_USER_INFO);
    exchange.SetRequest(request);
    if (exchange.DoModal() != IDOK) {
        return;
    }
    const CKParam& reply = exchange.Reply();
    tagUserInfo info;
    using namespace UserInfoReplyKey;
    for (short key : {NAME, NICKNAME, SIGNATURE, CREATED, LAST_LOGIN, OWN_ROOMS}) {
        info.texts[key] = reply.TextOr(key);
    }
    for (short key : {NUMBER, MONEY, LEVEL, LOGIN_COUNT}) {
        info.numbers[key] = reply.IntOr(key, 0);
    }
    m_state.userInfo = std::move(info);
}

void CTavoClientDlg::OnEntryInfo(int first, int second) {
    if (!RequireLogin()) {
        return;
    }
    CKParam request;
    m_requests.BuildEntryInfo(request, first, second);
    CResponse2Dlg exchange(&m_state);
    exchange.SetCommand(CMD_ENTRY_INFO);
    exchange.SetRequest(request);
    exchange.DoModal();
}

void CTavoClientDlg::OnAddFavorite(int room) {
    if (RequireLogin()) {
        m_requests.SendAddFavorite(room);
    }
}

void CTavoClientDlg::OnCreateRoom() {
    if (!RequireLogin()) {
        return;
    }
    CKParam formatsRequest;
    m_requests.BuildRoomFormats(formatsRequest);
    CResponse2Dlg formats(&m_state);
    formats.SetCommand(CMD_ROOM_FORMATS);
    formats.SetRequest(formatsRequest);
    if (formats.DoModal() != IDOK) {
        MessageBox(FailureText(IDS_OWN_ROOM, formats.ErrorText()));
        return;
    }
    CCreateRoomDlg choose;
    choose.SetFormats(CCreateRoomDlg::ParseFormats(formats.Reply()));
    std::vector<AreaInfo> areas;
    for (const auto& entry : m_lists.Area(0)) {
        areas.push_back({entry.text, entry.data});
    }
    choose.SetAreas(std::move(areas));
    if (choose.DoModal() != IDOK) {
        return;
    }

    CKParam request;
    m_requests.BeginCreateRoom(request);
    choose.AppendChoices(request);
    m_requests.FinishCreateRoom(request);
    CResponse2Dlg create(&m_state);
    create.SetCommand(CMD_CREATE_ROOM);
    create.SetRequest(request);
    create.SetSecondRoute(&m_route);
    if (create.DoModal() != IDOK) {
        MessageBox(FailureText(IDS_OWN_ROOM, create.ErrorText()));
        return;
    }
    const int room = create.Reply().IntOr(CreateRoomReplyKey::ROOM, 0);
    const QString question = LoadString(IDS_OWN_ROOM_CREATED) + QString::number(room);
    if (MessageBox(question, QStringLiteral("Warning"), MB_YESNO | MB_ICONQUESTION) == IDYES) {
        EnterRoom(room);
    }
}

// --- replies -----------------------------------------------------------------------------

void CTavoClientDlg::OnHallReply(CKParam& reply) {
    switch (reply.Command()) {
        case CMD_ROOM_ADDRESS_REPLY:
            if (m_room) {
                m_room->OnRoomAddress(reply);
            }
            break;
        case CMD_VISITOR_REPLY:
            OnVisitorReply(reply);
            break;
        case CMD_LOGOUT_REPLY:
            OnLogoutReply(reply);
            break;
        case CMD_SERVER_QUIT:
            m_state.exiting = true;
            PostMessage(WM_CLOSE);
            break;
        case CMD_PRESENCE_REPLY:
            m_lastPresenceReply = CClock::Get().Now();
            break;
        case CMD_ROOM_LIST_REPLY:
            OnRoomListReply(reply);
            break;
        case CMD_ADD_FAVORITE_REPLY:
            OnFavoriteReply(reply);
            break;
        case CMD_USER_VERIFIED:
            KillTimer(TIMER_VERIFY);
            if (m_room) {
                m_room->OnUserVerified(reply);
            }
            break;
        case CMD_LOGGED_ELSEWHERE:
            OnLoggedElsewhere(reply);
            break;
        case CMD_ROOM_ADDRESS_PUSH:
            OnRoomAddressPush(reply);
            break;
        default:
            break;
    }
}

void CTavoClientDlg::OnVisitorReply(CKParam& reply) {
    tagAccount& account = m_state.account;
    account.visitorName = reply.TextOr(VisitorReplyKey::NAME);
    account.userNumber = reply.IntOr(VisitorReplyKey::NUMBER, account.userNumber);
    account.visitorValue = reply.IntOr(VisitorReplyKey::VALUE, 0);
    m_view.RefreshAccount();
    // These editions want an account: every visitor presence offers the login, also the one
    // rebuilt after the server had lost us.
    const bool offersLogin = m_state.edition == EDITION_50 || m_state.edition == EDITION_70;
    if (offersLogin && m_state.startRoom == 0) {
        OfferLogin();
    }
}

void CTavoClientDlg::OnLogoutReply(CKParam& reply) {
    if (reply.IntOr(KEY_RESULT, -1) == -1) {
        ShowRefusal(reply);
        return;
    }
    m_state.account.visitorName = reply.TextOr(LogoutReplyKey::VISITOR_NAME);
    m_state.account.loginName.clear();
    ResetAccountValues();
    m_view.RefreshAccount();
    // The account's own pages greet it by name: they go with it.
    m_view.SetPanelAddress(EHallPanel::CaseList, QString());
    m_view.SetPanelAddress(EHallPanel::UserHead, QString());
    // Now logged out: the login command that asked for it opens the dialog.
    if (m_loginAfterLogout) {
        PostMessage(WM_HALL_OPEN_LOGIN);
    }
    m_loginAfterLogout = true;
}

void CTavoClientDlg::OnRoomListReply(CKParam& reply) {
    if (IsRefusal(reply)) {
        ShowRefusal(reply);
        return;
    }
    m_lists.FillRoomsFromReply(reply);
    m_lists.RefreshMarks(m_state.userRooms);
}

void CTavoClientDlg::OnFavoriteReply(CKParam& reply) {
    if (IsRefusal(reply)) {
        ShowRefusal(reply);
        return;
    }
    MessageBox(LoadString(IDS_ADD_FAVORITE) + LoadString(IDS_SUCCESS_SUFFIX));
    m_requests.SendRoomList();
}

void CTavoClientDlg::OnLoggedElsewhere(CKParam& reply) {
    m_requests.SendLoggedElsewhereAck();
    MessageBox(LoadString(IDS_LOGGED_ELSEWHERE));
    m_state.account.visitorName.clear();
    m_state.account.loginName.clear();
    ResetAccountValues();
    m_view.RefreshAccount();
}

void CTavoClientDlg::OnRoomAddressPush(CKParam& reply) {
    if (IsRefusal(reply)) {
        ShowRefusal(reply);
        return;
    }
    const int room = reply.IntOr(RoomAddressPushKey::ROOM, 0);
    m_lists.AddRoomAddress(
        {room, reply.TextOr(RoomAddressPushKey::ADDRESS), reply.TextOr(RoomAddressPushKey::LINE)});
    RequestRoomAddress(room);
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

void CTavoClientDlg::OpenLogin() {
    PostMessage(WM_HALL_OPEN_LOGIN);
}

void CTavoClientDlg::OfferLogin() {
    // Checked again when the message arrives: by then a dialog may be up or the user logged in.
    PostMessage(WM_HALL_OPEN_LOGIN, 1);
}

void CTavoClientDlg::PostToHall(unsigned msg, unsigned wParam, long lParam) {
    PostMessage(msg, wParam, lParam);
}
