#pragma once
// The hall (center) server's requests: presence, login and logout, user information, the
// user's rooms and favourites, room formats and room creation, and where a room lives. Each
// request gets one reply on the connection it came on; the client closes the connection after
// it. What the hall must tell a client unasked (quit, logged in elsewhere, go to a room) is
// given instead of the reply to its next presence request.

#include "server/Presence.h"
#include "server/RoomDirectory.h"
#include "server/ServerConfig.h"
#include "server/ServerPeer.h"
#include "server/Store.h"

#include "protocol/KParam.h"

#include <map>
#include <optional>

class CHallService : public IPeerHandler {
public:
    CHallService(CStore& store, CPresence& presence, const tagServerConfig& config,
                 IRoomDirectory& rooms);

    void OnPeerPacket(IServerPeer& peer, CKParam& packet) override;
    void OnPeerClosed(IServerPeer& peer) override {}

private:
    using Handler = std::optional<CKParam> (CHallService::*)(const CKParam& request);

    // Accounts and presence.
    std::optional<CKParam> OnVersion(const CKParam& request);
    std::optional<CKParam> OnVisitor(const CKParam& request);
    std::optional<CKParam> OnPresence(const CKParam& request);
    std::optional<CKParam> OnLogin(const CKParam& request);
    std::optional<CKParam> OnLogout(const CKParam& request);
    std::optional<CKParam> OnQuit(const CKParam& request);
    std::optional<CKParam> OnUserInfo(const CKParam& request);
    std::optional<CKParam> OnEntryInfo(const CKParam& request);
    std::optional<CKParam> OnAcknowledge(const CKParam& request);
    // Rooms.
    std::optional<CKParam> OnRoomAddress(const CKParam& request);
    std::optional<CKParam> OnRoomList(const CKParam& request);
    std::optional<CKParam> OnOwnRooms(const CKParam& request);
    std::optional<CKParam> OnAddFavourite(const CKParam& request);
    std::optional<CKParam> OnRoomFormats(const CKParam& request);
    std::optional<CKParam> OnCreateRoom(const CKParam& request);

    // The logged-in account a request names (AccountKey, from the machine of
    // IdentityKey::ADAPTER).
    std::optional<tagAccount> LoggedInAccount(const CKParam& request);
    int64_t Now() const;

    CStore& m_store;
    CPresence& m_presence;
    // The address of the connection whose request is being handled.
    QString m_peerAddress;
    const tagServerConfig& m_config;
    IRoomDirectory& m_rooms;
    std::map<short, Handler> m_handlers;
};
