#pragma once
// The hall (center) server's requests: presence, login and logout, user information, the
// user's rooms and favourites, room formats and room creation, and where a room lives. Each
// request gets one reply on the connection it came on; the client closes the connection after
// it. What the hall must tell a client unasked (quit, logged in elsewhere, go to a room) is
// given instead of the reply to its next presence request.

#include "server/CommandRegistry.h"
#include "server/LoginGate.h"
#include "server/Presence.h"
#include "server/RoomDirectory.h"
#include "server/ServerConfig.h"
#include "server/ServerPeer.h"
#include "server/Store.h"

#include "protocol/KParam.h"

#include <optional>

// Who may send a hall request: anyone, or only the logged-in account it names.
enum class EHallGate { Anyone, Account };

struct tagHallRequest : tagRequest {
    // Behind the Account gate: the logged-in account the request names. Its name, the login's
    // user number (AccountKey) and the machine (IdentityKey::ADAPTER) must all be the login's.
    std::optional<tagAccount> account;
};

using CHallRegistry = CCommandRegistry<tagHallRequest, EHallGate>;

class CHallService : public IPeerHandler {
public:
    CHallService(CStore& store, CPresence& presence, const tagServerConfig& config,
                 IRoomDirectory& rooms);

    void OnPeerPacket(IServerPeer& peer, CKParam& packet) override;
    void OnPeerClosed(IServerPeer& peer) override { m_logins.Forget(peer); }

    const CHallRegistry& Requests() const { return m_requests; }

private:
    // Accounts and presence.
    void RegisterAccountRequests();
    void OnVersion(tagHallRequest& r);
    void OnVisitor(tagHallRequest& r);
    void OnPresence(tagHallRequest& r);
    // Sends the client to a room (the admin's "send-to-room"), instead of the presence reply.
    CKParam RoomPush(int room);
    void OnLogin(tagHallRequest& r);
    void OnLoginChecked(IServerPeer& peer, const tagLoginAttempt& attempt, bool right);
    void OnLogout(tagHallRequest& r);
    void OnQuit(tagHallRequest& r);
    void OnUserInfo(tagHallRequest& r);
    void OnEntryInfo(tagHallRequest& r);
    // Rooms.
    void RegisterRoomRequests();
    void OnRoomAddress(tagHallRequest& r);
    void OnRoomList(tagHallRequest& r);
    void OnOwnRooms(tagHallRequest& r);
    void OnAddFavourite(tagHallRequest& r);
    void OnRoomFormats(tagHallRequest& r);
    void OnCreateRoom(tagHallRequest& r);

    std::optional<tagAccount> LoggedInAccount(const CKParam& request);
    int64_t Now() const;

    CStore& m_store;
    CPresence& m_presence;
    const tagServerConfig& m_config;
    IRoomDirectory& m_rooms;
    CHallRegistry m_requests;
    CLoginGate m_logins;
};
