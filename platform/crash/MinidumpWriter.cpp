#include "platform/crash/MinidumpWriter.h"

#include <cpuid.h>
#include <fcntl.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// The container is little-endian with 32-bit file offsets; everything goes through here so
// no structure layout of ours leaks into the file.
class CByteSink {
public:
    uint32_t Size() const { return uint32_t(m_data.size()); }
    void Align(uint32_t n) {
        while (m_data.size() % n) {
            m_data.push_back(0);
        }
    }
    void U8(uint8_t v) { m_data.push_back(v); }
    void U16(uint16_t v) {
        for (int i = 0; i < 2; ++i) {
            m_data.push_back(uint8_t(v >> (8 * i)));
        }
    }
    void U32(uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            m_data.push_back(uint8_t(v >> (8 * i)));
        }
    }
    void U64(uint64_t v) {
        for (int i = 0; i < 8; ++i) {
            m_data.push_back(uint8_t(v >> (8 * i)));
        }
    }
    void Zeros(size_t n) { m_data.insert(m_data.end(), n, 0); }
    void Bytes(const void* p, size_t n) {
        auto* b = static_cast<const uint8_t*>(p);
        m_data.insert(m_data.end(), b, b + n);
    }
    void Patch32(uint32_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            m_data[at + i] = uint8_t(v >> (8 * i));
        }
    }
    std::vector<uint8_t> Take() { return std::move(m_data); }

private:
    std::vector<uint8_t> m_data;
};

struct Location {
    uint32_t size = 0;
    uint32_t rva = 0;
};

// The AMD64 CONTEXT record: 1232 bytes, registers at their fixed offsets.
Location WriteContext(CByteSink& out, const tagCpuState& cpu) {
    constexpr uint32_t kAmd64 = 0x00100000, kControl = 1, kInteger = 2, kSegments = 4, kFloat = 8;
    out.Align(16);
    Location at{kContextAmd64Size, out.Size()};
    out.Zeros(size_t{6} * 8);  // P1Home..P6Home
    out.U32(kAmd64 | kControl | kInteger | kSegments | (cpu.hasFloat ? kFloat : 0));
    uint32_t mxcsr = 0;
    if (cpu.hasFloat) {
        memcpy(&mxcsr, cpu.fxsave + 24, 4);
    }
    out.U32(mxcsr);
    for (uint16_t seg : {cpu.cs, cpu.ds, cpu.es, cpu.fs, cpu.gs, cpu.ss}) {
        out.U16(seg);
    }
    out.U32(cpu.eflags);
    out.Zeros(size_t{6} * 8);  // debug registers
    for (uint64_t reg :
         {cpu.rax, cpu.rcx, cpu.rdx, cpu.rbx, cpu.rsp, cpu.rbp, cpu.rsi, cpu.rdi, cpu.r8, cpu.r9,
          cpu.r10, cpu.r11, cpu.r12, cpu.r13, cpu.r14, cpu.r15, cpu.rip}) {
        out.U64(reg);
    }
    if (cpu.hasFloat) {
        out.Bytes(cpu.fxsave, sizeof(cpu.fxsave));
    } else {
        out.Zeros(sizeof(cpu.fxsave));
    }
    out.Zeros(26 * 16 + 6 * 8);  // vector registers, vector and debug control
    return at;
}

// A length-prefixed UTF-16 string with a terminating zero that the length does not count.
uint32_t WriteString(CByteSink& out, const std::string& utf8) {
    std::u16string text;
    for (size_t i = 0; i < utf8.size();) {
        auto c = uint8_t(utf8[i]);
        uint32_t code = 0xFFFD;
        size_t length = 1;
        if (c < 0x80) {
            code = c;
        } else if ((c & 0xE0) == 0xC0) {
            length = 2;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4;
        }
        if (length > 1) {
            bool ok = i + length <= utf8.size();
            uint32_t value = c & (0x7F >> length);
            for (size_t k = 1; ok && k < length; ++k) {
                auto next = uint8_t(utf8[i + k]);
                ok = (next & 0xC0) == 0x80;
                value = (value << 6) | (next & 0x3F);
            }
            static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
            if (ok && value >= kSmallest[length] && value <= 0x10FFFF &&
                (value < 0xD800 || value > 0xDFFF)) {
                code = value;
            } else {
                length = 1;  // a stray byte stands for itself as a replacement character
            }
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            text.push_back(char16_t(0xD800 + (code >> 10)));
            text.push_back(char16_t(0xDC00 + (code & 0x3FF)));
        } else {
            text.push_back(char16_t(code));
        }
        i += length;
    }
    out.Align(4);
    uint32_t rva = out.Size();
    out.U32(uint32_t(text.size() * 2));
    for (char16_t unit : text) {
        out.U16(uint16_t(unit));
    }
    out.U16(0);
    return rva;
}

