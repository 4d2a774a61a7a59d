#include "room/PrivateVideo.h"

#include "protocol/Commands.h"
#include "protocol/KParam.h"
#include "protocol/keys/VideoKeys.h"
#include "room/PrivateRoomView.h"
#include "video/VideoProbe.h"

#include <memory>

namespace {
constexpr tagVideoRect kLarge{0, 0, 352, 288};
constexpr tagVideoRect kSmall{0, 0, 176, 144};
}  // namespace

CPrivateVideo::CPrivateVideo(CPrivateRoomDlg& room) : m_room(room) {
    m_room.SetVideo(this);
}

CPrivateVideo::~CPrivateVideo() {
    Close();
    if (m_room.Video() == this) {
        m_room.SetVideo(nullptr);
    }
}

void CPrivateVideo::OnPeerPresent(bool present) {
    if (!present) {
        Close();
        return;
    }
    if (m_receiving) {
        return;
    }
    IVideoSurface* window = nullptr;
    // Without a decoder the peer's area stays empty; the chat goes on.
    m_receiver.Create(m_room.View().VideoSurface(PRIVATE_VIDEO_PEER), kSmall, kSmall, window);
    m_receiver.Open();
    m_receiver.Start();
    m_receiver.ShowVideoWindow(true);
    m_loss = tagVideoLoss();
    m_receiving = true;
}

void CPrivateVideo::Close() {
    CloseOwn();
    if (m_receiving) {
        m_receiver.Stop();
        m_receiver.Close();
        m_receiver.Release();
        m_receiving = false;
    }
}

int CPrivateVideo::OpenOwn() {
    if (!ProbeH264Encoder() || !m_room.PeerPresent()) {
        return -1;
    }
    if (m_sender.IsCreated()) {
        return 0;
    }
    if (m_sender.Create(m_room.View().VideoSurface(PRIVATE_VIDEO_OWN), kLarge, kSmall, kSmall,
                        &m_room, 1) != 0) {
        m_sender.Release();
        return -1;
    }
    m_sender.Open();
    m_sender.SetFrameRate(15);
    m_sender.Start();
    m_sender.EnableSmallWindow(true);
    m_room.View().SetVideoPicture(PRIVATE_VIDEO_OWN, EVideoPicture::Open);
    return 0;
}

void CPrivateVideo::CloseOwn() {
    if (!m_sender.IsCreated()) {
        return;
    }
    m_sender.Stop();
    m_sender.Close();
    m_sender.Release();
    m_room.View().SetVideoPicture(PRIVATE_VIDEO_OWN, EVideoPicture::Closed);
}

bool CPrivateVideo::OnCopyData(unsigned tag, const QByteArray& data) {
    switch (tag) {
        case CVideoServerH264::TAG_FRAME:
            OnFrame(data);
            return true;
        case CVideoServerH264::TAG_PACKET: {
            // The codec's own requests go to the service on the main connection.
            CKParam packet;
            if (packet.SetBufferPtr(data.constData(), static_cast<int>(data.size())) == 0) {
                m_room.SendMain(packet);
            }
            return true;
        }
        default:
            return false;
    }
}

void CPrivateVideo::SetFrameTaps(IOwnFrameTap* own, IReceivedFrameTap* peer) {
    m_ownTap = own;
    m_peerTap = peer;
}

void CPrivateVideo::OnFrame(const QByteArray& bytes) {
    // A play-out goes to the peer meanwhile; the camera's frames wait.
    if (m_ownTap && m_ownTap->TakesOverSending()) {
        return;
    }
    SendFrame(bytes);
    if (m_ownTap) {
        m_ownTap->OnOwnFrame(bytes);
    }
}

void CPrivateVideo::SendFrame(const QByteArray& bytes) {
    CKParam frame;
    bool key = false;
    if (!m_room.PeerPresent() ||
        frame.SetBufferPtr(bytes.constData(), static_cast<int>(bytes.size())) != 0 ||
        frame.GetBoolean(VideoFrameKey::KEY, key) != 0) {
        return;
    }
    CKParam packet;
    packet.SetShortInt(KEY_COMMAND, CMD_VIDEO);
    packet.SetInt(VideoKey::SLOT, 0);
    packet.SetInt(VideoKey::ONE, 1);
    packet.SetBoolean(VideoKey::KEY_FRAME, key);
    packet.SetChar(VideoKey::FRAME, bytes.constData(), static_cast<unsigned short>(bytes.size()));
    packet.SetCString(VideoKey::SENDER, m_room.OwnId());
    packet.SetCString(VideoKey::VIEWERS, m_room.Peer().id);
    if (m_room.SendVideo(packet) == 0) {
        ++m_counters.sent;
    }
}

void CPrivateVideo::OnVideo(CKParam& packet) {
    ++m_counters.received;
    const QString sender = packet.TextOr(VideoKey::SENDER);
    unsigned short length = 0;
    if (!m_receiving || sender.isEmpty() ||
        sender.compare(m_room.Peer().id, Qt::CaseInsensitive) != 0 ||
        packet.GetChar(VideoKey::FRAME, nullptr, length) != 0 || length == 0) {
        ++m_counters.dropped;
        return;
    }
    // The frame packet is copied out: parsing it must not disturb the room packet.
    const auto copy = std::make_unique<char[]>(length);
    CKParam frame;
    bool key = false;
    int number = 0;
    char* data = nullptr;
    unsigned short n = 0;
    if (packet.GetChar(VideoKey::FRAME, copy.get(), length) != 0 ||
        frame.SetBufferPtr(copy.get(), length) != 0 ||
        frame.GetBoolean(VideoFrameKey::KEY, key) != 0 ||
        frame.GetInt(VideoFrameKey::NUMBER, number) != 0 || !m_loss.Accept(key, number) ||
        frame.GetCharNC(VideoFrameKey::DATA, &data, n) != 0 || !data || n == 0) {
        ++m_counters.dropped;
        return;
    }
    if (m_peerTap && m_peerTap->TakesWindow(PRIVATE_VIDEO_PEER)) {
        m_peerTap->OnReceivedFrame(key, QByteArray(copy.get(), length));
    }
    if (m_receiver.DecodeBuffer(data, n) == 0) {
        ++m_counters.decoded;
    } else {
        ++m_counters.dropped;
    }
}
