#include "server/RoomMic.h"

#include "platform/Clock.h"
#include "protocol/Commands.h"
#include "protocol/Refusal.h"
#include "protocol/keys/MicKeys.h"
#include "server/Packets.h"
#include "server/RoomChange.h"

#include <algorithm>

namespace {

enum : int { MODE_GRAB = 0, MODE_QUEUE = 1, MODE_OPERATOR = 2 };
enum : short { MIC_MAIN = 1, MIC_SECOND = 2 };
constexpr int kShortestTurnSeconds = 11;
constexpr int kLongestTurnSeconds = 3600;
// Managers hand the microphone out and set its rules; anyone else is refused outright.
constexpr tagChangeRule kManagers{RANK_OPERATOR, REFUSE_FORBIDDEN};

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

// A member acted on by a manager (402, 405, 412, 602).
CKParam MicAction(short command, const QString& member, const QString& by, bool flag40) {
    CKParam p = MakePacket(command);
    p.SetCString(MicHandedKey::MEMBER, member);
    p.SetCString(MicHandedKey::BY, by);
    if (flag40) {
        p.SetBoolean(MicHandedKey::FLAG_40, true);
    }
    return p;
}

CKParam QueueChanged(const QString& member, bool up, const QString& by) {
    CKParam p = MakePacket(CMD_QUEUE_CHANGED);
    p.SetCString(QueueChangedKey::MEMBER, member);
    p.SetInt(QueueChangedKey::UP, up ? 1 : 0);
    p.SetCString(QueueChangedKey::BY, by);
    return p;
}

}  // namespace

