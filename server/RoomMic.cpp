#include "server/RoomMic.h"

#include "platform/Clock.h"
#include "protocol/Commands.h"
#include "protocol/Refusal.h"
#include "protocol/keys/MicKeys.h"
#include "server/Packets.h"

#include <algorithm>

namespace {

enum : int { MODE_GRAB = 0, MODE_QUEUE = 1, MODE_OPERATOR = 2 };
enum : short { MIC_MAIN = 1, MIC_SECOND = 2 };
constexpr int kShortestTurnSeconds = 11;
constexpr int kLongestTurnSeconds = 3600;

bool Same(const QString& a, const QString& b) {
    return !a.isEmpty() && a.compare(b, Qt::CaseInsensitive) == 0;
}

// Empties one microphone slot, and the handle with it when its holder had that too; returns
// who held the slot (empty when nobody did).
QString Vacate(tagMicState& mic, QString& holder, int64_t& dueMs) {
    const QString was = holder;
    holder.clear();
    dueMs = 0;
    if (!was.isEmpty() && Same(mic.floor, was)) {
        mic.floor.clear();
    }
    return was;
}

}  // namespace

CRoomMic::CRoomMic(CRoomServer& server) : CRoomFeature(server) {
    CRoomRegistry& main = server.MainRequests();
    auto on = [&](short code, void (CRoomMic::*handler)(tagRoomRequest&)) {
        main.On(code, EStage::Entered, this, handler);
    };
    on(CMD_GRAB_MIC, &CRoomMic::OnGrab);
    on(CMD_RELEASE_MIC, &CRoomMic::OnRelease);
    on(CMD_RELEASE_SECOND_MIC, &CRoomMic::OnReleaseSecond);
    on(CMD_HAND_MIC, &CRoomMic::OnHand);
    on(CMD_HAND_SECOND_MIC, &CRoomMic::OnHandSecond);
    on(CMD_TAKE_BACK_MIC, &CRoomMic::OnTakeBack);
    on(CMD_EXTEND_MIC, &CRoomMic::OnExtend);
    on(CMD_QUEUE_CONTROL, &CRoomMic::OnQueueControl);
    on(CMD_SECOND_MIC_CONTROL, &CRoomMic::OnSecondControl);
    on(CMD_MIC_MODE, &CRoomMic::OnMode);
    on(CMD_MIC_TIME, &CRoomMic::OnTime);
    on(CMD_MIC_QUEUE, &CRoomMic::OnQueue);
}

bool CRoomMic::RequireManager(tagRoomRequest& r) {
    if (r.member->rank >= RANK_OPERATOR) {
        return true;
    }
    r.Refuse(REFUSE_FORBIDDEN);
    return false;
}

int64_t CRoomMic::TurnEnd(const CRoom& room) const {
    if (room.Record().micMode == MODE_OPERATOR) {
        return 0;
    }
    return CClock::Get().UptimeMs() + static_cast<int64_t>(room.Record().micSeconds) * 1000;
}

void CRoomMic::UpdateTimer(CRoom& room) {
    const tagMicState& mic = room.Mic();
    if (mic.mainDueMs || mic.secondDueMs) {
        if (!room.HasTimer(TIMER_TURNS)) {
            room.SetTimer(TIMER_TURNS, 1000);
        }
    } else {
        room.KillTimer(TIMER_TURNS);
    }
}

void CRoomMic::GiveMain(CRoom& room, const QString& id, bool fromQueue) {
    tagMicState& mic = room.Mic();
    mic.main = id;
    mic.mainDueMs = TurnEnd(room);
    CKParam taken = MakePacket(CMD_MIC_TAKEN);
    taken.SetCString(MicTakenKey::HOLDER, id);
    taken.SetShortInt(MicTakenKey::WHICH, MIC_MAIN);
    taken.SetShortInt(MicTakenKey::FROM_QUEUE, fromQueue ? 1 : 0);
    room.Broadcast(taken);
    UpdateTimer(room);
}

void CRoomMic::GiveSecond(CRoom& room, const QString& id) {
    tagMicState& mic = room.Mic();
    mic.second = id;
    mic.secondDueMs = TurnEnd(room);
    CKParam taken = MakePacket(CMD_MIC_TAKEN);
    taken.SetCString(MicTakenKey::HOLDER, id);
    taken.SetShortInt(MicTakenKey::WHICH, MIC_SECOND);
    taken.SetShortInt(MicTakenKey::FROM_QUEUE, 0);
    room.Broadcast(taken);
    UpdateTimer(room);
}

void CRoomMic::FreeMain(CRoom& room) {
    const QString holder = Vacate(room.Mic(), room.Mic().main, room.Mic().mainDueMs);
    if (holder.isEmpty()) {
        return;
    }
    CKParam released = MakePacket(CMD_MIC_RELEASED);
    released.SetCString(MicReleasedKey::HOLDER, holder);
    room.Broadcast(released);
    UpdateTimer(room);
}

