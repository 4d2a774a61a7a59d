#include "server/RoomWatch.h"

#include "protocol/Commands.h"
#include "protocol/Refusal.h"
#include "protocol/keys/VideoKeys.h"
#include "server/Packets.h"

namespace {

bool Same(const QString& a, const QString& b) {
    return !a.isEmpty() && a.compare(b, Qt::CaseInsensitive) == 0;
}

// A member watches one member at a time; the list of a watched member is never longer than
// a room, and a request that would make it longer is somebody's mistake.
constexpr int kMostViewers = 64;

}  // namespace

CRoomWatch::CRoomWatch(CRoomServer& server) : CRoomFeature(server) {
    CRoomRegistry& main = server.MainRequests();
    main.On(CMD_VIDEO_REQUEST, EStage::Entered, this, &CRoomWatch::OnVideoRequest);
    main.On(CMD_VIDEO_STATE, EStage::Entered, this, &CRoomWatch::OnVideoState);
    main.On(CMD_WATCH, EStage::Entered, this, &CRoomWatch::OnWatch);
    main.On(CMD_WATCH_ANSWER, EStage::Entered, this, &CRoomWatch::OnWatchAnswer);
}

bool CRoomWatch::Watches(const CRoomMember& watched, const QString& viewer) {
    for (const QString& id : watched.watchers) {
        if (Same(id, viewer)) {
            return true;
        }
    }
    return false;
}

void CRoomWatch::AskKeyFrame(const CRoomMember* holder) {
    if (!holder || !holder->main) {
        return;
    }
    CKParam ask = MakePacket(CMD_VIDEO_PARAMS);
    ask.SetInt(VideoParamsKey::ASK, 1);
    holder->main->Send(ask);
}

void CRoomWatch::OnVideoRequest(tagRoomRequest& r) {
    if (!r.room->VideoAllowed()) {
        r.Refuse(REFUSE_VIDEO_LOCKED);
        return;
    }
    const tagMicState& mic = r.room->Mic();
    const int slot = Same(mic.main, r.member->id) ? 1 : Same(mic.second, r.member->id) ? 2 : 0;
    CKParam reply = r.Reply();
    reply.SetInt(VideoRequestReplyKey::SLOT, slot);
    reply.SetInt(VideoRequestReplyKey::ALLOWED, 1);
    r.peer.Send(reply);
}

void CRoomWatch::OnVideoState(tagRoomRequest& r) {
    const int state = r.packet.IntOr(VideoStateKey::STATE, 0);
    r.member->videoState = state;
    r.Answer();
    CKParam changed = MakePacket(CMD_VIDEO_STATE_CHANGED);
    changed.SetInt(VideoStateKey::STATE, state);
    changed.SetCString(VideoStateKey::MEMBER, r.member->id);
    r.room->Broadcast(changed);
    // Without a camera to watch, whoever watched is told it is over.
    if (state == 0) {
        const QStringList viewers = r.member->watchers;
        for (const QString& viewer : viewers) {
            EndWatching(*r.room, *r.member, viewer, 0);
        }
    }
}

void CRoomWatch::OnWatch(tagRoomRequest& r) {
    CRoomMember* watched = r.room->Find(r.packet.TextOr(WatchKey::MEMBER));
    if (!watched || watched == r.member) {
        r.Refuse(REFUSE_BAD_USER);
        return;
    }
    // The watched member's own setting decides: only a member who announced a camera is
    // watched.
    if (watched->videoState == 0) {
        r.Refuse(REFUSE_NO_VIDEO);
        return;
    }
    if (!Watches(*watched, r.member->id) && watched->watchers.size() >= kMostViewers) {
        r.Refuse(REFUSE_FORBIDDEN);
        return;
    }
    // One picture at a time: whom the viewer watched before lets him go.
    if (!r.member->watching.isEmpty() && !Same(r.member->watching, watched->id)) {
        if (CRoomMember* before = r.room->Find(r.member->watching)) {
            before->watchers.removeIf([&](const QString& id) { return Same(id, r.member->id); });
        }
    }
    r.member->watching = watched->id;
    if (!Watches(*watched, r.member->id)) {
        watched->watchers.push_back(r.member->id);
    }
    CKParam asked = MakePacket(CMD_WATCH_ASKED);
    asked.SetCString(WatchAskedKey::VIEWER, r.member->id);
    if (watched->main) {
        watched->main->Send(asked);
    }
    CKParam reply = r.Reply();
    reply.SetCString(WatchReplyKey::MEMBER, watched->id);
    r.peer.Send(reply);
    AskKeyFrame(watched);
}

void CRoomWatch::OnWatchAnswer(tagRoomRequest& r) {
    const QString viewer = r.packet.TextOr(WatchAnswerKey::VIEWER);
    if (r.packet.IntOr(WatchAnswerKey::RESULT, 0) != -1 || !Watches(*r.member, viewer)) {
        return;
    }
    const int refusal = r.packet.IntOr(WatchAnswerKey::REFUSAL, REFUSE_NO_VIDEO);
    EndWatching(*r.room, *r.member, viewer, refusal ? refusal : REFUSE_NO_VIDEO);
}

void CRoomWatch::EndWatching(CRoom& room, CRoomMember& watched, const QString& viewer,
                             int refusal) {
    watched.watchers.removeIf([&](const QString& id) { return Same(id, viewer); });
    CRoomMember* member = room.Find(viewer);
    if (!member || !Same(member->watching, watched.id)) {
        return;
    }
    member->watching.clear();
    CKParam ended = refusal ? MakeRefusal(CMD_WATCH_ENDED, refusal) : MakeReply(CMD_WATCH_ENDED);
    if (member->main) {
        member->main->Send(ended);
    }
}

void CRoomWatch::OnDeparture(CRoom& room, CRoomMember& member) {
    for (const QString& viewer : member.watchers) {
        CRoomMember* watcher = room.Find(viewer);
        if (watcher && Same(watcher->watching, member.id) && watcher->main) {
            watcher->watching.clear();
            watcher->main->Send(MakeReply(CMD_WATCH_ENDED));
        }
    }
    if (!member.watching.isEmpty()) {
        if (CRoomMember* watched = room.Find(member.watching)) {
            watched->watchers.removeIf([&](const QString& id) { return Same(id, member.id); });
        }
    }
}

void CRoomWatch::OnAttached(CRoom& room, CRoomMember& member) {
    // A newcomer sees the public pictures from the next frame rather than the next key frame.
    const tagMicState& mic = room.Mic();
    for (const QString& holder : {mic.main, mic.second}) {
        CRoomMember* m = holder.isEmpty() ? nullptr : room.Find(holder);
        if (m && m != &member) {
            AskKeyFrame(m);
        }
    }
}
