#include "video/VideoProbe.h"

#include "video/VideoClientH264.h"
#include "video/VideoServerH264.h"

namespace {

constexpr tagVideoRect kLarge{0, 0, 352, 288};
constexpr tagVideoRect kSmall{0, 0, 176, 144};

bool CanCreateSender() {
    CVideoServerH264 sender;
    const bool created = sender.Create(nullptr, kLarge, kSmall, kSmall, nullptr, 1) == 0;
    sender.Release();
    return created;
}

bool CanCreateReceiver() {
    CVideoClientH264 receiver;
    IVideoSurface* window = nullptr;
    const bool created = receiver.Create(nullptr, kSmall, kSmall, window) == 0;
    receiver.Release();
    return created;
}

}  // namespace

bool ProbeH264Encoder() {
    static const bool can = CanCreateSender();
    return can;
}

bool ProbeH264Decoder() {
    static const bool can = CanCreateReceiver();
    return can;
}
