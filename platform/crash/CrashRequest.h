#pragma once
// What the crash handler tells the dump writer. The handler runs in a signal context and can
// only hand over numbers on the command line; everything else the writer reads from the
// crashed process itself.

#include <sys/types.h>

#include <cstdint>
#include <ctime>

// The option names are shared with the handler, which formats them without allocating.
namespace crashopt {
inline constexpr char kPid[] = "--pid";
inline constexpr char kTid[] = "--tid";
inline constexpr char kSignal[] = "--signal";
inline constexpr char kCode[] = "--code";
inline constexpr char kAddress[] = "--address";
inline constexpr char kContext[] = "--context";
inline constexpr char kTime[] = "--time";
}  // namespace crashopt

struct tagCrashRequest {
    pid_t pid = 0;             // the crashed process
    pid_t tid = 0;             // its crashing thread, stopped inside the handler
    int signo = 0;             // the signal that caught it
    int code = 0;              // si_code of that signal
    uint64_t faultAddr = 0;    // si_addr: the address that faulted
    uint64_t contextAddr = 0;  // the handler's ucontext_t, in the crashed process's memory
    time_t crashTime = 0;      // when the handler started, seconds since 1970
};

// Reads "--name value" pairs. Numbers are decimal or 0x-prefixed hexadecimal. Every option is
// required exactly once; anything else is refused. Returns 0, or -1 with a reason in *error.
int ParseCrashRequest(int argc, const char* const* argv, tagCrashRequest& request,
                      const char** error = nullptr);
