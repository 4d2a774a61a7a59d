// tavo-serverd: the reference service, or its admin command line.
//
//   tavo-serverd [--config FILE] [--db PATH] [--seed] [--listen ADDR] [--public-host HOST]
//                [--info-port N] [--hall-port N] [--route-port N] [--room-ports M:S[,M:S...]]
//                [--web-port N] [--language L]
//   tavo-serverd admin [--config FILE] [--db PATH] COMMAND ...
//   tavo-serverd --help | --version

#include "platform/Clock.h"
#include "platform/Prompt.h"
#include "server/AdminCommands.h"
#include "server/Seed.h"
#include "server/Service.h"
#include "server/SqlDb.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTextStream>

#include <sys/socket.h>
#include <unistd.h>
#include <csignal>

namespace {

int g_signalPipe[2] = {-1, -1};

// A service has nobody to ask: a box the shared connection code raises goes to the error
// stream and takes its first button.
class CServicePrompt : public IPromptService {
public:
    int MessageBox(const QString& text, const QString& caption, unsigned flags) override {
        QTextStream(stderr) << "tavo-serverd: " << caption << ": " << text << "\n";
        return FirstButton(flags);
    }
};

void OnSignal(int) {
    const char byte = 1;
    // Only write() is safe here; the event loop does the rest.
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

QString DefaultDatabase() {
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                        QStringLiteral("/tavo");
    QDir().mkpath(dir);
    return dir + QStringLiteral("/tavo-serverd.db");
}

bool ParsePort(const QString& text, unsigned& out) {
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < 0 || v > 65535) {
        return false;
    }
    out = static_cast<unsigned>(v);
    return true;
}

int RunAdmin(QStringList args, QTextStream& out) {
    // admin [--config FILE] [--db PATH] COMMAND ...
    tagServerConfig config;
    while (args.size() >= 2 &&
           (args.front() == QLatin1String("--db") || args.front() == QLatin1String("--config"))) {
        if (args.front() == QLatin1String("--db")) {
            config.databasePath = args[1];
        } else {
            QString error;
            if (!LoadServerConfig(args[1], config, &error)) {
                out << error << "\n";
                return 1;
            }
        }
        args = args.mid(2);
    }
    if (config.databasePath.isEmpty()) {
        config.databasePath = DefaultDatabase();
    }
    CStore store;
    store.SetPasswordCost(config.passwordCost);
    QString error;
    if (!store.Open(config.databasePath, &error)) {
        out << error << "\n";
        return 1;
    }
    return RunAdminCommand(store, args, out);
}

// The service's options on top of its INI file. Returns the exit code when the command line
// is not one to run with; 0 when `config` is ready and `seed` says whether to add the demo data.
int ReadCommandLine(const QCoreApplication& app, tagServerConfig& config, bool& seed,
                    QTextStream& err) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "The reference chat-room service. 'tavo-serverd admin' for the admin commands."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption configOption(QStringLiteral("config"),
                                          QStringLiteral("INI file with the settings."),
                                          QStringLiteral("file"));
    const QCommandLineOption dbOption(
        QStringLiteral("db"),
        QStringLiteral("Database: an SQLite file (:memory: for none) or a postgresql:// address."),
        QStringLiteral("path"));
    const QCommandLineOption seedOption(
        QStringLiteral("seed"),
        QStringLiteral("Add the demo data when the database has no accounts."));
    const QCommandLineOption listenOption(QStringLiteral("listen"),
                                          QStringLiteral("Address to listen on."),
                                          QStringLiteral("address"));
    const QCommandLineOption hostOption(QStringLiteral("public-host"),
                                        QStringLiteral("Host clients are told to use."),
                                        QStringLiteral("host"));
    const QCommandLineOption infoOption(QStringLiteral("info-port"),
                                        QStringLiteral("Server-information port."),
                                        QStringLiteral("port"));
    const QCommandLineOption hallOption(QStringLiteral("hall-port"),
                                        QStringLiteral("Hall TCP port."), QStringLiteral("port"));
    const QCommandLineOption routeOption(QStringLiteral("route-port"),
                                         QStringLiteral("Hall second-route port."),
                                         QStringLiteral("port"));
    const QCommandLineOption roomsOption(QStringLiteral("room-ports"),
                                         QStringLiteral("Room servers as main:second,..."),
                                         QStringLiteral("ports"));
    const QCommandLineOption webOption(
        QStringLiteral("web-port"), QStringLiteral("Web port (-1: none)."), QStringLiteral("port"));
    const QCommandLineOption languageOption(
        QStringLiteral("language"),
        QStringLiteral("CHINESE, HONGKONG or ENGLISG (wire code page)."),
        QStringLiteral("language"));
    parser.addOptions({configOption, dbOption, seedOption, listenOption, hostOption, infoOption,
                       hallOption, routeOption, roomsOption, webOption, languageOption});
    parser.process(app);

