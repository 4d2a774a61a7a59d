// Room video packets (470) from the room server: the room's receive routine vets each one,
// runs the loss rule and hands the frame's H.264 bytes to the decoder of its picture. The
// input is a run of chunks, two bytes of length and then either a whole packet or, when the
// chunk is no video packet, the H.264 bytes of a frame that the target wraps into a packet of
// video 1 from its holder, so that garbage reaches the decoder as often as the checks.

#include "core/AppState.h"
#include "fuzz/FuzzRoomHost.h"
#include "platform/Clock.h"
#include "protocol/Commands.h"
#include "protocol/KParam.h"
#include "protocol/keys/MicKeys.h"
#include "protocol/keys/VideoKeys.h"
#include "room/ChatSocket.h"
#include "room/RoomDlg.h"
#include "room/RoomVideo.h"
#include "room/RoomView.h"
#include "video/VideoServerH264.h"

#include <QCoreApplication>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

// Pictures that must arrive whole: a picture of the wrong size or short bytes is a fault.
class CCheckedSurface : public IVideoSurface {
public:
    void DrawPicture(const tagVideoPicture& p) override {
        if (!p.IsWhole() || p.width > 4096 || p.height > 4096) {
            std::abort();
        }
    }
};

class CView : public CNullRoomView {
public:
    IVideoSurface* VideoSurface(int) override { return &m_surface; }

private:
    CCheckedSurface m_surface;
};

struct tagWorld {
    tagWorld() {
        static int argc = 1;
        static char name[] = "fuzz_video_receive";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QCoreApplication>(argc, argv);
        state.account.loginName = QStringLiteral("me");
        state.clientVersion = 1828;
        CClock::Slot().Install(&clock);
        CAppState::Slot().Install(&state);
        room = std::make_unique<CRoomDlg>(host);
        room->SetViews(&view, nullptr, nullptr);
        video = &CRoomVideo::Install(*room);
        tagEntryData entry;
        entry.room = 1001;
        room->Open(entry);
        video->Receiving().OpenVideo(VIDEO_1);
        video->Receiving().OpenVideo(VIDEO_2);
        video->Receiving().OpenPrivateViewer(QStringLiteral("amy"));
        for (short which : {short{1}, short{2}}) {
            CKParam taken;
            taken.SetShortInt(KEY_COMMAND, CMD_MIC_TAKEN);
            taken.SetCString(MicTakenKey::HOLDER,
                             which == 1 ? QStringLiteral("amy") : QStringLiteral("bob"));
            taken.SetShortInt(MicTakenKey::WHICH, which);
            room->DispatchPacket(taken);
        }
    }

    std::unique_ptr<QCoreApplication> app;
    CSystemClock clock;
    CAppState state;
    CFuzzRoomHost host;
    CView view;
    std::unique_ptr<CRoomDlg> room;
    CRoomVideo* video = nullptr;
};

tagWorld& World() {
    static tagWorld world;
    return world;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tagWorld& w = World();
    int number = 0;
    size_t at = 0;
    while (at + 2 <= size) {
        const size_t n = std::min<size_t>(data[at] | (data[at + 1] << 8), size - at - 2);
        const char* chunk = reinterpret_cast<const char*>(data + at + 2);
        at += 2 + n;
        CKParam packet;
        if (packet.SetBufferPtr(chunk, static_cast<int>(n)) == 0 && packet.Command() == CMD_VIDEO) {
            w.room->DispatchPacket(packet);
            continue;
        }
        // The bytes as a frame: the first byte says whether it is a key frame.
        const bool key = n > 0 && (chunk[0] & 1);
        const QByteArray frame = CVideoServerH264::FramePacket(
            176, key, ++number, QByteArray(chunk, static_cast<int>(n)));
        CKParam wrapped;
        wrapped.SetShortInt(KEY_COMMAND, CMD_VIDEO);
        wrapped.SetInt(VideoKey::SLOT, 1);
        wrapped.SetInt(VideoKey::ONE, 1);
        wrapped.SetBoolean(VideoKey::KEY_FRAME, key);
        wrapped.SetChar(VideoKey::FRAME, frame.constData(),
                        static_cast<unsigned short>(frame.size()));
        wrapped.SetCString(VideoKey::SENDER, QStringLiteral("amy"));
        wrapped.SetCString(VideoKey::VIEWERS, QString());
        wrapped.SetInt(VideoKey::ROOM, 1001);
        w.room->DispatchPacket(wrapped);
    }
    return 0;
}
