#include "infra/CrashCapture.h"

#include "platform/Prompt.h"
#include "platform/ThreadSignals.h"
#include "platform/crash/CrashRequest.h"

#include <errno.h>
#include <execinfo.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/ucontext.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

extern char** environ;

// Where a crashed worker thread goes once its files are written: a frame of its own that
// marks itself the outermost one, so the unwinding done by pthread_exit finds nothing to
// unwind and goes straight to the thread's start, which then ends the thread the ordinary way
// (thread-local destructors, thread-specific data, the stack given back). None of the crashed
// frames is unwound.
extern "C" void TavoCrashedThreadExit();
extern "C" [[noreturn]] __attribute__((used)) void TavoEndCrashedThread() {
    pthread_exit(nullptr);
}
asm(R"(
    .text
    .p2align 4
    .type TavoCrashedThreadExit, @function
TavoCrashedThreadExit:
    .cfi_startproc
    .cfi_undefined rip
    xorl %ebp, %ebp
    andq $-16, %rsp
    call TavoEndCrashedThread@PLT
    hlt
    .cfi_endproc
    .size TavoCrashedThreadExit, .-TavoCrashedThreadExit
)");

namespace {

constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr char kMessage[] = "对不起，由于应用程序异常，需要退出，请重新启动！";
constexpr const char* kHelperName = "tavo-crashdump";

std::atomic<uint32_t> g_mainThreadId{0};
// The thread inside the handler, 0 when none: crashes on several threads take turns.
std::atomic<pid_t> g_owner{0};
static_assert(std::atomic<pid_t>::is_always_lock_free);

// Everything the handler needs is laid out at install time, so it never allocates.
struct Prepared {
    char helper[PATH_MAX] = {};
    bool hasHelper = false;
    char dumpFolder[PATH_MAX] = {};  // empty: the current folder
    char messageStore[4096] = {};
    char* messageArgv[16] = {};
    bool hasMessage = false;
    // The writer's command line, filled in under g_owner.
    char numbers[7][24] = {};
    char* helperArgv[16] = {};
};
Prepared g_prepared;

pid_t CurrentTid() {
    return pid_t(syscall(SYS_gettid));
}

void FormatNumber(char* out, uint64_t value, bool hex, bool negative) {
    char digits[24];
    int n = 0;
    const unsigned base = hex ? 16 : 10;
    do {
        digits[n++] = "0123456789abcdef"[value % base];
        value /= base;
    } while (value);
    if (negative) {
        *out++ = '-';
    }
    if (hex) {
        *out++ = '0';
        *out++ = 'x';
    }
    while (n) {
        *out++ = digits[--n];
    }
    *out = '\0';
}

void FormatSigned(char* out, int64_t value) {
    FormatNumber(out, value < 0 ? uint64_t(0) - uint64_t(value) : uint64_t(value), false,
                 value < 0);
}

void WriteAll(int fd, const char* text, size_t size) {
    while (size) {
        ssize_t n = write(fd, text, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        text += n;
        size -= size_t(n);
    }
}

// Starts a program and waits for it, from inside the handler. A bare clone rather than fork:
// fork runs the library's fork handlers, which take locks (the allocator's among them) the
// crashed thread may be holding. The child waits at a gate until the parent has named it as
// its tracer, where the kernel asks for that (Yama).
void RunAndWait(const char* path, char* const argv[], bool mayTrace, const char* folder = nullptr) {
    int gate[2];
    if (pipe2(gate, O_CLOEXEC) != 0) {
        return;
    }
    const long child = syscall(SYS_clone, SIGCHLD, 0, 0, 0, 0);
    if (child == 0) {
        close(gate[1]);
        char go = 0;
        while (read(gate[0], &go, 1) < 0 && errno == EINTR) {
        }
        // The handler blocks the crash signals; the new program must not start with them
        // blocked.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        // The writer puts its files in its working folder.
        if (folder && *folder && chdir(folder) != 0) {
            syscall(SYS_exit_group, 127);
        }
        execve(path, argv, environ);
        syscall(SYS_exit_group, 127);
    }
    close(gate[0]);
    if (child > 0 && mayTrace) {
        prctl(PR_SET_PTRACER, static_cast<unsigned long>(child), 0, 0, 0);
    }
    WriteAll(gate[1], "g", 1);
    close(gate[1]);
    if (child > 0) {
        int status = 0;
        while (waitpid(pid_t(child), &status, __WALL) < 0 && errno == EINTR) {
        }
    }
    if (mayTrace) {
        prctl(PR_SET_PTRACER, 0, 0, 0, 0);
    }
}

void StartDumpWriter(int signo, const siginfo_t* info, const void* context, pid_t tid, time_t now) {
    Prepared& p = g_prepared;
    if (!p.hasHelper) {
        return;
    }
    FormatSigned(p.numbers[0], getpid());
    FormatSigned(p.numbers[1], tid);
    FormatSigned(p.numbers[2], signo);
    FormatSigned(p.numbers[3], info ? info->si_code : 0);
    FormatNumber(p.numbers[4], info ? reinterpret_cast<uintptr_t>(info->si_addr) : 0, true, false);
    FormatNumber(p.numbers[5], reinterpret_cast<uintptr_t>(context), true, false);
    FormatSigned(p.numbers[6], now);
    const char* names[] = {crashopt::kPid,  crashopt::kTid,     crashopt::kSignal,
                           crashopt::kCode, crashopt::kAddress, crashopt::kContext,
                           crashopt::kTime};
    int n = 0;
    p.helperArgv[n++] = p.helper;
    for (int i = 0; i < 7; ++i) {
        p.helperArgv[n++] = const_cast<char*>(names[i]);
        p.helperArgv[n++] = p.numbers[i];
    }
    p.helperArgv[n] = nullptr;
    RunAndWait(p.helper, p.helperArgv, true, p.dumpFolder);
}

[[noreturn]] void EndProcess(int signo, pid_t tid) {
    struct sigaction fallback = {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signo, &fallback, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signo);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    // Ending by the same signal keeps the exit status honest for whoever started us.
    syscall(SYS_tgkill, getpid(), tid, signo);
    syscall(SYS_exit_group, 128 + signo);
    __builtin_unreachable();
}

// Returning from the handler resumes the thread at the context; pointed at our exit frame, on
// the stack the handler runs on now, which is free once the kernel has restored the context.
void LeaveToThreadExit(ucontext_t* context) {
    char here = 0;
    greg_t* regs = context->uc_mcontext.gregs;
    regs[REG_RSP] = greg_t(reinterpret_cast<uintptr_t>(&here) & ~uintptr_t(15));
    regs[REG_RIP] = greg_t(reinterpret_cast<uintptr_t>(&TavoCrashedThreadExit));
    regs[REG_RBP] = 0;
    // Function entry expects the direction flag clear; no single-stepping, no alignment checks.
    regs[REG_EFL] &= ~greg_t(0x400 | 0x100 | 0x40000);
    // A floating-point fault must not strike again on the way out: default control words.
    if (context->uc_mcontext.fpregs) {
        context->uc_mcontext.fpregs->mxcsr = 0x1F80;
        context->uc_mcontext.fpregs->cwd = 0x037F;
        context->uc_mcontext.fpregs->swd = 0;
    }
}

void OnCrashSignal(int signo, siginfo_t* info, void* context) {
    const pid_t tid = CurrentTid();
    pid_t expected = 0;
    while (!g_owner.compare_exchange_strong(expected, tid)) {
        if (expected == tid) {
            EndProcess(signo, tid);  // the handler itself broke; nothing more can be done
        }
        expected = 0;
        timespec pause = {0, 1000000};
        nanosleep(&pause, nullptr);
    }
    timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    StartDumpWriter(signo, info, context, tid, now.tv_sec);

    if (uint32_t(tid) == g_mainThreadId.load()) {
        WriteAll(STDERR_FILENO, kMessage, sizeof kMessage - 1);
        WriteAll(STDERR_FILENO, "\n", 1);
        if (g_prepared.hasMessage) {
            RunAndWait(g_prepared.messageArgv[0], g_prepared.messageArgv, false);
        }
        EndProcess(signo, tid);
    }
    g_owner.store(0);
    LeaveToThreadExit(static_cast<ucontext_t*>(context));
}

bool CopyInto(char* out, size_t size, const std::string& text) {
    if (text.empty() || text.size() >= size) {
        return false;
    }
    memcpy(out, text.c_str(), text.size() + 1);
    return true;
}

std::string OwnFolder() {
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) {
        return {};
    }
    std::string self(path, size_t(n));
    return self.substr(0, self.rfind('/'));
}

std::string FindHelper(const std::string& chosen) {
    if (!chosen.empty()) {
        return chosen;
    }
    const std::string own = OwnFolder();
    std::string beside = own + "/" + kHelperName;
    if (access(beside.c_str(), X_OK) == 0) {
        return beside;
    }
#ifdef TAVO_HELPER_FROM_PROGRAM
    // An installed copy keeps the helper out of the search path, in the library-exec folder.
    std::string installed = own + "/" + TAVO_HELPER_FROM_PROGRAM;
    if (access(installed.c_str(), X_OK) == 0) {
        return installed;
    }
#endif
#ifdef TAVO_CRASHDUMP_BUILD_PATH
    if (access(TAVO_CRASHDUMP_BUILD_PATH, X_OK) == 0) {
        return TAVO_CRASHDUMP_BUILD_PATH;
    }
#endif
    return {};
}

void PrepareMessage(const std::vector<std::string>& command) {
    Prepared& p = g_prepared;
    p.hasMessage = false;
    size_t used = 0;
    size_t count = 0;
    for (const std::string& part : command) {
        if (count + 1 >= std::size(p.messageArgv) ||
            used + part.size() + 1 > sizeof p.messageStore) {
            return;
        }
        memcpy(p.messageStore + used, part.c_str(), part.size() + 1);
        p.messageArgv[count++] = p.messageStore + used;
        used += part.size() + 1;
    }
    p.messageArgv[count] = nullptr;
    p.hasMessage = count > 0;
}

}  // namespace

