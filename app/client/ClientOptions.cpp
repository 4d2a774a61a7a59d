#include "app/client/ClientOptions.h"

#include "hall/Edition.h"
#include "platform/Profile.h"

#include <QFileInfo>

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
        if (arg == QLatin1String("--config-url")) {
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
