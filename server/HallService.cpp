#include "server/HallService.h"

#include "platform/Clock.h"
#include "protocol/Commands.h"
#include "protocol/Refusal.h"
#include "protocol/keys/CenterKeys.h"
#include "server/Packets.h"

CHallService::CHallService(CStore& store, CPresence& presence, const tagServerConfig& config,
                           IRoomDirectory& rooms)
    : m_store(store),
      m_presence(presence),
      m_config(config),
      m_rooms(rooms),
      m_logins(store, presence.Failures(), config.passwordCost,
               [this](IServerPeer& peer, const tagLoginAttempt& attempt, bool right) {
                   OnLoginChecked(peer, attempt, right);
               }) {
    RegisterAccountRequests();
    RegisterRoomRequests();
}

void CHallService::RegisterRoomRequests() {
    m_requests.On(CMD_ROOM_ADDRESS, EHallGate::Anyone, this, &CHallService::OnRoomAddress);
    m_requests.On(CMD_ROOM_FORMATS, EHallGate::Anyone, this, &CHallService::OnRoomFormats);
    m_requests.On(CMD_ROOM_LIST, EHallGate::Account, this, &CHallService::OnRoomList);
    m_requests.On(CMD_OWN_ROOMS, EHallGate::Account, this, &CHallService::OnOwnRooms);
    m_requests.On(CMD_ADD_FAVORITE, EHallGate::Account, this, &CHallService::OnAddFavourite);
    m_requests.On(CMD_CREATE_ROOM, EHallGate::Account, this, &CHallService::OnCreateRoom);
}

int64_t CHallService::Now() const {
    return CClock::Get().Now();
}

void CHallService::OnPeerPacket(IServerPeer& peer, CKParam& packet) {
    tagHallRequest r{{peer, packet, packet.Command()}, std::nullopt};
    m_requests.Dispatch(r, [&](EHallGate gate) {
        if (gate == EHallGate::Account) {
            r.account = LoggedInAccount(packet);
            if (!r.account) {
                r.Refuse(REFUSE_BAD_USER);
                return false;
            }
        }
        return true;
    });
}

std::optional<tagAccount> CHallService::LoggedInAccount(const CKParam& request) {
    const QString name = request.TextOr(AccountKey::NAME);
    const int number = request.IntOr(AccountKey::NUMBER, -1);
    const QString machine = request.TextOr(IdentityKey::ADAPTER);
    if (name.isEmpty() || !m_presence.IsLoggedIn(name, number, machine)) {
        return std::nullopt;
    }
    return m_store.AccountByNumber(m_presence.Session(name)->number);
}

void CHallService::OnRoomAddress(tagHallRequest& r) {
    const int room = r.packet.IntOr(RoomAddressKey::ROOM, 0);
    QString host;
    unsigned port = 0;
    if (room < 1 || !m_store.Room(room)) {
        r.Refuse(m_store.MissingRefusal(REFUSE_BAD_ROOM));
        return;
    }
    if (!m_rooms.RoomAddress(room, host, port)) {
        // No room server that takes it is running.
        r.Refuse(REFUSE_VOICE_SERVER_OFFLINE);
        return;
    }
    CKParam reply = r.Reply();
    reply.SetInt(RoomAddressReplyKey::ROOM, room);
    reply.SetInt(RoomAddressReplyKey::PORT, static_cast<int>(port));
    reply.SetCString(RoomAddressReplyKey::HOST, host);
    r.peer.Send(reply);
}

void CHallService::OnRoomList(tagHallRequest& r) {
    CKParam reply = r.Reply();
    std::vector<QString> rows;
    for (int number : m_store.Favourites(r.account->number)) {
        auto room = m_store.Room(number);
        if (!room) {
            continue;
        }
        rows.push_back(QStringLiteral("%1,%2,%3")
                           .arg(number)
                           .arg(CommaFree(room->name),
                                RoomStateText(m_rooms.Occupancy(number), room->maxMembers,
                                              !room->password.isEmpty())));
        // Rows take one key each in a short; a favourites list never comes near the end.
        if (rows.size() >= 200) {
            break;
        }
    }
    reply.SetInt(RoomListReplyKey::COUNT, static_cast<int>(rows.size()));
    for (size_t i = 0; i < rows.size(); ++i) {
        reply.SetCString(static_cast<short>(RoomListReplyKey::FIRST_ROW + i), rows[i]);
    }
    r.peer.Send(reply);
}

