// The byte stream of a connection: cut it into reads of varying size and reassemble frames in
// both framings, reading every delivered packet.
#include "protocol/FrameCodec.h"
#include "protocol/KParam.h"

#include <cstddef>
#include <cstdint>

namespace {

void Run(const tagFrameFormat& format, const uint8_t* data, size_t size) {
    CFrameAssembler assembler(format);
    int delivered = 0;
    size_t at = 0;
    // Read sizes come from the data itself so the fuzzer explores the splits too.
    while (at < size) {
        size_t chunk = 1 + (data[at] % 97) * ((data[at] & 0x80) ? 37 : 1);
        if (chunk > size - at) {
            chunk = size - at;
        }
        assembler.Feed(reinterpret_cast<const char*>(data + at), static_cast<int>(chunk),
                       [&](const char* bytes, int length) {
                           CKParam packet;
                           packet.SetBufferPtr(bytes, length);
                           int sequence = 0;
                           packet.GetInt(KEY_SEQUENCE, sequence);
                           ++delivered;
                           return (sequence & 0xFF) == 0x5A ? CFrameAssembler::EVerdict::DiscardRest
                                                            : CFrameAssembler::EVerdict::Continue;
                       });
        at += chunk;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Run(kTcpFrame, data, size);
    Run(kRouteFrame, data, size);
    return 0;
}
