#include "platform/System.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#ifndef MAX_ADDR_LEN
#define MAX_ADDR_LEN 32  // the kernel's bound on a hardware address (netdevice.h)
#endif

#include <algorithm>
#include <cstring>

namespace {

constexpr int kAddressBytes = 6;

struct tagInterface {
    int index = 0;
    QString name;
    bool hasDevice = false;  // backed by a device the system lists (not virtual)
};

// Interfaces in the order the system numbers them.
std::vector<tagInterface> ListInterfaces() {
    std::vector<tagInterface> list;
    const QDir net(QStringLiteral("/sys/class/net"));
    for (const QString& name : net.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System)) {
        if (name == QLatin1String("lo")) {
            continue;
        }
        tagInterface entry;
        entry.name = name;
        QFile index(net.filePath(name + QStringLiteral("/ifindex")));
        if (index.open(QIODevice::ReadOnly)) {
            entry.index = index.readAll().trimmed().toInt();
        }
        entry.hasDevice = QFileInfo::exists(net.filePath(name + QStringLiteral("/device")));
        list.push_back(entry);
    }
    std::sort(list.begin(), list.end(),
              [](const tagInterface& a, const tagInterface& b) { return a.index < b.index; });
    return list;
}

bool IsZero(const unsigned char* bytes) {
    return std::all_of(bytes, bytes + kAddressBytes, [](unsigned char b) { return b == 0; });
}

// The card's factory address through the ethtool interface.
bool ReadPermanentAddress(const QString& name, unsigned char* out) {
    const QByteArray ifname = name.toLocal8Bit();
    if (ifname.size() >= IFNAMSIZ) {
        return false;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    // The request carries its answer after the header, in a buffer the caller sizes.
    alignas(ethtool_perm_addr) unsigned char buffer[sizeof(ethtool_perm_addr) + MAX_ADDR_LEN] = {};
    auto* request = reinterpret_cast<ethtool_perm_addr*>(buffer);
    request->cmd = ETHTOOL_GPERMADDR;
    request->size = MAX_ADDR_LEN;
    ifreq ifr{};
    std::memcpy(ifr.ifr_name, ifname.constData(), static_cast<size_t>(ifname.size()));
    ifr.ifr_data = reinterpret_cast<char*>(buffer);
    const bool ok = ::ioctl(fd, SIOCETHTOOL, &ifr) == 0 && request->size == kAddressBytes;
    ::close(fd);
    const unsigned char* data = buffer + sizeof(ethtool_perm_addr);
    if (!ok || IsZero(data)) {
        return false;
    }
    std::memcpy(out, data, kAddressBytes);
    return true;
}

bool ParseAddressText(const QByteArray& text, unsigned char* out) {
    const QList<QByteArray> parts = text.trimmed().split(':');
    if (parts.size() != kAddressBytes) {
        return false;
    }
    for (int i = 0; i < kAddressBytes; ++i) {
        bool ok = false;
        const int value = parts[i].toInt(&ok, 16);
        if (!ok || value < 0 || value > 255) {
            return false;
        }
        out[i] = static_cast<unsigned char>(value);
    }
    return !IsZero(out);
}

QString ProcessName(const QString& pidDir) {
    const QString exe = QFileInfo(pidDir + QStringLiteral("/exe")).symLinkTarget();
    if (!exe.isEmpty()) {
        // A program replaced while running reads "name (deleted)".
        QString name = QFileInfo(exe).fileName();
        if (name.endsWith(QLatin1String(" (deleted)"))) {
            name.chop(10);
        }
        return name;
    }
    QFile cmdline(pidDir + QStringLiteral("/cmdline"));
    if (cmdline.open(QIODevice::ReadOnly)) {
        const QByteArray first = cmdline.read(4096).split('\0').value(0);
        if (!first.isEmpty()) {
            return QFileInfo(QString::fromLocal8Bit(first)).fileName();
        }
    }
    QFile comm(pidDir + QStringLiteral("/comm"));
    if (comm.open(QIODevice::ReadOnly)) {
        return QString::fromLocal8Bit(comm.readAll().trimmed());
    }
    return QString();
}

// The real user id from the "Uid:" line of a status file.
long ProcessUid(const QString& pidDir) {
    QFile status(pidDir + QStringLiteral("/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    // Files under /proc report no size, so they are read whole rather than line by line.
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("Uid:")) {
            bool ok = false;
            const long uid = line.mid(4).simplified().split(' ').value(0).toLong(&ok);
            return ok ? uid : -1;
        }
    }
    return -1;
}

QString DisplayKey(const QByteArray& x11, const QByteArray& wayland) {
    QString display = QString::fromLocal8Bit(x11);
    // ":0" and ":0.0" are the same display.
    static const QRegularExpression screen(QStringLiteral("\\.\\d+$"));
    display.remove(screen);
    if (!wayland.isEmpty()) {
        display += QStringLiteral(" wayland:") + QString::fromLocal8Bit(wayland);
    }
    return display;
}

QString ProcessDisplay(const QString& pidDir) {
    QFile environ(pidDir + QStringLiteral("/environ"));
    if (!environ.open(QIODevice::ReadOnly)) {
        return QString();
    }
    QByteArray x11, wayland;
    for (const QByteArray& entry : environ.readAll().split('\0')) {
        if (entry.startsWith("DISPLAY=")) {
            x11 = entry.mid(8);
        } else if (entry.startsWith("WAYLAND_DISPLAY=")) {
            wayland = entry.mid(16);
        }
    }
    return DisplayKey(x11, wayland);
}

}  // namespace

