#include "hall/HallRequests.h"

#include "core/AppState.h"
#include "hall/HallPacket.h"
#include "protocol/Commands.h"
#include "protocol/DispatchTable.h"
#include "protocol/keys/CenterKeys.h"

void CHallRequests::Register(CDispatchTable& table) {
    for (short code : {CMD_VISITOR, CMD_PRESENCE, CMD_ROOM_LIST, CMD_ADD_FAVORITE,
                       CMD_LOGGED_ELSEWHERE_ACK, CMD_LOGOUT, CMD_QUIT, CMD_ROOM_ADDRESS}) {
        table.Sends(code);
    }
}

CCenterSocket& CHallRequests::Socket(short command) {
    auto& socket = m_sockets[command];
    if (!socket) {
        socket = std::make_unique<CCenterSocket>(nullptr, &m_state);
    }
    return *socket;
}

int CHallRequests::Send(short command, CKParam& request) {
    return Socket(command).Request(request);
}

void CHallRequests::BeginAccount(CKParam& request, short command) const {
    request.SetShortInt(KEY_COMMAND, command);
    request.SetCString(AccountKey::NAME, m_state.account.loginName);
    request.SetInt(AccountKey::NUMBER, m_state.account.userNumber);
}

int CHallRequests::SendVisitor() {
    CKParam request;
    request.SetShortInt(KEY_COMMAND, CMD_VISITOR);
    request.SetCString(VisitorKey::NICKNAME, m_state.settings.visitorNickname);
    AppendIdentity(request, m_state);
    return Send(CMD_VISITOR, request);
}

int CHallRequests::SendPresence() {
    CKParam request;
    request.SetShortInt(KEY_COMMAND, CMD_PRESENCE);
    request.SetCString(AccountKey::NAME, m_state.account.Name());
    request.SetInt(AccountKey::NUMBER, m_state.account.userNumber);
    AppendIdentity(request, m_state);
    return Send(CMD_PRESENCE, request);
}

int CHallRequests::SendRoomList() {
    CKParam request;
    BeginAccount(request, CMD_ROOM_LIST);
    AppendIdentity(request, m_state);
    return Send(CMD_ROOM_LIST, request);
}

int CHallRequests::SendAddFavorite(int room) {
    CKParam request;
    BeginAccount(request, CMD_ADD_FAVORITE);
    request.SetInt(AddFavoriteKey::ROOM, room);
    AppendIdentity(request, m_state);
    return Send(CMD_ADD_FAVORITE, request);
}

int CHallRequests::SendLoggedElsewhereAck() {
    CKParam request;
    BeginAccount(request, CMD_LOGGED_ELSEWHERE_ACK);
    return Send(CMD_LOGGED_ELSEWHERE_ACK, request);
}

int CHallRequests::SendLogout() {
    CKParam request;
    BeginAccount(request, CMD_LOGOUT);
    request.SetCString(LogoutKey::VISITOR_NICKNAME, m_state.settings.visitorNickname);
    AppendIdentity(request, m_state);
    return Send(CMD_LOGOUT, request);
}

int CHallRequests::SendQuit(std::function<void()> gone) {
    // The quit request names the client first and the user after.
    CKParam request;
    request.SetShortInt(KEY_COMMAND, CMD_QUIT);
    AppendIdentity(request, m_state);
    request.SetCString(AccountKey::NAME, m_state.account.Name());
    request.SetInt(AccountKey::NUMBER, m_state.account.userNumber);
    Socket(CMD_QUIT).SetSentHandler(std::move(gone));
    return Send(CMD_QUIT, request);
}

void CHallRequests::CloseQuit() {
    auto it = m_sockets.find(CMD_QUIT);
    if (it != m_sockets.end()) {
        it->second->KClose();
    }
}

int CHallRequests::SendRoomAddress(int room) {
    CKParam request;
    request.SetShortInt(KEY_COMMAND, CMD_ROOM_ADDRESS);
    request.SetInt(RoomAddressKey::ROOM, room);
    AppendIdentity(request, m_state);
    return Send(CMD_ROOM_ADDRESS, request);
}

void CHallRequests::BuildServerInfo(CKParam& request) const {
    request.SetShortInt(KEY_COMMAND, CMD_SERVER_INFO);
}

void CHallRequests::BuildVersion(CKParam& request) const {
    request.SetShortInt(KEY_COMMAND, CMD_VERSION);
    AppendIdentity(request, m_state);
}

void CHallRequests::BuildUserInfo(CKParam& request) const {
    BeginAccount(request, CMD_USER_INFO);
    AppendIdentity(request, m_state);
}

void CHallRequests::BuildEntryInfo(CKParam& request, int first, int second) const {
    BeginAccount(request, CMD_ENTRY_INFO);
    request.SetInt(EntryInfoKey::EFFECT, first);
    request.SetInt(EntryInfoKey::VIP, second);
    AppendIdentity(request, m_state);
}

void CHallRequests::BuildOwnRooms(CKParam& request) const {
    BeginAccount(request, CMD_OWN_ROOMS);
    AppendIdentity(request, m_state);
}

void CHallRequests::BuildRoomFormats(CKParam& request) const {
    request.SetShortInt(KEY_COMMAND, CMD_ROOM_FORMATS);
    AppendIdentity(request, m_state);
}

void CHallRequests::BeginCreateRoom(CKParam& request) const {
    BeginAccount(request, CMD_CREATE_ROOM);
}

void CHallRequests::FinishCreateRoom(CKParam& request) const {
    AppendIdentity(request, m_state);
}
