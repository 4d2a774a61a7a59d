#pragma once
// The memory map of a process as /proc/<pid>/maps lists it, and the loaded files (modules)
// read from it.

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct tagMapRegion {
    uint64_t start = 0;
    uint64_t end = 0;  // one past the last byte
    uint64_t offset = 0;
    uint64_t inode = 0;
    bool readable = false;
    bool writable = false;
    bool executable = false;
    std::string path;  // empty for anonymous memory; "[stack]", "[vdso]" and the like kept as is
};

struct tagModule {
    uint64_t base = 0;
    uint64_t size = 0;
    std::string path;
};

class CProcessMaps {
public:
    // Reads /proc/<pid>/maps. Returns 0, or -1 when it cannot be read.
    int Load(pid_t pid);
    // Takes the text of a maps file; lines that do not parse are dropped.
    void Parse(std::string_view text);

    const std::string& Text() const { return m_text; }
    // The region holding addr, or nullptr.
    const tagMapRegion* Find(uint64_t addr) const;

    // Files mapped from offset 0, each spanning its consecutive mappings of the same file.
    // isImage, when given, decides whether the file at a base address is an executable image
    // (a font or a locale archive is mapped the same way but is no module).
    std::vector<tagModule> Modules(const std::function<bool(uint64_t base)>& isImage = {}) const;

private:
    std::string m_text;
    std::vector<tagMapRegion> m_regions;
};
