#include "room/RoomOptions.h"

#include "platform/Profile.h"

void tagRoomOptions::LoadPictureConfig() {
    // The font attribute texts of chat lines, when the program folder configures them.
    const QString fontsIni = programFolder + QStringLiteral("/room-fonts.ini");
    fonts.name = GetPrivateProfileString(QStringLiteral("Fonts"), QStringLiteral("Name"),
                                         fonts.name, fontsIni);
    fonts.publicSystem = GetPrivateProfileString(
        QStringLiteral("Fonts"), QStringLiteral("PublicSystem"), fonts.publicSystem, fontsIni);
    fonts.privateSystem = GetPrivateProfileString(
        QStringLiteral("Fonts"), QStringLiteral("PrivateSystem"), fonts.privateSystem, fontsIni);
    const QString face = programFolder + QStringLiteral("/img/face/config.ini");
    faceCount = GetPrivateProfileInt(QStringLiteral("Main"), QStringLiteral("FaceCount"), 0, face);
    const QString enterIni = programFolder + QStringLiteral("/img/enter/config.ini");
    enter.count =
        GetPrivateProfileInt(QStringLiteral("Main"), QStringLiteral("Count"), 0, enterIni);
    enter.vipCount =
        GetPrivateProfileInt(QStringLiteral("Main"), QStringLiteral("VipCount"), 0, enterIni);
    enter.width =
        GetPrivateProfileInt(QStringLiteral("Main"), QStringLiteral("Width"), 50, enterIni);
    enter.height =
        GetPrivateProfileInt(QStringLiteral("Main"), QStringLiteral("Hight"), 50, enterIni);
    enter.descriptions.clear();
    enter.vipDescriptions.clear();
    // Counts come from a file the user can edit; a silly one must not make us loop for long.
    for (int i = 1; i <= enter.count && i <= 999; ++i) {
        enter.descriptions << GetPrivateProfileString(
            QStringLiteral("Des"), QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0')), QString(),
            enterIni);
    }
    for (int i = 1; i <= enter.vipCount && i <= 999; ++i) {
        enter.vipDescriptions << GetPrivateProfileString(
            QStringLiteral("Des"), QStringLiteral("Vip%1").arg(i, 2, 10, QLatin1Char('0')),
            QString(), enterIni);
    }
}
