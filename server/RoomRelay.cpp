#include "server/RoomRelay.h"

#include "protocol/Commands.h"
#include "server/Packets.h"

#include <QStringList>

namespace {

enum : short { KEY_ROOM = 70 };

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
    server.Handle(CMD_AUDIO, EStage::Entered, [this](tagRoomRequest& r) { OnAudio(r); });
    server.Handle(CMD_VIDEO, EStage::Entered, [this](tagRoomRequest& r) { OnVideo(r); });
    server.HandleSecond(CMD_AUDIO, [this](tagRoomRequest& r) { OnAudio(r); });
    server.HandleSecond(CMD_VIDEO, [this](tagRoomRequest& r) { OnVideo(r); });
}

void CRoomRelay::OnAudio(tagRoomRequest& r) {
    if (!r.room || !r.member) {
        return;
    }
    const tagMicState& mic = r.room->Mic();
    const QString& sender = r.member->id;
    const int index = r.packet.IntOr(20, 1);
    // Only a holder speaks: someone who just lost the microphone may still send a block or two.
    const bool allowed = (index == 1 && (Same(mic.main, sender) || Same(mic.floor, sender))) ||
                         (index == 2 && (Same(mic.second, sender) || Same(mic.floor, sender)));
    if (!allowed) {
        return;
    }
    CKParam relay = MakePacket(CMD_AUDIO);
    relay.SetInt(20, index);
    relay.SetInt(50, r.packet.IntOr(50, 0));
    relay.SetInt(30, r.packet.IntOr(30, 0));
    if (!CopyBytes(r.packet, 40, relay, 40)) {
        static const char kNothing = 0;
        relay.SetChar(40, &kNothing, 0);
    }
    relay.SetCString(60, sender);
    relay.SetInt(KEY_ROOM, r.room->Number());
    r.room->BroadcastMedia(relay, r.member);
    ++m_relayed;
}

void CRoomRelay::OnVideo(tagRoomRequest& r) {
    if (!r.room || !r.member) {
        return;
    }
    const tagMicState& mic = r.room->Mic();
    const QString& sender = r.member->id;
    const int slot = r.packet.IntOr(20, -1);
    if ((slot == 1 && !Same(mic.main, sender)) || (slot == 2 && !Same(mic.second, sender)) ||
        slot < 0 || slot > 2) {
        return;
    }
    const QString viewers = r.packet.TextOr(80);
    CKParam relay = MakePacket(CMD_VIDEO);
    relay.SetInt(20, slot);
    relay.SetInt(30, r.packet.IntOr(30, 1));
    relay.SetBoolean(40, r.packet.BoolOr(40, false));
    if (!CopyBytes(r.packet, 50, relay, 50)) {
        return;
    }
    relay.SetCString(60, sender);
    relay.SetCString(80, slot == 0 ? viewers : QString());
    relay.SetInt(KEY_ROOM, r.room->Number());
    if (slot != 0) {
        r.room->BroadcastMedia(relay, r.member);
        ++m_relayed;
        return;
    }
    // A private picture goes only to the members it names, each once.
    QStringList sent;
    for (const QString& id : viewers.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        CRoomMember* viewer = r.room->Find(id.trimmed());
        if (!viewer || viewer == r.member || !viewer->second || sent.contains(viewer->id)) {
            continue;
        }
        sent.push_back(viewer->id);
        viewer->second->Send(relay, true);
        // A list longer than a room could hold is somebody's mistake, not a reason to loop.
        if (sent.size() >= 64) {
            break;
        }
    }
    ++m_relayed;
}
