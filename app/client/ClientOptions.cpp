#include "app/client/ClientOptions.h"

#include "hall/Edition.h"
#include "platform/Profile.h"

#include <QFileInfo>
#include <QTextStream>

tagClientOptions ParseClientOptions(const QStringList& arguments) {
    tagClientOptions options;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        auto value = [&](QString& out) {
            if (i + 1 >= arguments.size()) {
                options.error = QStringLiteral("%1 needs a value").arg(arg);
                return false;
            }
            out = arguments[++i];
            return true;
        };
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            options.help = true;
        } else if (arg == QLatin1String("--version") || arg == QLatin1String("-v")) {
            options.version = true;
        } else if (arg == QLatin1String("--config-url")) {
            value(options.configUrl);
        } else if (arg == QLatin1String("--program-folder")) {
            value(options.programFolder);
        } else if (arg == QLatin1String("--server")) {
            QString server;
            if (value(server)) {
                const int colon = server.lastIndexOf(QLatin1Char(':'));
                bool ok = true;
                if (colon > 0) {
                    options.serverPort = server.mid(colon + 1).toInt(&ok);
                    server = server.left(colon);
                }
                if (!ok || options.serverPort < 0 || options.serverPort > 65535 ||
                    server.isEmpty()) {
                    options.error = QStringLiteral("--server wants HOST or HOST:PORT");
                }
                options.serverHost = server;
            }
        } else if (!arg.startsWith(QLatin1Char('-')) && options.startRoom == 0 && arg.toInt() > 0 &&
                   options.rest.isEmpty()) {
            options.startRoom = arg.toInt();
        } else {
            options.rest << arg;
        }
    }
    return options;
}

bool AnswerHelpOrVersion(const tagClientOptions& options, const QString& program,
                         const QString& summary, const QString& extra) {
    QTextStream out(stdout);
    if (options.help) {
        out << "Usage: " << program << " [options] [ROOM]\n"
            << summary << "\n\n"
            << "Options:\n"
            << "  --config-url URL        where the server configuration document is\n"
            << "  --server HOST[:PORT]    the server-information host\n"
            << "  --program-folder DIR    where cfg.ini, the chat pages and the pictures are\n"
            << "                          (default: found from the program's own folder)\n"
            << extra << "  -h, --help              show this help and exit\n"
            << "  -v, --version           show the version and exit\n\n"
            << "ROOM, a number, is the room to enter at start.\n";
        return true;
    }
    if (options.version) {
        out << program << " " << TAVO_VERSION_TEXT << "\n";
        return true;
    }
    return false;
}

void ApplyClientOptions(const tagClientOptions& options, const QString& programFolder) {
    CAppProfile::SetProfileName(ReadEditionName(programFolder));
    const QString main = QStringLiteral("Main");
    if (!options.configUrl.isEmpty()) {
        CAppProfile::WriteProfileString(main, QStringLiteral("UpdateURL"), options.configUrl);
    }
    if (!options.serverHost.isEmpty()) {
        CAppProfile::WriteProfileString(main, QStringLiteral("ServerIP"), options.serverHost);
    }
    if (options.serverPort > 0) {
        CAppProfile::WriteProfileInt(main, QStringLiteral("ServerPort"), options.serverPort);
    }
}

QString StartCommandLine(const QString& program, const tagClientOptions& options) {
    QString line = QFileInfo(program).fileName();
    if (options.startRoom > 0) {
        line += QLatin1Char(' ') + QString::number(options.startRoom);
    }
    return line;
}
