#include "infra/InterLog.h"

#include "platform/Clock.h"
#include "platform/Profile.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <ctime>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kSection = QStringLiteral("Common");
const QString kKeyOutput = QStringLiteral("bOutputToVC_Wnd");
const QString kKeyWidthType = QStringLiteral("WidthType");
const QString kKeyWidthFrom = QStringLiteral("WidthFrom");
const QString kKeyHasTime = QStringLiteral("hasTime");
const QString kKeyHasProcessID = QStringLiteral("hasProcessID");
const QString kKeyHasThreadID = QStringLiteral("hasThreadID");
const QString kKeyHasMillisecond = QStringLiteral("hasMillisecond");
const QString kKeyDebug = QStringLiteral("Debug");

constexpr const char* kStars = "*********************************************************";
constexpr const char* kModule = "TraceLog";

// Column widths come from the profile, which a person may edit; a silly value must not make
// every line megabytes long.
constexpr int kMaxColumn = kTraceMessageChars;

struct tagLocalTime {
    int year, month, day, hour, minute, second, millisecond;
};

tagLocalTime LocalNow() {
    const int64_t ms = CClock::Get().UnixMs();
    const int64_t seconds = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
    const auto t = static_cast<time_t>(seconds);
    tm local{};
    localtime_r(&t, &local);
    return {local.tm_year + 1900,
            local.tm_mon + 1,
            local.tm_mday,
            local.tm_hour,
            local.tm_min,
            local.tm_sec,
            static_cast<int>(ms - seconds * 1000)};
}

// The time shown on the opening and closing lines: "%04d-%d-%2d %d:%02d " without its first
// two characters, so the year shows two digits.
QByteArray OpenCloseTime() {
    const tagLocalTime now = LocalNow();
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%d-%2d %d:%02d ", now.year, now.month, now.day,
                  now.hour, now.minute);
    return QByteArray(buffer + 2);
}

void AppendColumn(QString& line, QStringView text, int width) {
    width = std::clamp(width, 0, kMaxColumn);
    const QStringView cut = text.left(std::max(width - 1, 0));
    line += cut;
    line.append(QString(width - cut.size(), QLatin1Char(' ')));
}

// The program's own file name without its extension.
QString ProgramName() {
    QString path;
    if (QCoreApplication::instance()) {
        path = QCoreApplication::applicationFilePath();
    }
    if (path.isEmpty()) {
        char buffer[PATH_MAX];
        const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
        if (n > 0) {
            path = QFile::decodeName(QByteArray(buffer, static_cast<int>(n)));
        }
    }
    QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0) {
        name.truncate(dot);
    }
    return name;
}

