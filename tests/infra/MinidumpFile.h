#pragma once
// Reads back a minidump the way a debugger would, independently of the code that writes
// them: every offset and size in the file is checked before it is followed.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class CMinidumpFile {
public:
    struct Context {
        uint32_t flags = 0;
        uint64_t rip = 0, rsp = 0, rbp = 0, rax = 0;
        uint32_t mxcsr = 0;
    };
    struct Thread {
        uint32_t tid = 0;
        uint64_t stackStart = 0;
        uint32_t stackSize = 0;
        Context context;
    };
    struct Module {
        uint64_t base = 0;
        uint32_t size = 0;
        std::string name;  // UTF-8
        std::vector<uint8_t> buildId;
    };
    struct Exception {
        uint32_t tid = 0;
        uint32_t code = 0;
        uint32_t flags = 0;
        uint64_t address = 0;
        Context context;
    };
    struct Memory {
        uint64_t start = 0;
        uint32_t size = 0;
        uint32_t rva = 0;
    };

    // Returns false with a reason when the file is not a well-formed minidump.
    bool Load(const std::string& path, std::string* error);
    bool Parse(std::vector<uint8_t> bytes, std::string* error);

    uint32_t version = 0;
    uint32_t timeStamp = 0;
    std::vector<uint32_t> streamTypes;
    std::vector<Thread> threads;
    std::vector<Module> modules;
    std::vector<Memory> memory;
    std::optional<Exception> exception;
    uint16_t architecture = 0;
    uint32_t platform = 0;
    uint32_t processId = 0;
    std::string linuxMaps;

    const Thread* FindThread(uint32_t tid) const;
    const Module* ModuleAt(uint64_t addr) const;
    // Bytes of the process's memory as the dump keeps them; empty when not all are there.
    std::vector<uint8_t> ReadMemory(uint64_t addr, size_t size) const;

private:
    bool Range(uint32_t rva, uint64_t size) const { return uint64_t(rva) + size <= m_bytes.size(); }
    uint16_t U16(uint32_t at) const;
    uint32_t U32(uint32_t at) const;
    uint64_t U64(uint32_t at) const;
    bool ReadContext(uint32_t size, uint32_t rva, Context& context, std::string* error) const;
    bool ReadString(uint32_t rva, std::string& text) const;

    std::vector<uint8_t> m_bytes;
};
