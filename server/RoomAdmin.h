#pragma once
// Room administration: nickname changes, favourites, the topic, public text, the lock, video
// permission, kicking, banning, typing and grabbing bans, operator ranks, the sound quality and
// the video sending state. Managers (rank 30 and up) run the room; banning and operator ranks
// need rank 50 and up. A member can act only on members of a lower rank.

#include "server/RoomServer.h"

class CRoomAdmin : public CRoomFeature {
public:
    explicit CRoomAdmin(CRoomServer& server);

private:
    void OnNickname(tagRoomRequest& r);
    void OnFavourite(tagRoomRequest& r);
    void OnTopic(tagRoomRequest& r);
    void OnPublicText(tagRoomRequest& r);
    void OnLock(tagRoomRequest& r);
    void OnVideoControl(tagRoomRequest& r);
    void OnKick(tagRoomRequest& r);
    void OnTypingControl(tagRoomRequest& r);
    void OnGrabControl(tagRoomRequest& r);
    void ForbidOrAllow(tagRoomRequest& r, bool CRoomMember::*forbidden, short announcement);
    void OnForceNickname(tagRoomRequest& r);
    void OnBan(tagRoomRequest& r);
    void OnOperator(tagRoomRequest& r);
    void OnQuality(tagRoomRequest& r);
    void OnVideoState(tagRoomRequest& r);

    bool RequireRank(tagRoomRequest& r, int rank);
    // The member a request names, below the asker's rank; refuses and returns null otherwise.
    CRoomMember* Subordinate(tagRoomRequest& r, const QString& id);
    // Checks and cleans a nickname; empty with the refusal code set when it is not acceptable.
    QString CleanNickname(tagRoomRequest& r, const QString& nickname, int& refusal);
    void Save(CRoom& room);
};
