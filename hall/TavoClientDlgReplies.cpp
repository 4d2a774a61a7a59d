// The hall window's replies: every reply and notice of the hall server that no request dialog
// waits for is registered here, next to its handler, in the hall's dispatch table.

#include "hall/TavoClientDlg.h"

#include "core/AppState.h"
#include "core/WindowMessages.h"
#include "hall/HallView.h"
#include "hall/Response2Dlg.h"
#include "platform/Clock.h"
#include "platform/Prompt.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "protocol/Commands.h"
#include "protocol/keys/CenterKeys.h"

namespace {

bool IsRefusal(const CKParam& reply) {
    return reply.IntOr(KEY_RESULT, 0) == -1;
}

void ShowRefusal(const CKParam& reply) {
    MessageBox(RefusalText(reply.IntOr(KEY_REFUSAL, 0)));
}

}  // namespace

void CTavoClientDlg::RegisterReplies() {
    CDispatchTable& t = m_replies;
    // The requests: those sent directly, whose replies come back here, and the exchanges of the
    // request dialog, which takes their replies itself.
    CHallRequests::Register(t);
    CResponse2Dlg::Register(t);
    t.On(CMD_VISITOR_REPLY, [this](CKParam& p) { OnVisitorReply(p); });
    t.On(CMD_PRESENCE_REPLY, [this](CKParam&) { m_lastPresenceReply = CClock::Get().Now(); });
    t.On(CMD_LOGOUT_REPLY, [this](CKParam& p) { OnLogoutReply(p); });
    t.On(CMD_ROOM_LIST_REPLY, [this](CKParam& p) { OnRoomListReply(p); });
    t.On(CMD_ADD_FAVORITE_REPLY, [this](CKParam& p) { OnFavoriteReply(p); });
    t.On(CMD_LOGGED_ELSEWHERE, [this](CKParam& p) { OnLoggedElsewhere(p); });
    t.On(CMD_ROOM_ADDRESS_PUSH, [this](CKParam& p) { OnRoomAddressPush(p); });
    t.On(CMD_SERVER_QUIT, [this](CKParam&) {
        m_state.exiting = true;
        PostMessage(WM_CLOSE);
    });
    // What the room side waits for: where its room is, and the user's verification.
    t.On(CMD_ROOM_ADDRESS_REPLY, [this](CKParam& p) {
        if (m_room) {
            m_room->OnRoomAddress(p);
        }
    });
    t.On(CMD_USER_VERIFIED, [this](CKParam& p) {
        KillTimer(TIMER_VERIFY);
        if (m_room) {
            m_room->OnUserVerified(p);
        }
    });
}

void CTavoClientDlg::OnHallReply(CKParam& reply) {
    // An empty packet (a connection closed before its reply) and codes nobody registered are
    // dropped.
    m_replies.Dispatch(reply);
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
    // The server sends us to a room the way the user would go there: through the room entry,
    // which asks before it leaves a room the user is in, and leaves it properly.
    EnterRoom(room);
}