Location WriteBlob(CByteSink& out, const void* data, size_t size, uint32_t align) {
    out.Align(align);
    Location at{uint32_t(size), out.Size()};
    out.Bytes(data, size);
    return at;
}

uint32_t ParseVersionPart(const char*& p) {
    uint32_t value = 0;
    while (*p >= '0' && *p <= '9') {
        value = value * 10 + uint32_t(*p - '0');
        ++p;
    }
    if (*p == '.') {
        ++p;
    }
    return value;
}

// A stream starts on an eight-byte boundary; the returned location is its whole record.
template <typename Fill>
Location WriteStream(CByteSink& out, Fill fill) {
    out.Align(8);
    const uint32_t at = out.Size();
    fill();
    return {out.Size() - at, at};
}

// Where a thread's stack bytes and register context were written.
struct ThreadParts {
    Location stack, context;
};

Location WriteThreadList(CByteSink& out, const std::vector<tagDumpThread>& threads,
                         const std::vector<ThreadParts>& parts) {
    return WriteStream(out, [&] {
        out.U32(uint32_t(threads.size()));
        for (size_t i = 0; i < threads.size(); ++i) {
            out.U32(threads[i].tid);
            out.U32(0);  // suspend count
            out.U32(0);  // priority class
            out.U32(0);  // priority
            out.U64(0);  // thread environment block
            out.U64(threads[i].stackStart);
            out.U32(parts[i].stack.size);
            out.U32(parts[i].stack.rva);
            out.U32(parts[i].context.size);
            out.U32(parts[i].context.rva);
        }
    });
}

// Where a module's path and its build-id record were written.
struct ModuleParts {
    uint32_t name = 0;
    Location buildId;
};

Location WriteModuleList(CByteSink& out, const std::vector<tagDumpModule>& modules,
                         const std::vector<ModuleParts>& parts) {
    return WriteStream(out, [&] {
        out.U32(uint32_t(modules.size()));
        for (size_t i = 0; i < modules.size(); ++i) {
            out.U64(modules[i].base);
            out.U32(uint32_t(modules[i].size > UINT32_MAX ? UINT32_MAX : modules[i].size));
            out.U32(0);  // checksum
            out.U32(0);  // time stamp
            out.U32(parts[i].name);
            out.Zeros(size_t{13} * 4);  // version information
            out.U32(parts[i].buildId.size);
            out.U32(parts[i].buildId.rva);
            out.Zeros(8);   // misc record
            out.Zeros(16);  // reserved
        }
    });
}

struct MemoryRange {
    uint64_t start;
    Location bytes;
};

Location WriteMemoryList(CByteSink& out, const std::vector<MemoryRange>& ranges) {
    return WriteStream(out, [&] {
        out.U32(uint32_t(ranges.size()));
        for (const MemoryRange& range : ranges) {
            out.U64(range.start);
            out.U32(range.bytes.size);
            out.U32(range.bytes.rva);
        }
    });
}

Location WriteExceptionRecord(CByteSink& out, const tagDumpException& exception, Location context) {
    return WriteStream(out, [&] {
        out.U32(exception.tid);
        out.U32(0);
        out.U32(exception.signo);
        out.U32(exception.code);
        out.U64(0);  // no nested record
        out.U64(exception.address);
        out.U32(0);  // no parameters
        out.U32(0);
        out.Zeros(size_t{15} * 8);  // exception parameters
        out.U32(context.size);
        out.U32(context.rva);
    });
}

Location WriteSystemInfo(CByteSink& out, const tagDumpSystem& system, uint32_t description) {
    return WriteStream(out, [&] {
        out.U16(kProcessorArchitectureAmd64);
        out.U16(system.processorLevel);
        out.U16(system.processorRevision);
        out.U8(system.processorCount);
        out.U8(0);  // product type
        out.U32(system.majorVersion);
        out.U32(system.minorVersion);
        out.U32(system.buildNumber);
        out.U32(kPlatformLinux);
        out.U32(description);
        out.U16(0);  // suite mask
        out.U16(0);
        for (uint32_t part : system.vendor) {
            out.U32(part);
        }
        out.U32(system.versionInformation);
        out.U32(system.featureInformation);
        out.U32(system.extendedFeatures);
    });
}

Location WriteMiscInfo(CByteSink& out, uint32_t pid) {
    return WriteStream(out, [&] {
        out.U32(24);  // size of this record
        out.U32(1);   // only the process id is filled in
        out.U32(pid);
        out.Zeros(12);
    });
}

}  // namespace

