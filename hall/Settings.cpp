#include "hall/Settings.h"

#include "core/AppState.h"
#include "platform/Profile.h"
#include "platform/System.h"

namespace {

const QString kMain = QStringLiteral("Main");
constexpr int kNicknameLength = 32;

// atoi's reading: optional blanks and sign, then digits up to the first other character.
int LeadingNumber(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace()) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9');
         ++i) {
        value = value * 10 + (text.at(i).unicode() - '0');
        if (value > INT32_MAX) {
            return 0;
        }
    }
    return static_cast<int>(negative ? -value : value);
}

}  // namespace

void RepairIntegerSettings(CProfileStore& profile) {
    const std::pair<const char*, int> integers[] = {
        {"ServerPort", 5566}, {"ServerTcpPort", 30000}, {"IsMicMute", 0}, {"IsOpenMix", 1}};
    for (const auto& [key, def] : integers) {
        const QString name = QString::fromLatin1(key);
        if (profile.Kind(kMain, name) != CProfileStore::EKind::Number) {
            profile.WriteInt(kMain, name, def);
        }
    }
}

void LoadSettings(const CProfileStore& profile, const QString& defaultHallAddress, tagSettings& s) {
    const tagSettings d;  // the built-in defaults
    auto text = [&](const char* key, const QString& def) {
        return profile.GetString(kMain, QString::fromLatin1(key), def);
    };
    auto number = [&](const char* key, int def) {
        return profile.GetInt(kMain, QString::fromLatin1(key), def);
    };

    s.serverIp = text("ServerIP", defaultHallAddress);
    s.serverPort = number("ServerPort", d.serverPort);
    s.serverTcpPort = number("ServerTcpPort", d.serverTcpPort);
    s.urlRoomAddress = text("URLRoomAddress", d.urlRoomAddress);
    s.urlRegister = text("URLRegister", d.urlRegister);
    s.urlBuyRoom = text("URLBuyRoom", d.urlBuyRoom);
    s.urlHelp = text("URLHelp", d.urlHelp);
    s.urlMasterManage = text("URLMasterManage", d.urlMasterManage);
    s.urlSubMasterManage = text("URLSubMasterManage", d.urlSubMasterManage);
    s.urlBuyMoney = text("URLBuyMoney", d.urlBuyMoney);
    s.urlExpendDetail = text("URLExpendDetail", d.urlExpendDetail);
    s.urlDistributeAd = text("URLDistributeAd", d.urlDistributeAd);
    s.urlAdHallBottom = text("URLAdHallBottom", d.urlAdHallBottom);
    s.urlAdRoomTop = text("URLAdRoomTop", d.urlAdRoomTop);
    s.urlAdRoomLeft1 = text("URLAdRoomLeft1", d.urlAdRoomLeft1);
    s.urlAdRoomLeft2 = text("URLAdRoomLeft2", d.urlAdRoomLeft2);
    s.urlAreaRoomList = text("URLAreaRoomList", d.urlAreaRoomList);
    s.urlGift = text("URLGift", d.urlGift);
    s.urlStamp = text("URLStamp", d.urlStamp);
    s.urlMagicProp = text("URLMagicProp", d.urlMagicProp);
    s.urlSuperMember = text("URLSuperMember", d.urlSuperMember);
    s.urlFreeBuildRoom = text("URLFreeBuildRoom", d.urlFreeBuildRoom);
    s.urlSite = text("URLSite", d.urlSite);
    s.urlUserZone = text("URLUserZone", d.urlUserZone);
    s.urlRegVip = text("URLRegVip", d.urlRegVip);
    s.urlUserInfo = text("URLUserInfo", d.urlUserInfo);
    s.siteRoot = SiteRoot(s.urlRegister);
    s.mixName = text("MixName", d.mixName);
    s.isOpenMix = number("IsOpenMix", d.isOpenMix);
    s.isMicMute = number("IsMicMute", d.isMicMute);
    s.visitorNickname = SanitizeVisitorNickname(text("VisitorNickname", d.visitorNickname));
    s.loginId = text("LoginID", d.loginId);
    s.updateUrl = text("UpdateURL", d.updateUrl);
    s.updateAppName = text("UpdateAppName", d.updateAppName);
    s.verName = text("VerName", d.verName);
    s.hallWndName = text("HallWndName", d.hallWndName);
    s.moneyName = text("MoneyName", d.moneyName);
    s.sysIdName = text("SysIdName", d.sysIdName);
    s.language = text("Language", d.language);
    s.appNamePath = text("AppNamePath", d.appNamePath);
    s.installPath = text("InstallPath", d.installPath);
}

QString SanitizeVisitorNickname(const QString& nickname) {
    QString out = nickname.left(kNicknameLength);
    out.replace(QLatin1Char('<'), QChar(0xFF1C));
    out.replace(QLatin1Char('>'), QChar(0xFF1E));
    out.replace(QStringLiteral("|#"), QStringLiteral("| #"));
    return out;
}

QString SiteRoot(const QString& address) {
    const int scheme = address.indexOf(QStringLiteral("://"));
    const int from = scheme >= 0 ? scheme + 3 : 0;
    const int slash = address.indexOf(QLatin1Char('/'), from);
    return slash >= 0 ? address.left(slash) : address;
}

int ClientVersionNumber(const tagProgramVersion& version) {
    const QString digits = QString::asprintf("%d%d%d%d", version.major, version.minor,
                                             version.build, version.revision);
    return LeadingNumber(digits);
}

int ParseStartRoom(const QString& commandLine) {
    const int blank = commandLine.indexOf(QLatin1Char(' '));
    if (blank < 0) {
        return 0;
    }
    return LeadingNumber(commandLine.mid(blank + 1));
}