void CRoomMic::FreeSecond(CRoom& room) {
    if (Vacate(room.Mic(), room.Mic().second, room.Mic().secondDueMs).isEmpty()) {
        return;
    }
    room.Broadcast(MakePacket(CMD_SECOND_MIC_RELEASED));
    UpdateTimer(room);
}

void CRoomMic::AdvanceQueue(CRoom& room) {
    tagMicState& mic = room.Mic();
    if (room.Record().micMode != MODE_QUEUE || !mic.main.isEmpty()) {
        return;
    }
    while (!mic.queue.empty()) {
        const QString next = mic.queue.front();
        mic.queue.pop_front();
        if (room.Find(next)) {
            GiveMain(room, next, true);
            return;
        }
    }
}

bool CRoomMic::RemoveFromQueue(CRoom& room, const QString& id) {
    auto& queue = room.Mic().queue;
    auto it =
        std::find_if(queue.begin(), queue.end(), [&](const QString& q) { return Same(q, id); });
    if (it == queue.end()) {
        return false;
    }
    queue.erase(it);
    return true;
}

void CRoomMic::OnGrab(tagRoomRequest& r) {
    CRoom& room = *r.room;
    tagMicState& mic = room.Mic();
    const QString& id = r.member->id;
    const int mode = room.Record().micMode;
    if (mode == MODE_OPERATOR || r.member->grabForbidden) {
        r.Refuse(REFUSE_FORBIDDEN);
        return;
    }
    if (Same(mic.main, id) || Same(mic.second, id)) {
        r.Refuse(REFUSE_ON_MIC);
        return;
    }
    if (mode == MODE_GRAB) {
        if (!mic.main.isEmpty()) {
            r.Refuse(REFUSE_MIC_NOT_DUE);
            return;
        }
        r.Answer();
        GiveMain(room, id, false);
        return;
    }
    if (std::any_of(mic.queue.begin(), mic.queue.end(),
                    [&](const QString& q) { return Same(q, id); })) {
        r.Refuse(REFUSE_USER_EXISTS);
        return;
    }
    r.Answer();
    if (mic.main.isEmpty() && mic.queue.empty()) {
        GiveMain(room, id, false);
        return;
    }
    mic.queue.push_back(id);
    CKParam joined = MakePacket(CMD_QUEUE_JOINED);
    joined.SetCString(QueueJoinedKey::MEMBER, id);
    joined.SetShortInt(QueueJoinedKey::WHERE, 0);
    room.Broadcast(joined);
}

void CRoomMic::OnRelease(tagRoomRequest& r) {
    CRoom& room = *r.room;
    const QString& id = r.member->id;
    if (Same(room.Mic().main, id)) {
        r.Answer();
        FreeMain(room);
        AdvanceQueue(room);
        return;
    }
    if (RemoveFromQueue(room, id)) {
        r.Answer();
        CKParam changed = MakePacket(CMD_QUEUE_CHANGED);
        changed.SetCString(QueueChangedKey::MEMBER, id);
        changed.SetInt(QueueChangedKey::UP, 0);
        changed.SetCString(QueueChangedKey::BY, id);
        room.Broadcast(changed);
        return;
    }
    r.Refuse(REFUSE_BAD_OPERATION);
}

void CRoomMic::OnReleaseSecond(tagRoomRequest& r) {
    if (!Same(r.room->Mic().second, r.member->id)) {
        r.Refuse(REFUSE_BAD_OPERATION);
        return;
    }
    r.Answer();
    FreeSecond(*r.room);
}

void CRoomMic::OnHand(tagRoomRequest& r) {
    if (!RequireManager(r)) {
        return;
    }
    CRoom& room = *r.room;
    CRoomMember* target = room.Find(r.packet.TextOr(HandMicKey::MEMBER));
    if (!target) {
        r.Refuse(REFUSE_BAD_USER);
        return;
    }
    if (Same(room.Mic().main, target->id) || Same(room.Mic().second, target->id)) {
        r.Refuse(REFUSE_ON_MIC);
        return;
    }
    r.Answer();
    FreeMain(room);
    const bool fromQueue = RemoveFromQueue(room, target->id);
    CKParam handed = MakePacket(CMD_MIC_HANDED);
    handed.SetCString(MicHandedKey::MEMBER, target->id);
    handed.SetCString(MicHandedKey::BY, r.member->id);
    handed.SetBoolean(MicHandedKey::FLAG_40, true);
    room.Broadcast(handed);
    GiveMain(room, target->id, fromQueue);
}

