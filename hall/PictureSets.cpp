#include "hall/PictureSets.h"

#include "core/AppState.h"
#include "platform/Profile.h"

#include <QDir>
#include <QFileInfo>

namespace {

constexpr int kLevels = 10;

// A picture is named by its number; the format is the artist's choice.
bool HasPicture(const QDir& folder, const QString& base) {
    return !folder.entryList({base + QStringLiteral(".*")}, QDir::Files).isEmpty();
}

bool HasAnyFile(const QDir& folder) {
    return folder.exists() && !folder.entryList(QDir::Files).isEmpty();
}

}  // namespace

bool LoadPictureSets(const QString& programFolder, tagPictureSets& sets) {
    const QDir img(QDir(programFolder).filePath(QStringLiteral("img")));
    bool complete = true;

    const QString faceConfig = img.filePath(QStringLiteral("face/config.ini"));
    const QDir faces(img.filePath(QStringLiteral("face")));
    if (QFileInfo::exists(faceConfig)) {
        sets.faceCount = GetPrivateProfileInt(QStringLiteral("Main"), QStringLiteral("FaceCount"),
                                              0, faceConfig);
        sets.faceWidth =
            GetPrivateProfileInt(QStringLiteral("Main"), QStringLiteral("Width"), 50, faceConfig);
        sets.faceHeight =
            GetPrivateProfileInt(QStringLiteral("Main"), QStringLiteral("Hight"), 50, faceConfig);
        for (int i = 0; i < sets.faceCount && complete; ++i) {
            complete = HasPicture(faces, QString::asprintf("%02d", i));
        }
    } else {
        complete = false;
    }

    const QDir levels(img.filePath(QStringLiteral("level")));
    for (int i = 0; i < kLevels && complete; ++i) {
        complete = HasPicture(levels, QString::number(i));
    }
    complete = complete && HasAnyFile(QDir(img.filePath(QStringLiteral("display"))));
    complete = complete && HasAnyFile(QDir(img.filePath(QStringLiteral("head"))));

    sets.enterEffects.clear();
    sets.vipEnterEffects.clear();
    const QString enterConfig = img.filePath(QStringLiteral("enter/config.ini"));
    if (QFileInfo::exists(enterConfig)) {
        const int count =
            GetPrivateProfileInt(QStringLiteral("Main"), QStringLiteral("Count"), 0, enterConfig);
        const int vipCount = GetPrivateProfileInt(QStringLiteral("Main"),
                                                  QStringLiteral("VipCount"), 0, enterConfig);
        // The counts come from a file: a silly one must not make us spin.
        constexpr int kMaxEffects = 1000;
        for (int i = 1; i <= count && i <= kMaxEffects; ++i) {
            sets.enterEffects.append(GetPrivateProfileString(
                QStringLiteral("Des"), QString::asprintf("%02d", i), QString(), enterConfig));
        }
        for (int i = 1; i <= vipCount && i <= kMaxEffects; ++i) {
            sets.vipEnterEffects.append(GetPrivateProfileString(
                QStringLiteral("Des"), QString::asprintf("Vip%02d", i), QString(), enterConfig));
        }
    } else {
        complete = false;
    }
    sets.complete = complete;
    return complete;
}
