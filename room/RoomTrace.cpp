#include "room/RoomTrace.h"

#ifdef TAVO_HAVE_TRACE_LOG
#include "infra/TraceLog.h"
#else
#include <QLoggingCategory>
#endif

void RoomTrace(const char* text) {
#ifdef TAVO_HAVE_TRACE_LOG
    TheTraceLog().Write(TRACE_NORMAL, "TavoClient", "%s", text);
#else
    // Without the trace log library the line goes to Qt's log under the same component name.
    static const QLoggingCategory category("TavoClient");
    qCInfo(category, "%s", text);
#endif
}
