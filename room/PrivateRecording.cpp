#include "room/PrivateRecording.h"

#include "room/PrivateRoomView.h"
#include "room/PrivateVideo.h"

CPrivateRecording::CPrivateRecording(CPrivateRoomDlg& room, CPrivateVideo& video)
    : m_room(room), m_video(video) {
    m_room.SetRecording(this);
    m_video.SetFrameTaps(this, this);
}

CPrivateRecording::~CPrivateRecording() {
    m_video.SetFrameTaps(nullptr, nullptr);
    if (m_room.Recording() == this) {
        m_room.SetRecording(nullptr);
    }
}

int CPrivateRecording::RecordPeerVideo(const QString& chosen) {
    return RecordOtherVideo(PRIVATE_VIDEO_PEER, chosen);
}

bool CPrivateRecording::Shows(int window) const {
    return window == PRIVATE_VIDEO_PEER && m_room.IsActive() && m_room.PeerPresent();
}

CRequestDiscipline& CPrivateRecording::Requests() {
    return m_room.Discipline();
}

void CPrivateRecording::SendPlayedFrame(const QByteArray& framePacket) {
    m_video.SendFrame(framePacket);
}
