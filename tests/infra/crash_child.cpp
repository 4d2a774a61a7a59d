// A program that crashes on purpose for the crash capture tests. It runs in a folder of the
// test's own, where the dump and debug.log land, and says on standard output what it did, so
// the test can hold the files against it. The lines the tests look up in the listing are
// marked "crash site".

#include "infra/CrashCapture.h"
#include "platform/Clock.h"
#include "platform/Prompt.h"
#include "platform/ThreadSignals.h"
#include "platform/audio/PulseContext.h"
#include "platform/audio/WaveSystem.h"

#include <QDir>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

// A crashed thread's frames are abandoned, not unwound, so what they owned is never freed;
// in sanitizer builds the leak checker would count that against this program at its exit.
extern "C" const char* __lsan_default_options() {  // NOLINT(bugprone-reserved-identifier)
    return "detect_leaks=0";
}

namespace {

volatile bool g_stop = false;
// Read at run time, so the compiler cannot see which address is written.
volatile uintptr_t g_badAddress = 0x40;  // unmapped, and aligned for the store

// What a thread leaves to be cleaned up when it ends: thread-specific data and a
// thread-local object, each saying so when released.
pthread_key_t g_threadData;
int g_dataMarker = 0;

void ReleaseThreadData(void*) {
    printf("thread data released\n");
}

struct tagLocalGuard {
    bool armed = false;
    ~tagLocalGuard() {
        if (armed) {
            printf("thread-local destroyed\n");
        }
    }
};
thread_local tagLocalGuard t_guard;

// Each crash helper is kept out of line and followed by more work in its caller, so every
// frame the tests look for is really on the stack.
__attribute__((noinline)) void WriteThroughBadPointer(uintptr_t address) {
    // NOLINTNEXTLINE(performance-no-int-to-ptr): a bad address is the point
    *reinterpret_cast<volatile int*>(address) = 1;  // crash site: bad pointer
}

__attribute__((noinline)) void CrashOnMainThread() {
    WriteThroughBadPointer(g_badAddress);
    printf("not reached\n");
}

// Not the same text as above, or the compiler folds the two functions into one.
__attribute__((noinline)) void CrashOnWorker() {
    WriteThroughBadPointer(g_badAddress);
    printf("not reached on the worker\n");
}

// Machine code in anonymous memory: no module, no symbol, no line.
__attribute__((noinline)) void RunCodeWithoutSymbols() {
    void* page =
        mmap(nullptr, 4096, PROT_READ | PROT_WRITE | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (page == MAP_FAILED) {
        printf("no executable page\n");
        return;
    }
    static const unsigned char kUndefinedInstruction[] = {0x0f, 0x0b};
    memcpy(page, kUndefinedInstruction, sizeof kUndefinedInstruction);
    reinterpret_cast<void (*)()>(page)();
    printf("not reached\n");
}

__attribute__((noinline)) int DivideByZero(int n) {
    int zero = 0;
    int result = 0;
    // Written out so the compiler can neither fold it nor check it away.
    asm volatile("cltd\n\tidivl %[d]"  // crash site: divide
                 : "=a"(result)
                 : "a"(n), [d] "r"(zero)
                 : "rdx");
    return result;
}

__attribute__((noinline)) int ReadPastEndOfFile() {
    int fd = open("empty.bin", O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    void* page = mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0);
    close(fd);
    if (page == MAP_FAILED) {
        printf("cannot map\n");
        return 0;
    }
    return *static_cast<volatile int*>(page);  // crash site: bus
}

__attribute__((noinline)) void CrashByAbort() {
    abort();  // crash site: abort
}

__attribute__((noinline)) int Recurse(int depth) {
    volatile char pad[256];
    pad[0] = char(depth);
    if (g_stop) {
        return 0;
    }
    return Recurse(depth + 1) + pad[0];  // crash site: recursion
}

// Runs work on a thread started the way our code starts threads, and waits for it to end (a
// crash ends it).
template <typename F>
void OnWorker(F work) {
#if defined(__SANITIZE_ADDRESS__)
    // A crashed worker's frames are never unwound, so the thread's start record stays
    // allocated; that is the design, not a leak to report.
    __lsan::ScopedDisabler crashedFramesKeepTheirMemory;
#endif
    std::thread worker = StartThread([work] {
        printf("worker-tid %d\n", gettid());
        work();
    });
    worker.join();
}

// Keeps one crash's files apart from the next one's.
void KeepFiles(const char* name) {
    const std::string dump = QDir().entryList({"Dump_*"}, QDir::Files).value(0).toStdString();
    const std::string log = std::string("debug-") + name + ".log";
    const std::string kept = std::string("dump-") + name + ".dmp";
    printf("kept %s: %s %s\n", name, rename("debug.log", log.c_str()) == 0 ? "log" : "no-log",
           !dump.empty() && rename(dump.c_str(), kept.c_str()) == 0 ? "dump" : "no-dump");
}

std::atomic<int> g_overflowTid{0};

void OverflowHere() {
    g_overflowTid = gettid();
    printf("worker-tid %d\n", gettid());
    Recurse(0);
}

// The crash ends only the thread that overflowed; this waits until it is gone.
bool WaitForOverflowedThread() {
    for (int i = 0; i < 6000; ++i) {
        const int tid = g_overflowTid.load();
        if (tid && access(("/proc/self/task/" + std::to_string(tid)).c_str(), F_OK) != 0) {
            return true;
        }
        usleep(10000);
    }
    return false;
}

// The thread that reports a wave device's buffers runs the device user's callback.
int OverflowOnWaveCallback() {
    CWaveSystem::Select("wav:out=heard.wav");
    int error = 0;
    auto device = WaveOutOpen(
        tagWaveFormat::Pcm16(8000, 1),
        [](EWaveMsg msg, tagWaveHeader*) {
            if (msg == EWaveMsg::Open) {
                OverflowHere();
            }
        },
        &error);
    if (!device) {
        printf("no wave device: %d\n", error);
        return 4;
    }
    puts(WaitForOverflowedThread() ? "thread ended" : "thread still there");
    device->Close();
    return 0;
}

// libpulse's main-loop thread, which runs our stream callbacks.
int OverflowOnSoundServerThread() {
    std::shared_ptr<CPulseContext> context = CPulseContext::Connect();
    if (!context) {
        printf("no sound server\n");
        return 5;
    }
    {
        CPulseContext::CLock lock(*context);
        pa_mainloop_api_once(
            pa_threaded_mainloop_get_api(context->Loop()),
            [](pa_mainloop_api*, void*) { OverflowHere(); }, nullptr);
    }
    puts(WaitForOverflowedThread() ? "thread ended" : "thread still there");
    // The loop's thread ended holding the loop's lock: the connection cannot be taken down.
    new std::shared_ptr<CPulseContext>(std::move(context));
    return 0;
}

int ShowCrashMessage() {
    CScriptedPrompt prompt;
    CScopedPrompt scope(prompt);
    CCrashCapture::ShowMessage();
    for (const auto& shown : prompt.History()) {
        printf("message box [%s] flags=0x%x: %s\n", shown.caption.toUtf8().constData(), shown.flags,
               shown.text.toUtf8().constData());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // What it says must be on file before a crash ends it.
    setvbuf(stdout, nullptr, _IONBF, 0);
    CClock::Slot().Install(&TheSystemClock());
    if (CCrashCapture::IsMessageRun(argc, argv)) {
        return ShowCrashMessage();
    }
    if (argc < 2) {
        fprintf(stderr,
                "usage: crash_child main-segv|worker-segv|worker-signals|"
                "callback-overflow|sound-server-overflow [--dump-folder DIR]\n");
        return 2;
    }
    // A crash of the main thread ends in its signal; no core file should join our files.
    rlimit noCore = {0, 0};
    setrlimit(RLIMIT_CORE, &noCore);

    tagCrashSetup setup;
    setup.messageCommand = {std::filesystem::read_symlink("/proc/self/exe").string(),
                            CCrashCapture::kMessageOption};
    if (argc >= 4 && std::string(argv[2]) == "--dump-folder") {
        setup.dumpFolder = argv[3];
    }
    if (CCrashCapture::Install(setup) != 0) {
        printf("install failed\n");
        return 3;
    }
    printf("main-tid %d\n", gettid());
    const std::string mode = argv[1];
    if (mode == "main-segv") {
        CrashOnMainThread();
    } else if (mode == "worker-segv") {
        pthread_key_create(&g_threadData, ReleaseThreadData);
        OnWorker([] {
            t_guard.armed = true;
            pthread_setspecific(g_threadData, &g_dataMarker);
            CrashOnWorker();
        });
        printf("main thread still running\n");
        // The next thread may be given the crashed one's stack; it must start clean.
        OnWorker([] {
            printf("new thread data: %s\n", pthread_getspecific(g_threadData) ? "stale" : "none");
        });
    } else if (mode == "worker-signals") {
        OnWorker(RunCodeWithoutSymbols);
        KeepFiles("ill");
        OnWorker([] { printf("quotient %d\n", DivideByZero(7)); });
        KeepFiles("fpe");
        OnWorker([] { printf("read %d\n", ReadPastEndOfFile()); });
        KeepFiles("bus");
        OnWorker(CrashByAbort);
        KeepFiles("abrt");
        printf("main thread still running\n");
    } else if (mode == "callback-overflow" || mode == "sound-server-overflow") {
        const int result =
            mode == "callback-overflow" ? OverflowOnWaveCallback() : OverflowOnSoundServerThread();
        if (result != 0) {
            return result;
        }
        printf("main thread still running\n");
    } else {
        printf("unknown mode\n");
        return 2;
    }
    return 0;
}
