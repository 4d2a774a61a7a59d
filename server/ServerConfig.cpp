#include "server/ServerConfig.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <climits>
#include <functional>
#include <map>

namespace {

// What one key of the file sets, and how its value is read: a reader returns an empty text or
// why the value is wrong.
using Reader = std::function<QString(const QString& value)>;

Reader Text(QString& out) {
    return [&out](const QString& value) {
        out = value;
        return QString();
    };
}

Reader Number(int& out, int low = INT_MIN, int high = INT_MAX) {
    return [&out, low, high](const QString& value) {
        bool ok = false;
        const int n = value.toInt(&ok);
        if (!ok) {
            return QStringLiteral("'%1' is not a number").arg(value);
        }
        if (n < low || n > high) {
            return QStringLiteral("%1 is not between %2 and %3").arg(n).arg(low).arg(high);
        }
        out = n;
        return QString();
    };
}

Reader Port(unsigned& out) {
    return [&out](const QString& value) {
        bool ok = false;
        const int n = value.toInt(&ok);
        if (!ok || n < 0 || n > 65535) {
            return QStringLiteral("'%1' is not a port (0 to 65535)").arg(value);
        }
        out = static_cast<unsigned>(n);
        return QString();
    };
}

Reader Flag(bool& out) {
    return [&out](const QString& value) {
        const QString v = value.toLower();
        if (v == QLatin1String("yes") || v == QLatin1String("true") || v == QLatin1String("1")) {
            out = true;
        } else if (v == QLatin1String("no") || v == QLatin1String("false") ||
                   v == QLatin1String("0")) {
            out = false;
        } else {
            return QStringLiteral("'%1' is not yes or no").arg(value);
        }
        return QString();
    };
}

// "30100:30101, 30200:30201": the main and second port of each room server.
Reader RoomServers(std::vector<tagRoomServerPorts>& out) {
    return [&out](const QString& value) {
        std::vector<tagRoomServerPorts> servers;
        for (const QString& item : value.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QStringList pair = item.trimmed().split(QLatin1Char(':'));
            tagRoomServerPorts ports;
            if (pair.size() != 2 || !Port(ports.mainPort)(pair[0]).isEmpty() ||
                !Port(ports.secondPort)(pair[1]).isEmpty()) {
                return QStringLiteral("'%1' is not main:second").arg(item.trimmed());
            }
            servers.push_back(ports);
        }
        if (servers.empty()) {
            return QStringLiteral("no room server is named");
        }
        out = servers;
        return QString();
    };
}

std::map<QString, Reader> Keys(tagServerConfig& c) {
    auto& l = c.limits;
    return {
        {QStringLiteral("server/listen"), Text(c.listenAddress)},
        {QStringLiteral("server/public_host"), Text(c.publicHost)},
        {QStringLiteral("server/database"), Text(c.databasePath)},
        {QStringLiteral("server/identity_text"), Text(c.identityText)},
        {QStringLiteral("server/language"), Text(c.language)},
        {QStringLiteral("server/info_port"), Port(c.infoPort)},
        {QStringLiteral("server/hall_port"), Port(c.hallPort)},
        {QStringLiteral("server/route_port"), Port(c.routePort)},
        {QStringLiteral("server/web_port"), Number(c.webPort, -1, 65535)},
        {QStringLiteral("server/identity_number"), Number(c.identityNumber)},
        {QStringLiteral("server/last_version"), Number(c.lastVersion)},
        {QStringLiteral("server/server_version"), Number(c.serverVersion)},
        {QStringLiteral("server/admin_poll_ms"), Number(c.adminPollMs, 1)},
        {QStringLiteral("server/password_cost"),
         Number(c.passwordCost, kMinPasswordCost, kMaxPasswordCost)},
        {QStringLiteral("rooms/servers"), RoomServers(c.roomServers)},
        {QStringLiteral("rooms/first_number"), Number(c.firstRoomServer, 1, 1000000)},
        {QStringLiteral("rooms/heartbeat_seconds"), Number(c.heartbeatSeconds, 1, 3600)},
        {QStringLiteral("roles/hall"), Flag(c.roles.hall)},
        {QStringLiteral("roles/hall_number"), Number(c.hallNumber, 1, 1000000)},
        {QStringLiteral("roles/web"), Flag(c.roles.web)},
        {QStringLiteral("roles/rooms"), Flag(c.roles.rooms)},
        {QStringLiteral("limits/max_connections"), Number(l.maxConnections, 1)},
        {QStringLiteral("limits/max_connections_per_address"),
         Number(l.maxConnectionsPerAddress, 0)},
        {QStringLiteral("limits/requests_per_second"), Number(l.requestsPerSecond, 1)},
        {QStringLiteral("limits/request_burst"), Number(l.requestBurst, 0)},
        {QStringLiteral("limits/max_strikes"), Number(l.maxStrikes, 0)},
        {QStringLiteral("limits/send_queue_soft_bytes"), Number(l.sendQueueSoftBytes, 0)},
        {QStringLiteral("limits/send_queue_hard_bytes"), Number(l.sendQueueHardBytes, 0)},
        {QStringLiteral("limits/send_threads"), Number(l.sendThreads, 0, 64)},
        {QStringLiteral("limits/max_text_bytes"), Number(l.maxTextBytes, 0)},
        {QStringLiteral("limits/chat_interval_ms"), Number(l.chatIntervalMs, 0)},
        {QStringLiteral("limits/max_own_rooms"), Number(l.maxOwnRooms, 0)},
        {QStringLiteral("limits/max_visitors"), Number(l.maxVisitors, 0)},
        {QStringLiteral("limits/max_visitors_per_address"), Number(l.maxVisitorsPerAddress, 0)},
        {QStringLiteral("limits/session_timeout_seconds"), Number(l.sessionTimeoutSeconds, 1)},
        {QStringLiteral("limits/web_head_bytes"), Number(l.webHeadBytes, 1)},
        {QStringLiteral("limits/web_request_seconds"), Number(l.webRequestSeconds, 1)},
        {QStringLiteral("limits/login_failures"), Number(l.loginFailures, 1)},
        {QStringLiteral("limits/mic_guard_quota"), Number(l.micGuardQuota, 0)},
        {QStringLiteral("limits/mic_guard_spacing_ms"), Number(l.micGuardSpacingMs, 0)},
        {QStringLiteral("limits/score_cost"), Number(l.scoreCost, 0)},
    };
}

}  // namespace

