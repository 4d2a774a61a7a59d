// The files the client reads beside itself: every picture set agrees with its config.ini, the
// pictures are what their names say, and the chat pages give the first cell to the lines.

#include "platform/Profile.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QMovie>

#include <gtest/gtest.h>

namespace {

const QString kFolder = QStringLiteral(TAVO_PROGRAM_DIR);

QSize SizeOf(const QString& path) {
    return QImageReader(path).size();
}

}  // namespace

TEST(Resources, FaceSetMatchesItsConfigAndEveryFaceAnimatesAtBothSizes) {
    const QString ini = kFolder + "/img/face/config.ini";
    ASSERT_TRUE(QFile::exists(ini));
    const int count = GetPrivateProfileInt("Main", "FaceCount", 0, ini);
    const int width = GetPrivateProfileInt("Main", "Width", 0, ini);
    const int height = GetPrivateProfileInt("Main", "Hight", 0, ini);
    ASSERT_GT(count, 0);
    for (int i = 0; i < count; ++i) {
        const QString base = kFolder + QString::asprintf("/img/face/%02d", i);
        QMovie movie(base + ".gif");
        ASSERT_TRUE(movie.isValid()) << i;
        EXPECT_GE(movie.frameCount(), 2) << i;
        EXPECT_EQ(SizeOf(base + ".gif"), QSize(width, height)) << i;
        EXPECT_EQ(SizeOf(base + "@2x.gif"), QSize(2 * width, 2 * height)) << i;
    }
    EXPECT_FALSE(QFile::exists(kFolder + QString::asprintf("/img/face/%02d.gif", count)))
        << "FaceCount is smaller than the set";
}

TEST(Resources, EntranceSetMatchesItsConfig) {
    const QString ini = kFolder + "/img/enter/config.ini";
    const int count = GetPrivateProfileInt("Main", "Count", 0, ini);
    const int vipCount = GetPrivateProfileInt("Main", "VipCount", 0, ini);
    ASSERT_GT(count, 0);
    ASSERT_GT(vipCount, 0);
    // The ordinary pictures are 01, 02, ...; the members' own are Vip01, ... (files vip01.gif).
    for (const auto& [prefix, n] :
         {std::pair{QString(), count}, std::pair{QString("Vip"), vipCount}}) {
        for (int i = 1; i <= n; ++i) {
            const QString name = prefix + QString::asprintf("%02d", i);
            EXPECT_FALSE(GetPrivateProfileString("Des", name, "", ini).isEmpty()) << i;
            EXPECT_TRUE(QMovie(kFolder + "/img/enter/" + name.toLower() + ".gif").isValid()) << i;
        }
    }
}

TEST(Resources, IconSetsHaveEveryMemberAndBothSizes) {
    QStringList icons;
    for (int level = 0; level <= 9; ++level) {
        icons << QString("level/%1").arg(level);
    }
    for (int rank : {10, 20, 30, 40, 50, 60, 70, 80}) {
        icons << QString("head/%1").arg(rank);
    }
    for (const char* state : {"mic", "mic2", "privmic", "queue", "camera", "vip", "hidden",
                              "blocked", "room", "mark1", "mark2"}) {
        icons << QString("display/%1").arg(state);
    }
    for (const QString& icon : icons) {
        const QString base = kFolder + "/img/" + icon;
        QImage one(base + ".png");
        QImage two(base + "@2x.png");
        ASSERT_FALSE(one.isNull()) << icon.toStdString();
        ASSERT_FALSE(two.isNull()) << icon.toStdString();
        EXPECT_EQ(two.size(), one.size() * 2) << icon.toStdString();
        EXPECT_TRUE(one.hasAlphaChannel()) << icon.toStdString();
    }
}

TEST(Resources, StampsAreBitmapsAndGiftsArePictures) {
    const QStringList stamps = QDir(kFolder + "/img/stamp").entryList({"*.bmp"}, QDir::Files);
    ASSERT_FALSE(stamps.isEmpty());
    for (int i = 1; i <= stamps.size(); ++i) {
        QImageReader reader(kFolder + QString("/img/stamp/%1.bmp").arg(i));
        EXPECT_EQ(reader.format(), "bmp") << i;
        EXPECT_FALSE(reader.read().isNull()) << i;
    }
    for (int gift : {1, 2, 3, 4, 5, 6, 7, 8, 1001, 1002, 1003, 1004}) {
        EXPECT_TRUE(QMovie(kFolder + QString("/img/gift/%1.gif").arg(gift)).isValid()) << gift;
    }
}

TEST(Resources, ChatPagesAreUtf8WithoutScriptsAndTheSettingsFilesHaveTheirKeys) {
    for (const char* page : {"pub.htm", "big_pub.htm", "pri.htm"}) {
        QFile file(kFolder + "/" + page);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << page;
        const QString html = QString::fromUtf8(file.readAll()).toLower();
        EXPECT_FALSE(html.contains("<script")) << page;
        EXPECT_TRUE(html.contains("charset=\"utf-8\"") || html.contains("charset=utf-8")) << page;
    }
    EXPECT_EQ(GetPrivateProfileString("Version", "name", "", kFolder + "/cfg.ini"), "TavoTavo");
    for (const char* key : {"Name", "PublicSystem", "PrivateSystem"}) {
        EXPECT_FALSE(
            GetPrivateProfileString("Fonts", key, "", kFolder + "/room-fonts.ini").isEmpty())
            << key;
    }
}
