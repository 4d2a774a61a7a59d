#pragma once
// Members as the room tells them: the member record of the arrival announcement (130), the
// comma-separated member text of the member list (181), and the member list itself.

#include "server/RoomServer.h"

// The arrival announcement of a member: the record in keys 20 to 320.
CKParam ArrivalPacket(const CRoomMember& member);
// The member as one text of 33 comma-separated fields (texts lose their commas).
QString MemberText(const CRoomMember& member);

class CRoomMembers : public CRoomFeature {
public:
    explicit CRoomMembers(CRoomServer& server);

private:
    void OnMemberList(tagRoomRequest& r);
};
