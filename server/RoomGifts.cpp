#include "server/RoomGifts.h"

#include "protocol/Commands.h"
#include "protocol/Refusal.h"
#include "protocol/keys/GiftsKeys.h"
#include "server/Packets.h"
#include "server/Room.h"

std::optional<CKParam> GiveGift(CStore& store, CGiftStore& gifts, tagRoomRequest& r,
                                const tagGiftParty& giver, const tagGiftParty* recipient,
                                int owner) {
    const short kind = r.packet.ShortOr(GiveGiftKey::KIND, GIFT_KIND_GIFT);
    auto refuse = [&](int refusal) {
        // The reply names a stamp so the giver's line says which it was.
        CKParam reply = r.Refusal(refusal);
        reply.SetShortInt(GiftReplyKey::KIND, kind);
        r.peer.Send(reply);
        return std::nullopt;
    };
    if (!giver.registered) {
        return refuse(REFUSE_VISITOR);
    }
    const int quantity = kind == GIFT_KIND_STAMP ? 1 : r.packet.ShortOr(GiveGiftKey::QUANTITY, 1);
    const std::optional<tagGift> gift = gifts.Find(r.packet.IntOr(GiveGiftKey::GIFT, 0), kind);
    if ((kind != GIFT_KIND_GIFT && kind != GIFT_KIND_STAMP) || !gift || quantity < 1) {
        return refuse(REFUSE_GIFT_INFO);
    }
    if (!recipient || recipient->id.compare(giver.id, Qt::CaseInsensitive) == 0) {
        return refuse(REFUSE_BAD_USER);
    }
    const std::optional<tagGiftTransfer> moved = gifts.Transfer(
        giver.number, recipient->registered ? recipient->number : 0, owner, *gift, quantity);
    if (!moved) {
        return refuse(REFUSE_BALANCE);
    }
    CKParam reply = r.Reply();
    reply.SetShortInt(GiftReplyKey::KIND, kind);
    r.peer.Send(reply);

    using namespace GiftGivenKey;
    CKParam announce = MakePacket(CMD_GIFT_GIVEN);
    announce.SetCString(GIVER, giver.id);
    announce.SetInt(GIFT, gift->number);
    announce.SetShortInt(KIND, kind);
    announce.SetShortInt(QUANTITY, static_cast<short>(quantity));
    announce.SetCString(NAME, gift->name);
    announce.SetInt(VALUE, moved->debit);
    announce.SetCString(RECIPIENT, recipient->id);
    announce.SetInt(MARK, gift->mark);
    announce.SetCString(ANIMATION, gift->animation);
    announce.SetInt(WIDTH, gift->width);
    announce.SetInt(HEIGHT, gift->height);
    announce.SetInt(SECONDS, gift->seconds);
    announce.SetInt(OPTIONS, 1);
    announce.SetInt(GIVER_DEBIT, moved->debit);
    announce.SetInt(RECIPIENT_CREDIT, moved->recipientCredit);
    if (moved->ownerCredit != 0) {
        const std::optional<tagAccount> ownerAccount = store.AccountByNumber(owner);
        announce.SetCString(THIRD, ownerAccount ? ownerAccount->name : QString());
        announce.SetInt(THIRD_CREDIT, moved->ownerCredit);
    }
    return announce;
}

CRoomGifts::CRoomGifts(CRoomServer& server) : CRoomFeature(server), m_gifts(server.Store()) {
    server.MainRequests().On(CMD_GIFT, EStage::Entered, this, &CRoomGifts::OnGive);
    // Stamps travel as 390; the private room's gift information is not offered here.
    server.MainRequests().NotOffered(CMD_STAMP, EStage::Entered);
    server.MainRequests().NotOffered(CMD_GIFT_INFO, EStage::Entered);
}

void CRoomGifts::OnGive(tagRoomRequest& r) {
    const CRoomMember& giver = *r.member;
    const CRoomMember* found = r.room->Find(r.packet.TextOr(GiveGiftKey::RECIPIENT));
    std::optional<tagGiftParty> recipient;
    if (found) {
        recipient = tagGiftParty{found->id, found->number, found->registered};
    }
    const std::optional<CKParam> announce =
        GiveGift(m_server.Store(), m_gifts, r, {giver.id, giver.number, giver.registered},
                 recipient ? &*recipient : nullptr, r.room->Record().owner);
    if (announce) {
        r.room->Broadcast(*announce);
    }
}
