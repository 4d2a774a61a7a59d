#pragma once
// Runs a program to its end in a folder of the test's choosing and keeps what it printed and
// how it ended.

#include <string>
#include <vector>

struct tagChildRun {
    bool started = false;
    bool exited = false;  // ended through exit; else by a signal
    int exitCode = -1;
    int signal = 0;
    std::string out;
    std::string err;
};

// Gives up (and ends the program) after limitSeconds, so a hang fails the test instead of
// stalling it.
tagChildRun RunChild(const std::string& folder, const std::vector<std::string>& command,
                     int limitSeconds = 60);

std::string ReadWholeFile(const std::string& path);

// What the debugger prints when it opens a dump and runs the commands ("thread list", "bt",
// "image list", ...), working in the folder given.
std::string Debugger(const std::string& folder, const std::string& dump,
                     const std::vector<std::string>& commands);

// The build id of an ELF file as readelf reads it from the file's own note, in lower-case hex;
// empty when it has none.
std::string BuildIdOf(const std::string& file);
// A build id as the debugger's module list writes it: upper-case hex in dashed groups.
std::string AsListed(const std::string& hex);
