#pragma once
// One thread's x86-64 register state, whether it came from ptrace or from the context the
// kernel saved when the crash signal arrived.

#include <sys/ucontext.h>
#include <sys/user.h>

#include <cstdint>

struct tagCpuState {
    uint64_t rax = 0, rbx = 0, rcx = 0, rdx = 0, rsi = 0, rdi = 0, rbp = 0, rsp = 0;
    uint64_t r8 = 0, r9 = 0, r10 = 0, r11 = 0, r12 = 0, r13 = 0, r14 = 0, r15 = 0;
    uint64_t rip = 0;
    uint32_t eflags = 0;
    uint16_t cs = 0, ds = 0, es = 0, fs = 0, gs = 0, ss = 0;
    bool hasFloat = false;
    uint8_t fxsave[512] = {};  // the FXSAVE image: x87, MXCSR and the XMM registers
};

tagCpuState CpuStateFromRegs(const user_regs_struct& regs, const user_fpregs_struct* fpregs);
// fxsave is the 512 bytes the context's fpregs pointer leads to, or nullptr when they could
// not be read.
tagCpuState CpuStateFromSignalContext(const ucontext_t& context, const void* fxsave);
