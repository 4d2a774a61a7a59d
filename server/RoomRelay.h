#pragma once
// Voice (460) and video (470) relayed from a microphone or video-slot holder to the other
// members' second connections. The relay writes the packet anew: the sender's own sequence
// and clock fields stay behind, the sender's identity is the one the room knows, and the room
// number goes along in key 70 for clients of servers newer than 1410.

#include "server/RoomServer.h"

class CRoomRelay : public CRoomFeature {
public:
    explicit CRoomRelay(CRoomServer& server);

    int RelayedPackets() const { return m_relayed; }

private:
    void OnAudio(tagRoomRequest& r);
    void OnVideo(tagRoomRequest& r);

    int m_relayed = 0;
};
