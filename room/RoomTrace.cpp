#include "room/RoomTrace.h"

#include "infra/TraceLog.h"

void RoomTrace(const char* text) {
    TheTraceLog().Write(TRACE_NORMAL, "TavoClient", "%s", text);
}