void CRoomMic::OnHandSecond(tagRoomRequest& r) {
    if (!RequireManager(r)) {
        return;
    }
    CRoom& room = *r.room;
    CRoomMember* target = room.Find(r.packet.TextOr(HandSecondMicKey::MEMBER));
    if (!target) {
        r.Refuse(REFUSE_BAD_USER);
        return;
    }
    if (!room.Mic().secondAllowed) {
        r.Refuse(REFUSE_FORBIDDEN);
        return;
    }
    if (Same(room.Mic().main, target->id) || Same(room.Mic().second, target->id)) {
        r.Refuse(REFUSE_ON_MIC);
        return;
    }
    r.Answer();
    FreeSecond(room);
    RemoveFromQueue(room, target->id);
    CKParam handed = MakePacket(CMD_SECOND_MIC_HANDED);
    handed.SetCString(SecondMicHandedKey::MEMBER, target->id);
    handed.SetCString(SecondMicHandedKey::BY, r.member->id);
    handed.SetBoolean(SecondMicHandedKey::FLAG_40, true);
    room.Broadcast(handed);
    GiveSecond(room, target->id);
}

void CRoomMic::OnTakeBack(tagRoomRequest& r) {
    if (!RequireManager(r)) {
        return;
    }
    CRoom& room = *r.room;
    const QString id = r.packet.TextOr(TakeBackMicKey::MEMBER);
    const bool onMain = Same(room.Mic().main, id);
    const bool onSecond = Same(room.Mic().second, id);
    if (!onMain && !onSecond) {
        r.Refuse(REFUSE_BAD_OPERATION);
        return;
    }
    r.Answer();
    CKParam taken = MakePacket(CMD_MIC_TAKEN_BACK);
    taken.SetCString(MicTakenBackKey::MEMBER, onMain ? room.Mic().main : room.Mic().second);
    taken.SetCString(MicTakenBackKey::BY, r.member->id);
    taken.SetBoolean(MicTakenBackKey::FLAG_40, true);
    room.Broadcast(taken);
    if (onMain) {
        FreeMain(room);
        AdvanceQueue(room);
    } else {
        FreeSecond(room);
    }
}

void CRoomMic::OnExtend(tagRoomRequest& r) {
    if (!RequireManager(r)) {
        return;
    }
    CRoom& room = *r.room;
    tagMicState& mic = room.Mic();
    const QString id = r.packet.TextOr(ExtendMicKey::MEMBER);
    const int64_t turn = static_cast<int64_t>(room.Record().micSeconds) * 1000;
    if (Same(mic.main, id) && mic.mainDueMs) {
        mic.mainDueMs += turn;
    } else if (Same(mic.second, id) && mic.secondDueMs) {
        mic.secondDueMs += turn;
    } else {
        r.Refuse(REFUSE_BAD_OPERATION);
        return;
    }
    r.Answer();
    CKParam extended = MakePacket(CMD_MIC_EXTENDED);
    extended.SetCString(MicExtendedKey::MEMBER, Same(mic.main, id) ? mic.main : mic.second);
    extended.SetCString(MicExtendedKey::BY, r.member->id);
    room.Broadcast(extended);
}

void CRoomMic::OnQueueControl(tagRoomRequest& r) {
    if (!RequireManager(r)) {
        return;
    }
    CRoom& room = *r.room;
    const int up = r.packet.IntOr(QueueControlKey::UP, 0);
    const QString id = r.packet.TextOr(QueueControlKey::MEMBER);
    auto& queue = room.Mic().queue;
    auto it =
        std::find_if(queue.begin(), queue.end(), [&](const QString& q) { return Same(q, id); });
    if (it == queue.end()) {
        r.Refuse(REFUSE_BAD_OPERATION);
        return;
    }
    const QString member = *it;
    queue.erase(it);
    if (up == 1) {
        queue.push_front(member);
    }
    r.Answer();
    CKParam changed = MakePacket(CMD_QUEUE_CHANGED);
    changed.SetCString(QueueChangedKey::MEMBER, member);
    changed.SetInt(QueueChangedKey::UP, up == 1 ? 1 : 0);
    changed.SetCString(QueueChangedKey::BY, r.member->id);
    room.Broadcast(changed);
}

void CRoomMic::OnSecondControl(tagRoomRequest& r) {
    if (!RequireManager(r)) {
        return;
    }
    CRoom& room = *r.room;
    const bool allow = r.packet.IntOr(SecondMicControlKey::ALLOW, 0) != 0;
    const int which = r.packet.IntOr(SecondMicControlKey::WHICH, 2);
    if (which < 1 || which > 3) {
        r.Refuse(REFUSE_BAD_PARAMETER);
        return;
    }
    room.Mic().secondAllowed = allow;
    // Allowing the second microphone lets both holders be heard at once.
    room.Record().dualMic = allow;
    r.Answer();
    CKParam changed = MakePacket(CMD_SECOND_MIC_CONTROL_CHANGED);
    changed.SetCString(SecondMicControlChangedKey::BY, r.member->id);
    changed.SetInt(SecondMicControlChangedKey::ALLOW, allow ? 1 : 0);
    changed.SetInt(SecondMicControlChangedKey::WHICH, which);
    room.Broadcast(changed);
    if (!allow) {
        FreeSecond(room);
    }
    SaveMicSettings(room);
}

