#include "room/MemberMenu.h"

#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "room/ChatText.h"
#include "room/Gifts.h"
#include "room/MicOrder.h"
#include "room/PrivateInvite.h"
#include "room/PrivateMic.h"
#include "room/RoomAdministration.h"
#include "room/RoomDlg.h"
#include "room/RoomMembers.h"
#include "room/RoomScoring.h"
#include "room/RoomVideo.h"

#include <algorithm>

QString CMemberMenu::Title() {
    return LoadString(IDS_MEMBER_MENU_TITLE);
}

std::vector<tagMemberEntry> CMemberMenu::Entries(const QString& id) const {
    std::vector<tagMemberEntry> entries;
    const UserInfo* member = m_room.Members().Find(id);
    if (!member) {
        return entries;
    }
    const int ownRank = m_room.OwnRank();
    const bool self = id == m_room.OwnId();
    const CRoomAdministration& admin = m_room.Admin();
    const CChatText& chat = m_room.Chat();
    // The entries that open a group of their own: what is about the member, the queue, what
    // managers forbid, the microphones, the ranks and the lists.
    auto add = [&](EMemberEntry entry, const QString& text, bool enabled) {
        const bool group = entry == EMemberEntry::Gift || entry == EMemberEntry::Extend ||
                           entry == EMemberEntry::Kick || entry == EMemberEntry::HandMic ||
                           entry == EMemberEntry::MakeOperator || entry == EMemberEntry::BanSite;
        entries.push_back({entry, text, enabled, false, false, group});
        return &entries.back();
    };
    auto check = [](tagMemberEntry* e, bool on) {
        e->checkable = true;
        e->checked = on;
    };

    // The member's number is shown, not run.
    add(EMemberEntry::AccountNumber, member->id, false);
    add(EMemberEntry::Gift, LoadString(IDS_MM_GIFT), !self);
    // A private chat: the invitation.
    add(EMemberEntry::VideoChat, LoadString(IDS_MM_VIDEO_CHAT), !self);
    add(EMemberEntry::Watch, LoadString(IDS_OP_WATCH), !self && m_room.Video() != nullptr);
    add(EMemberEntry::VisitPrivateMic, LoadString(IDS_MM_VISIT_PRIVATE_MIC), !self);
    if (ownRank < kFullMenuRank) {
        return entries;
    }
    add(EMemberEntry::VisitSpace, LoadString(IDS_MM_VISIT_SPACE), false);
    // Stamps only where the service switches them on.
    add(EMemberEntry::Stamp, LoadString(IDS_OP_STAMP), !self && m_room.Options().stampsEnabled);
    add(EMemberEntry::Extend, LoadString(IDS_MM_EXTEND), m_room.Mic().Mode() == MIC_QUEUE);
    add(EMemberEntry::QueueUp, LoadString(IDS_MM_QUEUE_UP), true);
    add(EMemberEntry::QueueCancel, LoadString(IDS_MM_QUEUE_CANCEL), true);
    add(EMemberEntry::Kick, LoadString(IDS_MM_KICK), !self);
    add(EMemberEntry::Ban, LoadString(IDS_MM_BAN), !self && ownRank >= kBanRank);
    check(add(EMemberEntry::NoTyping, LoadString(IDS_MM_NO_TYPING), !self),
          admin.TypingForbidden(id));
    check(add(EMemberEntry::NoGrab, LoadString(IDS_MM_NO_GRAB), !self), admin.GrabForbidden(id));
    add(EMemberEntry::Rename, LoadString(IDS_MM_RENAME), !self);
    add(EMemberEntry::HandMic, LoadString(IDS_MM_HAND_MIC), true);
    add(EMemberEntry::HandSecondMic, LoadString(IDS_OP_HAND_SECOND_MIC), true);
    add(EMemberEntry::TakeBackMic, LoadString(IDS_OP_TAKE_BACK_MIC), true);
    add(EMemberEntry::HandHandle, LoadString(IDS_OP_HAND_HANDLE), true);
    check(add(EMemberEntry::MakeOperator, LoadString(IDS_MM_MAKE_OP),
              !self && ownRank >= kBanRank && member->rank <= kHighestPromotable),
          member->rank == RANK_OPERATOR);
    check(add(EMemberEntry::MakeSeniorOperator, LoadString(IDS_MM_MAKE_SENIOR_OP),
              !self && ownRank >= kBanRank),
          member->seniorOperator != 0);
    add(EMemberEntry::BanSite, LoadString(IDS_MM_BAN_SITE), false);
    check(add(EMemberEntry::Block, LoadString(IDS_MM_BLOCK), !self), chat.IsBlocked(id));
    return entries;
}

std::vector<tagMemberEntry> CMemberMenu::Open(const QString& id) {
    if (m_room.Members().Find(id)) {
        m_room.Scoring().SetTarget(id);
    }
    return Entries(id);
}

int CMemberMenu::Run(const QString& id, EMemberEntry entry) {
    const std::vector<tagMemberEntry> entries = Entries(id);
    const auto it = std::find_if(entries.begin(), entries.end(),
                                 [entry](const tagMemberEntry& e) { return e.id == entry; });
    if (it == entries.end() || !it->enabled) {
        return -1;
    }
    CMicOrder& mic = m_room.Mic();
    CRoomAdministration& admin = m_room.Admin();
    switch (entry) {
        case EMemberEntry::VideoChat:
            return m_room.Invite().Invite(id);
        case EMemberEntry::Watch:
            return m_room.Video()->Watch(id);
        case EMemberEntry::Gift:
            return m_room.Gifts().Give(id);
        case EMemberEntry::Stamp:
            return m_room.Gifts().PutStamp(id);
        case EMemberEntry::VisitPrivateMic:
            return m_room.PrivateMic().Visit(id);
        case EMemberEntry::Extend:
            return mic.Extend(id);
        case EMemberEntry::QueueUp:
            return mic.MoveUp(id);
        case EMemberEntry::QueueCancel:
            return mic.RemoveFromQueue(id);
        case EMemberEntry::Kick:
            return admin.Kick(id);
        case EMemberEntry::Ban:
            return admin.Ban(id);
        // A checked entry undoes what it did.
        case EMemberEntry::NoTyping:
            return admin.SetTyping(id, it->checked);
        case EMemberEntry::NoGrab:
            return admin.SetGrab(id, it->checked);
        case EMemberEntry::Rename:
            return admin.ForceNickname(id);
        case EMemberEntry::HandMic:
            return mic.HandMic(id);
        case EMemberEntry::HandSecondMic:
            return mic.HandSecondMic(id);
        case EMemberEntry::TakeBackMic:
            return mic.TakeBack(id);
        case EMemberEntry::HandHandle:
            return m_room.PrivateMic().HandHandle(id);
        case EMemberEntry::MakeOperator:
            return admin.SetOperator(
                id, it->checked ? CRoomAdministration::OP_REMOVE : CRoomAdministration::OP_MAKE);
        case EMemberEntry::MakeSeniorOperator:
            return admin.SetOperator(id, it->checked ? CRoomAdministration::OP_REMOVE_SENIOR
                                                     : CRoomAdministration::OP_MAKE_SENIOR);
        case EMemberEntry::Block:
            m_room.Chat().SetBlocked(id, !it->checked);
            return 0;
        default:
            return -1;
    }
}
