#pragma once
// What a thread needs for the crash handler to run on it, so that a crash there (a stack
// overflow among them) still leaves a dump and a stack listing:
// - an alternate signal stack of its own, the kernel keeping one per thread: a thread that
//   overflowed its stack has no room left on it for the handler;
// - the fault signals not blocked: libraries block every signal on threads they start (so
//   that signals go to the main thread), and a fault whose signal is blocked ends the process
//   without running any handler.
// Threads we start get both through StartThread; on a thread a library started (libpulse's
// main loop, a codec's workers) our code calls Prepare the first time it runs there.

#include <thread>
#include <utility>

class CThreadSignals {
public:
    // Readies the calling thread, once: later calls return at once. The alternate stack is
    // given back when the thread ends. Returns 0, or -1 when no stack could be set.
    static int Prepare();
};

// A thread like std::thread's, readied before work runs.
template <typename F>
std::thread StartThread(F&& work) {
    return std::thread([work = std::forward<F>(work)]() mutable {
        CThreadSignals::Prepare();
        work();
    });
}