void CRoomMic::OnMode(tagRoomRequest& r) {
    if (!RequireManager(r)) {
        return;
    }
    CRoom& room = *r.room;
    const int mode = r.packet.IntOr(MicModeKey::MODE, -1);
    if (mode < MODE_GRAB || mode > MODE_OPERATOR) {
        r.Refuse(REFUSE_BAD_PARAMETER);
        return;
    }
    const bool forced = mode == MODE_QUEUE && r.packet.IntOr(MicModeKey::FORCED, 0) == 1;
    tagRoomRecord& record = room.Record();
    tagMicState& mic = room.Mic();
    record.micMode = mode;
    record.micForced = forced;
    if (mode != MODE_QUEUE) {
        mic.queue.clear();
    }
    mic.floor.clear();
    // Turns in progress follow the new mode's rule from now on.
    mic.mainDueMs = mic.main.isEmpty() ? 0 : TurnEnd(room);
    mic.secondDueMs = mic.second.isEmpty() ? 0 : TurnEnd(room);
    UpdateTimer(room);
    r.Answer();
    CKParam changed = MakePacket(CMD_MIC_MODE_CHANGED);
    changed.SetCString(MicModeChangedKey::BY, r.member->id);
    changed.SetInt(MicModeChangedKey::MODE, mode);
    changed.SetInt(MicModeChangedKey::FORCED, forced ? 1 : 0);
    room.Broadcast(changed);
    SaveMicSettings(room);
}

void CRoomMic::OnTime(tagRoomRequest& r) {
    if (!RequireManager(r)) {
        return;
    }
    const int seconds = r.packet.IntOr(MicTimeKey::SECONDS, 0);
    if (seconds < kShortestTurnSeconds) {
        r.Refuse(REFUSE_MIC_TIME_TOO_SHORT);
        return;
    }
    if (seconds > kLongestTurnSeconds) {
        r.Refuse(REFUSE_MIC_TIME_TOO_LONG);
        return;
    }
    CRoom& room = *r.room;
    room.Record().micSeconds = seconds;
    r.Answer();
    CKParam changed = MakePacket(CMD_MIC_TIME_CHANGED);
    changed.SetCString(MicTimeChangedKey::BY, r.member->id);
    changed.SetInt(MicTimeChangedKey::SECONDS, seconds);
    room.Broadcast(changed);
    SaveMicSettings(room);
}

void CRoomMic::OnQueue(tagRoomRequest& r) {
    const auto& queue = r.room->Mic().queue;
    CKParam reply = r.Reply();
    const int n = static_cast<int>(std::min<size_t>(queue.size(), 500));
    reply.SetInt(MicQueueReplyKey::COUNT, n);
    for (int i = 0; i < n; ++i) {
        reply.SetCString(static_cast<short>(MicQueueReplyKey::FIRST_MEMBER + i),
                         queue[static_cast<size_t>(i)]);
    }
    r.peer.Send(reply);
}

void CRoomMic::OnDeparture(CRoom& room, CRoomMember& member) {
    tagMicState& mic = room.Mic();
    RemoveFromQueue(room, member.id);
    if (Same(mic.main, member.id)) {
        FreeMain(room);
        AdvanceQueue(room);
    }
    if (Same(mic.second, member.id)) {
        FreeSecond(room);
    }
    if (Same(mic.floor, member.id)) {
        mic.floor.clear();
    }
}

void CRoomMic::OnRoomTimer(CRoom& room, unsigned id) {
    if (id != TIMER_TURNS) {
        return;
    }
    tagMicState& mic = room.Mic();
    const int64_t now = CClock::Get().UptimeMs();
    if (mic.mainDueMs && now >= mic.mainDueMs) {
        FreeMain(room);
        AdvanceQueue(room);
    }
    if (mic.secondDueMs && now >= mic.secondDueMs) {
        FreeSecond(room);
    }
    UpdateTimer(room);
}

void CRoomMic::SaveMicSettings(CRoom& room) {
    // The live room's other settings may be newer in the database; only these are ours.
    auto stored = m_server.Store().Room(room.Number());
    if (!stored) {
        return;
    }
    stored->micMode = room.Record().micMode;
    stored->micForced = room.Record().micForced;
    stored->micSeconds = room.Record().micSeconds;
    stored->dualMic = room.Record().dualMic;
    m_server.Store().UpdateRoom(*stored);
}
