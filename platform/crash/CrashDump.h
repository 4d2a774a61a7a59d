#pragma once
// The dump writer's job for one crash: hold the crashed process, write the minidump and the
// stack listing into the current folder, let the process go. Each step is tried whatever the
// one before it gave: a dump that cannot be created does not stop the listing.

#include "platform/crash/CrashRequest.h"

#include <ctime>
#include <string>

class CCrashDump {
public:
    static constexpr size_t kMaxFrames = 2002;
    // Stack bytes kept per thread, counted from just below its stack pointer.
    static constexpr size_t kMaxStackBytes = 256 * 1024;
    static constexpr const char* kStackLogName = "debug.log";

    explicit CCrashDump(const tagCrashRequest& request) : m_request(request) {}

    // Returns 0 when both files were written, -1 when either is missing.
    int Run();

    // "Dump_YYYYMMDDhhmmss.dmp" in local time: crashes within one second share the name.
    static std::string DumpFileName(time_t when);

private:
    tagCrashRequest m_request;
};
