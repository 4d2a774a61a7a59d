#pragma once
// Walks the stack of a thread of another process from a given register state, reading its
// memory through ptrace and unwinding with the call-frame information of its modules.

#include "platform/crash/CpuState.h"

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <vector>

struct tagStackFrame {
    uint64_t pc = 0;  // where the frame is executing (a return address for the callers)
    uint64_t sp = 0;  // the frame's stack pointer, that is the frame address of its callee
    // pc is exactly the instruction that was running (the crash site, or a frame a signal
    // interrupted), not a return address that already points past the call.
    bool exact = false;
};

class CStackWalker {
public:
    // tid must be held stopped by this process (ptrace). The walk ends when the unwinder
    // cannot go on, when a frame's address is 0, or after maxFrames frames.
    static std::vector<tagStackFrame> Walk(pid_t tid, const tagCpuState& start, size_t maxFrames);
};