tagDumpSystem tagDumpSystem::ThisMachine() {
    tagDumpSystem system;
    utsname name{};
    if (uname(&name) == 0) {
        const char* p = name.release;
        system.majorVersion = ParseVersionPart(p);
        system.minorVersion = ParseVersionPart(p);
        system.buildNumber = ParseVersionPart(p);
        system.description = std::string(name.sysname) + " " + name.release + " " + name.version +
                             " " + name.machine;
    }
    long cpus = sysconf(_SC_NPROCESSORS_CONF);
    system.processorCount = uint8_t(cpus < 1 ? 1 : cpus > 255 ? 255 : cpus);
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid(0, &a, &b, &c, &d)) {
        system.vendor[0] = b;
        system.vendor[1] = d;
        system.vendor[2] = c;
    }
    if (__get_cpuid(1, &a, &b, &c, &d)) {
        system.versionInformation = a;
        system.featureInformation = d;
        unsigned family = (a >> 8) & 0xF;
        unsigned model = (a >> 4) & 0xF;
        if (family == 0xF) {
            family += (a >> 20) & 0xFF;
        }
        if (family >= 6) {
            model += ((a >> 16) & 0xF) << 4;
        }
        system.processorLevel = uint16_t(family);
        system.processorRevision = uint16_t((model << 8) | (a & 0xF));
    }
    if (__get_cpuid(0x80000001, &a, &b, &c, &d)) {
        system.extendedFeatures = c;
    }
    return system;
}

CMinidumpWriter::CMinidumpWriter() : m_system(tagDumpSystem::ThisMachine()) {}

void CMinidumpWriter::AddMemory(uint64_t start, std::vector<uint8_t> bytes) {
    if (!bytes.empty()) {
        m_memory.push_back({start, std::move(bytes)});
    }
}

void CMinidumpWriter::SetException(const tagDumpException& exception) {
    m_exception = exception;
    m_hasException = true;
}

std::vector<uint8_t> CMinidumpWriter::Build() const {
    CByteSink out;
    const uint32_t streamCount = 6 + (m_hasException ? 1 : 0);
    out.U32(kMinidumpSignature);
    out.U32(kMinidumpVersion);
    out.U32(streamCount);
    out.U32(32);  // the directory follows the header
    out.U32(0);   // checksum, unused
    out.U32(m_time);
    out.U64(0);  // a normal dump
    const uint32_t directory = out.Size();
    out.Zeros(size_t{12} * streamCount);

    // The pieces the streams point at come first.
    std::vector<ThreadParts> threads;
    std::vector<MemoryRange> memory;
    for (const tagDumpThread& thread : m_threads) {
        Location context = WriteContext(out, thread.cpu);
        Location stack = WriteBlob(out, thread.stack.data(), thread.stack.size(), 16);
        threads.push_back({stack, context});
        memory.push_back({thread.stackStart, stack});
    }
    for (const Memory& range : m_memory) {
        memory.push_back({range.start, WriteBlob(out, range.bytes.data(), range.bytes.size(), 16)});
    }
    Location exceptionContext;
    if (m_hasException) {
        for (size_t i = 0; i < m_threads.size(); ++i) {
            if (m_threads[i].tid == m_exception.tid) {
                exceptionContext = threads[i].context;
            }
        }
        if (exceptionContext.rva == 0) {
            exceptionContext = WriteContext(out, m_exception.cpu);
        }
    }
    std::vector<ModuleParts> modules;
    for (const tagDumpModule& module : m_modules) {
        ModuleParts parts{WriteString(out, module.path), {}};
        if (!module.buildId.empty()) {
            out.Align(4);
            parts.buildId = {uint32_t(4 + module.buildId.size()), out.Size()};
            out.U32(kCvSignatureElfBuildId);
            out.Bytes(module.buildId.data(), module.buildId.size());
        }
        modules.push_back(parts);
    }
    const uint32_t description = WriteString(out, m_system.description);

    std::vector<std::pair<uint32_t, Location>> streams{
        {MD_THREAD_LIST_STREAM, WriteThreadList(out, m_threads, threads)},
        {MD_MODULE_LIST_STREAM, WriteModuleList(out, m_modules, modules)},
        {MD_MEMORY_LIST_STREAM, WriteMemoryList(out, memory)}};
    if (m_hasException) {
        streams.emplace_back(MD_EXCEPTION_STREAM,
                             WriteExceptionRecord(out, m_exception, exceptionContext));
    }
    streams.emplace_back(MD_SYSTEM_INFO_STREAM, WriteSystemInfo(out, m_system, description));
    streams.emplace_back(MD_MISC_INFO_STREAM, WriteMiscInfo(out, m_pid));
    streams.emplace_back(MD_LINUX_MAPS_STREAM, WriteBlob(out, m_maps.data(), m_maps.size(), 8));

    for (size_t i = 0; i < streams.size(); ++i) {
        out.Patch32(directory + uint32_t(12 * i), streams[i].first);
        out.Patch32(directory + uint32_t(12 * i) + 4, streams[i].second.size);
        out.Patch32(directory + uint32_t(12 * i) + 8, streams[i].second.rva);
    }
    return out.Take();
}

int CMinidumpWriter::WriteFile(const std::string& path) const {
    const std::vector<uint8_t> bytes = Build();
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return -1;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            close(fd);
            return -1;
        }
        done += size_t(n);
    }
    return close(fd) == 0 ? 0 : -1;
}
