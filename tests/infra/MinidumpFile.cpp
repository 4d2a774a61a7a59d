#include "MinidumpFile.h"

#include <fstream>
#include <iterator>

namespace {

bool Fail(std::string* error, const std::string& reason) {
    if (error) {
        *error = reason;
    }
    return false;
}

void AppendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

}  // namespace

uint16_t CMinidumpFile::U16(uint32_t at) const {
    return uint16_t(m_bytes[at] | m_bytes[at + 1] << 8);
}

uint32_t CMinidumpFile::U32(uint32_t at) const {
    return uint32_t(U16(at)) | uint32_t(U16(at + 2)) << 16;
}

uint64_t CMinidumpFile::U64(uint32_t at) const {
    return uint64_t(U32(at)) | uint64_t(U32(at + 4)) << 32;
}

bool CMinidumpFile::ReadContext(uint32_t size, uint32_t rva, Context& context,
                                std::string* error) const {
    if (size != 1232 || !Range(rva, size)) {
        return Fail(error, "a thread context is not a 1232-byte x86-64 context inside the file");
    }
    context.flags = U32(rva + 48);
    context.mxcsr = U32(rva + 52);
    context.rax = U64(rva + 120);
    context.rsp = U64(rva + 152);
    context.rbp = U64(rva + 160);
    context.rip = U64(rva + 248);
    return true;
}

bool CMinidumpFile::ReadString(uint32_t rva, std::string& text) const {
    if (!Range(rva, 4)) {
        return false;
    }
    const uint32_t length = U32(rva);
    if (length % 2 || !Range(rva + 4, uint64_t(length) + 2) || U16(rva + 4 + length) != 0) {
        return false;
    }
    text.clear();
    for (uint32_t i = 0; i < length; i += 2) {
        uint32_t unit = U16(rva + 4 + i);
        if (unit >= 0xD800 && unit < 0xDC00 && i + 2 < length) {
            uint32_t low = U16(rva + 4 + i + 2);
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        AppendUtf8(text, unit);
    }
    return true;
}

bool CMinidumpFile::Load(const std::string& path, std::string* error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return Fail(error, "cannot open " + path);
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                               std::istreambuf_iterator<char>());
    return Parse(std::move(bytes), error);
}

bool CMinidumpFile::Parse(std::vector<uint8_t> bytes, std::string* error) {
    m_bytes = std::move(bytes);
    if (!Range(0, 32) || U32(0) != 0x504D444D) {
        return Fail(error, "no MDMP signature");
    }
    version = U32(4);
    const uint32_t count = U32(8);
    const uint32_t directory = U32(12);
    timeStamp = U32(20);
    if (!Range(directory, uint64_t(count) * 12)) {
        return Fail(error, "the stream directory runs past the end");
    }
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t entry = directory + 12 * i;
        const uint32_t type = U32(entry);
        const uint32_t size = U32(entry + 4);
        const uint32_t rva = U32(entry + 8);
        streamTypes.push_back(type);
        if (!Range(rva, size)) {
            return Fail(error, "stream " + std::to_string(type) + " runs past the end");
        }
        if (type == 3) {  // threads
            if (size < 4 || size != 4 + uint64_t(U32(rva)) * 48) {
                return Fail(error, "thread list size does not match its count");
            }
            for (uint32_t t = 0; t < U32(rva); ++t) {
                const uint32_t at = rva + 4 + 48 * t;
                Thread thread;
                thread.tid = U32(at);
                thread.stackStart = U64(at + 24);
                thread.stackSize = U32(at + 32);
                if (!Range(U32(at + 36), thread.stackSize)) {
                    return Fail(error, "a thread's stack runs past the end");
                }
                if (!ReadContext(U32(at + 40), U32(at + 44), thread.context, error)) {
                    return false;
                }
                threads.push_back(thread);
            }
        } else if (type == 4) {  // modules
            if (size < 4 || size != 4 + uint64_t(U32(rva)) * 108) {
                return Fail(error, "module list size does not match its count");
            }
            for (uint32_t m = 0; m < U32(rva); ++m) {
                const uint32_t at = rva + 4 + 108 * m;
                Module module;
                module.base = U64(at);
                module.size = U32(at + 8);
                if (!ReadString(U32(at + 20), module.name)) {
                    return Fail(error, "a module name is not a proper string");
                }
                const uint32_t cvSize = U32(at + 76);
                const uint32_t cvRva = U32(at + 80);
                if (cvSize) {
                    if (cvSize < 4 || !Range(cvRva, cvSize) || U32(cvRva) != 0x4C457042) {
                        return Fail(error, "a module's build id record is malformed");
                    }
                    module.buildId.assign(m_bytes.begin() + cvRva + 4,
                                          m_bytes.begin() + cvRva + cvSize);
                }
                modules.push_back(module);
            }
        } else if (type == 5) {  // memory
            if (size < 4 || size != 4 + uint64_t(U32(rva)) * 16) {
                return Fail(error, "memory list size does not match its count");
            }
            for (uint32_t m = 0; m < U32(rva); ++m) {
                const uint32_t at = rva + 4 + 16 * m;
                Memory range{U64(at), U32(at + 8), U32(at + 12)};
                if (!Range(range.rva, range.size)) {
                    return Fail(error, "a memory range runs past the end");
                }
                memory.push_back(range);
            }
        } else if (type == 6) {  // exception
            if (size != 168) {
                return Fail(error, "the exception stream is not 168 bytes");
            }
            Exception record;
            record.tid = U32(rva);
            record.code = U32(rva + 8);
            record.flags = U32(rva + 12);
            record.address = U64(rva + 24);
            if (!ReadContext(U32(rva + 160), U32(rva + 164), record.context, error)) {
                return false;
            }
            exception = record;
        } else if (type == 7) {  // system
            if (size != 56) {
                return Fail(error, "the system information is not 56 bytes");
            }
            architecture = U16(rva);
            platform = U32(rva + 20);
        } else if (type == 15) {  // misc
            if (size < 12 || U32(rva) != size) {
                return Fail(error, "the misc information has a wrong size");
            }
            processId = U32(rva + 8);
        } else if (type == 0x47670009) {
            linuxMaps.assign(m_bytes.begin() + rva, m_bytes.begin() + rva + size);
        }
    }
    return true;
}

const CMinidumpFile::Thread* CMinidumpFile::FindThread(uint32_t tid) const {
    for (const Thread& thread : threads) {
        if (thread.tid == tid) {
            return &thread;
        }
    }
    return nullptr;
}

const CMinidumpFile::Module* CMinidumpFile::ModuleAt(uint64_t addr) const {
    for (const Module& module : modules) {
        if (addr >= module.base && addr - module.base < module.size) {
            return &module;
        }
    }
    return nullptr;
}

std::vector<uint8_t> CMinidumpFile::ReadMemory(uint64_t addr, size_t size) const {
    for (const Memory& range : memory) {
        if (addr >= range.start && addr - range.start + size <= range.size) {
            auto from = m_bytes.begin() + range.rva + (addr - range.start);
            return std::vector<uint8_t>(from, from + size);
        }
    }
    return {};
}
