#include "room/VideoSending.h"

#include "platform/CodePage.h"
#include "protocol/Commands.h"
#include "protocol/KParam.h"
#include "protocol/keys/VideoKeys.h"
#include "room/MicOrder.h"
#include "room/RoomDlg.h"
#include "room/RoomView.h"

namespace {
constexpr tagVideoRect kLarge{0, 0, 352, 288};
constexpr tagVideoRect kSmall{0, 0, 176, 144};
}  // namespace

CVideoSending::CVideoSending(CRoomDlg& room) : m_room(room) {}

void CVideoSending::Open(int fps) {
    if (!m_cameraAvailable || m_sender.IsCreated()) {
        return;
    }
    if (m_sender.Create(m_room.View().VideoSurface(VIDEO_OWN), kLarge, kSmall, kSmall, &m_room,
                        1) != 0) {
        m_sender.Release();
        return;
    }
    m_sender.Open();
    m_sender.EnableSmallWindow(false);
    m_sender.EnableLargeWindow(false);
    m_sender.SetFrameRate(fps);
    m_sender.Start();
    m_sender.EnableSmallWindow(true);
    m_room.View().SetOwnVideo(true);
}

void CVideoSending::Close() {
    if (!m_cameraAvailable) {
        return;
    }
    PopIn();
    const bool wasOpen = m_sender.IsCreated();
    m_sender.Stop();
    m_sender.Close();
    m_sender.Release();
    if (wasOpen) {
        m_room.View().SetOwnVideo(false);
    }
}

void CVideoSending::SetFrameRate(int fps) {
    m_sender.SetFrameRate(fps);
}

int CVideoSending::CapturePicture(const QString& path) {
    return m_sender.CapturePicture(ToAnsi(path));
}

void CVideoSending::PopOut() {
    if (m_poppedOut || !m_sender.IsCreated()) {
        return;
    }
    m_poppedOut = true;
    m_room.View().ShowVideoPopOut(VIDEO_OWN, true);
    m_sender.SetVideoRect(kSmall);
}

void CVideoSending::PopIn() {
    if (!m_poppedOut) {
        return;
    }
    m_poppedOut = false;
    m_room.View().ShowVideoPopOut(VIDEO_OWN, false);
    m_sender.MoveWindow(&kSmall, 1);
}

int CVideoSending::OwnSlot() const {
    const QString own = m_room.OwnId();
    if (own.isEmpty()) {
        return 0;
    }
    // Video 1 wins when the user somehow holds both.
    if (own == m_room.Mic().MainHolder()) {
        return 1;
    }
    return own == m_room.Mic().SecondHolder() ? 2 : 0;
}

bool CVideoSending::OnFrame(const QByteArray& bytes) {
    CKParam frame;
    bool key = false;
    int number = 0;
    unsigned short length = 0;
    if (frame.SetBufferPtr(bytes.constData(), static_cast<int>(bytes.size())) != 0 ||
        frame.GetBoolean(VideoFrameKey::KEY, key) != 0 ||
        frame.GetInt(VideoFrameKey::NUMBER, number) != 0 ||
        frame.GetChar(VideoFrameKey::DATA, nullptr, length) != 0) {
        return false;
    }
    if (!m_switchOn) {
        return false;
    }
    const int slot = OwnSlot();
    QString viewers;
    if (slot == 0) {
        viewers = m_viewers.With([](const QStringList& ids) { return ids.join(QLatin1Char(',')); });
        if (viewers.isEmpty()) {
            return false;
        }
    }
    CChatSocket& second = m_room.Host().SecondConnection();
    if (!second.IsConnect()) {
        return false;
    }
    CKParam packet;
    packet.SetShortInt(KEY_COMMAND, CMD_VIDEO);
    packet.SetInt(VideoKey::SLOT, slot);
    packet.SetInt(VideoKey::ONE, 1);
    packet.SetBoolean(VideoKey::KEY_FRAME, key);
    packet.SetChar(VideoKey::FRAME, bytes.constData(), static_cast<unsigned short>(bytes.size()));
    packet.SetCString(VideoKey::SENDER, m_room.OwnId());
    packet.SetCString(VideoKey::VIEWERS, viewers);
    if (second.SendPacket(packet) != 0) {
        return false;
    }
    ++m_sent;
    return true;
}

void CVideoSending::OnComponentPacket(const QByteArray& bytes) {
    CKParam packet;
    CChatSocket& main = m_room.Host().MainConnection();
    if (!main.IsConnect() ||
        packet.SetBufferPtr(bytes.constData(), static_cast<int>(bytes.size())) != 0) {
        return;
    }
    main.SendPacket(packet);
}
