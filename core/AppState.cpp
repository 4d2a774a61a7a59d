#include "core/AppState.h"

#include <atomic>

namespace {
std::atomic<CAppState*> g_state{nullptr};
}

CAppState& CAppState::Get() {
    static CAppState fallback;
    CAppState* state = g_state.load(std::memory_order_acquire);
    return state ? *state : fallback;
}

void CAppState::Set(CAppState* state) { g_state.store(state, std::memory_order_release); }
