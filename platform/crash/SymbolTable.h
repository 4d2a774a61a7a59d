#pragma once
// Symbol names and source lines for addresses in another process, from the ELF symbol tables
// and DWARF line tables of the files it has loaded.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

struct Dwfl;

struct tagSymbol {
    bool found = false;    // a symbol covers the address
    std::string name;      // demangled when it is a C++ name
    bool hasLine = false;  // the line table knows the address
    std::string file;
    unsigned line = 0;
};

class CSymbolTable {
public:
    CSymbolTable() = default;
    ~CSymbolTable();
    CSymbolTable(const CSymbolTable&) = delete;
    CSymbolTable& operator=(const CSymbolTable&) = delete;

    // Reports the modules of pid. Returns 0, or -1 when nothing could be learnt.
    int Open(pid_t pid);
    // Returns 0 when symbol handling was open and is now released, -1 when it was not open.
    int Close();

    tagSymbol Lookup(uint64_t addr) const;
    // The build id of the module loaded at base; empty when unknown.
    std::vector<uint8_t> BuildId(uint64_t base) const;

private:
    Dwfl* m_dwfl = nullptr;
};
