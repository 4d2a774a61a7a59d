#include "server/HallService.h"

#include "platform/Clock.h"
#include "protocol/Commands.h"
#include "protocol/Refusal.h"
#include "protocol/keys/CenterKeys.h"
#include "server/Packets.h"

CHallService::CHallService(CStore& store, CPresence& presence, const tagServerConfig& config,
                           IRoomDirectory& rooms)
    : m_store(store), m_presence(presence), m_config(config), m_rooms(rooms) {
    m_handlers = {
        {CMD_VERSION, &CHallService::OnVersion},
        {CMD_VISITOR, &CHallService::OnVisitor},
        {CMD_PRESENCE, &CHallService::OnPresence},
        {CMD_LOGIN, &CHallService::OnLogin},
        {CMD_LOGOUT, &CHallService::OnLogout},
        {CMD_QUIT, &CHallService::OnQuit},
        {CMD_USER_INFO, &CHallService::OnUserInfo},
        {CMD_ENTRY_INFO, &CHallService::OnEntryInfo},
        {CMD_LOGGED_ELSEWHERE_ACK, &CHallService::OnAcknowledge},
        {CMD_ROOM_ADDRESS, &CHallService::OnRoomAddress},
        {CMD_ROOM_LIST, &CHallService::OnRoomList},
        {CMD_OWN_ROOMS, &CHallService::OnOwnRooms},
        {CMD_ADD_FAVORITE, &CHallService::OnAddFavourite},
        {CMD_ROOM_FORMATS, &CHallService::OnRoomFormats},
        {CMD_CREATE_ROOM, &CHallService::OnCreateRoom},
    };
}

int64_t CHallService::Now() const {
    return CClock::Get().Now();
}

void CHallService::OnPeerPacket(IServerPeer& peer, CKParam& packet) {
    auto it = m_handlers.find(packet.Command());
    if (it == m_handlers.end()) {
        peer.Strike();
        return;
    }
    m_peerAddress = peer.PeerAddress();
    std::optional<CKParam> reply = (this->*(it->second))(packet);
    if (reply) {
        peer.Send(*reply);
    }
}

std::optional<tagAccount> CHallService::LoggedInAccount(const CKParam& request) {
    const QString name = request.TextOr(AccountKey::NAME);
    const int number = request.IntOr(AccountKey::NUMBER, -1);
    const QString machine = request.TextOr(IdentityKey::ADAPTER);
    if (name.isEmpty() || !m_presence.IsLoggedIn(name, number, machine)) {
        return std::nullopt;
    }
    return m_store.AccountByNumber(number);
}

std::optional<CKParam> CHallService::OnVersion(const CKParam& request) {
    CKParam reply = MakeReply(CMD_VERSION_REPLY);
    reply.SetInt(VersionReplyKey::NEWEST, m_config.lastVersion);
    return reply;
}

std::optional<CKParam> CHallService::OnAcknowledge(const CKParam& request) {
    return std::nullopt;
}

std::optional<CKParam> CHallService::OnRoomAddress(const CKParam& request) {
    const int room = request.IntOr(RoomAddressKey::ROOM, 0);
    QString host;
    unsigned port = 0;
    if (room < 1 || !m_store.Room(room) || !m_rooms.RoomAddress(room, host, port)) {
        return MakeRefusal(CMD_ROOM_ADDRESS_REPLY, REFUSE_BAD_ROOM);
    }
    CKParam reply = MakeReply(CMD_ROOM_ADDRESS_REPLY);
    reply.SetInt(RoomAddressReplyKey::ROOM, room);
    reply.SetInt(RoomAddressReplyKey::PORT, static_cast<int>(port));
    reply.SetCString(RoomAddressReplyKey::HOST, host);
    return reply;
}

