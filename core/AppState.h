#pragma once
// What the application object owns for the whole run and every part of the client reads: the
// edition, the settings (profile values refreshed from the server configuration document) and
// the account state. One instance per process, created by start-up; tests make their own.

#include "platform/ServiceSlot.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>
#include <vector>

// Edition codes other code switches on.
enum : int { EDITION_10 = 10, EDITION_20 = 20, EDITION_50 = 50, EDITION_70 = 70 };

struct tagSettings {
    // Profile values (section "Main"), with their defaults.
    QString serverIp;  // the service's hall address; default chosen by the edition table
    int serverPort = 5566;
    int serverTcpPort = 30000;
    QString urlRoomAddress = QStringLiteral("about:blank");
    QString urlRegister = QStringLiteral("about:blank");
    QString urlBuyRoom = QStringLiteral("about:blank");
    QString urlHelp = QStringLiteral("about:blank");
    QString urlMasterManage = QStringLiteral("about:blank");
    QString urlSubMasterManage = QStringLiteral("about:blank");
    QString urlBuyMoney = QStringLiteral("about:blank");
    QString urlExpendDetail = QStringLiteral("about:blank");
    QString urlDistributeAd = QStringLiteral("about:blank");
    QString urlAdHallBottom = QStringLiteral("about:blank");
    QString urlAdRoomTop = QStringLiteral("about:blank");
    QString urlAdRoomLeft1 = QStringLiteral("about:blank");
    QString urlAdRoomLeft2 = QStringLiteral("about:blank");
    QString urlAreaRoomList = QStringLiteral("about:blank");
    QString urlGift = QStringLiteral("about:blank");
    QString urlStamp = QStringLiteral("about:blank");
    QString urlMagicProp = QStringLiteral("about:blank");
    QString urlSuperMember = QStringLiteral("about:blank");
    QString urlFreeBuildRoom = QStringLiteral("about:blank");
    QString urlSite = QStringLiteral("about:blank");
    QString urlUserZone = QStringLiteral("about:blank");
    QString urlRegVip = QStringLiteral("about:blank");
    QString urlUserInfo = QStringLiteral("about:blank");
    QString siteRoot;  // scheme and host of urlRegister
    QString mixName;
    int isOpenMix = 1;
    int isMicMute = 0;
    QString visitorNickname;
    QString loginId;
    QString updateUrl;
    QString updateAppName = QStringLiteral("TavoUpdate.exe");
    QString verName = QStringLiteral("塔沃");
    QString hallWndName = QStringLiteral("塔沃大厅");
    QString moneyName = QStringLiteral("塔沃币");
    QString sysIdName = QStringLiteral("塔沃号");
    QString language = QStringLiteral("CHINESE");
    QString appNamePath;
    QString installPath;

    // Values only the server configuration document supplies (kept in memory).
    int lastVersion = 0;
    QString fip;    // SERVER/FIP: the host text rooms are told about (keys 101 of 110/122)
    int fport = 0;  // SERVER/FPORT: its port (key 102)
    QString urlHallCaseList;
    QString urlHallRoomList;
    QString urlSpeaker;
    QString urlOrderList;
    QString urlCmdAction;
    QStringList areaDocuments;                  // one address per ABOUTLINK/AREA_NAME
    std::map<QString, QString> switches;        // SWITCH/<name> → text
    std::map<QString, QString> edition70Links;  // ABOUTLINK extras read by edition 70
};

struct tagAccount {
    QString loginName;       // empty while not logged in
    int userNumber = -1;     // -1 before any login
    QString visitorName;     // given by the hall server; empty when none
    QString passwordDigest;  // MD5, 32 upper-case hex digits
    // Identity fields sent as keys 104, 105 and 106 with every hall request.
    QString identityText;         // server-information key 12
    int identityNumber = 0;       // server-information key 13
    QString adapterAddress;       // "XX-XX-XX-XX-XX-XX"
    int visitorValue = 0;         // key 50 of reply 36
    int64_t lastAttemptTime = 0;  // last press of the login dialog's OK, seconds since 1970

    bool IsLoggedIn() const { return !loginName.isEmpty(); }
    // The name the user is known by: the login name, or the visitor name when not logged in.
    QString Name() const { return loginName.isEmpty() ? visitorName : loginName; }
};

// Where the hall server lives, from the server-information reply (request 3100).
struct tagCenter {
    QString host;        // key 30; empty until the reply
    int serverPort = 0;  // key 40: the second port (the second route of room creation)
    int tcpPort = 0;     // key 50: the center connection's port (serverTcpPort until then)
};

// The user's room lists (reply 87), used for the hall's list marks and for room entry.
struct tagUserRooms {
    std::vector<int> first;
    std::vector<int> second;
    std::map<int, int> marks;  // room number → mark (editions 50 and 70)
};

// What reply 62 tells about the logged-in user; kept, not interpreted.
struct tagUserInfo {
    std::map<int, QString> texts;  // keys 30, 31, 32, 34, 35, 36
    std::map<int, int> numbers;    // keys 33, 37, 38, 39
};

// The local picture sets read at start.
struct tagPictureSets {
    int faceCount = 0;
    int faceWidth = 50;
    int faceHeight = 50;
    QStringList enterEffects;     // "Des" entries "01".."Count"
    QStringList vipEnterEffects;  // "Des" entries "Vip01".."VipCount"
    bool complete = false;        // every set was found
};

class CAppState {
public:
    QString editionName = QStringLiteral("TavoTavo");
    int edition = EDITION_20;
    int clientVersion = 0;  // 1.8.2.8 → 1828
    QString programFolder;  // where pages, pictures and cfg.ini are
    tagSettings settings;
    tagAccount account;
    tagCenter center;
    tagUserRooms userRooms;
    tagUserInfo userInfo;
    tagPictureSets pictures;
    int startRoom = 0;        // from the command line; 0 when none
    bool configRead = false;  // the server configuration document was read at start
    bool exiting = false;     // the application is quitting
    // The screen is smaller than the windows were laid out for: they open filling the screen's
    // free area instead of at their own size.
    bool fitWindowsToScreen = false;

    // The process-wide state, installed by the program (or the test) that made it.
    static CServiceSlot<CAppState>& Slot();
    static CAppState& Get() { return Slot().Get(); }
};

// Installs an application state for the life of a scope.
using CScopedAppState = CScopedService<CAppState>;
