#include "server/RoomRecording.h"

#include "protocol/Commands.h"
#include "protocol/Refusal.h"
#include "protocol/keys/RecordKeys.h"
#include "server/Packets.h"

CRoomRecording::CRoomRecording(CRoomServer& server)
    : CRoomFeature(server), m_money(server.Store()) {
    server.MainRequests().On(CMD_RECORD_CONTROL, EStage::Entered, this, &CRoomRecording::OnCharge);
}

void CRoomRecording::OnCharge(tagRoomRequest& r) {
    AnswerRecordCharge(m_money, r, r.member->number, r.member->registered);
}

void AnswerRecordCharge(CGiftStore& money, tagRoomRequest& r, int account, bool registered) {
    const int kind = r.packet.IntOr(RecordChargeKey::KIND, 0);
    if (!registered) {
        r.peer.Send(r.Refusal(REFUSE_VISITOR));
        return;
    }
    if (kind != RECORD_CHARGE_PLAYOUT && kind != RECORD_CHARGE_OTHER) {
        r.peer.Send(r.Refusal(REFUSE_BAD_PARAMETER));
        return;
    }
    using Price = CRoomRecording;
    const std::optional<int> left = money.Charge(account, Price::kPeriodCost);
    CKParam reply = left ? r.Reply() : r.Refusal(REFUSE_BALANCE);
    reply.SetInt(RecordChargeReplyKey::PERIOD, Price::kPeriodSeconds);
    reply.SetInt(RecordChargeReplyKey::COST, Price::kPeriodCost);
    reply.SetInt(RecordChargeReplyKey::BALANCE, left ? *left : money.Balance(account));
    r.peer.Send(reply);
}