std::optional<CKParam> CHallService::OnRoomList(const CKParam& request) {
    auto account = LoggedInAccount(request);
    if (!account) {
        return MakeRefusal(CMD_ROOM_LIST_REPLY, REFUSE_BAD_USER);
    }
    CKParam reply = MakeReply(CMD_ROOM_LIST_REPLY);
    std::vector<QString> rows;
    for (int number : m_store.Favourites(account->number)) {
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
    return reply;
}

std::optional<CKParam> CHallService::OnOwnRooms(const CKParam& request) {
    auto account = LoggedInAccount(request);
    if (!account) {
        return MakeRefusal(CMD_OWN_ROOMS_REPLY, REFUSE_BAD_USER);
    }
    std::vector<int> owned = m_store.RoomsOwnedBy(account->number);
    std::vector<int> managed = m_store.RoomsManagedBy(account->number);
    owned.resize(std::min<size_t>(owned.size(), 100));
    managed.resize(std::min<size_t>(managed.size(), 100));
    CKParam reply = MakeReply(CMD_OWN_ROOMS_REPLY);
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
    return reply;
}

std::optional<CKParam> CHallService::OnAddFavourite(const CKParam& request) {
    auto account = LoggedInAccount(request);
    if (!account) {
        return MakeRefusal(CMD_ADD_FAVORITE_REPLY, REFUSE_BAD_USER);
    }
    const int room = request.IntOr(AddFavoriteKey::ROOM, 0);
    if (!m_store.Room(room)) {
        return MakeRefusal(CMD_ADD_FAVORITE_REPLY, REFUSE_BAD_ROOM);
    }
    if (!m_store.AddFavourite(account->number, room, Now())) {
        return MakeRefusal(CMD_ADD_FAVORITE_REPLY, REFUSE_SERVER_ERROR);
    }
    return MakeReply(CMD_ADD_FAVORITE_REPLY);
}

std::optional<CKParam> CHallService::OnRoomFormats(const CKParam& request) {
    const std::vector<tagRoomFormat> formats = m_store.Formats();
    CKParam reply = MakeReply(CMD_ROOM_FORMATS_REPLY);
    reply.SetInt(RoomFormatsReplyKey::COUNT, static_cast<int>(formats.size()));
    short key = RoomFormatsReplyKey::FIRST_FORMAT;
    for (const tagRoomFormat& f : formats) {
        // Each field is closed by its comma; the client reads no field after the last one.
        reply.SetCString(
            key++,
            QStringLiteral("%1,%2,%3人,").arg(f.id).arg(CommaFree(f.name)).arg(f.maxMembers));
    }
    return reply;
}

std::optional<CKParam> CHallService::OnCreateRoom(const CKParam& request) {
    auto account = LoggedInAccount(request);
    if (!account) {
        return MakeRefusal(CMD_CREATE_ROOM_REPLY, REFUSE_BAD_USER);
    }
    const QString name = request.TextOr(CreateRoomKey::NAME).trimmed();
    const int area = request.IntOr(CreateRoomKey::AREA, 0);
    const QString password = request.TextOr(CreateRoomKey::PASSWORD);
    const int formatId = request.IntOr(CreateRoomKey::FORMAT, 0);
    const bool listed = request.BoolOr(CreateRoomKey::LISTED, true);
    bool areaKnown = false;
    for (const tagArea& a : m_store.Areas()) {
        areaKnown = areaKnown || a.id == area;
    }
    auto format = m_store.Format(formatId);
    if (name.isEmpty() || name.size() > 32 || password.size() > 32 || !areaKnown || !format) {
        return MakeRefusal(CMD_CREATE_ROOM_REPLY, REFUSE_BAD_PARAMETER);
    }
    if (static_cast<int>(m_store.RoomsOwnedBy(account->number).size()) >=
        m_config.limits.maxOwnRooms) {
        return MakeRefusal(CMD_CREATE_ROOM_REPLY, REFUSE_FORBIDDEN);
    }
    tagRoomRecord room;
    room.area = area;
    room.name = name;
    room.password = password;
    room.owner = account->number;
    room.maxMembers = format->maxMembers;
    room.listed = listed;
    room.format = format->id;
    // New rooms go round the room servers.
    const int servers = static_cast<int>(m_config.roomServers.size());
    room.server = servers > 0 ? static_cast<int>(m_store.Rooms().size() % servers) + 1 : 1;
    const int number = m_store.AddRoom(room);
    if (number < 0) {
        return MakeRefusal(CMD_CREATE_ROOM_REPLY, REFUSE_SERVER_ERROR);
    }
    CKParam reply = MakeReply(CMD_CREATE_ROOM_REPLY);
    reply.SetInt(CreateRoomReplyKey::ROOM, number);
    return reply;
}
