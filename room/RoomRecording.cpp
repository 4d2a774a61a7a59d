#include "room/RoomRecording.h"

#include "platform/Prompt.h"
#include "platform/StringTable.h"
#include "protocol/Commands.h"
#include "protocol/DispatchTable.h"
#include "protocol/KParam.h"
#include "protocol/keys/RecordKeys.h"
#include "protocol/keys/VideoKeys.h"
#include "room/RequestDiscipline.h"
#include "room/RoomDlg.h"
#include "room/RoomStrings.h"

#include <QFile>

CRoomRecording::CRoomRecording(CRoomDlg& room) : m_room(room), m_recorder(*this) {}

CRoomRecording::~CRoomRecording() {
    if (m_room.Video()) {
        m_room.Video()->SetFrameTap(nullptr);
    }
}

CRoomRecording& CRoomRecording::Install(CRoomDlg& room) {
    auto feature = std::make_unique<CRoomRecording>(room);
    CRoomRecording& recording = *feature;
    room.AddFeature(std::move(feature));
    if (room.Video()) {
        room.Video()->SetFrameTap(&recording);
    }
    return recording;
}

void CRoomRecording::SetSurface(IVideoSurface* surface) {
    if (surface != m_surface) {
        m_recorder.DetachDisplay();
    }
    m_surface = surface;
}

void CRoomRecording::Register(CDispatchTable& table) {
    table.On(CMD_RECORD_CONTROL_REPLY, [this](CKParam& p) { OnChargeReply(p); });
}

void CRoomRecording::OnRoomClosing(bool) {
    if (m_recorder.Mode() != CRecordDlg::MODE_IDLE && m_recorder.IsActive()) {
        m_recorder.Stop();
    }
    if (m_recorder.Mode() == CRecordDlg::MODE_PLAY) {
        m_recorder.Stop();
    }
    m_pendingPlay.clear();
}

int CRoomRecording::RecordOwnVideo(const QString& chosen) {
    const QString path = CRecordDlg::AviPath(chosen);
    // A recording replaces the file of that name.
    if (QFile::exists(path)) {
        QFile::remove(path);
    }
    return m_recorder.StartRecording(CRecordDlg::MODE_RECORD_OWN, path);
}

void CRoomRecording::StopRecording() {
    m_recorder.Stop();
}

int CRoomRecording::PlayVideo(const QString& path, bool send) {
    if (!send) {
        if (m_recorder.OpenPlayout(path) != 0) {
            return -1;
        }
        m_recorder.Toggle();
        return 0;
    }
    m_pendingPlay = path;
    return SendCharge(RECORD_CHARGE_PLAYOUT);
}

int CRoomRecording::SendCharge(int kind) {
    CKParam packet;
    packet.SetShortInt(KEY_COMMAND, CMD_RECORD_CONTROL);
    packet.SetInt(RecordChargeKey::KIND, kind);
    // A charge is answered by its reply alone: no waiting line, no time-out of its own.
    return m_room.Discipline().Answer(CMD_RECORD_CONTROL, packet);
}

void CRoomRecording::RequestCharge() {
    SendCharge(m_recorder.Mode() == CRecordDlg::MODE_RECORD_OTHER ? RECORD_CHARGE_OTHER
                                                                  : RECORD_CHARGE_PLAYOUT);
}

void CRoomRecording::OnChargeReply(CKParam& reply) {
    using namespace RecordChargeReplyKey;
    const int period = reply.IntOr(PERIOD, 0);
    const int cost = reply.IntOr(COST, 0);
    const int balance = reply.IntOr(BALANCE, 0);
    m_recorder.SetCharge(period, cost, balance);
    if (m_pendingPlay.isEmpty()) {
        return;
    }
    const QString path = m_pendingPlay;
    m_pendingPlay.clear();
    const QStringList figures{QString::number(balance / 100.0), QString::number(cost / 100.0),
                              QString::number(period)};
    if (reply.IntOr(KEY_RESULT, 0) == -1 || cost > balance) {
        MessageBox(FillPlaceholders(LoadString(IDS_PLAYOUT_CHARGE_SHORT), figures),
                   QStringLiteral("Warning"), MB_ICONWARNING);
        return;
    }
    if (MessageBox(FillPlaceholders(LoadString(IDS_PLAYOUT_CHARGE_ASK), figures),
                   QStringLiteral("Warning"), MB_YESNO | MB_ICONQUESTION) != IDYES) {
        return;
    }
    if (m_recorder.OpenPlayout(path) != 0) {
        return;
    }
    m_recorder.SetSend(true);
    m_recorder.Toggle();
}

void CRoomRecording::SendPlayedFrame(const QByteArray& framePacket) {
    if (m_room.Video()) {
        m_room.Video()->Sending().OnFrame(framePacket);
    }
}

void CRoomRecording::OnOwnFrame(const QByteArray& frame) {
    if (m_recorder.Mode() != CRecordDlg::MODE_RECORD_OWN || !m_recorder.IsActive() ||
        !m_recorder.IsRunning()) {
        return;
    }
    // Only the small stream's frames, whole, are recorded.
    CKParam packet;
    short command = 0, width = 0;
    bool key = false;
    int number = 0;
    char* bytes = nullptr;
    unsigned short length = 0;
    if (packet.SetBufferPtr(frame.constData(), static_cast<int>(frame.size())) != 0 ||
        packet.GetShortInt(KEY_COMMAND, command) != 0 || command != CMD_VIDEO_FRAME ||
        packet.GetShortInt(VideoFrameKey::WIDTH, width) != 0 || width != 176 ||
        packet.GetBoolean(VideoFrameKey::KEY, key) != 0 ||
        packet.GetInt(VideoFrameKey::NUMBER, number) != 0 ||
        packet.GetCharNC(VideoFrameKey::DATA, &bytes, length) != 0 || length == 0) {
        return;
    }
    m_recorder.OnVideoFrame(key, frame);
}