bool LoadServerConfig(const QString& path, tagServerConfig& config, QString* error) {
    auto fail = [&](const QString& why) {
        if (error) {
            *error = why;
        }
        return false;
    };
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        return fail(QStringLiteral("cannot read %1").arg(path));
    }
    // A file with one wrong line is refused whole: a service started with half of what its
    // operator wrote (a port it was told not to use, a limit left open) is worse than none.
    tagServerConfig read = config;
    const std::map<QString, Reader> keys = Keys(read);
    std::map<QString, int> seen;
    QString section;
    int number = 0;
    while (!file.atEnd()) {
        ++number;
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        const QString where = QStringLiteral("%1:%2: ").arg(path).arg(number);
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) ||
            line.startsWith(QLatin1Char('#'))) {
            continue;
        }
        if (line.startsWith(QLatin1Char('['))) {
            if (!line.endsWith(QLatin1Char(']'))) {
                return fail(where + QStringLiteral("'%1' is not a section").arg(line));
            }
            section = line.mid(1, line.size() - 2).trimmed();
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0) {
            return fail(where + QStringLiteral("'%1' is not key = value").arg(line));
        }
        const QString name = section + QLatin1Char('/') + line.left(equals).trimmed();
        QString value = line.mid(equals + 1).trimmed();
        if (value.startsWith(QLatin1Char('"'))) {
            // A quoted value keeps what a comment would cut: "a ; b".
            const qsizetype close = value.indexOf(QLatin1Char('"'), 1);
            if (close < 0) {
                return fail(where + QStringLiteral("the quote of %1 is not closed").arg(name));
            }
            value = value.mid(1, close - 1);
        } else {
            // "value    ; what it means": a comment after a blank.
            static const QRegularExpression comment(QStringLiteral(R"(\s+[;#].*$)"));
            value.remove(comment);
        }
        const auto key = keys.find(name);
        if (key == keys.end()) {
            return fail(where + QStringLiteral("unknown key %1").arg(name));
        }
        if (const auto before = seen.find(name); before != seen.end()) {
            return fail(
                where +
                QStringLiteral("%1 was set already on line %2").arg(name).arg(before->second));
        }
        seen[name] = number;
        if (const QString why = key->second(value); !why.isEmpty()) {
            return fail(where + name + QStringLiteral(": ") + why);
        }
    }
    if (!read.roles.hall && !read.roles.web && !read.roles.rooms) {
        return fail(path + QStringLiteral(": [roles] leaves this process nothing to run"));
    }
    config = read;
    return true;
}
