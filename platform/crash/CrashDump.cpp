#include "platform/crash/CrashDump.h"

#include "platform/crash/CpuState.h"
#include "platform/crash/MinidumpWriter.h"
#include "platform/crash/ProcessMaps.h"
#include "platform/crash/ProcessReader.h"
#include "platform/crash/StackLog.h"
#include "platform/crash/StackWalker.h"
#include "platform/crash/SymbolTable.h"

#include <sys/ucontext.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>

namespace {

// Just below the stack pointer lies the red zone a leaf function may use without moving it.
constexpr uint64_t kRedZone = 128;
// Code kept on either side of the crashing instruction.
constexpr uint64_t kCodeAround = 256;

// The registers at the moment of the crash, as the kernel saved them for the handler.
bool ReadCrashContext(const CProcessReader& reader, uint64_t address, tagCpuState& cpu) {
    // Only the part of the context the kernel itself fills in; the library's larger record
    // would run past it.
    ucontext_t context;
    memset(&context, 0, sizeof context);
    if (address == 0 || !reader.ReadExact(address, &context, offsetof(ucontext_t, uc_sigmask))) {
        return false;
    }
    uint8_t fxsave[512];
    const auto fpregs = reinterpret_cast<uint64_t>(context.uc_mcontext.fpregs);
    const bool hasFloat = fpregs != 0 && reader.ReadExact(fpregs, fxsave, sizeof fxsave);
    cpu = CpuStateFromSignalContext(context, hasFloat ? fxsave : nullptr);
    return true;
}

// The bytes from before below anchor to after above it, kept within anchor's mapping.
std::vector<uint8_t> ReadAround(const CProcessReader& reader, const CProcessMaps& maps,
                                uint64_t anchor, uint64_t before, uint64_t after, uint64_t& start) {
    const tagMapRegion* region = maps.Find(anchor);
    if (!region || !region->readable) {
        return {};
    }
    start = std::max(region->start, anchor > before ? anchor - before : 0);
    const uint64_t end = std::min(region->end, anchor + std::min(after, UINT64_MAX - anchor));
    std::vector<uint8_t> bytes(end - start);
    bytes.resize(reader.Read(start, bytes.data(), bytes.size()));
    return bytes;
}

std::vector<uint8_t> ReadStack(const CProcessReader& reader, const CProcessMaps& maps, uint64_t sp,
                               uint64_t& start) {
    return ReadAround(reader, maps, sp, kRedZone, CCrashDump::kMaxStackBytes - kRedZone, start);
}

bool IsElfImage(const CProcessReader& reader, uint64_t base) {
    static constexpr char kMagic[4] = {0x7f, 'E', 'L', 'F'};
    char magic[4];
    return reader.ReadExact(base, magic, sizeof magic) && memcmp(magic, kMagic, 4) == 0;
}

void Say(const char* line) {
    fputs(line, stdout);
    fflush(stdout);
}

}  // namespace

std::string CCrashDump::DumpFileName(time_t when) {
    tm local{};
    localtime_r(&when, &local);
    char name[64];
    snprintf(name, sizeof name, "Dump_%04d%02d%02d%02d%02d%02d.dmp", local.tm_year + 1900,
             local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return name;
}

int CCrashDump::Run() {
    CProcessMaps maps;
    if (maps.Load(m_request.pid) != 0) {
        return -1;  // the process is gone: there is nothing to record
    }
    CProcessReader reader;
    reader.Attach(m_request.pid);

    const tagThreadRegs* crashed = reader.Thread(m_request.tid);
    tagCpuState crashCpu;
    bool haveCrashCpu = ReadCrashContext(reader, m_request.contextAddr, crashCpu);
    if (haveCrashCpu && crashed) {
        // The saved context has no data segments; they are the same now as then.
        crashCpu.ds = uint16_t(crashed->regs.ds);
        crashCpu.es = uint16_t(crashed->regs.es);
        if (crashCpu.ss == 0) {
            crashCpu.ss = uint16_t(crashed->regs.ss);
        }
    } else if (crashed) {
        // Without the saved context the walk starts inside the handler and passes through
        // the signal frame to the crash.
        crashCpu = CpuStateFromRegs(crashed->regs, crashed->hasFloat ? &crashed->fpregs : nullptr);
        haveCrashCpu = true;
    }

    CSymbolTable symbols;
    if (symbols.Open(m_request.pid) == 0) {
        Say("Init dbghelp ok.\n");
    }

    // The minidump.
    CMinidumpWriter dump;
    dump.SetTime(uint32_t(m_request.crashTime));
    dump.SetProcessId(uint32_t(m_request.pid));
    bool crashedListed = false;
    // Memory ranges in the dump must not overlap; code is only taken where no stack lies.
    std::vector<std::pair<uint64_t, uint64_t>> stackRanges;
    for (const tagThreadRegs& thread : reader.Threads()) {
        tagDumpThread entry;
        entry.tid = uint32_t(thread.tid);
        if (thread.tid == m_request.tid && haveCrashCpu) {
            entry.cpu = crashCpu;
            crashedListed = true;
        } else {
            entry.cpu = CpuStateFromRegs(thread.regs, thread.hasFloat ? &thread.fpregs : nullptr);
        }
        entry.stack = ReadStack(reader, maps, entry.cpu.rsp, entry.stackStart);
        stackRanges.emplace_back(entry.stackStart, entry.stackStart + entry.stack.size());
        dump.AddThread(std::move(entry));
    }
    if (!crashedListed && haveCrashCpu) {
        tagDumpThread entry;
        entry.tid = uint32_t(m_request.tid);
        entry.cpu = crashCpu;
        entry.stack = ReadStack(reader, maps, entry.cpu.rsp, entry.stackStart);
        dump.AddThread(std::move(entry));
    }
    if (haveCrashCpu) {
        dump.SetException({uint32_t(m_request.tid), uint32_t(m_request.signo),
                           uint32_t(m_request.code), m_request.faultAddr, crashCpu});
        const uint64_t pc = crashCpu.rip;
        uint64_t codeStart = 0;
        std::vector<uint8_t> code =
            ReadAround(reader, maps, pc, kCodeAround, kCodeAround, codeStart);
        const bool onAStack = std::any_of(
            stackRanges.begin(), stackRanges.end(), [&](const std::pair<uint64_t, uint64_t>& r) {
                return codeStart < r.second && codeStart + code.size() > r.first;
            });
        if (!onAStack) {
            dump.AddMemory(codeStart, std::move(code));
        }
    }
    const auto isImage = [&reader](uint64_t base) { return IsElfImage(reader, base); };
    for (const tagModule& module : maps.Modules(isImage)) {
        dump.AddModule({module.base, module.size, module.path, symbols.BuildId(module.base)});
    }
    dump.SetLinuxMaps(maps.Text());
    const int dumpResult = dump.WriteFile(DumpFileName(m_request.crashTime));

    // The stack listing.
    tm local{};
    localtime_r(&m_request.crashTime, &local);
    CStackLog log;
    const int logOpened = log.Open(kStackLogName, local);
    if (haveCrashCpu && crashed) {
        for (const tagStackFrame& frame : CStackWalker::Walk(m_request.tid, crashCpu, kMaxFrames)) {
            // A return address points past its call, possibly into the next line or function.
            log.AddFrame(symbols.Lookup(frame.exact ? frame.pc : frame.pc - 1));
        }
    }
    log.Close();

    reader.Detach();
    if (symbols.Close() == 0) {
        Say("Cleanup dbghelp ok.\n");
    }
    return dumpResult == 0 && logOpened == 1 ? 0 : -1;
}
