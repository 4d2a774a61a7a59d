#include "hall/ConfigDocument.h"

#include "core/AppState.h"
#include "platform/Profile.h"

#include <QXmlStreamReader>

#include <iterator>

namespace {

const QString kMain = QStringLiteral("Main");

// ABOUTLINK children and the profile values they refresh.
constexpr std::pair<const char*, const char*> kAboutLinks[] = {
    {"ROOM_ADDRESS", "URLRoomAddress"},
    {"REGISTER", "URLRegister"},
    {"BUY_ROOM", "URLBuyRoom"},
    {"HELP", "URLHelp"},
    {"MASTER_MANAGE", "URLMasterManage"},
    {"SUB_MASTER_MANAGE", "URLSubMasterManage"},
    {"BUY_TAVO_MONEY", "URLBuyMoney"},
    {"EXPEND_DETAIL", "URLExpendDetail"},
    {"DISTRIBUTE_AD", "URLDistributeAd"},
    {"AD_HALL_BOTTOM", "URLAdHallBottom"},
    {"AD_ROOM_TOP", "URLAdRoomTop"},
    {"AD_ROOM_LEFT1", "URLAdRoomLeft1"},
    {"AD_ROOM_LEFT2", "URLAdRoomLeft2"},
    {"AREA_ROOM_LIST", "URLAreaRoomList"},
    {"GIFT", "URLGift"},
    {"STAMP", "URLStamp"},
    {"MAGIC_PORP", "URLMagicProp"},
    {"SUPER_MEMBER", "URLSuperMember"},
    {"FREE_BUILD_ROOM", "URLFreeBuildRoom"},
    {"SITE_LOGO", "URLSite"},
    {"USER_ZONE", "URLUserZone"},
    {"REG_VIP", "URLRegVip"},
    {"USER_INFO", "URLUserInfo"},
};

constexpr const char* kSwitches[] = {"VISITOR_OP", "MIC_ORDER_COLOR", "BE_GIVEN_MIC_CONFIRM",
                                     "ENABLE_VIRTUAL_USER", "ENABLE_STAMP_SEAL"};

constexpr const char* kEdition70Links[] = {
    "USER_HEAD",      "NEW_GIFT",      "FREE_FACE", "MUSIC_LIST",    "COLOR_TEXT", "USER_GIFT",
    "HALL_HOME_PAGE", "PAY_ENTERROOM", "ALERT_AD",  "MINI_USERINFO", "GAME"};

QString Value(const std::map<QString, QString>& values, const char* name) {
    auto it = values.find(QString::fromLatin1(name));
    return it == values.end() ? QString() : it->second;
}

bool Has(const std::map<QString, QString>& values, const char* name) {
    return values.count(QString::fromLatin1(name)) != 0;
}

// Reads the child elements of the current element into values; AREA_NAME children are
// collected into areas instead.
bool ReadGroup(QXmlStreamReader& xml, std::map<QString, QString>& values, QStringList* areas) {
    QStringList found;
    while (xml.readNextStartElement()) {
        const QString name = xml.name().toString();
        const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
        if (xml.hasError()) {
            return false;
        }
        if (areas && name == QLatin1String("AREA_NAME")) {
            found.append(text);
        } else {
            values[name] = text;
        }
    }
    if (areas && !found.isEmpty()) {
        *areas = found;
    }
    return !xml.hasError();
}

}  // namespace

int tagConfigDocument::LastVersion() const {
    bool ok = false;
    const int version = Value(server, "LASTVERSION").toInt(&ok);
    return ok ? version : 0;
}

bool ParseConfigDocument(const QString& text, tagConfigDocument& out) {
    out = tagConfigDocument();
    if (text.trimmed().isEmpty()) {
        return false;
    }
    tagConfigDocument doc;
    QXmlStreamReader xml(text);
    bool sawRoot = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement()) {
            continue;
        }
        sawRoot = true;
        const auto name = xml.name();
        bool ok = true;
        if (name == QLatin1String("SERVER")) {
            ok = ReadGroup(xml, doc.server, nullptr);
        } else if (name == QLatin1String("ABOUTLINK")) {
            ok = ReadGroup(xml, doc.aboutLink, &doc.areaNames);
        } else if (name == QLatin1String("SWITCH")) {
            ok = ReadGroup(xml, doc.switches, nullptr);
        }
        if (!ok) {
            return false;
        }
    }
    if (xml.hasError() || !sawRoot) {
        return false;
    }
    out = std::move(doc);
    return true;
}

void WriteConfigToProfile(const tagConfigDocument& doc, CProfileStore& profile) {
    if (Has(doc.server, "IP")) {
        profile.WriteString(kMain, QStringLiteral("ServerIP"), Value(doc.server, "IP"));
    }
    // A port that is not a number is not written: the profile keeps a usable one.
    const std::pair<const char*, const char*> ports[] = {{"PORT", "ServerPort"},
                                                         {"TCPPORT", "ServerTcpPort"}};
    for (const auto& [element, key] : ports) {
        bool ok = false;
        const int value = Value(doc.server, element).toInt(&ok);
        if (ok) {
            profile.WriteInt(kMain, QString::fromLatin1(key), value);
        }
    }
    for (const auto& [element, key] : kAboutLinks) {
        if (Has(doc.aboutLink, element)) {
            profile.WriteString(kMain, QString::fromLatin1(key), Value(doc.aboutLink, element));
        }
    }
}

QString AreaDocumentAddress(const QString& roomListAddress, const QString& areaName) {
    const int slash = roomListAddress.lastIndexOf(QLatin1Char('/'));
    const QString folder = slash >= 0 ? roomListAddress.left(slash) : QString();
    return folder + QLatin1Char('/') + areaName + QStringLiteral(".XML");
}

void ApplyConfigExtras(const tagConfigDocument& doc, int edition, tagSettings& settings) {
    settings.lastVersion = doc.LastVersion();
    settings.fip = Value(doc.server, "FIP");
    settings.fport = Value(doc.server, "FPORT").toInt();
    settings.urlHallCaseList = Value(doc.aboutLink, "HALL_CASE_LIST");
    settings.urlHallRoomList = Value(doc.aboutLink, "HALL_ROOM_LIST");
    settings.urlSpeaker = Value(doc.aboutLink, "SPEAKER");
    settings.urlOrderList = Value(doc.aboutLink, "ORDERLIST");
    settings.urlCmdAction = Value(doc.aboutLink, "CMD_ACTION");
    const QString roomList = Has(doc.aboutLink, "AREA_ROOM_LIST")
                                 ? Value(doc.aboutLink, "AREA_ROOM_LIST")
                                 : settings.urlAreaRoomList;
    settings.areaDocuments.clear();
    for (const QString& area : doc.areaNames) {
        settings.areaDocuments.append(AreaDocumentAddress(roomList, area));
    }
    settings.switches.clear();
    for (const char* name : kSwitches) {
        if (Has(doc.switches, name)) {
            settings.switches[QString::fromLatin1(name)] = Value(doc.switches, name);
        }
    }
    settings.edition70Links.clear();
    if (edition == EDITION_70) {
        for (const char* name : kEdition70Links) {
            if (Has(doc.aboutLink, name)) {
                settings.edition70Links[QString::fromLatin1(name)] = Value(doc.aboutLink, name);
            }
        }
    }
}
