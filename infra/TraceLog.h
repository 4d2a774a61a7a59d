#pragma once
// The trace log: one process-wide text file of internal events and failures. Code everywhere
// calls Write with a level, the name of the writing module (usually its class name) and a
// printf-style format. Until somebody opens the log every Write returns false and writes
// nothing; the application closes it when it exits.
//
// A line is: the level tag in a column of WidthType characters, the module in a column of
// WidthFrom characters, optionally the local time (with milliseconds), the process id and the
// thread id, then the message and "\r\n". The file is UTF-16 little-endian without a
// byte-order mark. When a write finds the file at its size limit, the whole log is copied to
// one backup file and emptied. Settings live in the application's profile, section "Common",
// under the profile name Open sets.
//
// Any thread may write.

#include <QString>

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <memory>

class CInterLog;

// Levels; any value of 4 and above (or below 0) is written as "UNREG:".
enum : int {
    TRACE_NORMAL = 0,  // progress
    TRACE_ALARM = 1,   // transport status
    TRACE_ERROR = 2,   // failures
    TRACE_DEBUG = 3,   // written only when the profile's "Debug" is set
};

// The column widths and optional fields of a line, as SetFormat and GetFormat exchange them.
struct tagFormat {
    int32_t widthType;  // the level column
    int32_t widthFrom;  // the module column
    bool hasTime;
    bool hasProcessID;
    bool hasThreadID;
    bool hasMillisecond;
};
static_assert(sizeof(bool) == 1 && sizeof(tagFormat) == 12, "tagFormat keeps its exported layout");
static_assert(offsetof(tagFormat, hasTime) == 8 && offsetof(tagFormat, hasMillisecond) == 11);

class CTraceLog {
public:
    CTraceLog();
    virtual ~CTraceLog();
    CTraceLog(const CTraceLog&) = delete;
    CTraceLog& operator=(const CTraceLog&) = delete;

    // Opens the log file named after name (the application's name when empty, "TraceLog" when
    // that is empty too; ".LOG" when the name has no extension), with a size limit in
    // kilobytes of 1000 bytes. The application's profile name becomes the name, and the
    // settings are read from there. False when already open or when no file could be opened.
    bool Open(const QString& name, unsigned limitKB);
    // True when the lock was obtained within 5000 ms, whether or not a line was written; false
    // when the log is not open or the lock was not obtained.
    bool Write(int level, const char* module, const char* format, ...)
        __attribute__((format(printf, 4, 5)));
    bool WriteV(int level, const char* module, const char* format, va_list args)
        __attribute__((format(printf, 4, 0)));
    // Writes the closing lines and closes the file.
    void Close();
    // Moves the log to its backup file at once. False when not open or the lock was not obtained.
    bool CleanLog();
    // Nonzero: lines are formatted and dropped instead of written.
    void SetOutput(int output);
    // A width of 0 becomes 7 (level) or 9 (module), in the caller's structure too. Stores every
    // setting in the profile.
    void SetFormat(tagFormat* format);
    bool GetFormat(tagFormat* format) const;

    bool IsOpen() const;

private:
    std::unique_ptr<CInterLog> m_log;
};

// The process's trace log. It is never destroyed, so a line written while the process exits
// is safe.
CTraceLog& TheTraceLog();
