#include "platform/crash/CpuState.h"

#include <cstring>

static_assert(sizeof(user_fpregs_struct) == 512, "the FXSAVE image is 512 bytes");

tagCpuState CpuStateFromRegs(const user_regs_struct& regs, const user_fpregs_struct* fpregs) {
    tagCpuState cpu;
    cpu.rax = regs.rax;
    cpu.rbx = regs.rbx;
    cpu.rcx = regs.rcx;
    cpu.rdx = regs.rdx;
    cpu.rsi = regs.rsi;
    cpu.rdi = regs.rdi;
    cpu.rbp = regs.rbp;
    cpu.rsp = regs.rsp;
    cpu.r8 = regs.r8;
    cpu.r9 = regs.r9;
    cpu.r10 = regs.r10;
    cpu.r11 = regs.r11;
    cpu.r12 = regs.r12;
    cpu.r13 = regs.r13;
    cpu.r14 = regs.r14;
    cpu.r15 = regs.r15;
    cpu.rip = regs.rip;
    cpu.eflags = uint32_t(regs.eflags);
    cpu.cs = uint16_t(regs.cs);
    cpu.ds = uint16_t(regs.ds);
    cpu.es = uint16_t(regs.es);
    cpu.fs = uint16_t(regs.fs);
    cpu.gs = uint16_t(regs.gs);
    cpu.ss = uint16_t(regs.ss);
    if (fpregs) {
        cpu.hasFloat = true;
        memcpy(cpu.fxsave, fpregs, sizeof(cpu.fxsave));
    }
    return cpu;
}

tagCpuState CpuStateFromSignalContext(const ucontext_t& context, const void* fxsave) {
    const greg_t* g = context.uc_mcontext.gregs;
    tagCpuState cpu;
    cpu.rax = uint64_t(g[REG_RAX]);
    cpu.rbx = uint64_t(g[REG_RBX]);
    cpu.rcx = uint64_t(g[REG_RCX]);
    cpu.rdx = uint64_t(g[REG_RDX]);
    cpu.rsi = uint64_t(g[REG_RSI]);
    cpu.rdi = uint64_t(g[REG_RDI]);
    cpu.rbp = uint64_t(g[REG_RBP]);
    cpu.rsp = uint64_t(g[REG_RSP]);
    cpu.r8 = uint64_t(g[REG_R8]);
    cpu.r9 = uint64_t(g[REG_R9]);
    cpu.r10 = uint64_t(g[REG_R10]);
    cpu.r11 = uint64_t(g[REG_R11]);
    cpu.r12 = uint64_t(g[REG_R12]);
    cpu.r13 = uint64_t(g[REG_R13]);
    cpu.r14 = uint64_t(g[REG_R14]);
    cpu.r15 = uint64_t(g[REG_R15]);
    cpu.rip = uint64_t(g[REG_RIP]);
    cpu.eflags = uint32_t(g[REG_EFL]);
    // The kernel packs cs, gs, fs and (on newer kernels) ss into one slot, 16 bits each.
    const uint64_t segments = uint64_t(g[REG_CSGSFS]);
    cpu.cs = uint16_t(segments);
    cpu.gs = uint16_t(segments >> 16);
    cpu.fs = uint16_t(segments >> 32);
    cpu.ss = uint16_t(segments >> 48);
    if (fxsave) {
        cpu.hasFloat = true;
        memcpy(cpu.fxsave, fxsave, sizeof(cpu.fxsave));
    }
    return cpu;
}