    QString error;
    if (parser.isSet(configOption) &&
        !LoadServerConfig(parser.value(configOption), config, &error)) {
        err << "tavo-serverd: " << error << "\n";
        return 1;
    }
    if (parser.isSet(dbOption)) {
        config.databasePath = parser.value(dbOption);
    }
    if (config.databasePath.isEmpty()) {
        config.databasePath = DefaultDatabase();
    }
    if (parser.isSet(listenOption)) {
        config.listenAddress = parser.value(listenOption);
    }
    if (parser.isSet(hostOption)) {
        config.publicHost = parser.value(hostOption);
    }
    if (parser.isSet(languageOption)) {
        config.language = parser.value(languageOption);
    }
    seed = parser.isSet(seedOption);
    bool ok =
        (!parser.isSet(infoOption) || ParsePort(parser.value(infoOption), config.infoPort)) &&
        (!parser.isSet(hallOption) || ParsePort(parser.value(hallOption), config.hallPort)) &&
        (!parser.isSet(routeOption) || ParsePort(parser.value(routeOption), config.routePort));
    if (ok && parser.isSet(webOption)) {
        // -1 turns the web side off, so this one is not a port number.
        config.webPort = parser.value(webOption).toInt(&ok);
    }
    if (ok && parser.isSet(roomsOption)) {
        config.roomServers.clear();
        for (const QString& pair :
             parser.value(roomsOption).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QStringList p = pair.split(QLatin1Char(':'));
            tagRoomServerPorts ports;
            ok = ok && p.size() == 2 && ParsePort(p[0], ports.mainPort) &&
                 ParsePort(p[1], ports.secondPort);
            config.roomServers.push_back(ports);
        }
    }
    if (!ok) {
        err << "tavo-serverd: a port is not a number from 0 to 65535\n";
        return 2;
    }
    return 0;
}

// The first line tells scripts and people which ports the system chose.
void PrintBound(const CTavoService& service, QTextStream& out) {
    const tagServerConfig& bound = service.Config();
    out << "tavo-serverd: info=" << bound.infoPort << " hall=" << bound.hallPort
        << " route=" << bound.routePort;
    for (int i = 0; i < service.RoomServerCount(); ++i) {
        out << " room" << (bound.firstRoomServer + i) << "="
            << bound.roomServers[static_cast<size_t>(i)].mainPort << ":"
            << bound.roomServers[static_cast<size_t>(i)].secondPort;
    }
    out << " web=" << bound.webPort << " db=" << ShownAddress(bound.databasePath) << "\n";
    out.flush();
}

// SIGINT and SIGTERM end the event loop, so the service stops as on quit() and marks its
// rows stopped.
void QuitOnSignals(QCoreApplication& app) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) == 0) {
        auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app,
                         [] { QCoreApplication::quit(); });
        std::signal(SIGINT, OnSignal);
        std::signal(SIGTERM, OnSignal);
    }
    std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace

int main(int argc, char** argv) {
    CClock::Slot().Install(&TheSystemClock());
    static CServicePrompt prompt;
    IPromptService::Slot().Install(&prompt);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tavo-serverd"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVO_VERSION_TEXT));
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (!args.isEmpty() && args.front() == QLatin1String("admin")) {
        const int rc = RunAdmin(args.mid(1), out);
        out.flush();
        return rc;
    }

    tagServerConfig config;
    bool seed = false;
    if (const int rc = ReadCommandLine(app, config, seed, err); rc != 0) {
        return rc;
    }
    CTavoService service(config);
    QString error;
    if (seed || config.databasePath == QLatin1String(":memory:")) {
        // Seeding needs the database open before the listeners start.
        if (!service.Store().Open(config.databasePath, &error)) {
            err << "tavo-serverd: " << error << "\n";
            return 1;
        }
        if (service.Store().Accounts().empty()) {
            SeedDemoData(service.Store());
        }
    }
    if (!service.Start(&error)) {
        err << "tavo-serverd: " << error << "\n";
        return 1;
    }
    // The handlers go in before the ports are printed: whoever started the service may stop it
    // as soon as it has read them, and that stop must still mark the rows stopped.
    QuitOnSignals(app);
    PrintBound(service, out);
    return app.exec();
}
