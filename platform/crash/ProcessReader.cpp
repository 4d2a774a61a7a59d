#include "platform/crash/ProcessReader.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

CProcessReader::~CProcessReader() {
    Detach();
}

int CProcessReader::Seize(pid_t tid) {
    if (ptrace(PTRACE_SEIZE, tid, nullptr, nullptr) != 0) {
        return -1;
    }
    if (ptrace(PTRACE_INTERRUPT, tid, nullptr, nullptr) != 0) {
        ptrace(PTRACE_DETACH, tid, nullptr, nullptr);
        return -1;
    }
    int status = 0;
    for (;;) {
        pid_t got = waitpid(tid, &status, __WALL);
        if (got == tid) {
            break;
        }
        if (got < 0 && errno != EINTR) {
            return -1;
        }
    }
    if (!WIFSTOPPED(status)) {
        return -1;  // the thread ended on the way
    }
    // A stop without an event is a signal on its way to the thread; it must still arrive.
    int pending = (status >> 16) == 0 ? WSTOPSIG(status) : 0;
    m_held.push_back({tid, pending});

    tagThreadRegs thread;
    thread.tid = tid;
    if (ptrace(PTRACE_GETREGS, tid, nullptr, &thread.regs) == 0) {
        thread.hasFloat = ptrace(PTRACE_GETFPREGS, tid, nullptr, &thread.fpregs) == 0;
        m_threads.push_back(thread);
    }
    return 0;
}

int CProcessReader::Attach(pid_t pid) {
    Detach();
    m_pid = pid;
    const std::string base = "/proc/" + std::to_string(pid);
    DIR* tasks = opendir((base + "/task").c_str());
    if (!tasks) {
        return 0;
    }
    while (dirent* entry = readdir(tasks)) {
        char* end = nullptr;
        long tid = strtol(entry->d_name, &end, 10);
        if (tid > 0 && end && *end == '\0') {
            Seize(pid_t(tid));
        }
    }
    closedir(tasks);
    // The process's memory is open to its tracer.
    m_memFd = open((base + "/mem").c_str(), O_RDONLY | O_CLOEXEC);
    return m_held.empty() ? 0 : 1;
}

void CProcessReader::Detach() {
    for (const Held& held : m_held) {
        // ptrace takes the signal to deliver in its pointer argument.
        ptrace(PTRACE_DETACH, held.tid, nullptr,
               reinterpret_cast<void*>(  // NOLINT(performance-no-int-to-ptr)
                   static_cast<intptr_t>(held.pendingSignal)));
    }
    m_held.clear();
    m_threads.clear();
    if (m_memFd >= 0) {
        close(m_memFd);
        m_memFd = -1;
    }
}

const tagThreadRegs* CProcessReader::Thread(pid_t tid) const {
    for (const tagThreadRegs& thread : m_threads) {
        if (thread.tid == tid) {
            return &thread;
        }
    }
    return nullptr;
}

size_t CProcessReader::Read(uint64_t addr, void* buffer, size_t size) const {
    if (m_memFd < 0 || size == 0) {
        return 0;
    }
    size_t done = 0;
    auto* out = static_cast<char*>(buffer);
    while (done < size) {
        // Addresses above the signed range do not exist in user space and pread refuses them.
        if (addr > uint64_t(INT64_MAX) || done > uint64_t(INT64_MAX) - addr) {
            break;
        }
        ssize_t got = pread(m_memFd, out + done, size - done, off_t(addr + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        done += size_t(got);
    }
    return done;
}
