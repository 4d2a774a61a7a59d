// Received speech: packets of command 460 whose 250-byte payloads are decoded by the
// process's G.729 decoder; any other size is refused before it reaches the decoder.
#include "audio/AudioFormats.h"
#include "audio/AudioPacket.h"
#include "audio/WaveCompress729.h"
#include "protocol/KParam.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CWaveCompress729 codec;
    short out[kSpeechBlockBytes / 2 + 32];
    for (short& s : out) s = 0x5A5A;
    CKParam packet;
    tagAudioPacket audio;
    if (packet.SetBufferPtr(reinterpret_cast<const char*>(data), static_cast<int>(size)) == 0 &&
        ParseAudioPacket(packet, audio) == 0 && audio.payload.size() == kSpeechPayloadBytes) {
        int n = 0;
        codec.DeCompress(reinterpret_cast<const unsigned char*>(audio.payload.constData()),
                         audio.payload.size(), out, &n);
        if (n != kSpeechBlockBytes)
            std::abort();
    }
    // The bare bytes too, one speech payload at a time.
    for (size_t at = 0; at + kSpeechPayloadBytes <= size; at += kSpeechPayloadBytes) {
        int n = 0;
        codec.DeCompress(data + at, kSpeechPayloadBytes, out, &n);
    }
    for (size_t i = kSpeechBlockBytes / 2; i < sizeof out / sizeof out[0]; ++i)
        if (out[i] != 0x5A5A)
            std::abort();
    return 0;
}
