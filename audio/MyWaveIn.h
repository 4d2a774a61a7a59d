#pragma once
// The capture object of the room and of the private chat: each completed block is measured,
// gated for silence, encoded in the capture quality and handed to the owner as one audio
// packet (command 460), all on the capture thread.

#include "audio/EchoFilter.h"
#include "audio/Mp3Encode.h"
#include "audio/VoiceGate.h"
#include "audio/VoiceLevel.h"
#include "audio/VoiceOwner.h"
#include "audio/WaveCompress729.h"
#include "audio/WaveIn.h"

#include <QByteArray>

#include <atomic>

class CMyWaveIn : public CWaveIn {
public:
    CMyWaveIn();
    ~CMyWaveIn() override;

    // Stores the quality, opens and starts; -1 (with everything closed again) on failure.
    int StartCapture(int quality);
    // Closes and forgets the quality; returns 1.
    int StopCapture();

    int OnWaveData(char* data, int length, tagWaveHeader* header) override;

    // The owner: the room (room mode, the default) or the private chat.
    void SetRoomWindow(IVoiceOwner* room) { m_pRoom = room; }
    void SetPrivateWindow(IVoiceOwner* chat) { m_pPrivate = chat; }
    void SetRoomMode(bool room) { m_bRoomMode = room; }
    bool IsRoomMode() const { return m_bRoomMode; }
    // 1 main mic, 2 second mic; set by the room before it starts capture.
    void SetMicIndex(short index) { m_nMicIndex = index; }
    short MicIndex() const { return m_nMicIndex; }
    bool IsCapturing() const { return IsOpened(); }

    // Encodes one captured block in quality q the way OnWaveData does (speech through the
    // process's echo filter first, so the block is changed in place). An encoder that is not
    // ready gives an empty payload. 0, or -1 for a quality outside 1 to 3.
    int EncodeBlock(int quality, char* block, int length, QByteArray& payload);

    const CVoiceGate& Gate() const { return m_gate; }
    CMp3Encode& Encoder32() { return m_encoder32; }

private:
    std::atomic<bool> m_bRoomMode{true};
    std::atomic<IVoiceOwner*> m_pRoom{nullptr};
    std::atomic<IVoiceOwner*> m_pPrivate{nullptr};
    std::atomic<short> m_nMicIndex{1};
    CMp3Encode m_encoder64;
    CMp3Encode m_encoder32;
    CWaveCompress729 m_speech;
    CVoiceLevel m_level;
    CVoiceGate m_gate;
};
