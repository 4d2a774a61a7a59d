#pragma once
// A player: one output stream, sixteen buffers written round-robin, no jitter buffer. MP3
// packets are decoded by the player's own decoder; speech arrives already decoded.

#include "audio/Mp3Decoder.h"
#include "platform/audio/WaveDevice.h"

#include <array>
#include <atomic>
#include <memory>
#include <vector>

class CWaveOut {
public:
    static constexpr int kHeaders = 16;
    static constexpr int kDecodeBytes = 23040;

    CWaveOut();
    virtual ~CWaveOut();
    CWaveOut(const CWaveOut&) = delete;
    CWaveOut& operator=(const CWaveOut&) = delete;

    // 1: 22050 Hz stereo, 2: 16000 Hz stereo, 3: 8000 Hz mono; the number is stored whatever
    // it is, the format only for those three.
    void SetFormat(int format);
    // 1 on success, 0 on failure (the reason goes to "audio.log").
    int Open();
    int Close();
    // Copies up to one buffer's worth into the next buffer and writes it; returns 0.
    int Play(const char* data, int length);
    // Decodes an MP3 packet and plays what it completes; -1 when it completed nothing.
    int PlayMP3(const char* data, int length);

    // Called on the device's callback thread when the last pending buffer has played. A
    // subclass that overrides it closes the player in its own destructor, so no call can
    // reach it half destroyed.
    virtual int OnBufferPlayOver() { return 0; }

    int FormatNumber() const { return m_nFormat; }
    const tagWaveFormat& Format() const { return m_format; }
    bool IsOpen() const { return m_nOpen != 0; }
    int Pending() const { return m_nPending; }
    int WriteCounter() const { return m_nWriteCounter; }
    int BufferBytes() const;
    const CMp3Decoder& Decoder() const { return m_decoder; }

private:
    int InitWaveOut();
    void StopWaveOut();
    int GuestPublicWave(const char* data, int length);
    void OnDeviceMessage(EWaveMsg msg);

    std::unique_ptr<CWaveOutDevice> m_pDevice;
    std::array<tagWaveHeader, kHeaders> m_headers{};
    std::array<std::vector<char>, kHeaders> m_buffers;
    CMp3Decoder m_decoder;
    std::vector<unsigned char> m_decodeBuffer;
    tagWaveFormat m_format = tagWaveFormat::Pcm16(22050, 2);
    int m_nFormat = 1;
    std::atomic<int> m_nOpen{0};
    std::atomic<int> m_nPending{0};
    int m_nWriteCounter = 0;
};

// Writes the one line of "audio.log" in the user's state folder, replacing what was there.
void WriteAudioLog(const char* format, int code);