tagProcessOwner OwnProcessOwner() {
    return {static_cast<long>(getuid()),
            DisplayKey(qgetenv("DISPLAY"), qgetenv("WAYLAND_DISPLAY"))};
}

std::vector<tagProcessEntry> EnumProcesses(const QString& procRoot) {
    std::vector<tagProcessEntry> list;
    const QDir proc(procRoot);
    for (const QString& entry : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool ok = false;
        const int pid = entry.toInt(&ok);
        if (!ok) {
            continue;
        }
        const QString name = ProcessName(proc.filePath(entry));
        // Kernel threads have neither an executable nor a command line worth counting.
        if (!name.isEmpty()) {
            const QString dir = proc.filePath(entry);
            list.push_back({pid, name, {ProcessUid(dir), ProcessDisplay(dir)}});
        }
    }
    return list;
}

int CountProcessesNamed(const QString& fileName, const tagProcessOwner& owner,
                        const QString& procRoot) {
    if (fileName.isEmpty()) {
        return 0;
    }
    int count = 0;
    for (const auto& process : EnumProcesses(procRoot)) {
        if (process.owner == owner && process.exeName.endsWith(fileName, Qt::CaseInsensitive)) {
            ++count;
        }
    }
    return count;
}

QString ProgramFilePath() {
    return QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
}

namespace {

// $variable/tavo when the variable names an absolute folder (relative ones are to be ignored),
// else ~/fallback/tavo.
QString XdgFolder(const char* variable, const char* fallback) {
    QString base = qEnvironmentVariable(variable);
    if (base.isEmpty() || QDir::isRelativePath(base)) {
        base = QDir::homePath() + QLatin1Char('/') + QLatin1String(fallback);
    }
    const QString folder = QDir::cleanPath(base + QStringLiteral("/tavo"));
    return QDir().mkpath(folder) ? folder : QString();
}

}  // namespace

QString StateFolder() {
    return XdgFolder("XDG_STATE_HOME", ".local/state");
}

QString CacheFolder() {
    return XdgFolder("XDG_CACHE_HOME", ".cache");
}

QString ProgramFolder(const QString& chosen, const QString& programPath) {
    if (!chosen.isEmpty()) {
        return chosen;
    }
    const QDir own =
        QFileInfo(programPath.isEmpty() ? ProgramFilePath() : programPath).absoluteDir();
    const QString marker = QStringLiteral("cfg.ini");
    if (own.exists(marker)) {
        return own.absolutePath();
    }
#ifdef TAVO_DATA_FROM_PROGRAM
    const QString installed =
        QDir::cleanPath(own.absoluteFilePath(QStringLiteral(TAVO_DATA_FROM_PROGRAM)));
    if (QDir(installed).exists(marker)) {
        return installed;
    }
#endif
    // Neither holds the files: the program's own folder, where the start-up finds no pictures
    // and says so.
    return own.absolutePath();
}

QString FormatAdapterAddress(const unsigned char* bytes) {
    return QString::asprintf("%02X-%02X-%02X-%02X-%02X-%02X", bytes[0], bytes[1], bytes[2],
                             bytes[3], bytes[4], bytes[5]);
}

QString PermanentAdapterAddress() {
    for (const auto& card : ListInterfaces()) {
        if (!card.hasDevice) {
            continue;
        }
        // Only the first card counts; when it cannot say, the current address stands in.
        unsigned char address[kAddressBytes];
        return ReadPermanentAddress(card.name, address) ? FormatAdapterAddress(address) : QString();
    }
    return QString();
}

QString CurrentAdapterAddress() {
    for (const auto& adapter : ListInterfaces()) {
        QFile file(QStringLiteral("/sys/class/net/%1/address").arg(adapter.name));
        unsigned char address[kAddressBytes];
        if (file.open(QIODevice::ReadOnly) && ParseAddressText(file.readAll(), address)) {
            return FormatAdapterAddress(address);
        }
    }
    return QString();
}

QString MachineAdapterAddress() {
    const QString permanent = PermanentAdapterAddress();
    return permanent.isEmpty() ? CurrentAdapterAddress() : permanent;
}

bool StartProgram(const QString& program, const QStringList& arguments, const QString& folder) {
    if (program.isEmpty()) {
        return false;
    }
    QString path = program;
    if (QFileInfo(program).isRelative()) {
        const QString local = QDir(folder).filePath(program);
        if (!folder.isEmpty() && QFileInfo(local).isExecutable()) {
            path = local;
        } else {
            const QString found = QStandardPaths::findExecutable(program);
            if (found.isEmpty()) {
                return false;
            }
            path = found;
        }
    }
    return QProcess::startDetached(path, arguments, folder.isEmpty() ? QString() : folder);
}

void OpenWebPage(const QString& address, std::function<void(bool)> done) {
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) {
        done(false);
        return;
    }
    // Not a child of anything: the page may outlive whoever asked for it.
    auto* process = new QProcess;
    process->setProgram(opener);
    process->setArguments({address});
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, done](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart) {
                             done(false);
                             process->deleteLater();
                         }
                     });
    QObject::connect(process, &QProcess::finished, process,
                     [process, done](int code, QProcess::ExitStatus status) {
                         done(status == QProcess::NormalExit && code == 0);
                         process->deleteLater();
                     });
    process->start();
}

tagProgramVersion ProgramVersion() {
    tagProgramVersion version;
#if defined(TAVO_VERSION_MAJOR)
    version.major = TAVO_VERSION_MAJOR;
    version.minor = TAVO_VERSION_MINOR;
    version.build = TAVO_VERSION_PATCH;
    version.revision = TAVO_VERSION_TWEAK;
#endif
    return version;
}

bool SocketLayerAvailable() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    return true;
}
