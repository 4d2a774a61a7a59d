#include "room/RoomAudio.h"

#include "audio/AudioFormats.h"
#include "audio/AudioPacket.h"
#include "audio/RecordSource.h"
#include "audio/SoundConfigDlg.h"
#include "core/AppState.h"
#include "core/WindowMessages.h"
#include "infra/TraceLog.h"
#include "platform/StringTable.h"
#include "protocol/Commands.h"
#include "protocol/KParam.h"
#include "room/ChatPanes.h"
#include "room/ChatText.h"
#include "room/MicOrder.h"
#include "room/RoomDlg.h"
#include "room/RoomMembers.h"
#include "room/RoomSettings.h"
#include "room/RoomView.h"
#include "room/UserInfo.h"

#include <algorithm>

namespace {

void TraceSendFailure(int result) {
    TheTraceLog().Write(TRACE_ALARM, "发送音频数据失败", "Error Status=%d", result);
}

}  // namespace

CRoomAudio::CRoomAudio(CRoomDlg& room) : m_room(room), m_capture(std::make_unique<CMyWaveIn>()) {
    m_capture->SetRoomWindow(this);
}

CRoomAudio::~CRoomAudio() {
    // The capture thread calls back into us: it must end first.
    m_capture->StopCapture();
    m_capture->SetRoomWindow(nullptr);
    if (m_room.VoiceSender() == this) {
        m_room.SetVoiceSender(nullptr);
    }
}

CRoomAudio& CRoomAudio::Install(CRoomDlg& room) {
    auto feature = std::make_unique<CRoomAudio>(room);
    CRoomAudio& audio = *feature;
    room.AddFeature(std::move(feature));
    room.SetVoiceSender(&audio);
    return audio;
}

void CRoomAudio::Register(CDispatchTable& table) {
    table.On(CMD_AUDIO, [this](CKParam& p) { OnAudio(p); });
    table.On(CMD_QUALITY_CHANGED, [this](CKParam& p) { OnQualityChanged(p); });
    table.On(CMD_AUDIO_CONTROL_CHANGED, [this](CKParam& p) { OnAudioControl(p); });
    table.Sends(CMD_QUALITY);
    table.Sends(CMD_AUDIO_CONTROL);
}

void CRoomAudio::OnRoomOpened() {
    m_receiveBan = false;
    m_capturePaused = true;
    m_speakPressed = false;
    m_meterMain = 0;
    m_meterSecond = 0;
    m_counters = tagCounters();
    m_quality = AUDIO_QUALITY_HIFI;
    const int volume = GetMicVolume();
    if (volume >= 0) {
        m_micVolume = volume;
    }
    m_players.OpenAtInit();
}

void CRoomAudio::OnSettings(const tagRoomSettings& settings) {
    // Key 140 carries the room's audio quality; a room that names none speaks in hi-fi.
    m_quality = IsAudioQuality(settings.number140) ? settings.number140 : AUDIO_QUALITY_HIFI;
}

void CRoomAudio::OnRoomClosing(bool keepSharedCapture) {
    Teardown(keepSharedCapture);
    m_players.ClosePlayers();
    // A stereo mix set up for speaking goes with the room, unless the private chat still
    // records with it.
    if (!keepSharedCapture) {
        CRecordSource::Get().Release();
    }
}

void CRoomAudio::Teardown(bool keepSharedCapture) {
    m_capturePaused = true;
    if (!keepSharedCapture && m_capture->IsCapturing()) {
        m_capture->StopCapture();
    }
    m_speakPressed = false;
}

int CRoomAudio::ServerVersion() const {
    return m_serverVersion >= 0 ? m_serverVersion : CAppState::Get().settings.lastVersion;
}

// --- Sending -------------------------------------------------------------------------------

