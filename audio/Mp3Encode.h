#pragma once
// The MP3 encoder of the two music qualities: constant bitrate, joint stereo, no bit
// reservoir, so every 23040-byte block becomes whole frames that a receiver can play as they
// come.

#include "platform/audio/WaveTypes.h"

#include <vector>

struct lame_global_struct;

class CMp3Encode {
public:
    CMp3Encode();
    virtual ~CMp3Encode();
    CMp3Encode(const CMp3Encode&) = delete;
    CMp3Encode& operator=(const CMp3Encode&) = delete;

    // Opens a stream for the input format at bitrate kbit/s; false when the encoder refuses.
    bool Init(int bitrate, const tagWaveFormat& input);
    // Encodes one block of ten chunks (23040 bytes at 22050 Hz stereo) and appends each
    // chunk's output to out; never writes past outCapacity (output beyond it is dropped).
    // outLength receives the total. True when any chunk produced output.
    bool Encode(const short* block, unsigned char* out, unsigned outCapacity, unsigned* outLength);
    // Flushes and closes the stream; what the flush returns is never sent.
    void Deinit();

    bool IsReady() const { return m_bReady; }
    // 16-bit values the encoder takes per call (1152 for 22050 Hz stereo).
    unsigned ChunkSize() const { return m_nChunkSize; }
    unsigned LastOutputLength() const { return m_nLastOutput; }

    static constexpr int kChunksPerBlock = 10;

private:
    bool m_bReady = false;
    unsigned m_nChunkSize = 0;
    std::vector<unsigned char> m_output;  // what one encoder call may write
    lame_global_struct* m_pStream = nullptr;
    int m_nChannels = 2;
    unsigned m_nLastOutput = 0;
};
