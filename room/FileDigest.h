#pragma once
// The SHA-256 of a file in transfer, taken on a thread of its own at each end, so that the
// thread moving the bytes only reads, sends, receives and writes.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

// A received file under its temporary name. The receiving thread writes it; its digest is
// taken on a thread of its own that reads back what was written, from the cache, so that no
// bytes are handed between the threads.
class CFileSink {
public:
    // The reader is woken once this much waits for it, and at the end.
    static constexpr int64_t kWakeBytes = 1 << 20;

    ~CFileSink() { Abort(); }

    // Creates the temporary file (never an existing one) and starts the digest.
    bool Open(const QString& path);
    bool Write(const char* data, int n);
    // Waits for the digest of everything written; false when it could not be read back. The
    // file is closed.
    bool Finish(QByteArray& digest);
    // Stops at once and removes the temporary file, unless it took its final name.
    void Abort();
    bool Rename(const QString& final);

private:
    void Run(const QString& path);
    void Stop(bool dropRest);

    QFile m_file;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_work;
    int64_t m_written = 0;    // bytes written, under the lock
    int64_t m_hashed = 0;     // bytes the digest took, under the lock
    int64_t m_hashedOwn = 0;  // the same, the reader's own
    QByteArray m_digest;      // once the reader ended after everything was written
    bool m_waiting = false;
    bool m_stop = false;
    bool m_dropRest = false;
    bool m_created = false;
    bool m_named = false;
};

// The digest of a file being sent, from a reading of its own. A file that is not the size
// announced when its digest is taken gets none.
class CFileHasher {
public:
    CFileHasher(const QString& path, int64_t size)
        : m_size(size), m_thread([this, path] { Run(path); }) {}
    ~CFileHasher() {
        m_stop = true;
        Result();
    }
    // Waits for the digest; empty when the file could not be read whole.
    const QByteArray& Result();

private:
    void Run(const QString& path);

    const int64_t m_size;
    std::atomic<bool> m_stop{false};
    QByteArray m_digest;
    std::thread m_thread;  // last: it starts once the rest is in place
};
