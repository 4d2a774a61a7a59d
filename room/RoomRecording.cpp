#include "room/RoomRecording.h"

#include "protocol/Commands.h"
#include "protocol/DispatchTable.h"
#include "protocol/KParam.h"
#include "room/RequestDiscipline.h"
#include "room/RoomDlg.h"
#include "room/RoomVideo.h"
#include "room/RoomView.h"

CRoomRecording::CRoomRecording(CRoomDlg& room) : m_room(room) {}

CRoomRecording::~CRoomRecording() {
    if (m_room.Video()) {
        m_room.Video()->SetFrameTap(nullptr);
        m_room.Video()->Receiving().SetFrameTap(nullptr);
    }
}

CRoomRecording& CRoomRecording::Install(CRoomDlg& room) {
    auto feature = std::make_unique<CRoomRecording>(room);
    CRoomRecording& recording = *feature;
    room.AddFeature(std::move(feature));
    if (room.Video()) {
        room.Video()->SetFrameTap(&recording);
        room.Video()->Receiving().SetFrameTap(&recording);
    }
    return recording;
}

void CRoomRecording::Register(CDispatchTable& table) {
    table.On(CMD_RECORD_CONTROL_REPLY, [this](CKParam& p) { OnChargeReply(p); });
}

void CRoomRecording::OnRoomClosing(bool) {
    Close();
}

bool CRoomRecording::Shows(int window) const {
    CRoomVideo* video = m_room.Video();
    if (!video) {
        return false;
    }
    if (window == VIDEO_PRIVATE) {
        return !video->Receiving().Watched().isEmpty();
    }
    return (window == VIDEO_1 || window == VIDEO_2) && video->Receiving().IsOpen(window) &&
           !video->Receiving().Holder(window).isEmpty();
}

CRequestDiscipline& CRoomRecording::Requests() {
    return m_room.Discipline();
}

void CRoomRecording::SendPlayedFrame(const QByteArray& framePacket) {
    if (m_room.Video()) {
        m_room.Video()->Sending().OnFrame(framePacket);
    }
}
