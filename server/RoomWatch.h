#pragma once
// Video beside the relay: opening the own video (240), the video sending state (620 and its
// announcement 622), private watching (610 answered by the watched member's state, 612 to the
// watched member, whose answer 613 may still turn the viewer away, and 615 when it ends), and
// asking the holders of the pictures for a key frame (-263) whenever someone starts to watch,
// so that nobody waits for the next one.

#include "server/RoomServer.h"

class CRoomWatch : public CRoomFeature {
public:
    explicit CRoomWatch(CRoomServer& server);

    void OnDeparture(CRoom& room, CRoomMember& member) override;
    void OnAttached(CRoom& room, CRoomMember& member) override;

    // Whether a member has let another watch the private picture.
    static bool Watches(const CRoomMember& watched, const QString& viewer);

private:
    void OnVideoRequest(tagRoomRequest& r);
    void OnVideoState(tagRoomRequest& r);
    void OnWatch(tagRoomRequest& r);
    void OnWatchAnswer(tagRoomRequest& r);
    // Ends a viewer's watching: 615 to the viewer, the watched member forgets him.
    void EndWatching(CRoom& room, CRoomMember& watched, const QString& viewer, int refusal);
    static void AskKeyFrame(const CRoomMember* holder);
};
