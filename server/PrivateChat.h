#pragma once
// Private chat: an invitation (520) goes from one member of a room to another (522), the
// answer (550) back to the inviter (552); when it is yes, both leave the room for a private
// room of their own (553). From then on their two connections belong to the private room: the
// entry (150), the peer's information (190), the relayed commands of the table below, voice and
// video between the two second connections, and the peer leaving (170) when a main connection
// closes.

#include "server/GiftStore.h"
#include "server/RoomServer.h"

#include <QString>

#include <array>
#include <map>

class CPrivateChat : public CRoomFeature {
public:
    // Between two invitations of one member.
    static constexpr int64_t kInviteSpacingMs = 10000;
    // An invitation nobody answered is forgotten after this (the inviter's timer gives up
    // after 40 s).
    static constexpr int64_t kInviteLifeMs = 60000;
    // The price of a screenshot of the peer (hundredths).
    static constexpr int kSnapshotCost = 10;

    explicit CPrivateChat(CRoomServer& server);

    bool TakeMain(tagRoomSession& session, CKParam& packet) override;
    bool TakeSecond(IServerPeer& peer, CKParam& packet) override;
    void OnMainClosed(const tagRoomSession& session) override;
    void OnSecondClosed(IServerPeer& peer) override;
    void OnDeparture(CRoom& room, CRoomMember& member) override;

    int PrivateRooms() const { return static_cast<int>(m_rooms.size()); }

    // One side of a private room.
    struct tagSide {
        QString id;
        QString nickname;
        int number = 0;
        bool registered = false;
        QString localAddress;
        IServerPeer* main = nullptr;
        IServerPeer* second = nullptr;
        bool entered = false;
    };
    struct tagPrivateRoom {
        int number = 0;
        std::array<tagSide, 2> sides;
    };

    // A command relayed between the two: the request is answered (unless the peer's answer
    // to it is its answer), and its announcement built from the request goes to the peer or to
    // both. Build returns false for a request it refuses ("参数非法").
    enum class EAnnounce { Nobody, Peer, Both };
    struct tagRelayRow {
        short code;
        EAnnounce to;
        short announcement;
        bool answered;
        bool (*build)(const CKParam& request, tagSide& sender, const tagSide& peer,
                      CKParam& announcement);
    };

private:
    struct tagInvitation {
        QString inviter;
        QString invitee;
        int room = 0;
        int64_t sentMs = 0;
    };

    void OnInvite(tagRoomRequest& r);
    void OnAnswer(tagRoomRequest& r);
    void OnGiveUp(tagRoomRequest& r);
    void OpenPrivateRoom(CRoom& room, CRoomMember& inviter, CRoomMember& invitee);
    // Requests of a connection that is in no private room.
    void NotInPrivateRoom(tagRoomRequest& r);

    void OnEnter(tagRoomRequest& r, tagPrivateRoom& room, int side);
    void OnPeerInfo(tagRoomRequest& r, tagPrivateRoom& room, int side);
    void SendArrival(tagPrivateRoom& room, int to);
    void Relay(tagRoomRequest& r, const tagRelayRow& row, tagPrivateRoom& room, int side);
    void RelayMedia(CKParam& packet, tagPrivateRoom& room, int side);
    void OnGift(tagRoomRequest& r, tagPrivateRoom& room, int side);
    void OnSnapshot(tagRoomRequest& r, tagPrivateRoom& room, int side);
    // A side's connection for the file relay; null when the member is in no private room.
    IServerPeer* FindSide(const QString& id, bool second) const;
    void Leave(tagPrivateRoom& room, int side);
    tagPrivateRoom* RoomOfMain(const IServerPeer& peer, int& side);
    void ForgetExpired();

    std::map<QString, tagInvitation> m_invitations;  // by the invitee, lower case
    std::map<QString, int64_t> m_lastInviteMs;       // by the inviter, lower case
    std::map<int, tagPrivateRoom> m_rooms;
    std::map<const IServerPeer*, int> m_byMain;
    std::map<const IServerPeer*, int> m_bySecond;
    CGiftStore m_money;
    int m_nextNumber;
};