CRoomMic::CRoomMic(CRoomServer& server) : CRoomFeature(server) {
    CRoomRegistry& main = server.MainRequests();
    main.On(CMD_GRAB_MIC, EStage::Entered, this, &CRoomMic::OnGrab);
    main.On(CMD_RELEASE_MIC, EStage::Entered, this, &CRoomMic::OnRelease);
    main.On(CMD_RELEASE_SECOND_MIC, EStage::Entered, this, &CRoomMic::OnReleaseSecond);
    main.On(CMD_HAND_MIC, EStage::Entered, this, &CRoomMic::OnHand);
    main.On(CMD_HAND_SECOND_MIC, EStage::Entered, this, &CRoomMic::OnHandSecond);
    main.On(CMD_TAKE_BACK_MIC, EStage::Entered, this, &CRoomMic::OnTakeBack);
    main.On(CMD_EXTEND_MIC, EStage::Entered, this, &CRoomMic::OnExtend);
    main.On(CMD_QUEUE_CONTROL, EStage::Entered, this, &CRoomMic::OnQueueControl);
    main.On(CMD_SECOND_MIC_CONTROL, EStage::Entered, this, &CRoomMic::OnSecondControl);
    main.On(CMD_MIC_MODE, EStage::Entered, this, &CRoomMic::OnMode);
    main.On(CMD_MIC_TIME, EStage::Entered, this, &CRoomMic::OnTime);
    main.On(CMD_MIC_QUEUE, EStage::Entered, this, &CRoomMic::OnQueue);
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

int CRoomMic::GrabRefusal(const tagRoomRequest& r) const {
    const tagMicState& mic = r.room->Mic();
    const QString& id = r.member->id;
    const int mode = r.room->Record().micMode;
    if (mode == MODE_OPERATOR || r.member->grabForbidden) {
        return REFUSE_FORBIDDEN;
    }
    if (Same(mic.main, id) || Same(mic.second, id)) {
        return REFUSE_ON_MIC;
    }
    if (mode == MODE_GRAB) {
        return mic.main.isEmpty() ? 0 : REFUSE_MIC_NOT_DUE;
    }
    const bool waiting = std::any_of(mic.queue.begin(), mic.queue.end(),
                                     [&](const QString& q) { return Same(q, id); });
    return waiting ? REFUSE_USER_EXISTS : 0;
}

void CRoomMic::OnGrab(tagRoomRequest& r) {
    CRoom& room = *r.room;
    tagMicState& mic = room.Mic();
    const QString& id = r.member->id;
    const auto change = [&] { return GrabRefusal(r); };
    AnnounceChange(r, kAnyoneInside, change, [&]() -> std::optional<CKParam> {
        // A free microphone is taken at once; otherwise the member lines up.
        if (room.Record().micMode == MODE_GRAB || (mic.main.isEmpty() && mic.queue.empty())) {
            GiveMain(room, id, false);
            return std::nullopt;
        }
        mic.queue.push_back(id);
        CKParam joined = MakePacket(CMD_QUEUE_JOINED);
        joined.SetCString(QueueJoinedKey::MEMBER, id);
        joined.SetShortInt(QueueJoinedKey::WHERE, 0);
        return joined;
    });
}

void CRoomMic::OnRelease(tagRoomRequest& r) {
    CRoom& room = *r.room;
    const QString& id = r.member->id;
    const bool holder = Same(room.Mic().main, id);
    // Leaving the queue is a release too.
    const auto change = [&]() -> int {
        return holder || RemoveFromQueue(room, id) ? 0 : REFUSE_BAD_OPERATION;
    };
    AnnounceChange(r, kAnyoneInside, change, [&]() -> std::optional<CKParam> {
        if (!holder) {
            return QueueChanged(id, false, id);
        }
        FreeMain(room);
        AdvanceQueue(room);
        return std::nullopt;
    });
}

void CRoomMic::OnReleaseSecond(tagRoomRequest& r) {
    const auto change = [&]() -> int {
        return Same(r.room->Mic().second, r.member->id) ? 0 : REFUSE_BAD_OPERATION;
    };
    AnnounceChange(r, kAnyoneInside, change, [&]() -> std::optional<CKParam> {
        FreeSecond(*r.room);
        return std::nullopt;
    });
}

int CRoomMic::HandRefusal(CRoom& room, const QString& id, bool second, CRoomMember*& target) const {
    target = room.Find(id);
    if (!target) {
        return REFUSE_BAD_USER;
    }
    if (second && !room.Mic().secondAllowed) {
        return REFUSE_FORBIDDEN;
    }
    if (Same(room.Mic().main, target->id) || Same(room.Mic().second, target->id)) {
        return REFUSE_ON_MIC;
    }
    return 0;
}

void CRoomMic::OnHand(tagRoomRequest& r) {
    Hand(r, false);
}

void CRoomMic::OnHandSecond(tagRoomRequest& r) {
    Hand(r, true);
}

// Either microphone is handed the same way: the holder's turn ends, the room hears who hands
// it to whom, and the member takes it.
void CRoomMic::Hand(tagRoomRequest& r, bool second) {
    CRoom& room = *r.room;
    const QString id = r.packet.TextOr(HandMicKey::MEMBER);
    CRoomMember* target = nullptr;
    bool fromQueue = false;
    const auto change = [&] { return HandRefusal(room, id, second, target); };
    const bool handed = AnnounceChange(r, kManagers, change, [&] {
        if (second) {
            FreeSecond(room);
        } else {
            FreeMain(room);
        }
        fromQueue = RemoveFromQueue(room, target->id);
        const short announcement = second ? CMD_SECOND_MIC_HANDED : CMD_MIC_HANDED;
        return MicAction(announcement, target->id, r.member->id, true);
    });
    if (handed && second) {
        GiveSecond(room, target->id);
    } else if (handed) {
        GiveMain(room, target->id, fromQueue);
    }
}

void CRoomMic::OnTakeBack(tagRoomRequest& r) {
    CRoom& room = *r.room;
    const QString id = r.packet.TextOr(TakeBackMicKey::MEMBER);
    const bool onMain = Same(room.Mic().main, id);
    const bool onSecond = Same(room.Mic().second, id);
    const auto change = [&]() -> int { return onMain || onSecond ? 0 : REFUSE_BAD_OPERATION; };
    const bool taken = AnnounceChange(r, kManagers, change, [&] {
        const QString& holder = onMain ? room.Mic().main : room.Mic().second;
        return MicAction(CMD_MIC_TAKEN_BACK, holder, r.member->id, true);
    });
    if (taken && onMain) {
        FreeMain(room);
        AdvanceQueue(room);
    } else if (taken) {
        FreeSecond(room);
    }
}

void CRoomMic::OnExtend(tagRoomRequest& r) {
    tagMicState& mic = r.room->Mic();
    const QString id = r.packet.TextOr(ExtendMicKey::MEMBER);
    const auto change = [&]() -> int {
        const int64_t turn = static_cast<int64_t>(r.room->Record().micSeconds) * 1000;
        if (Same(mic.main, id) && mic.mainDueMs) {
            mic.mainDueMs += turn;
        } else if (Same(mic.second, id) && mic.secondDueMs) {
            mic.secondDueMs += turn;
        } else {
            return REFUSE_BAD_OPERATION;
        }
        return 0;
    };
    AnnounceChange(r, kManagers, change, [&] {
        const QString& holder = Same(mic.main, id) ? mic.main : mic.second;
        return MicAction(CMD_MIC_EXTENDED, holder, r.member->id, false);
    });
}

void CRoomMic::OnQueueControl(tagRoomRequest& r) {
    auto& queue = r.room->Mic().queue;
    const int up = r.packet.IntOr(QueueControlKey::UP, 0);
    const QString id = r.packet.TextOr(QueueControlKey::MEMBER);
    QString member;
    const auto change = [&]() -> int {
        auto it =
            std::find_if(queue.begin(), queue.end(), [&](const QString& q) { return Same(q, id); });
        if (it == queue.end()) {
            return REFUSE_BAD_OPERATION;
        }
        member = *it;
        queue.erase(it);
        if (up == 1) {
            queue.push_front(member);
        }
        return 0;
    };
    AnnounceChange(r, kManagers, change,
                   [&] { return QueueChanged(member, up == 1, r.member->id); });
}

void CRoomMic::OnSecondControl(tagRoomRequest& r) {
    CRoom& room = *r.room;
    const bool allow = r.packet.IntOr(SecondMicControlKey::ALLOW, 0) != 0;
    const int which = r.packet.IntOr(SecondMicControlKey::WHICH, 2);
    const auto change = [&]() -> int {
        if (which < 1 || which > 3) {
            return REFUSE_BAD_PARAMETER;
        }
        room.Mic().secondAllowed = allow;
        // Allowing the second microphone lets both holders be heard at once.
        room.Record().dualMic = allow;
        return 0;
    };
    const bool changed = AnnounceChange(r, kManagers, change, [&] {
        CKParam changed = MakePacket(CMD_SECOND_MIC_CONTROL_CHANGED);
        changed.SetCString(SecondMicControlChangedKey::BY, r.member->id);
        changed.SetInt(SecondMicControlChangedKey::ALLOW, allow ? 1 : 0);
        changed.SetInt(SecondMicControlChangedKey::WHICH, which);
        return changed;
    });
    if (!changed) {
        return;
    }
    if (!allow) {
        FreeSecond(room);
    }
    SaveMicSettings(room);
}

void CRoomMic::OnMode(tagRoomRequest& r) {
    CRoom& room = *r.room;
    const int mode = r.packet.IntOr(MicModeKey::MODE, -1);
    const bool forced = mode == MODE_QUEUE && r.packet.IntOr(MicModeKey::FORCED, 0) == 1;
    const auto change = [&]() -> int {
        if (mode < MODE_GRAB || mode > MODE_OPERATOR) {
            return REFUSE_BAD_PARAMETER;
        }
        SetMode(room, mode, forced);
        return 0;
    };
    const bool changed = AnnounceChange(r, kManagers, change, [&] {
        CKParam changed = MakePacket(CMD_MIC_MODE_CHANGED);
        changed.SetCString(MicModeChangedKey::BY, r.member->id);
        changed.SetInt(MicModeChangedKey::MODE, mode);
        changed.SetInt(MicModeChangedKey::FORCED, forced ? 1 : 0);
        return changed;
    });
    if (changed) {
        SaveMicSettings(room);
    }
}

void CRoomMic::SetMode(CRoom& room, int mode, bool forced) {
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
}

void CRoomMic::OnTime(tagRoomRequest& r) {
    const int seconds = r.packet.IntOr(MicTimeKey::SECONDS, 0);
    const auto change = [&]() -> int {
        if (seconds < kShortestTurnSeconds) {
            return REFUSE_MIC_TIME_TOO_SHORT;
        }
        if (seconds > kLongestTurnSeconds) {
            return REFUSE_MIC_TIME_TOO_LONG;
        }
        r.room->Record().micSeconds = seconds;
        return 0;
    };
    const bool changed = AnnounceChange(r, kManagers, change, [&] {
        CKParam changed = MakePacket(CMD_MIC_TIME_CHANGED);
        changed.SetCString(MicTimeChangedKey::BY, r.member->id);
        changed.SetInt(MicTimeChangedKey::SECONDS, seconds);
        return changed;
    });
    if (changed) {
        SaveMicSettings(*r.room);
    }
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