int CRoomAudio::BeginSpeaking() {
    int result = BEGIN_OK;
    m_capture->SetMicIndex(1);
    bool selectSource = true;
    if (!m_capture->IsCapturing()) {
        const tagMicState state = VoiceMicState();
        if (state.ownId.isEmpty() ||
            (state.ownId != state.mainHolder && state.ownId != state.secondHolder)) {
            return BEGIN_OK;
        }
        if (state.ownId != state.mainHolder) {
            m_capture->SetMicIndex(2);
        }
        const int quality = SendingQuality(m_quality, state.dualMic);
        if (m_capture->StartCapture(quality) != 0) {
            result = BEGIN_CAPTURE_FAILED;
        }
        if (state.dualMic) {
            // Both mics at once always record the microphone itself.
            SelectDualMicSource();
            selectSource = false;
        }
    }
    if (selectSource) {
        SelectSpeakingSource(*this);
    }
    m_capturePaused = false;
    m_speakPressed = true;
    m_room.View().SetSpeakButton(true);
    return result;
}

void CRoomAudio::EndSpeaking() {
    if (m_capture->IsCapturing()) {
        m_capture->StopCapture();
    }
    SelectSilentSource();
    m_capturePaused = true;
    m_speakPressed = false;
    m_room.View().SetSpeakButton(false);
}

QString CRoomAudio::VoiceOwnId() const {
    return m_room.Mic().State().With([](const tagMicState& s) { return s.ownId; });
}

tagMicState CRoomAudio::VoiceMicState() const {
    tagMicState state = m_room.Mic().State().Snapshot();
    state.capturePaused = m_capturePaused.load();
    return state;
}

void CRoomAudio::PostVoiceMeter(int meter, int loud) {
    m_room.PostMessage(WM_ROOM_VOICE_METER, static_cast<uintptr_t>(meter), loud);
}

void CRoomAudio::SendVoicePacket(CKParam& packet) {
    CChatSocket& second = m_room.Host().SecondConnection();
    if (!second.IsConnect()) {
        return;
    }
    // KSend takes the connection's own lock, so the GUI thread's sends and closes wait for us.
    const int result = second.SendPacket(packet);
    if (result != 0) {
        TraceSendFailure(result);
    }
}

void CRoomAudio::AddSystemLine(const QString& text) {
    m_room.Panes().SystemLine(text);
}

void CRoomAudio::ShowMicVolume(int volume) {
    m_room.View().ShowMicVolume(volume);
}

bool CRoomAudio::OpenSoundSettings() {
    CSoundConfigDlg dialog;
    dialog.DoModal();
    return true;
}

bool CRoomAudio::OnMessage(unsigned msg, uintptr_t wParam, intptr_t /*lParam*/) {
    if (msg != WM_ROOM_VOICE_METER) {
        return false;
    }
    OnOwnMeter(static_cast<int>(wParam));
    return true;
}

void CRoomAudio::OnOwnMeter(int meter) {
    // A meter posted just before the capture stopped belongs to a period that is over.
    if (!m_capture->IsCapturing() || !m_room.IsWindow()) {
        return;
    }
    const tagMicState s = m_room.Mic().State().Snapshot();
    const int value = kMeterScale * meter;
    if (s.dualMic) {
        if (s.ownId == s.mainHolder) {
            SetMeter(1, value);
        } else if (s.ownId == s.secondHolder) {
            SetMeter(2, value);
        }
        return;
    }
    if (s.ownId == s.mainHolder) {
        if (s.floorHolder != s.secondHolder || s.floorHolder.isEmpty()) {
            SetMeter(1, value);
        }
    } else if (s.ownId == s.secondHolder) {
        if (s.floorHolder != s.mainHolder && !s.floorHolder.isEmpty()) {
            SetMeter(2, value);
        }
    }
}

void CRoomAudio::SetMeter(int mic, int value) {
    (mic == 2 ? m_meterSecond : m_meterMain) = value;
    m_room.View().SetMicMeter(mic, value);
}

