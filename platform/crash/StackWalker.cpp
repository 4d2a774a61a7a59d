#include "platform/crash/StackWalker.h"

#include <libunwind-ptrace.h>
#include <libunwind.h>

namespace {

// The ptrace accessors would read the thread's registers as they are now, inside the crash
// handler; the walk must start from the state at the crash instead. Every other request goes
// to the ptrace accessors unchanged. Their argument must stay the ptrace state itself, because
// the unwinder hands it on to them from within its own calls; the starting registers of the
// walk under way are kept beside it.
thread_local const tagCpuState* t_start = nullptr;

int AccessReg(unw_addr_space_t, unw_regnum_t reg, unw_word_t* value, int write, void* arg) {
    if (write) {
        return -UNW_EREADONLYREG;
    }
    if (!t_start) {
        return -UNW_EBADREG;
    }
    const tagCpuState& c = *t_start;
    switch (reg) {
        case UNW_X86_64_RAX:
            *value = c.rax;
            break;
        case UNW_X86_64_RDX:
            *value = c.rdx;
            break;
        case UNW_X86_64_RCX:
            *value = c.rcx;
            break;
        case UNW_X86_64_RBX:
            *value = c.rbx;
            break;
        case UNW_X86_64_RSI:
            *value = c.rsi;
            break;
        case UNW_X86_64_RDI:
            *value = c.rdi;
            break;
        case UNW_X86_64_RBP:
            *value = c.rbp;
            break;
        case UNW_X86_64_RSP:
            *value = c.rsp;
            break;
        case UNW_X86_64_R8:
            *value = c.r8;
            break;
        case UNW_X86_64_R9:
            *value = c.r9;
            break;
        case UNW_X86_64_R10:
            *value = c.r10;
            break;
        case UNW_X86_64_R11:
            *value = c.r11;
            break;
        case UNW_X86_64_R12:
            *value = c.r12;
            break;
        case UNW_X86_64_R13:
            *value = c.r13;
            break;
        case UNW_X86_64_R14:
            *value = c.r14;
            break;
        case UNW_X86_64_R15:
            *value = c.r15;
            break;
        case UNW_X86_64_RIP:
            *value = c.rip;
            break;
        default:
            return -UNW_EBADREG;
    }
    return 0;
}

// The crashed process is only looked at, never changed.
int AccessMem(unw_addr_space_t as, unw_word_t addr, unw_word_t* value, int write, void* arg) {
    if (write) {
        return -UNW_EINVAL;
    }
    return _UPT_access_mem(as, addr, value, 0, arg);
}

int AccessFpreg(unw_addr_space_t, unw_regnum_t, unw_fpreg_t*, int, void*) {
    return -UNW_EBADREG;
}

int Resume(unw_addr_space_t, unw_cursor_t*, void*) {
    return -UNW_EINVAL;  // we only look
}

}  // namespace

std::vector<tagStackFrame> CStackWalker::Walk(pid_t tid, const tagCpuState& start,
                                              size_t maxFrames) {
    std::vector<tagStackFrame> frames;
    unw_accessors_t accessors = _UPT_accessors;
    accessors.access_mem = AccessMem;
    accessors.access_reg = AccessReg;
    accessors.access_fpreg = AccessFpreg;
    accessors.resume = Resume;
    unw_addr_space_t space = unw_create_addr_space(&accessors, 0);
    if (!space) {
        return frames;
    }
    unw_set_caching_policy(space, UNW_CACHE_GLOBAL);
    void* upt = _UPT_create(tid);
    if (!upt) {
        unw_destroy_addr_space(space);
        return frames;
    }
    unw_cursor_t cursor;
    t_start = &start;
    if (unw_init_remote(&cursor, space, upt) == 0) {
        bool exact = true;  // the first frame is the crash site itself
        while (frames.size() < maxFrames) {
            unw_word_t pc = 0;
            unw_word_t sp = 0;
            if (unw_get_reg(&cursor, UNW_REG_IP, &pc) != 0 ||
                unw_get_reg(&cursor, UNW_REG_SP, &sp) != 0 || sp == 0 || pc == 0) {
                break;
            }
            frames.push_back({pc, sp, exact});
            // A frame a signal interrupted resumes at its own pc, not after a call.
            exact = unw_is_signal_frame(&cursor) > 0;
            if (unw_step(&cursor) <= 0) {
                break;
            }
        }
    }
    t_start = nullptr;
    _UPT_destroy(upt);
    unw_destroy_addr_space(space);
    return frames;
}
