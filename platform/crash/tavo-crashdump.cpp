// The crash dump writer. The crash handler of a tavo program starts it with the crashed
// thread stopped inside the handler; it writes the minidump and debug.log into the current
// folder and returns, and only then does the handler let the thread go on.

#include "platform/crash/CrashDump.h"
#include "platform/crash/CrashRequest.h"

#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
    // The crashed thread waits for us; should we ever hang, the alarm ends us and the kernel
    // lets the held threads go.
    alarm(60);
    tagCrashRequest request;
    const char* error = nullptr;
    if (ParseCrashRequest(argc, argv, request, &error) != 0) {
        fprintf(stderr, "tavo-crashdump: %s\n", error ? error : "bad arguments");
        fprintf(stderr,
                "usage: tavo-crashdump --pid N --tid N --signal N --code N --address A "
                "--context A --time T\n");
        return 2;
    }
    return CCrashDump(request).Run() == 0 ? 0 : 1;
}