// --- Receiving -----------------------------------------------------------------------------

bool CRoomAudio::Accepts(const CKParam& packet, int micIndex, const QString& sender) const {
    if (!m_players.IsOpen() || m_receiveBan) {
        return false;
    }
    if (ServerVersion() > kRoomKeyVersion &&
        packet.IntOr(AudioKey::ROOM, -1) != m_room.Entry().room) {
        return false;
    }
    const tagMicState s = m_room.Mic().State().Snapshot();
    // The members the user blocked, or all below operator when the user hides them, are not
    // heard: neither while they hold the main microphone nor on whatever mic they speak.
    const CChatText& chat = m_room.Chat();
    const auto shielded = [&](const QString& id) {
        if (chat.HidesBelowOperator()) {
            const UserInfo* member = m_room.Members().Find(id);
            if (!member || member->rank < kMinShieldRank) {
                return true;
            }
        }
        return !id.isEmpty() && chat.IsBlocked(id);
    };
    if (shielded(s.mainHolder) || (sender != s.mainHolder && shielded(sender))) {
        return false;
    }
    if (micIndex == 1) {
        return !sender.isEmpty() && (sender == s.mainHolder || sender == s.floorHolder);
    }
    if (micIndex == 2) {
        return !sender.isEmpty() && (sender == s.secondHolder || sender == s.floorHolder);
    }
    return true;
}

void CRoomAudio::OnAudio(CKParam& packet) {
    ++m_counters.received;
    const int micIndex = packet.IntOr(AudioKey::MIC, 1);
    const QString sender = packet.TextOr(AudioKey::SENDER);
    if (!Accepts(packet, micIndex, sender)) {
        ++m_counters.dropped;
        return;
    }
    tagAudioPacket audio;
    ParseAudioPacket(packet, audio);
    const tagMicState s = m_room.Mic().State().Snapshot();
    // Senders measure 1 to 20; anything else on the wire still draws inside the bar.
    const int meter = kMeterScale * std::clamp(audio.meter, 0, kMaxMeter);
    if (micIndex == 1 && s.mainHolder != s.ownId) {
        SetMeter(1, meter);
    } else if (micIndex == 2 && s.secondHolder != s.ownId) {
        SetMeter(2, meter);
    }
    if (m_players.PlayPayload(audio.quality, micIndex, audio.payload)) {
        ++m_counters.played;
    } else {
        ++m_counters.dropped;
    }
}

void CRoomAudio::OnAudioControl(CKParam& packet) {
    m_receiveBan = packet.IntOr(AudioControlChangedKey::ALLOW, 0) == 0;
    m_room.Panes().SystemLine(QStringLiteral("%1 %2%3").arg(
        m_room.Members().LineName(packet.TextOr(AudioControlChangedKey::BY)),
        LoadString(m_receiveBan ? IDS_FORBID : IDS_ALLOW), LoadString(IDS_RECEIVE_SOUND)));
}

// --- The room's quality --------------------------------------------------------------------

int CRoomAudio::ChangeQuality(int quality) {
    if (!IsAudioQuality(quality)) {
        return -1;
    }
    CKParam request;
    request.SetShortInt(KEY_COMMAND, CMD_QUALITY);
    request.SetInt(QualityKey::QUALITY, quality);
    return m_room.Discipline().Request(CMD_QUALITY, request) == 0 ? 0 : -1;
}

void CRoomAudio::OnQualityChanged(CKParam& packet) {
    const int quality = packet.IntOr(QualityChangedKey::QUALITY, 0);
    if (!IsAudioQuality(quality)) {
        return;
    }
    m_quality = quality;
    const QString name = LoadString(QualityNameId(quality));
    m_room.Panes().SystemLine(
        QStringLiteral("%1 %2: %3")
            .arg(m_room.Members().LineName(packet.TextOr(QualityChangedKey::BY)),
                 LoadString(IDS_OP_QUALITY), name));
}
