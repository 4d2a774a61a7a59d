#pragma once
// Where the service listens, what it tells clients, and the limits it keeps. A port of 0 lets
// the system choose (tests); the service writes the ports it got back into its copy.

#include "server/PasswordHash.h"

#include <QString>

#include <vector>

struct tagServerLimits {
    // Connections one listener holds; beyond it a new connection is closed at once.
    int maxConnections = 4000;
    // Connections one address may hold on one listener; 0 for no limit.
    int maxConnectionsPerAddress = 256;
    // Requests one connection may send: a sustained rate and a burst on top of it.
    int requestsPerSecond = 100;
    int requestBurst = 300;
    // Unknown commands and requests out of order a connection may send before it is dropped.
    int maxStrikes = 20;
    // Bytes waiting for a slow receiver: beyond the soft limit voice and video are dropped
    // whole, beyond the hard limit the connection is dropped.
    int sendQueueSoftBytes = 256 * 1024;
    int sendQueueHardBytes = 4 * 1024 * 1024;
    // Threads of a room server that write to its members' sockets; 0: one per core, at most
    // four.
    int sendThreads = 0;
    // Longest chat line and shortest interval between two lines of one member.
    int maxTextBytes = 8000;
    int chatIntervalMs = 1000;
    // Rooms one account may create for itself.
    int maxOwnRooms = 3;
    // Visitors the hall keeps at once, and from one address (0: no limit).
    int maxVisitors = 200000;
    int maxVisitorsPerAddress = 500;
    // A hall session without a presence request for this long is forgotten.
    int sessionTimeoutSeconds = 120;
    // The longest head (request line and header fields) of a web request, and the time a web
    // connection has to bring each whole request head, whether it stays silent or trickles.
    int webHeadBytes = 8192;
    int webRequestSeconds = 15;
    // Failed logins an account or an address may have at once before every further attempt
    // waits its turn; one is forgiven every minute.
    int loginFailures = 10;
    // A room holds three times this many mic guards; a room's guards come at least this far
    // apart.
    int micGuardQuota = 2;
    int micGuardSpacingMs = 6000;
    // What a scoring round costs its starter, in hundredths of the currency (told to clients).
    int scoreCost = 0;
};

struct tagRoomServerPorts {
    unsigned mainPort = 0;
    unsigned secondPort = 0;
};

// What one process of the service runs; several processes on one database share the work.
struct tagServerRoles {
    bool hall = true;   // the server-information host and the hall
    bool web = true;    // the web side (also off with web_port = -1)
    bool rooms = true;  // the room servers of roomServers
};

struct tagServerConfig {
    QString listenAddress = QStringLiteral("127.0.0.1");
    // The host clients are told to connect to (hall and room servers).
    QString publicHost = QStringLiteral("127.0.0.1");
    unsigned infoPort = 5566;   // server-information host, second-route framing
    unsigned hallPort = 30000;  // hall, TCP framing
    unsigned routePort = 5567;  // hall's second route (room creation)
    std::vector<tagRoomServerPorts> roomServers{{30100, 30101}};
    // The number of this process's first room server; the others follow. Processes sharing a
    // database give theirs numbers apart: a room's server field names one of them.
    int firstRoomServer = 1;
    // How often a room server writes its row in room_servers, and a hall its row in halls;
    // three missed beats and the hall no longer sends anyone to that room server, and the
    // logins and visitors of that hall are no longer vouched for.
    int heartbeatSeconds = 5;
    tagServerRoles roles;
    // The number of this process's hall. Processes with a hall on one database give theirs
    // numbers apart: each presence row names the hall that vouches for it, and a hall starting
    // clears the rows it left.
    int hallNumber = 1;
    int webPort = 8080;  // -1: no web side
    QString databasePath;
    // Keys 12 and 13 of the server-information reply (the identity fields of hall requests).
    QString identityText = QStringLiteral("tavo");
    int identityNumber = 1;
    // The newest client version the configuration document announces.
    int lastVersion = 1828;
    // The room servers' version (key 90 of the entry reply); above 1410 clients expect the
    // room number in every relayed voice and video packet.
    int serverVersion = 1411;
    // How often the admin queue in the database is read.
    int adminPollMs = 1000;
    // The cost of new password hashes: log2 of scrypt's N. Kept rows with a lower cost are
    // hashed anew at their next good login.
    int passwordCost = kPasswordCost;
    QString language = QStringLiteral("CHINESE");
    tagServerLimits limits;
};

// Reads an INI file ([server], [limits], [rooms] sections) over the defaults. False, with the
// file and line in the reason, when the file cannot be read or a line holds an unknown key, a
// key set twice or a malformed value; the configuration is then left as it was.
bool LoadServerConfig(const QString& path, tagServerConfig& config, QString* error);