int CCrashCapture::Install(const tagCrashSetup& setup) {
    g_mainThreadId.store(uint32_t(CurrentTid()));
    CThreadSignals::Prepare();
    // pthread_exit needs the unwinder library, which the C library loads on first use; a
    // crashed thread is no place to load a library, so it is loaded now.
    void* frame[1];
    backtrace(frame, 1);
    g_prepared.hasHelper =
        CopyInto(g_prepared.helper, sizeof g_prepared.helper, FindHelper(setup.helperPath));
    PrepareMessage(setup.messageCommand);
    g_prepared.dumpFolder[0] = '\0';
    if (!setup.dumpFolder.empty()) {
        CopyInto(g_prepared.dumpFolder, sizeof g_prepared.dumpFolder, setup.dumpFolder);
    }

    struct sigaction action = {};
    action.sa_sigaction = OnCrashSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    // A second crash signal while the handler runs is not delivered to it: a fault inside the
    // handler then ends the process at once instead of running the handler again.
    sigemptyset(&action.sa_mask);
    for (int signo : kCrashSignals) {
        sigaddset(&action.sa_mask, signo);
    }
    int result = 0;
    for (int signo : kCrashSignals) {
        if (sigaction(signo, &action, nullptr) != 0) {
            result = -1;
        }
    }
    return result;
}

uint32_t CCrashCapture::MainThreadId() {
    return g_mainThreadId.load();
}

std::string CCrashCapture::HelperPath() {
    return g_prepared.hasHelper ? std::string(g_prepared.helper) : std::string();
}

QString CCrashCapture::MessageText() {
    return QString::fromUtf8(kMessage);
}

bool CCrashCapture::IsMessageRun(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        if (argv[i] && strcmp(argv[i], kMessageOption) == 0) {
            return true;
        }
    }
    return false;
}

int CCrashCapture::ShowMessage() {
    return MessageBox(MessageText(), QStringLiteral("Warning"), MB_OK | MB_TOPMOST);
}
