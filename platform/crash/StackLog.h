#pragma once
// The stack listing left beside the dump: a time line, then per frame the function's name (or
// the note that none was found) and, when known, its source file and line.

#include "platform/crash/SymbolTable.h"

#include <cstdio>
#include <ctime>
#include <string>

class CStackLog {
public:
    // Names longer than this are cut.
    static constexpr size_t kMaxName = 1024;

    CStackLog() = default;
    ~CStackLog();
    CStackLog(const CStackLog&) = delete;
    CStackLog& operator=(const CStackLog&) = delete;

    // Creates the file anew and writes the time line. Returns 1, or 0 when it cannot be created.
    int Open(const std::string& path, const tm& localTime);
    // Written as it goes, so a listing cut short still holds every frame seen so far.
    void AddFrame(const tagSymbol& symbol);
    void Close();

    static std::string TimeLine(const tm& localTime);
    static std::string FrameLines(const tagSymbol& symbol);

private:
    FILE* m_file = nullptr;
};
