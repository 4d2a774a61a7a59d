#include "ui/Icons.h"

#include "platform/Profile.h"

#include <QFile>
#include <QHash>
#include <QImageReader>
#include <QPixmap>

namespace {

struct tagIconSets {
    QString folder;
    QHash<QString, QIcon> cache;
    int faceCount = 0;
};

tagIconSets& Sets() {
    static tagIconSets sets;
    return sets;
}

QIcon FromFiles(const QString& base, const QString& extension) {
    tagIconSets& sets = Sets();
    const QString key = base + extension;
    if (auto it = sets.cache.constFind(key); it != sets.cache.constEnd()) {
        return *it;
    }
    QIcon icon;
    const QString one = sets.folder + QStringLiteral("/img/") + base + extension;
    const QString two =
        sets.folder + QStringLiteral("/img/") + base + QStringLiteral("@2x") + extension;
    for (const QString& path : {one, two}) {
        if (QFile::exists(path)) {
            // The first frame of an animated picture is enough for a list or a button.
            QImageReader reader(path);
            const QImage image = reader.read();
            if (!image.isNull()) {
                icon.addPixmap(QPixmap::fromImage(image));
            }
        }
    }
    sets.cache.insert(key, icon);
    return icon;
}

}  // namespace

void CIcons::Load(const QString& programFolder) {
    tagIconSets& sets = Sets();
    sets.folder = programFolder;
    sets.cache.clear();
    sets.faceCount = GetPrivateProfileInt(QStringLiteral("Main"), QStringLiteral("FaceCount"), 0,
                                          programFolder + QStringLiteral("/img/face/config.ini"));
}

QIcon CIcons::Head(int rank) {
    // Ranks between the listed codes wear the head of the code below them.
    int code = std::clamp(rank / 10 * 10, 10, 80);
    return FromFiles(QStringLiteral("head/%1").arg(code), QStringLiteral(".png"));
}

QIcon CIcons::Level(int level) {
    return FromFiles(QStringLiteral("level/%1").arg(std::clamp(level, 0, 9)),
                     QStringLiteral(".png"));
}

QIcon CIcons::State(const QString& name) {
    return FromFiles(QStringLiteral("display/") + name, QStringLiteral(".png"));
}

QIcon CIcons::App() {
    tagIconSets& sets = Sets();
    if (auto it = sets.cache.constFind(QStringLiteral("app")); it != sets.cache.constEnd()) {
        return *it;
    }
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256}) {
        icon.addFile(sets.folder + QStringLiteral("/img/app/tavo-%1.png").arg(size),
                     QSize(size, size));
    }
    sets.cache.insert(QStringLiteral("app"), icon);
    return icon;
}

QIcon CIcons::Face(int face) {
    return FromFiles(QStringLiteral("face/%1").arg(face, 2, 10, QLatin1Char('0')),
                     QStringLiteral(".gif"));
}

int CIcons::FaceCount() {
    return Sets().faceCount;
}
