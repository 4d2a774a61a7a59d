#include "bench/load/LoadService.h"

#include "platform/Clock.h"
#include "server/Seed.h"
#include "server/Service.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace loadbench {

namespace {

pid_t g_server = -1;
tagPorts g_ports;

[[noreturn]] void RunServer(int reportFd) {
    int argc = 1;
    char name[] = "tavo-serverd-bench";
    char* argv[] = {name, nullptr};
    CClock::Slot().Install(&TheSystemClock());
    QCoreApplication app(argc, argv);
    tagServerConfig config;
    config.databasePath = QStringLiteral(":memory:");
    config.infoPort = config.hallPort = config.routePort = 0;
    config.roomServers = {{0, 0}};
    config.webPort = -1;
    config.adminPollMs = 0;
    config.limits.maxConnections = 30000;
    config.limits.maxConnectionsPerAddress = 0;
    config.limits.maxVisitorsPerAddress = 0;
    CTavoService service(config);
    service.Store().Open(config.databasePath);
    SeedDemoData(service.Store());
    tagRoomRecord room;
    room.number = kLoadRoom;
    room.area = 1;
    room.name = QStringLiteral("load");
    room.maxMembers = 1000000;
    room.micMode = 0;
    room.micSeconds = 3600;
    room.owner = kOwnerNumber;
    service.Store().AddRoom(room);
    tagPorts ports;
    if (service.Start()) {
        ports.hall = service.Config().hallPort;
        ports.room = service.Config().roomServers.front().mainPort;
    }
    [[maybe_unused]] ssize_t n = write(reportFd, &ports, sizeof ports);
    close(reportFd);
    _exit(ports.hall ? app.exec() : 1);
}

// Ten thousand listeners are twenty thousand connections on each side: far past the usual
// limit of descriptors.
void RaiseFileLimit() {
    constexpr rlim_t kWanted = 1 << 17;
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    rlimit raised{std::max(limit.rlim_cur, kWanted), std::max(limit.rlim_max, kWanted)};
    // Only a privileged process may raise the ceiling; anyone may go up to it.
    if (setrlimit(RLIMIT_NOFILE, &raised) != 0) {
        raised = {limit.rlim_max, limit.rlim_max};
        setrlimit(RLIMIT_NOFILE, &raised);
    }
}

}  // namespace

// The most listeners the descriptors allow, the service's and ours alike: two connections each,
// and some to spare for the listening sockets, the hall connections and the rest.
int MaxListeners() {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    return static_cast<int>(std::min<rlim_t>(10000, (limit.rlim_cur - 150) / 2));
}

bool StartServer() {
    if (g_server > 0) {
        return true;
    }
    RaiseFileLimit();
    int fds[2];
    if (pipe(fds) != 0) {
        return false;
    }
    g_server = fork();
    if (g_server == 0) {
        close(fds[0]);
        RunServer(fds[1]);
    }
    close(fds[1]);
    const bool ok = read(fds[0], &g_ports, sizeof g_ports) == sizeof g_ports && g_ports.hall != 0;
    close(fds[0]);
    return ok;
}

const tagPorts& ServerPorts() {
    return g_ports;
}

void StopServer() {
    if (g_server > 0) {
        kill(g_server, SIGTERM);
        waitpid(g_server, nullptr, 0);
        g_server = -1;
    }
}

// CPU seconds the service has used, from /proc: in all, and of them in the kernel.
double ServerCpuSeconds(double* kernel) {
    std::ifstream stat("/proc/" + std::to_string(g_server) + "/stat");
    std::string line;
    std::getline(stat, line);
    // Fields after the command name in parentheses; utime and stime are the 14th and 15th.
    const auto close = line.rfind(')');
    std::istringstream rest(line.substr(close + 2));
    std::string field;
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14) {
            utime = std::stoull(field);
        } else if (i == 15) {
            stime = std::stoull(field);
        }
    }
    const auto tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    if (kernel) {
        *kernel = static_cast<double>(stime) / tick;
    }
    return static_cast<double>(utime + stime) / tick;
}

double ServerMemoryMb(const char* key) {
    std::ifstream status("/proc/" + std::to_string(g_server) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0) {
            return std::stod(line.substr(std::strlen(key))) / 1024.0;
        }
    }
    return 0;
}

}  // namespace loadbench
