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
    const int kind = r.packet.IntOr(RecordChargeKey::KIND, 0);
    if (!r.member->registered) {
        r.peer.Send(r.Refusal(REFUSE_VISITOR));
        return;
    }
    if (kind != RECORD_CHARGE_PLAYOUT && kind != RECORD_CHARGE_OTHER) {
        r.peer.Send(r.Refusal(REFUSE_BAD_PARAMETER));
        return;
    }
    const std::optional<int> left = m_money.Charge(r.member->number, kPeriodCost);
    CKParam reply = left ? r.Reply() : r.Refusal(REFUSE_BALANCE);
    reply.SetInt(RecordChargeReplyKey::PERIOD, kPeriodSeconds);
    reply.SetInt(RecordChargeReplyKey::COST, kPeriodCost);
    reply.SetInt(RecordChargeReplyKey::BALANCE, left ? *left : m_money.Balance(r.member->number));
    r.peer.Send(reply);
}
