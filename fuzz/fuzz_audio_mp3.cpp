// Received hi-fi and singing audio: packets of command 460 whose payloads go, one after the
// other, through one player's MP3 decoder into its 23040-byte decode buffer.
#include "audio/AudioPacket.h"
#include "audio/Mp3Decoder.h"
#include "protocol/KParam.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The input is a run of chunks: two bytes of length, then a packet (or, when it is not
    // an audio packet, bare payload bytes).
    CMp3Decoder decoder;
    constexpr size_t kBuffer = 23040;
    constexpr size_t kGuard = 64;
    std::vector<unsigned char> out(kBuffer + kGuard, 0xA5);
    size_t at = 0;
    while (at + 2 <= size) {
        const size_t n = std::min<size_t>(data[at] | (data[at + 1] << 8), size - at - 2);
        const char* chunk = reinterpret_cast<const char*>(data + at + 2);
        at += 2 + n;
        CKParam packet;
        tagAudioPacket audio;
        QByteArray payload;
        if (packet.SetBufferPtr(chunk, static_cast<int>(n)) == 0 &&
            ParseAudioPacket(packet, audio) == 0)
            payload = audio.payload;
        else
            payload = QByteArray(chunk, static_cast<int>(n));
        const size_t got =
            decoder.Decode(reinterpret_cast<const unsigned char*>(payload.constData()),
                           payload.size(), out.data(), kBuffer);
        if (got > kBuffer)
            std::abort();
        for (size_t i = kBuffer; i < out.size(); ++i)
            if (out[i] != 0xA5)
                std::abort();
    }
    return 0;
}
