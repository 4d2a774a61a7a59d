#include "audio/MyWaveIn.h"

#include "audio/AudioFormats.h"
#include "audio/AudioPacket.h"
#include "platform/Clock.h"
#include "protocol/KParam.h"

CMyWaveIn::CMyWaveIn() : m_gate(CClock::Get().Now()) {
    // Both encoders stay open for the object's whole life.
    const tagWaveFormat music = CaptureFormat(AUDIO_QUALITY_HIFI);
    m_encoder64.Init(64, music);
    m_encoder32.Init(32, music);
}

CMyWaveIn::~CMyWaveIn() {
    // The capture thread calls our OnWaveData: it must be gone before we are.
    Close();
}

int CMyWaveIn::StartCapture(int quality) {
    m_nQuality = quality;
    SetFormat(quality);
    if (Open() == 0) {
        Close();
        return -1;
    }
    m_bOpened = true;
    Start();
    return 0;
}

int CMyWaveIn::StopCapture() {
    Close();
    m_bOpened = false;
    m_nQuality = AUDIO_QUALITY_NONE;
    return 1;
}

int CMyWaveIn::EncodeBlock(int quality, char* block, int length, QByteArray& payload) {
    payload.clear();
    switch (quality) {
        case AUDIO_QUALITY_HIFI:
        case AUDIO_QUALITY_SINGING: {
            CMp3Encode& encoder = quality == AUDIO_QUALITY_HIFI ? m_encoder64 : m_encoder32;
            const int capacity =
                quality == AUDIO_QUALITY_HIFI ? kHifiPayloadBuffer : kSingingPayloadBuffer;
            // Ten encoder chunks must fit the block; a short block cannot be encoded.
            if (!encoder.IsReady() ||
                length < static_cast<int>(encoder.ChunkSize()) * CMp3Encode::kChunksPerBlock * 2)
                return 0;
            payload.resize(capacity);
            unsigned n = 0;
            encoder.Encode(reinterpret_cast<const short*>(block),
                           reinterpret_cast<unsigned char*>(payload.data()),
                           static_cast<unsigned>(capacity), &n);
            payload.resize(static_cast<int>(n));
            return 0;
        }
        case AUDIO_QUALITY_SPEECH: {
            if (length < kSpeechBlockBytes)
                return 0;
            auto* samples = reinterpret_cast<short*>(block);
            CEchoFilter::Shared().Apply(samples, kSpeechBlockBytes / 2);
            payload.resize(kSpeechPayloadBuffer);
            int n = 0;
            m_speech.Compress(samples, kSpeechBlockBytes,
                              reinterpret_cast<unsigned char*>(payload.data()), &n);
            payload.resize(n);
            return 0;
        }
        default:
            return -1;
    }
}

int CMyWaveIn::OnWaveData(char* data, int length, tagWaveHeader* header) {
    if (IsAudioQuitting() || data == nullptr || length <= 0)
        return 0;
    const int64_t now = CClock::Get().Now();
    const int level = m_level.Level(reinterpret_cast<const short*>(data), length / 2);
    const tagVoiceVerdict verdict = m_gate.Judge(level, now);
    if (!verdict.send)
        return 0;

    const bool roomMode = m_bRoomMode;
    IVoiceOwner* owner = roomMode ? m_pRoom.load() : m_pPrivate.load();
    if (owner == nullptr)
        return 0;
    int micIndex = 1;
    bool dualMic = false;
    if (roomMode) {
        const tagMicState state = owner->VoiceMicState();
        if (state.capturePaused)
            return 0;
        micIndex = SendingMicIndex(state);
        if (micIndex == 0)
            return 0;
        dualMic = state.dualMic;
    }
    owner->PostVoiceMeter(verdict.meter, verdict.loud);

    const int quality = roomMode ? SendingQuality(m_nQuality, dualMic) : m_nQuality.load();
    tagAudioPacket audio;
    audio.micIndex = micIndex;
    audio.meter = verdict.meter;
    audio.quality = quality;
    if (EncodeBlock(quality, data, length, audio.payload) != 0)
        return 0;
    audio.senderId = owner->VoiceOwnId();
    CKParam packet;
    if (BuildAudioPacket(audio, packet) != 0)
        return 0;
    owner->SendVoicePacket(packet);
    return 0;
}
