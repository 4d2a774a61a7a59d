#include "audio/VoiceOwner.h"

#include <atomic>

namespace {
std::atomic<bool> g_quitting{false};
}

void SetAudioQuitting(bool quitting) {
    g_quitting.store(quitting);
}
bool IsAudioQuitting() {
    return g_quitting.load();
}

int SendingMicIndex(const tagMicState& state) {
    // Free mics have empty holders; an empty own ID would match them.
    if (state.ownId.isEmpty())
        return 0;
    const bool floorFree = state.floorHolder.isEmpty() || state.floorHolder == state.ownId;
    if (state.ownId == state.mainHolder && floorFree)
        return 1;
    if (state.ownId == state.secondHolder && (state.dualMic || floorFree))
        return 2;
    return 0;
}
