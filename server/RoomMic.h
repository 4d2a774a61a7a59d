#pragma once
// The microphone order. The room server decides who holds the main and the second microphone:
// in grab mode the first to ask takes a free main microphone, in queue mode members line up
// and the turn timer moves the queue, in operator mode only managers hand it out. A turn lasts
// the room's microphone time (no limit in operator mode); managers (rank 30 and up) hand over,
// take back, extend, reorder and change the mode and the time.

#include "server/RoomServer.h"

class CRoomMic : public CRoomFeature {
public:
    enum : unsigned { TIMER_TURNS = 1 };

    explicit CRoomMic(CRoomServer& server);

    void OnDeparture(CRoom& room, CRoomMember& member) override;
    void OnRoomTimer(CRoom& room, unsigned id) override;

private:
    void OnGrab(tagRoomRequest& r);
    void OnRelease(tagRoomRequest& r);
    void OnReleaseSecond(tagRoomRequest& r);
    void OnHand(tagRoomRequest& r);
    void OnHandSecond(tagRoomRequest& r);
    void OnTakeBack(tagRoomRequest& r);
    void OnExtend(tagRoomRequest& r);
    void OnQueueControl(tagRoomRequest& r);
    void OnSecondControl(tagRoomRequest& r);
    void OnMode(tagRoomRequest& r);
    void OnTime(tagRoomRequest& r);
    void OnQueue(tagRoomRequest& r);

    // What stands in the way of a grab: 0, or the refusal.
    int GrabRefusal(const tagRoomRequest& r) const;
    // Who a manager hands a microphone to: 0 with the target set, or the refusal.
    int HandRefusal(CRoom& room, const QString& id, bool second, CRoomMember*& target) const;
    void Hand(tagRoomRequest& r, bool second);
    void SetMode(CRoom& room, int mode, bool forced);
    void GiveMain(CRoom& room, const QString& id, bool fromQueue);
    void GiveSecond(CRoom& room, const QString& id);
    void FreeMain(CRoom& room);
    void FreeSecond(CRoom& room);
    // In queue mode a free main microphone goes to the first in line.
    void AdvanceQueue(CRoom& room);
    bool RemoveFromQueue(CRoom& room, const QString& id);
    int64_t TurnEnd(const CRoom& room) const;
    void UpdateTimer(CRoom& room);
    void SaveMicSettings(CRoom& room);
};
