#pragma once
// Writes a minidump (the "MDMP" container) of an x86-64 Linux process: system information,
// threads with their register contexts and stack memory, loaded modules, extra memory ranges,
// the exception record and the process's memory map, as debuggers that open such files
// (lldb -c) expect them.

#include "platform/crash/CpuState.h"

#include <cstdint>
#include <string>
#include <vector>

struct tagDumpThread {
    uint32_t tid = 0;
    tagCpuState cpu;
    uint64_t stackStart = 0;
    std::vector<uint8_t> stack;
};

struct tagDumpModule {
    uint64_t base = 0;
    uint64_t size = 0;
    std::string path;              // UTF-8
    std::vector<uint8_t> buildId;  // the ELF build id, empty when the file has none
};

struct tagDumpException {
    uint32_t tid = 0;
    uint32_t signo = 0;    // written as the exception code
    uint32_t code = 0;     // si_code, written as the exception flags
    uint64_t address = 0;  // si_addr
    tagCpuState cpu;       // the state when the signal arrived
};

// What the system information stream says about the machine.
struct tagDumpSystem {
    uint16_t processorLevel = 0;     // CPU family
    uint16_t processorRevision = 0;  // model << 8 | stepping
    uint8_t processorCount = 0;
    uint32_t majorVersion = 0, minorVersion = 0, buildNumber = 0;  // of the kernel
    std::string description;  // uname: system, release, version, machine
    uint32_t vendor[3] = {};
    uint32_t versionInformation = 0;
    uint32_t featureInformation = 0;
    uint32_t extendedFeatures = 0;

    static tagDumpSystem ThisMachine();
};

// Stream numbers of the container.
enum : uint32_t {
    MD_THREAD_LIST_STREAM = 3,
    MD_MODULE_LIST_STREAM = 4,
    MD_MEMORY_LIST_STREAM = 5,
    MD_EXCEPTION_STREAM = 6,
    MD_SYSTEM_INFO_STREAM = 7,
    MD_MISC_INFO_STREAM = 15,
    MD_LINUX_MAPS_STREAM = 0x47670009,
};
inline constexpr uint32_t kMinidumpSignature = 0x504D444D;  // "MDMP"
inline constexpr uint32_t kMinidumpVersion = 0xA793;
inline constexpr uint32_t kContextAmd64Size = 1232;
inline constexpr uint16_t kProcessorArchitectureAmd64 = 9;
inline constexpr uint32_t kPlatformLinux = 0x8201;
// 'BpEL' read as one big-endian number, the way readers compare it; in the file it is the
// bytes "LEpB". A reader that does not know the signature drops the id and matches the module
// by its path alone.
inline constexpr uint32_t kCvSignatureElfBuildId = 0x4270454C;

class CMinidumpWriter {
public:
    CMinidumpWriter();

    void SetTime(uint32_t unixSeconds) { m_time = unixSeconds; }
    void SetProcessId(uint32_t pid) { m_pid = pid; }
    void SetSystem(const tagDumpSystem& system) { m_system = system; }
    void AddThread(tagDumpThread thread) { m_threads.push_back(std::move(thread)); }
    void AddModule(tagDumpModule module) { m_modules.push_back(std::move(module)); }
    // Memory other than the thread stacks (those are listed with their threads).
    void AddMemory(uint64_t start, std::vector<uint8_t> bytes);
    void SetException(const tagDumpException& exception);
    void SetLinuxMaps(std::string text) { m_maps = std::move(text); }

    std::vector<uint8_t> Build() const;
    // Creates the file anew (an earlier dump of the same name is replaced). Returns 0 or -1.
    int WriteFile(const std::string& path) const;

private:
    struct Memory {
        uint64_t start;
        std::vector<uint8_t> bytes;
    };

    uint32_t m_time = 0;
    uint32_t m_pid = 0;
    tagDumpSystem m_system;
    std::vector<tagDumpThread> m_threads;
    std::vector<tagDumpModule> m_modules;
    std::vector<Memory> m_memory;
    bool m_hasException = false;
    tagDumpException m_exception;
    std::string m_maps;
};
