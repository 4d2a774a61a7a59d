#include "platform/ThreadSignals.h"

#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// Room for the crash handler and, after a worker's crash, for the thread's ending (its
// thread-local and thread-specific destructors) on the same stack.
constexpr size_t kStackSize = size_t{128} * 1024;

size_t PageSize() {
    static const size_t page = size_t(sysconf(_SC_PAGESIZE));
    return page;
}

// The region of this thread's stack, given back when the thread ends, however it ends.
struct tagThreadStack {
    void* region = nullptr;
    ~tagThreadStack();
};
thread_local tagThreadStack t_stack;

tagThreadStack::~tagThreadStack() {
    if (!region) {
        return;
    }
    const size_t page = PageSize();
    stack_t current = {};
    if (sigaltstack(nullptr, &current) != 0) {
        return;
    }
    if (!(current.ss_flags & SS_DISABLE) && current.ss_sp == static_cast<char*>(region) + page) {
        // Refused while the thread runs on it (a crashed worker ends there): then it is kept
        // rather than pulled from under the thread.
        stack_t off = {};
        off.ss_flags = SS_DISABLE;
        if (sigaltstack(&off, nullptr) != 0) {
            return;
        }
    }
    munmap(region, kStackSize + page);
    region = nullptr;
}

}  // namespace

int CThreadSignals::Prepare() {
    if (t_stack.region) {
        return 0;
    }
    // Only the signals of the crash handler, which a fault raises on the faulting thread
    // itself; every other signal stays with the thread that the library meant to get it.
    sigset_t faults;
    sigemptyset(&faults);
    for (int signo : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT}) {
        sigaddset(&faults, signo);
    }
    pthread_sigmask(SIG_UNBLOCK, &faults, nullptr);
    const size_t page = PageSize();
    void* region = mmap(nullptr, kStackSize + page, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (region == MAP_FAILED) {
        return -1;
    }
    // A guard page below, so a handler that overran its stack faults instead of writing over
    // whatever lies there.
    mprotect(region, page, PROT_NONE);
    stack_t stack = {};
    stack.ss_sp = static_cast<char*>(region) + page;
    stack.ss_size = kStackSize;
    if (sigaltstack(&stack, nullptr) != 0) {
        munmap(region, kStackSize + page);
        return -1;
    }
    t_stack.region = region;
    return 0;
}
