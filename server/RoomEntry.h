#pragma once
// Getting into a room: the room login (122) with the "user verified" push (120), the entry
// request (110) with its lock, ban and capacity checks, the second connection's attach (650)
// and the room settings (200).

#include "server/RoomServer.h"

class CRoomEntry : public CRoomFeature {
public:
    explicit CRoomEntry(CRoomServer& server);

private:
    void OnRoomLogin(tagRoomRequest& r);
    void OnEnter(tagRoomRequest& r);
    void OnAttach(tagRoomRequest& r);
    void OnSettings(tagRoomRequest& r);
    // The member's rank in a room from the database: owner, ranks given, registered, visitor.
    int RankOf(const tagRoomSession& session, const tagRoomRecord& room);
    // Whether the room lets the session in (bans, the lock): 0, or the refusal.
    int Admission(const tagRoomSession& s, const tagRoomRecord& room, bool privileged,
                  const CKParam& request);
    void EndEarlierStay(const tagRoomRecord& room, const QString& id, IServerPeer& peer);
    std::unique_ptr<CRoomMember> NewMember(const tagRoomSession& s, int rank);
};
