#include "room/Recording.h"

#include "platform/Prompt.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "protocol/Commands.h"
#include "protocol/KParam.h"
#include "protocol/keys/RecordKeys.h"
#include "protocol/keys/VideoKeys.h"
#include "room/RequestDiscipline.h"
#include "room/RoomStrings.h"

#include <QFile>

namespace {
// The room menu's rule for a recording's file name; a recording replaces the file of that
// name.
QString FreshAviPath(const QString& chosen) {
    const QString path = CRecordDlg::AviPath(chosen);
    if (QFile::exists(path)) {
        QFile::remove(path);
    }
    return path;
}
}  // namespace

CRecording::CRecording() : m_recorder(*this) {}

CRecording::~CRecording() = default;

void CRecording::SetSurface(IVideoSurface* surface) {
    if (surface != m_surface) {
        m_recorder.DetachDisplay();
    }
    m_surface = surface;
}

void CRecording::Close() {
    if (m_recorder.Mode() != CRecordDlg::MODE_IDLE && m_recorder.IsActive()) {
        m_recorder.Stop();
    }
    if (m_recorder.Mode() == CRecordDlg::MODE_PLAY) {
        m_recorder.Stop();
    }
    m_pendingPlay.clear();
    m_pendingRecord.clear();
}

int CRecording::RecordOwnVideo(const QString& chosen) {
    return m_recorder.StartRecording(CRecordDlg::MODE_RECORD_OWN, FreshAviPath(chosen));
}

int CRecording::RecordOtherVideo(int window, const QString& chosen) {
    if (!Shows(window)) {
        return -1;
    }
    m_pendingRecord = CRecordDlg::AviPath(chosen);
    m_pendingWindow = window;
    return SendCharge(RECORD_CHARGE_OTHER);
}

bool CRecording::TakesWindow(int window) const {
    return window == m_otherWindow && m_recorder.Mode() == CRecordDlg::MODE_RECORD_OTHER &&
           m_recorder.IsActive() && m_recorder.IsRunning();
}

void CRecording::OnReceivedFrame(bool key, const QByteArray& framePacket) {
    m_recorder.OnVideoFrame(key, framePacket);
}

void CRecording::StopRecording() {
    m_recorder.Stop();
}

int CRecording::PlayVideo(const QString& path, bool send) {
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

int CRecording::SendCharge(int kind) {
    CKParam packet;
    packet.SetShortInt(KEY_COMMAND, CMD_RECORD_CONTROL);
    packet.SetInt(RecordChargeKey::KIND, kind);
    // A charge is answered by its reply alone: no waiting line, no time-out of its own.
    return Requests().Answer(CMD_RECORD_CONTROL, packet);
}

void CRecording::RequestCharge() {
    SendCharge(m_recorder.Mode() == CRecordDlg::MODE_RECORD_OTHER ? RECORD_CHARGE_OTHER
                                                                  : RECORD_CHARGE_PLAYOUT);
}

void CRecording::OnChargeReply(CKParam& reply) {
    using namespace RecordChargeReplyKey;
    const int period = reply.IntOr(PERIOD, 0);
    const int cost = reply.IntOr(COST, 0);
    const int balance = reply.IntOr(BALANCE, 0);
    m_recorder.SetCharge(period, cost, balance);
    const bool granted = reply.IntOr(KEY_RESULT, 0) != -1 && cost <= balance;
    if (!m_pendingRecord.isEmpty()) {
        const QString chosen = m_pendingRecord;
        m_pendingRecord.clear();
        if (!granted) {
            MessageBox(LoadString(IDS_NO_BALANCE), QStringLiteral("Warning"), MB_ICONWARNING);
            return;
        }
        m_otherWindow = m_pendingWindow;
        if (m_recorder.StartRecording(CRecordDlg::MODE_RECORD_OTHER, FreshAviPath(chosen)) != 0) {
            m_otherWindow = -1;
        }
        return;
    }
    if (m_pendingPlay.isEmpty()) {
        return;
    }
    const QString path = m_pendingPlay;
    m_pendingPlay.clear();
    const QStringList figures{QString::number(balance / 100.0), QString::number(cost / 100.0),
                              QString::number(period)};
    if (!granted) {
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

void CRecording::OnOwnFrame(const QByteArray& frame) {
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
