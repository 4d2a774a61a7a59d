#include "core/AppState.h"

namespace {
constinit CServiceSlot<CAppState> g_state{"application state"};
}

CServiceSlot<CAppState>& CAppState::Slot() {
    return g_state;
}
