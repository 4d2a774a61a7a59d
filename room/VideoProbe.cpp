#include "room/VideoProbe.h"

bool ProbeH264Encoder() {
    return false;
}
bool ProbeH264Decoder() {
    return false;
}