void CHallService::OnOwnRooms(tagHallRequest& r) {
    std::vector<int> owned = m_store.RoomsOwnedBy(r.account->number);
    std::vector<int> managed = m_store.RoomsManagedBy(r.account->number);
    owned.resize(std::min<size_t>(owned.size(), 100));
    managed.resize(std::min<size_t>(managed.size(), 100));
    CKParam reply = r.Reply();
    short key = OwnRoomsReplyKey::COUNT;
    reply.SetInt(key++, static_cast<int>(owned.size()));
    for (int room : owned) {
        reply.SetInt(key++, room);
    }
    reply.SetInt(key++, static_cast<int>(managed.size()));
    for (int room : managed) {
        // The mark: a manager enters the room as freely as its owner.
        reply.SetInt(static_cast<short>(key + OwnRoomsReplyKey::MARK_OFFSET), 1);
        reply.SetInt(key++, room);
    }
    r.peer.Send(reply);
}

void CHallService::OnAddFavourite(tagHallRequest& r) {
    const int room = r.packet.IntOr(AddFavoriteKey::ROOM, 0);
    if (!m_store.Room(room)) {
        r.Refuse(m_store.MissingRefusal(REFUSE_BAD_ROOM));
        return;
    }
    if (!m_store.AddFavourite(r.account->number, room, Now())) {
        r.Refuse(REFUSE_SERVER_ERROR);
        return;
    }
    r.Answer();
}

void CHallService::OnRoomFormats(tagHallRequest& r) {
    const std::vector<tagRoomFormat> formats = m_store.Formats();
    CKParam reply = r.Reply();
    reply.SetInt(RoomFormatsReplyKey::COUNT, static_cast<int>(formats.size()));
    short key = RoomFormatsReplyKey::FIRST_FORMAT;
    for (const tagRoomFormat& f : formats) {
        // Each field is closed by its comma; the client reads no field after the last one.
        reply.SetCString(
            key++,
            QStringLiteral("%1,%2,%3人,").arg(f.id).arg(CommaFree(f.name)).arg(f.maxMembers));
    }
    r.peer.Send(reply);
}

void CHallService::OnCreateRoom(tagHallRequest& r) {
    const QString name = r.packet.TextOr(CreateRoomKey::NAME).trimmed();
    const int area = r.packet.IntOr(CreateRoomKey::AREA, 0);
    const QString password = r.packet.TextOr(CreateRoomKey::PASSWORD);
    const int formatId = r.packet.IntOr(CreateRoomKey::FORMAT, 0);
    const bool listed = r.packet.BoolOr(CreateRoomKey::LISTED, true);
    bool areaKnown = false;
    for (const tagArea& a : m_store.Areas()) {
        areaKnown = areaKnown || a.id == area;
    }
    auto format = m_store.Format(formatId);
    if (name.isEmpty() || name.size() > 32 || password.size() > 32 || !areaKnown || !format) {
        r.Refuse(REFUSE_BAD_PARAMETER);
        return;
    }
    if (static_cast<int>(m_store.RoomsOwnedBy(r.account->number).size()) >=
        m_config.limits.maxOwnRooms) {
        r.Refuse(REFUSE_FORBIDDEN);
        return;
    }
    tagRoomRecord room;
    room.area = area;
    room.name = name;
    room.password = password;
    room.owner = r.account->number;
    room.maxMembers = format->maxMembers;
    room.listed = listed;
    room.format = format->id;
    room.server = m_rooms.PlaceNewRoom();
    const int number = m_store.AddRoom(room);
    if (number < 0) {
        r.Refuse(REFUSE_SERVER_ERROR);
        return;
    }
    CKParam reply = r.Reply();
    reply.SetInt(CreateRoomReplyKey::ROOM, number);
    r.peer.Send(reply);
}
