#pragma once
// The trace log's implementation: the settings, the file and the lock that makes formatting,
// writing and the backup step one critical region per line.

#include "infra/TraceLog.h"
#include "platform/TraceMessage.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdint>
#include <mutex>

// The tag of a level: "NOMAL:", "ALARM:", "ERROR:", "DEBUG:", "UNREG:".
const char* TraceLevelTag(int level);

// A counting semaphore with initial and maximum count 1, waited on with a time-out. A plain
// mutex would not do: a writer that comes back for the lock on the same thread must time out,
// not deadlock or misbehave, and Close releases only when it obtained it.
class CTimedSemaphore {
public:
    bool Acquire(std::chrono::milliseconds timeout);
    void Release();

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    int m_count = 1;
};

class CInterLog {
public:
    static constexpr std::chrono::milliseconds kLockTimeout{5000};
    // Copies of the log into its backup go in blocks of this size.
    static constexpr int kCopyBlock = 4096;
    // The attempts "%s[%d]%s" for n = 0 .. kMaxAlternative after the plain name.
    static constexpr int kMaxAlternative = 999;

    CInterLog() = default;
    virtual ~CInterLog();
    CInterLog(const CInterLog&) = delete;
    CInterLog& operator=(const CInterLog&) = delete;

    bool Open(const QString& name, unsigned limitKB);
    bool WriteV(int level, const char* module, const char* format, va_list args);
    void Close();
    bool CleanLog();
    void SetOutput(int output);
    void SetFormat(tagFormat* format);
    void GetFormat(tagFormat* format) const;
    bool IsOpen() const { return m_open.load(std::memory_order_acquire); }

private:
    // What the profile's "Common" section says.
    struct tagSettings {
        bool debug = false;
        int output = 0;
        tagFormat format{7, 15, true, false, false, false};
    };
    // The line as it goes to the file, before its conversion to UTF-16. The local time comes
    // from the process clock.
    static QString FormatLine(const tagSettings& settings, int level, const char* module,
                              const QString& message);
    void LoadSettings();
    void StoreSettings(const tagSettings& settings);
    tagSettings Settings() const;
    // Appends one line; the caller holds the lock.
    void Append(const QString& line);
    // Copies the log to the backup file and empties it; the caller holds the lock.
    void Backup();
    // The lines of Open and Close.
    bool WriteF(int level, const char* module, const char* format, ...)
        __attribute__((format(printf, 4, 5)));

    // Open and Close do not overlap each other.
    std::mutex m_lifecycle;
    // Guards the settings, which SetFormat and SetOutput change while others write.
    mutable std::mutex m_settingsMutex;
    tagSettings m_settings;

    CTimedSemaphore m_lock;
    std::atomic<int> m_fd{-1};
    std::atomic<bool> m_open{false};
    QString m_backupPath;
    uint64_t m_limit = 0;
};