// Opens a file for the log or its backup, creating it when missing. The file is shared for
// reading only: an exclusive flock, held while the descriptor is open, makes a second opener
// of the same file (in this process or another) fail as a sharing conflict would. Readers
// that take no lock (a pager, tail) still read it.
int OpenShared(const QString& path, int access) {
    const QByteArray native = QFile::encodeName(path);
    int fd;
    do {
        fd = ::open(native.constData(), access | O_CREAT | O_CLOEXEC, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return -1;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Byte-range locks on the open file description, so threads of this process and other
// processes alike see them. They never wait: a refused lock is no reason to lose a line.
bool LockRegion(int fd, short type, off_t start, off_t length) {
    struct flock region {};
    region.l_type = type;
    region.l_whence = SEEK_SET;
    region.l_start = start;
    region.l_len = length;
    return fcntl(fd, F_OFD_SETLK, &region) == 0;
}

void UnlockRegion(int fd, off_t start, off_t length) {
    LockRegion(fd, F_UNLCK, start, length);
}

// Write errors are ignored: the bytes that did not make it are lost.
void WriteAll(int fd, const char* data, size_t n, off_t at) {
    while (n > 0) {
        const ssize_t written = pwrite(fd, data, n, at);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        data += written;
        n -= static_cast<size_t>(written);
        at += written;
    }
}

}  // namespace

const char* TraceLevelTag(int level) {
    static const char* const kTags[] = {"NOMAL:", "ALARM:", "ERROR:", "DEBUG:", "UNREG:"};
    return level >= 0 && level < 4 ? kTags[level] : kTags[4];
}

bool CTimedSemaphore::Acquire(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    if (!m_cv.wait_for(lock, timeout, [this] { return m_count > 0; })) {
        return false;
    }
    --m_count;
    return true;
}

void CTimedSemaphore::Release() {
    {
        std::lock_guard lock(m_mutex);
        if (m_count < 1) {
            ++m_count;
        }
    }
    m_cv.notify_one();
}

CInterLog::~CInterLog() {
    const int fd = m_fd.exchange(-1);
    if (fd >= 0) {
        ::close(fd);
    }
}

QString CInterLog::FormatLine(const tagSettings& settings, int level, const char* module,
                              const QString& message) {
    QString line;
    line.reserve(96 + message.size());
    AppendColumn(line, QString::fromLatin1(TraceLevelTag(level)), settings.format.widthType);
    AppendColumn(line, QString::fromUtf8(module ? module : ""), settings.format.widthFrom);
    char field[64];
    if (settings.format.hasTime) {
        const tagLocalTime now = LocalNow();
        std::snprintf(field, sizeof field, "%04d/%02d/%02d %02d:%02d:%02d ", now.year, now.month,
                      now.day, now.hour, now.minute, now.second);
        line += QLatin1String(field);
        if (settings.format.hasMillisecond) {
            std::snprintf(field, sizeof field, "%03d ", now.millisecond);
            line += QLatin1String(field);
        }
    }
    if (settings.format.hasProcessID) {
        std::snprintf(field, sizeof field, "%05X ", static_cast<unsigned>(getpid()));
        line += QLatin1String(field);
    }
    if (settings.format.hasThreadID) {
        std::snprintf(field, sizeof field, "%05X ", static_cast<unsigned>(gettid()));
        line += QLatin1String(field);
    }
    line += message;
    line += QLatin1String("\r\n");
    return line;
}

void CInterLog::LoadSettings() {
    // Every key is read with -1 standing for "missing"; a missing key gets its default, here and
    // in the profile. The output mode is read with 0, so there "missing" means not stored.
    auto read = [](const QString& key, int def) {
        const int value = CAppProfile::GetProfileInt(kSection, key, -1);
        if (value != -1) {
            return value;
        }
        CAppProfile::WriteProfileInt(kSection, key, def);
        return def;
    };
    tagSettings s;
    s.output = CAppProfile::GetProfileInt(kSection, kKeyOutput, 0);
    if (CAppProfile::Store().Kind(kSection, kKeyOutput) != CProfileStore::EKind::Number) {
        CAppProfile::WriteProfileInt(kSection, kKeyOutput, 0);
    }
    s.format.widthType = read(kKeyWidthType, 7);
    s.format.widthFrom = read(kKeyWidthFrom, 15);
    s.format.hasTime = read(kKeyHasTime, 1) == 1;
    s.format.hasProcessID = read(kKeyHasProcessID, 0) == 1;
    s.format.hasThreadID = read(kKeyHasThreadID, 0) == 1;
    s.format.hasMillisecond = read(kKeyHasMillisecond, 0) == 1;
    s.debug = read(kKeyDebug, 0) != 0;
    std::lock_guard lock(m_settingsMutex);
    m_settings = s;
}

void CInterLog::StoreSettings(const tagSettings& s) {
    CAppProfile::WriteProfileInt(kSection, kKeyOutput, s.output);
    CAppProfile::WriteProfileInt(kSection, kKeyWidthType, s.format.widthType);
    CAppProfile::WriteProfileInt(kSection, kKeyWidthFrom, s.format.widthFrom);
    CAppProfile::WriteProfileInt(kSection, kKeyHasTime, s.format.hasTime ? 1 : 0);
    CAppProfile::WriteProfileInt(kSection, kKeyHasProcessID, s.format.hasProcessID ? 1 : 0);
    CAppProfile::WriteProfileInt(kSection, kKeyHasThreadID, s.format.hasThreadID ? 1 : 0);
    CAppProfile::WriteProfileInt(kSection, kKeyHasMillisecond, s.format.hasMillisecond ? 1 : 0);
    CAppProfile::WriteProfileInt(kSection, kKeyDebug, s.debug ? 1 : 0);
}

CInterLog::tagSettings CInterLog::Settings() const {
    std::lock_guard lock(m_settingsMutex);
    return m_settings;
}

bool CInterLog::Open(const QString& name, unsigned limitKB) {
    std::lock_guard lifecycle(m_lifecycle);
    if (IsOpen()) {
        return false;
    }
    QString logName = name;
    if (logName.isEmpty()) {
        logName = QCoreApplication::applicationName();
    }
    if (logName.isEmpty()) {
        logName = QStringLiteral("TraceLog");
    }
    // The settings live under the log's name.
    CAppProfile::SetProfileName(logName);
    LoadSettings();

    // The extension starts at the first dot of the file name (a dot in a folder name is not
    // one).
    const qsizetype dot =
        logName.indexOf(QLatin1Char('.'), logName.lastIndexOf(QLatin1Char('/')) + 1);
    QString base = dot < 0 ? logName : logName.left(dot);
    const QString extension = dot < 0 ? QStringLiteral(".LOG") : logName.mid(dot);
    // Programs sharing a log name keep files of their own.
    const QString program = ProgramName();
    if (!program.isEmpty() && program != base) {
        base += QStringLiteral(" [") + program + QLatin1Char(']');
    }

    int alternative = -1;
    int fd = OpenShared(base + extension, O_RDWR);
    for (int n = 0; fd < 0 && n <= kMaxAlternative; ++n) {
        fd =
            OpenShared(QStringLiteral("%1[%2]%3").arg(base, QString::number(n), extension), O_RDWR);
        if (fd >= 0) {
            alternative = n;
        }
    }
    if (fd < 0) {
        return false;
    }
    lseek(fd, 0, SEEK_END);
    m_backupPath =
        alternative < 0
            ? base + QStringLiteral(".OLD") + extension
            : QStringLiteral("%1[%2].OLD%3").arg(base, QString::number(alternative), extension);
    m_limit = static_cast<uint64_t>(limitKB) * 1000;
    m_fd.store(fd, std::memory_order_release);
    m_open.store(true, std::memory_order_release);

    WriteF(TRACE_NORMAL, kModule, "%s", kStars);
    WriteF(TRACE_NORMAL, kModule, "Open. %s", OpenCloseTime().constData());
    return true;
}

bool CInterLog::WriteF(int level, const char* module, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const bool written = WriteV(level, module, format, args);
    va_end(args);
    return written;
}

bool CInterLog::WriteV(int level, const char* module, const char* format, va_list args) {
    if (!IsOpen()) {
        return false;
    }
    if (!m_lock.Acquire(kLockTimeout)) {
        return false;
    }
    struct tagRelease {
        CTimedSemaphore& lock;
        ~tagRelease() { lock.Release(); }
    } release{m_lock};
    // Closed while this writer waited.
    if (!IsOpen()) {
        return false;
    }
    const tagSettings settings = Settings();
    if (settings.debug || level != TRACE_DEBUG) {
        const QString line = FormatLine(settings, level, module, FormatTraceMessage(format, args));
        if (settings.output == 0) {
            Append(line);
        }
    }
    return true;
}

void CInterLog::Append(const QString& line) {
    const int fd = m_fd.load(std::memory_order_acquire);
    if (fd < 0) {
        return;
    }
    const char* bytes;
    std::vector<char16_t> swapped;
    if constexpr (std::endian::native == std::endian::little) {
        bytes = reinterpret_cast<const char*>(line.utf16());
    } else {
        swapped.assign(line.utf16(), line.utf16() + line.size());
        for (char16_t& c : swapped) {
            c = static_cast<char16_t>((c >> 8) | (c << 8));
        }
        bytes = reinterpret_cast<const char*>(swapped.data());
    }
    const auto length = static_cast<off_t>(line.size() * 2);

    struct stat info {};
    if (fstat(fd, &info) != 0) {
        return;
    }
    const off_t end = info.st_size;
    // Guards the appended bytes against another process appending at the same moment.
    const bool locked = LockRegion(fd, F_WRLCK, end, length);
    WriteAll(fd, bytes, static_cast<size_t>(length), end);
    if (locked) {
        UnlockRegion(fd, end, length);
    }
    // Nothing is buffered here: once write returns, the line is in the system's cache and
    // survives a crash of this process, which is what flushing after each line is for. Forcing
    // it to the disk as well would cost milliseconds a line.
    if (static_cast<uint64_t>(end) >= m_limit) {
        Backup();
    }
}

void CInterLog::Backup() {
    const int fd = m_fd.load(std::memory_order_acquire);
    if (fd < 0) {
        return;
    }
    const int backup = OpenShared(m_backupPath, O_WRONLY);
    if (backup >= 0) {
        char block[kCopyBlock];
        off_t copied = 0;
        for (;;) {
            const ssize_t n = pread(fd, block, sizeof block, copied);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            const bool locked = LockRegion(fd, F_RDLCK, copied, n);
            WriteAll(backup, block, static_cast<size_t>(n), copied);
            if (locked) {
                UnlockRegion(fd, copied, n);
            }
            copied += n;
        }
        if (ftruncate(backup, copied) != 0) {
            // The backup keeps what it had past the copy; the next backup cuts it again.
        }
        ::close(backup);
    }
    // The log is emptied even when the backup could not be opened (someone holds it): the
    // size limit is what keeps the log from filling the disk, and it must hold.
    if (ftruncate(fd, 0) == 0) {
        lseek(fd, 0, SEEK_SET);
    }
}

void CInterLog::Close() {
    std::lock_guard lifecycle(m_lifecycle);
    if (!IsOpen()) {
        return;
    }
    WriteF(TRACE_NORMAL, kModule, "Close. %s", OpenCloseTime().constData());
    WriteF(TRACE_NORMAL, kModule, "%s", kStars);
    // The handles are closed even when a writer holds the lock past the time-out; that writer
    // finds the log closed (or its descriptor gone) when it gets on.
    const bool obtained = m_lock.Acquire(kLockTimeout);
    m_open.store(false, std::memory_order_release);
    const int fd = m_fd.exchange(-1);
    if (fd >= 0) {
        ::close(fd);
    }
    if (obtained) {
        m_lock.Release();
    }
}

bool CInterLog::CleanLog() {
    if (!IsOpen() || !m_lock.Acquire(kLockTimeout)) {
        return false;
    }
    const bool open = IsOpen();
    if (open) {
        Backup();
    }
    m_lock.Release();
    return open;
}

void CInterLog::SetOutput(int output) {
    const int mode = output != 0 ? 1 : 0;
    {
        std::lock_guard lock(m_settingsMutex);
        m_settings.output = mode;
    }
    CAppProfile::WriteProfileInt(kSection, kKeyOutput, mode);
}

void CInterLog::SetFormat(tagFormat* format) {
    if (!format) {
        return;
    }
    if (format->widthType == 0) {
        format->widthType = 7;
    }
    if (format->widthFrom == 0) {
        format->widthFrom = 9;
    }
    tagSettings copy;
    {
        std::lock_guard lock(m_settingsMutex);
        m_settings.format = *format;
        copy = m_settings;
    }
    StoreSettings(copy);
}

void CInterLog::GetFormat(tagFormat* format) const {
    if (format) {
        *format = Settings().format;
    }
}
