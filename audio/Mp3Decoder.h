#pragma once
// One player's MP3 decoder, fed packet by packet. Packets are not self-contained (frames can
// straddle two of them), so the decoder keeps what it has not consumed for the next one.

#include <cstddef>

struct mpg123_handle_struct;

class CMp3Decoder {
public:
    CMp3Decoder();
    virtual ~CMp3Decoder();
    CMp3Decoder(const CMp3Decoder&) = delete;
    CMp3Decoder& operator=(const CMp3Decoder&) = delete;

    bool IsReady() const { return m_pHandle != nullptr; }

    // Feeds one packet and appends every frame it completes to out, never past outCapacity
    // (frames beyond it are decoded and dropped, so the stream stays in step). Returns the
    // number of bytes written; 0 when nothing was completed or the decoder is not ready.
    size_t Decode(const unsigned char* data, size_t length, unsigned char* out, size_t outCapacity);

    // The rate and channels of the stream seen so far; 0 before the first frame.
    long Rate() const { return m_nRate; }
    int Channels() const { return m_nChannels; }

    static constexpr size_t kScratchBytes = 8192;
    // Input the decoder may hold back between packets before it is started afresh; a stream
    // of valid frames never comes near it.
    static constexpr size_t kMaxHeldInput = 64 * 1024;

private:
    void Restart();

    mpg123_handle_struct* m_pHandle = nullptr;
    long m_nRate = 0;
    int m_nChannels = 0;
    unsigned char m_scratch[kScratchBytes];
};
