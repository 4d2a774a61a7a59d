#pragma once
// Paid recording and play-out (490): each request pays one period out of the member's balance
// and the reply says what a period is, what it costs and what is left. Visitors have no
// balance.

#include "server/GiftStore.h"
#include "server/RoomServer.h"

// Charges one period of the account for a paid recording or play-out and answers the request
// with the figures; the room and the private room answer 490 alike.
void AnswerRecordCharge(CGiftStore& money, tagRoomRequest& r, int account, bool registered);

class CRoomRecording : public CRoomFeature {
public:
    // One period and its price (hundredths).
    static constexpr int kPeriodSeconds = 60;
    static constexpr int kPeriodCost = 10;

    explicit CRoomRecording(CRoomServer& server);

private:
    void OnCharge(tagRoomRequest& r);
    CGiftStore m_money;
};
