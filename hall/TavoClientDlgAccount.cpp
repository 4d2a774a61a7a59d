// The hall window's account side: the login and the logout, the requests that need an account
// (user information, entry information, favourites, one's own rooms, creating a room) and the
// login offered on the hall's own initiative.

#include "hall/TavoClientDlg.h"

#include "core/AppState.h"
#include "core/WindowMessages.h"
#include "hall/CreateRoomDlg.h"
#include "hall/HallView.h"
#include "hall/LoginDlg.h"
#include "hall/Response2Dlg.h"
#include "platform/Clock.h"
#include "platform/Profile.h"
#include "platform/Prompt.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"
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

}  // namespace

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
    if (RunExchange(exchange, CMD_OWN_ROOMS, request) != IDOK) {
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
    if (RunExchange(exchange, CMD_USER_INFO, request) != IDOK) {
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
    RunExchange(exchange, CMD_ENTRY_INFO, request);
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
    if (RunExchange(formats, CMD_ROOM_FORMATS, formatsRequest) != IDOK) {
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
    if (RunExchange(create, CMD_CREATE_ROOM, request) != IDOK) {
        MessageBox(FailureText(IDS_OWN_ROOM, create.ErrorText()));
        return;
    }
    const int room = create.Reply().IntOr(CreateRoomReplyKey::ROOM, 0);
    const QString question = LoadString(IDS_OWN_ROOM_CREATED) + QString::number(room);
    if (MessageBox(question, QStringLiteral("Warning"), MB_YESNO | MB_ICONQUESTION) == IDYES) {
        EnterRoom(room);
    }
}

void CTavoClientDlg::OpenLogin() {
    PostMessage(WM_HALL_OPEN_LOGIN);
}

void CTavoClientDlg::OfferLogin() {
    // Checked again when the message arrives: by then a dialog may be up or the user logged in.
    PostMessage(WM_HALL_OPEN_LOGIN, 1);
}
