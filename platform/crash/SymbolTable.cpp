#include "platform/crash/SymbolTable.h"

#include <cxxabi.h>
#include <elfutils/libdwfl.h>

#include <elfutils/libdw.h>

#include <cstdlib>
#include <cstring>

namespace {

char* g_debugInfoPath = nullptr;

const Dwfl_Callbacks kCallbacks = {
    dwfl_linux_proc_find_elf,
    dwfl_standard_find_debuginfo,
    nullptr,
    &g_debugInfoPath,
};

// A versioned symbol ("__libc_start_main@@GLIBC_2.34") is named without its version.
std::string Demangle(const char* versioned) {
    std::string name(versioned, strcspn(versioned, "@"));
    int status = 0;
    char* plain = abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status);
    if (status != 0 || !plain) {
        return name;
    }
    std::string result(plain);
    free(plain);
    return result;
}

}  // namespace

CSymbolTable::~CSymbolTable() {
    Close();
}

int CSymbolTable::Open(pid_t pid) {
    Close();
    m_dwfl = dwfl_begin(&kCallbacks);
    if (!m_dwfl) {
        return -1;
    }
    dwfl_report_begin(m_dwfl);
    int reported = dwfl_linux_proc_report(m_dwfl, pid);
    if (dwfl_report_end(m_dwfl, nullptr, nullptr) != 0 || reported != 0) {
        Close();
        return -1;
    }
    return 0;
}

int CSymbolTable::Close() {
    if (!m_dwfl) {
        return -1;
    }
    dwfl_end(m_dwfl);
    m_dwfl = nullptr;
    return 0;
}

tagSymbol CSymbolTable::Lookup(uint64_t addr) const {
    tagSymbol symbol;
    Dwfl_Module* module = m_dwfl ? dwfl_addrmodule(m_dwfl, addr) : nullptr;
    if (!module) {
        return symbol;
    }
    GElf_Off offset = 0;
    GElf_Sym elfSymbol{};
    const char* name =
        dwfl_module_addrinfo(module, addr, &offset, &elfSymbol, nullptr, nullptr, nullptr);
    if (name && *name) {
        symbol.found = true;
        symbol.name = Demangle(name);
    }
    // The row found is the last one at or before addr; when addr lies in code the line table
    // does not describe (start-up code without debug information), that row belongs to some
    // other function or ends a sequence, and tells nothing about addr.
    Dwfl_Line* line = dwfl_module_getsrc(module, addr);
    Dwarf_Addr bias = 0;
    Dwarf_Line* row = line ? dwfl_dwarf_line(line, &bias) : nullptr;
    bool endOfSequence = false;
    if (row && dwarf_lineendsequence(row, &endOfSequence) == 0 && endOfSequence) {
        line = nullptr;
    }
    if (line) {
        Dwarf_Addr lineAddr = 0;
        int lineNumber = 0;
        const char* file = dwfl_lineinfo(line, &lineAddr, &lineNumber, nullptr, nullptr, nullptr);
        const bool sameFunction = !symbol.found || lineAddr >= addr - offset;
        if (file && lineNumber > 0 && sameFunction) {
            symbol.hasLine = true;
            symbol.file = file;
            symbol.line = unsigned(lineNumber);
        }
    }
    return symbol;
}

std::vector<uint8_t> CSymbolTable::BuildId(uint64_t base) const {
    Dwfl_Module* module = m_dwfl ? dwfl_addrmodule(m_dwfl, base) : nullptr;
    if (!module) {
        return {};
    }
    // The id is read from the file, which is only opened on demand.
    GElf_Addr bias = 0;
    dwfl_module_getelf(module, &bias);
    const unsigned char* bits = nullptr;
    GElf_Addr where = 0;
    int length = dwfl_module_build_id(module, &bits, &where);
    if (length <= 0 || !bits) {
        return {};
    }
    return std::vector<uint8_t>(bits, bits + length);
}
