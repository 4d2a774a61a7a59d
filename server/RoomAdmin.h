#pragma once
// Room administration: nickname changes, favourites, the topic, public text, the lock, video
// permission, kicking, banning, typing and grabbing bans, operator ranks, the sound quality and
// reports; and what the room hears when the command line renames or disables it. Managers (rank
// 30 and up) run the room; banning and operator ranks need rank 50 and up. A member can act only
// on members of a lower rank.

#include "server/RoomServer.h"

class CRoomAdmin : public CRoomFeature {
public:
    // Members of a room disabled under them are let go after this long, if they have not left.
    static constexpr unsigned kDisabledGraceMs = 30000;
    enum : unsigned { TIMER_DISABLED = 2 };

    explicit CRoomAdmin(CRoomServer& server);

    void OnReloaded(CRoom& room, const tagRoomRecord& before) override;
    void OnRoomTimer(CRoom& room, unsigned id) override;

    // Checks a nickname for the room and cleans it: 0 with the clean one set, or the refusal.
    static int CleanNickname(const CRoom& room, const QString& nickname, QString& clean);

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
    void OnReportInfo(tagRoomRequest& r);
    void OnReport(tagRoomRequest& r);

    // The member a request names, below the asker's rank: 0 with the target set, or the
    // refusal.
    int Subordinate(const tagRoomRequest& r, const QString& id, CRoomMember*& target);
    void ChangeRank(CRoom& room, CRoomMember& target, int op);
    void Save(CRoom& room);
};
