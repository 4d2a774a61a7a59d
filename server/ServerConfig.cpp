#include "server/ServerConfig.h"

#include <QFileInfo>
#include <QSettings>

namespace {

bool ReadInt(QSettings& ini, const QString& key, int& out, QString* error) {
    if (!ini.contains(key)) {
        return true;
    }
    bool ok = false;
    const int value = ini.value(key).toString().trimmed().toInt(&ok);
    if (!ok) {
        if (error) {
            *error = QStringLiteral("%1 is not a number").arg(key);
        }
        return false;
    }
    out = value;
    return true;
}

bool ReadPort(QSettings& ini, const QString& key, unsigned& out, QString* error) {
    int value = static_cast<int>(out);
    if (!ReadInt(ini, key, value, error)) {
        return false;
    }
    if (value < 0 || value > 65535) {
        if (error) {
            *error = QStringLiteral("%1 is not a port").arg(key);
        }
        return false;
    }
    out = static_cast<unsigned>(value);
    return true;
}

void ReadText(QSettings& ini, const QString& key, QString& out) {
    if (ini.contains(key)) {
        out = ini.value(key).toString();
    }
}

}  // namespace

bool LoadServerConfig(const QString& path, tagServerConfig& config, QString* error) {
    if (!QFileInfo(path).isReadable()) {
        if (error) {
            *error = QStringLiteral("cannot read %1").arg(path);
        }
        return false;
    }
    QSettings ini(path, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError) {
        if (error) {
            *error = QStringLiteral("%1 is not an INI file").arg(path);
        }
        return false;
    }
    ReadText(ini, QStringLiteral("server/listen"), config.listenAddress);
    ReadText(ini, QStringLiteral("server/public_host"), config.publicHost);
    ReadText(ini, QStringLiteral("server/database"), config.databasePath);
    ReadText(ini, QStringLiteral("server/identity_text"), config.identityText);
    ReadText(ini, QStringLiteral("server/language"), config.language);
    auto& l = config.limits;
    const bool ok =
        ReadPort(ini, QStringLiteral("server/info_port"), config.infoPort, error) &&
        ReadPort(ini, QStringLiteral("server/hall_port"), config.hallPort, error) &&
        ReadPort(ini, QStringLiteral("server/route_port"), config.routePort, error) &&
        ReadInt(ini, QStringLiteral("server/web_port"), config.webPort, error) &&
        ReadInt(ini, QStringLiteral("server/identity_number"), config.identityNumber, error) &&
        ReadInt(ini, QStringLiteral("server/last_version"), config.lastVersion, error) &&
        ReadInt(ini, QStringLiteral("server/server_version"), config.serverVersion, error) &&
        ReadInt(ini, QStringLiteral("server/admin_poll_ms"), config.adminPollMs, error) &&
        ReadInt(ini, QStringLiteral("server/password_cost"), config.passwordCost, error) &&
        ReadInt(ini, QStringLiteral("limits/max_connections"), l.maxConnections, error) &&
        ReadInt(ini, QStringLiteral("limits/max_connections_per_address"),
                l.maxConnectionsPerAddress, error) &&
        ReadInt(ini, QStringLiteral("limits/requests_per_second"), l.requestsPerSecond, error) &&
        ReadInt(ini, QStringLiteral("limits/request_burst"), l.requestBurst, error) &&
        ReadInt(ini, QStringLiteral("limits/max_strikes"), l.maxStrikes, error) &&
        ReadInt(ini, QStringLiteral("limits/send_queue_soft_bytes"), l.sendQueueSoftBytes, error) &&
        ReadInt(ini, QStringLiteral("limits/send_queue_hard_bytes"), l.sendQueueHardBytes, error) &&
        ReadInt(ini, QStringLiteral("limits/max_text_bytes"), l.maxTextBytes, error) &&
        ReadInt(ini, QStringLiteral("limits/chat_interval_ms"), l.chatIntervalMs, error) &&
        ReadInt(ini, QStringLiteral("limits/max_own_rooms"), l.maxOwnRooms, error) &&
        ReadInt(ini, QStringLiteral("limits/max_visitors"), l.maxVisitors, error) &&
        ReadInt(ini, QStringLiteral("limits/max_visitors_per_address"), l.maxVisitorsPerAddress,
                error) &&
        ReadInt(ini, QStringLiteral("limits/session_timeout_seconds"), l.sessionTimeoutSeconds,
                error) &&
        ReadInt(ini, QStringLiteral("limits/web_head_bytes"), l.webHeadBytes, error) &&
        ReadInt(ini, QStringLiteral("limits/web_request_seconds"), l.webRequestSeconds, error) &&
        ReadInt(ini, QStringLiteral("limits/login_failures"), l.loginFailures, error) &&
        ReadInt(ini, QStringLiteral("limits/mic_guard_quota"), l.micGuardQuota, error) &&
        ReadInt(ini, QStringLiteral("limits/mic_guard_spacing_ms"), l.micGuardSpacingMs, error) &&
        ReadInt(ini, QStringLiteral("limits/score_cost"), l.scoreCost, error);
    if (!ok) {
        return false;
    }
    if (config.passwordCost < kMinPasswordCost || config.passwordCost > kMaxPasswordCost) {
        if (error) {
            *error = QStringLiteral("server/password_cost is not between %1 and %2")
                         .arg(kMinPasswordCost)
                         .arg(kMaxPasswordCost);
        }
        return false;
    }
    // [rooms] servers = 30100:30101, 30200:30201
    if (ini.contains(QStringLiteral("rooms/servers"))) {
        std::vector<tagRoomServerPorts> servers;
        QStringList items = ini.value(QStringLiteral("rooms/servers")).toStringList();
        if (items.size() == 1) {
            items = items.front().split(QLatin1Char(','), Qt::SkipEmptyParts);
        }
        for (const QString& item : items) {
            const QStringList pair = item.trimmed().split(QLatin1Char(':'));
            bool okMain = false;
            bool okSecond = false;
            const int mainPort = pair.value(0).toInt(&okMain);
            const int secondPort = pair.value(1).toInt(&okSecond);
            if (pair.size() != 2 || !okMain || !okSecond || mainPort < 0 || mainPort > 65535 ||
                secondPort < 0 || secondPort > 65535) {
                if (error) {
                    *error = QStringLiteral("rooms/servers: '%1' is not main:second").arg(item);
                }
                return false;
            }
            servers.push_back({static_cast<unsigned>(mainPort), static_cast<unsigned>(secondPort)});
        }
        if (servers.empty()) {
            if (error) {
                *error = QStringLiteral("rooms/servers is empty");
            }
            return false;
        }
        config.roomServers = servers;
    }
    return true;
}
