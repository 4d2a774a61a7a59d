#include "audio/Mp3Encode.h"

#include <lame/lame.h>

#include <algorithm>
#include <cstring>

CMp3Encode::CMp3Encode() = default;

CMp3Encode::~CMp3Encode() {
    // The capture objects keep their streams for their whole life; only the buffer goes here.
    if (m_pStream != nullptr) {
        lame_close(m_pStream);
        m_pStream = nullptr;
    }
}

bool CMp3Encode::Init(int bitrate, const tagWaveFormat& input) {
    Deinit();
    if (bitrate <= 0 || input.wBitsPerSample != 16 || input.nChannels < 1 || input.nChannels > 2)
        return false;
    lame_global_flags* gf = lame_init();
    if (gf == nullptr)
        return false;
    m_nChannels = input.nChannels;
    lame_set_in_samplerate(gf, static_cast<int>(input.nSamplesPerSec));
    lame_set_num_channels(gf, m_nChannels);
    // Left to the encoder: at 32 kbit/s it drops 22050 Hz to 16000 Hz, the rate receivers play.
    lame_set_out_samplerate(gf, 0);
    lame_set_mode(gf, m_nChannels > 1 ? JOINT_STEREO : MONO);
    lame_set_VBR(gf, vbr_off);
    lame_set_brate(gf, bitrate);
    lame_set_copyright(gf, 0);
    lame_set_original(gf, 1);
    lame_set_error_protection(gf, 0);
    lame_set_extension(gf, 0);
    lame_set_emphasis(gf, 0);
    lame_set_strict_ISO(gf, 0);
    // Each block must stand on whole frames; a reservoir would borrow bits across packets.
    lame_set_disable_reservoir(gf, 1);
    // A tag frame would make the first packet one frame longer than the rest.
    lame_set_bWriteVbrTag(gf, 0);
    // The library reports to the console unless told otherwise.
    lame_set_msgf(gf, [](const char*, va_list) {});
    lame_set_debugf(gf, [](const char*, va_list) {});
    lame_set_errorf(gf, [](const char*, va_list) {});
    if (lame_init_params(gf) < 0) {
        lame_close(gf);
        return false;
    }
    m_pStream = gf;
    m_nChunkSize = static_cast<unsigned>(lame_get_framesize(gf) * m_nChannels);
    // The encoder's own worst case for one call: 1.25 x samples + 7200.
    m_output.assign(m_nChunkSize / m_nChannels * 5 / 4 + 7200, 0);
    m_bReady = true;
    return true;
}

bool CMp3Encode::Encode(const short* block, unsigned char* out, unsigned outCapacity,
                        unsigned* outLength) {
    if (outLength != nullptr)
        *outLength = 0;
    m_nLastOutput = 0;
    if (!m_bReady || block == nullptr || out == nullptr)
        return false;
    bool produced = false;
    unsigned total = 0;
    const int perChannel = static_cast<int>(m_nChunkSize) / m_nChannels;
    for (int i = 0; i < kChunksPerBlock; ++i) {
        // lame does not write its input; the cast only meets its old signature.
        short* chunk = const_cast<short*>(block) + static_cast<size_t>(i) * m_nChunkSize;
        int n = m_nChannels > 1
                    ? lame_encode_buffer_interleaved(m_pStream, chunk, perChannel, m_output.data(),
                                                     static_cast<int>(m_output.size()))
                    : lame_encode_buffer(m_pStream, chunk, nullptr, perChannel, m_output.data(),
                                         static_cast<int>(m_output.size()));
        if (n <= 0)
            continue;
        produced = true;
        const unsigned room = outCapacity > total ? outCapacity - total : 0;
        const unsigned take = std::min(room, static_cast<unsigned>(n));
        std::memcpy(out + total, m_output.data(), take);
        total += take;
    }
    m_nLastOutput = total;
    if (outLength != nullptr)
        *outLength = total;
    return produced;
}

void CMp3Encode::Deinit() {
    if (m_pStream != nullptr) {
        if (!m_output.empty())
            lame_encode_flush(m_pStream, m_output.data(), static_cast<int>(m_output.size()));
        lame_close(m_pStream);
        m_pStream = nullptr;
    }
    m_output.clear();
    m_output.shrink_to_fit();
    m_bReady = false;
    m_nChunkSize = 0;
}
