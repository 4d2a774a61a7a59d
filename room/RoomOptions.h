#pragma once
// What the room takes from the program's configuration rather than from the room server: the
// program folder and its picture sets, the chat fonts, the notice settings. The user interface
// or the console client may change them before entering a room.

#include "room/ChatPanes.h"

#include <QString>
#include <QStringList>

struct tagEnterPictures {
    int count = 0;                // img/enter/config.ini [Main] Count
    int vipCount = 0;             // [Main] VipCount
    QStringList descriptions;     // [Des] "01".. : what the member arrives in
    QStringList vipDescriptions;  // [Des] "Vip01"..
    int width = 50;
    int height = 50;
};

struct tagRoomOptions {
    QString programFolder;
    int faceCount = 0;  // img/face/config.ini [Main] FaceCount
    tagEnterPictures enter;
    // The picture shown for VIP entry numbers beyond the configured count.
    QString vipOverflowPicture = QStringLiteral("vip00.gif");
    tagLineFonts fonts;
    int noticeSeconds = 30;       // how long a timed notice stays
    bool showTextNotices = true;  // text notices (780) reach the notice display
    QString memberZeroText;       // stands for member-list text fields that are "0"
    bool stampsEnabled = false;   // the server's ENABLE_STAMP_SEAL switch
    QString skin;                 // the skin's folder name under skin/skins; empty for none

    // Reads the picture sets' configuration files under the program folder.
    void LoadPictureConfig();
};
