#pragma once
// Crash capture. A crash (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT) leaves a minidump
// "Dump_YYYYMMDDhhmmss.dmp" and a stack listing "debug.log" in the dump folder set up at
// install (the clients use the user's cache folder), else in the current folder.
//
// A crashed process can safely do almost nothing: its heap, its locks and its Qt objects may
// all be broken. So the handler, running on the thread's alternate signal stack (every thread
// that runs our code has one, see platform/ThreadSignals.h), only makes system
// calls: it starts our dump writer (tavo-crashdump) with the crashed thread's numbers and
// waits for it. The writer stops the process's threads with ptrace, reads the registers the
// kernel saved for the handler, the stacks and the memory map, and writes both files.
//
// Then, on the main thread, the sentence "对不起，由于应用程序异常，需要退出，请重新启动！" goes to
// standard error and, when a message command is set up, a fresh process is started to show it
// through the prompt service (a fresh process has a sound heap and can draw a window; see
// IsMessageRun and ShowMessage). The handler waits for that box to be closed and then ends the
// process with the signal that crashed it.
//
// On any other thread nothing is shown and only that thread ends. Unwinding the crashed
// frames (as pthread_exit from the handler would) is not safe: they may be the very thing that
// is broken. Instead the handler returns into a fresh frame of ours, on the stack it ran on,
// which marks itself the outermost frame and calls pthread_exit: there is nothing to unwind, so
// the thread goes straight to the end of its start routine and ends the ordinary way, running
// its thread-local destructors and thread-specific data destructors and handing its stack back
// for reuse. Destructors of the crashed frames do not run, and locks the thread held stay held.
// A join on the thread returns; the rest of the program keeps running.

#include <QString>

#include <cstdint>
#include <string>
#include <vector>

struct tagCrashSetup {
    // The dump writer. Empty: tavo-crashdump beside the running program, else the installed
    // one in the library-exec folder, else the one built with this library.
    std::string helperPath;
    // A program and its arguments, started after a crash on the main thread to show the
    // message box. Usually the program itself with CCrashCapture::kMessageOption. Empty: the
    // sentence only goes to standard error.
    std::vector<std::string> messageCommand;
    // Where the dump and the stack listing go; empty: the current folder.
    std::string dumpFolder;
};

class CCrashCapture {
public:
    static constexpr const char* kMessageOption = "--tavo-crash-message";

    // On the main thread, at start: remembers it as the main thread, gives it an alternate
    // signal stack and installs the handler. Returns 0, or -1 when a handler could not be set.
    static int Install(const tagCrashSetup& setup = {});
    static uint32_t MainThreadId();
    // The dump writer the handler will start; empty when none was found.
    static std::string HelperPath();

    static QString MessageText();
    // Whether the program was started only to show the crash message.
    static bool IsMessageRun(int argc, const char* const* argv);
    // Shows the message through the prompt service and returns the button pressed.
    static int ShowMessage();
};
