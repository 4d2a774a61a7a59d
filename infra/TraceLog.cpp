#include "infra/TraceLog.h"

#include "infra/InterLog.h"

CTraceLog::CTraceLog() : m_log(std::make_unique<CInterLog>()) {}

CTraceLog::~CTraceLog() = default;

bool CTraceLog::Open(const QString& name, unsigned limitKB) {
    return m_log->Open(name, limitKB);
}

bool CTraceLog::Write(int level, const char* module, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const bool result = m_log->WriteV(level, module, format, args);
    va_end(args);
    return result;
}

bool CTraceLog::WriteV(int level, const char* module, const char* format, va_list args) {
    return m_log->WriteV(level, module, format, args);
}

void CTraceLog::Close() {
    m_log->Close();
}

bool CTraceLog::CleanLog() {
    return m_log->CleanLog();
}

void CTraceLog::SetOutput(int output) {
    m_log->SetOutput(output);
}

void CTraceLog::SetFormat(tagFormat* format) {
    m_log->SetFormat(format);
}

bool CTraceLog::GetFormat(tagFormat* format) const {
    m_log->GetFormat(format);
    return true;
}

bool CTraceLog::IsOpen() const {
    return m_log->IsOpen();
}

CTraceLog& TheTraceLog() {
    // Deliberately never destroyed: threads and static destructors may still write while the
    // process exits, and a closed log answers them with false.
    static CTraceLog* log = new CTraceLog;
    return *log;
}

namespace {
// The process's log exists before main() runs, as the application expects.
[[maybe_unused]] const CTraceLog& g_earlyLog = TheTraceLog();
}  // namespace
