#include "platform/VideoProbe.h"

namespace {

bool CanCreateH264Encoder() {
    return false;
}
bool CanCreateH264Decoder() {
    return false;
}

}  // namespace

bool ProbeH264Encoder() {
    static const bool can = CanCreateH264Encoder();
    return can;
}

bool ProbeH264Decoder() {
    static const bool can = CanCreateH264Decoder();
    return can;
}
