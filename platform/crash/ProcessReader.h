#pragma once
// Holds a crashed process still while its dump is taken: every thread is seized with ptrace
// and interrupted, registers and memory are read, and on release each thread goes on with
// whatever signal was pending when it stopped.

#include <sys/types.h>
#include <sys/user.h>

#include <cstddef>
#include <cstdint>
#include <vector>

struct tagThreadRegs {
    pid_t tid = 0;
    user_regs_struct regs{};
    user_fpregs_struct fpregs{};
    bool hasFloat = false;
};

class CProcessReader {
public:
    CProcessReader() = default;
    ~CProcessReader();
    CProcessReader(const CProcessReader&) = delete;
    CProcessReader& operator=(const CProcessReader&) = delete;

    // Stops every thread of pid it can. Returns 1 when at least one thread is held, else 0.
    int Attach(pid_t pid);
    // Lets every held thread run again. Safe to call twice.
    void Detach();

    pid_t Pid() const { return m_pid; }
    const std::vector<tagThreadRegs>& Threads() const { return m_threads; }
    const tagThreadRegs* Thread(pid_t tid) const;

    // Copies from the process's memory; returns how many bytes came (0 when none).
    size_t Read(uint64_t addr, void* buffer, size_t size) const;
    // Whole or nothing.
    bool ReadExact(uint64_t addr, void* buffer, size_t size) const {
        return Read(addr, buffer, size) == size;
    }

private:
    struct Held {
        pid_t tid;
        int pendingSignal;
    };
    int Seize(pid_t tid);

    pid_t m_pid = 0;
    int m_memFd = -1;
    std::vector<Held> m_held;
    std::vector<tagThreadRegs> m_threads;
};
