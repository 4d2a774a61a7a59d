#include "server/RoomRelay.h"

#include "protocol/Commands.h"
#include "protocol/keys/AudioKeys.h"
#include "protocol/keys/VideoKeys.h"
#include "server/Packets.h"
#include "server/RoomWatch.h"

#include <QStringList>

namespace {

bool Same(const QString& a, const QString& b) {
    return !a.isEmpty() && a.compare(b, Qt::CaseInsensitive) == 0;
}

// Copies a bytes field; false when the packet has none.
bool CopyBytes(const CKParam& from, short key, CKParam& to, short toKey) {
    char* data = nullptr;
    unsigned short n = 0;
    if (from.GetCharNC(key, &data, n) != 0) {
        return false;
    }
    to.SetChar(toKey, data, n);
    return true;
}

}  // namespace

CRoomRelay::CRoomRelay(CRoomServer& server) : CRoomFeature(server) {
    // Clients send media on the second connection; a main connection inside a room may too.
    for (CRoomRegistry* port : {&server.MainRequests(), &server.SecondRequests()}) {
        port->On(CMD_AUDIO, EStage::Entered, this, &CRoomRelay::OnAudio);
        port->On(CMD_VIDEO, EStage::Entered, this, &CRoomRelay::OnVideo);
    }
    // The rest of the media requests ask for what this service does not do: who hears the
    // room and snapshots.
    CRoomRegistry& main = server.MainRequests();
    for (short code : {CMD_AUDIO_CONTROL, CMD_SNAPSHOT_CONTROL}) {
        main.NotOffered(code, EStage::Entered);
    }
}

void CRoomRelay::OnAudio(tagRoomRequest& r) {
    if (!r.room || !r.member) {
        return;
    }
    const tagMicState& mic = r.room->Mic();
    const QString& sender = r.member->id;
    const int index = r.packet.IntOr(AudioKey::MIC, 1);
    // Only a holder speaks: someone who just lost the microphone may still send a block or two.
    const bool allowed = (index == 1 && (Same(mic.main, sender) || Same(mic.floor, sender))) ||
                         (index == 2 && (Same(mic.second, sender) || Same(mic.floor, sender)));
    if (!allowed) {
        return;
    }
    CKParam relay = MakePacket(CMD_AUDIO);
    relay.SetInt(AudioKey::MIC, index);
    relay.SetInt(AudioKey::METER, r.packet.IntOr(AudioKey::METER, 0));
    relay.SetInt(AudioKey::QUALITY, r.packet.IntOr(AudioKey::QUALITY, 0));
    if (!CopyBytes(r.packet, AudioKey::PAYLOAD, relay, AudioKey::PAYLOAD)) {
        static const char kNothing = 0;
        relay.SetChar(AudioKey::PAYLOAD, &kNothing, 0);
    }
    relay.SetCString(AudioKey::SENDER, sender);
    relay.SetInt(AudioKey::ROOM, r.room->Number());
    r.room->BroadcastMedia(relay, r.member);
    ++m_relayed;
}

void CRoomRelay::OnVideo(tagRoomRequest& r) {
    if (!r.room || !r.member) {
        return;
    }
    const tagMicState& mic = r.room->Mic();
    const QString& sender = r.member->id;
    const int slot = r.packet.IntOr(VideoKey::SLOT, -1);
    if ((slot == 1 && !Same(mic.main, sender)) || (slot == 2 && !Same(mic.second, sender)) ||
        slot < 0 || slot > 2 || (slot != 0 && !r.room->VideoAllowed())) {
        return;
    }
    const QString viewers = r.packet.TextOr(VideoKey::VIEWERS);
    // Without a slot a picture needs somebody to go to.
    if (slot == 0 && (viewers.isEmpty() || r.member->watchers.isEmpty())) {
        return;
    }
    CKParam relay = MakePacket(CMD_VIDEO);
    relay.SetInt(VideoKey::SLOT, slot);
    relay.SetInt(VideoKey::ONE, r.packet.IntOr(VideoKey::ONE, 1));
    relay.SetBoolean(VideoKey::KEY_FRAME, r.packet.BoolOr(VideoKey::KEY_FRAME, false));
    if (!CopyBytes(r.packet, VideoKey::FRAME, relay, VideoKey::FRAME)) {
        return;
    }
    relay.SetCString(VideoKey::SENDER, sender);
    relay.SetCString(VideoKey::VIEWERS, slot == 0 ? viewers : QString());
    relay.SetInt(VideoKey::ROOM, r.room->Number());
    if (slot != 0) {
        r.room->BroadcastMedia(relay, r.member);
        ++m_relayed;
        return;
    }
    // A private picture goes only to the members it names who were let watch, each once.
    QStringList sent;
    const CSharedPacket shared(relay);
    for (const QString& id : viewers.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        CRoomMember* viewer = r.room->Find(id.trimmed());
        if (!viewer || viewer == r.member || !viewer->second || sent.contains(viewer->id) ||
            !CRoomWatch::Watches(*r.member, viewer->id)) {
            continue;
        }
        sent.push_back(viewer->id);
        viewer->second->SendShared(shared, true);
        // A list longer than a room could hold is somebody's mistake, not a reason to loop.
        if (sent.size() >= 64) {
            break;
        }
    }
    ++m_relayed;
}
