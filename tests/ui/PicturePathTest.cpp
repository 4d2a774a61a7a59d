// Picture addresses as chat lines write them, turned into local paths, and the limits on
// which files a chat line may show.

#include "tests/support/TestSupport.h"
#include "ui/PicturePath.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(PicturePath, SystemAddressFormsBecomeLocalPaths) {
    const QString folder = "/opt/tavo";
    EXPECT_EQ(LocalPicturePath(R"(/opt/tavo\img\face\01.gif)", folder),
              "/opt/tavo/img/face/01.gif");
    EXPECT_EQ(LocalPicturePath("file:////opt/tavo/img/gift/1001.gif", folder),
              "/opt/tavo/img/gift/1001.gif");
    EXPECT_EQ(LocalPicturePath("file:///opt/tavo/img/stamp/3.bmp", folder),
              "/opt/tavo/img/stamp/3.bmp");
    EXPECT_EQ(LocalPicturePath(R"(img\enter\vip02.gif)", folder), "/opt/tavo/img/enter/vip02.gif");
    EXPECT_EQ(LocalPicturePath("http://example.invalid/face/501.gif", folder), "");
    EXPECT_EQ(LocalPicturePath("   ", folder), "");
}

TEST(PicturePath, OnlyPicturesInsideTheProgramFolderAreAllowed) {
    QTemporaryDir dir;
    const QString folder = dir.path() + "/prog";
    ASSERT_TRUE(tavotest::WriteFile(folder + "/img/face/01.gif", ""));
    ASSERT_TRUE(tavotest::WriteFile(dir.path() + "/outside.gif", ""));
    ASSERT_TRUE(tavotest::WriteFile(folder + "/img/face/notes.txt", ""));
    ASSERT_TRUE(QFile::link(dir.path() + "/outside.gif", folder + "/img/face/link.gif"));

    EXPECT_TRUE(IsAllowedPicture(folder + "/img/face/01.gif", folder));
    EXPECT_FALSE(IsAllowedPicture(folder + "/img/face/02.gif", folder)) << "missing file";
    EXPECT_FALSE(IsAllowedPicture(folder + "/img/face/notes.txt", folder)) << "not a picture";
    EXPECT_FALSE(IsAllowedPicture(LocalPicturePath(R"(..\outside.gif)", folder), folder));
    EXPECT_FALSE(IsAllowedPicture(folder + "/img/face/link.gif", folder))
        << "link out of the folder";
    EXPECT_FALSE(IsAllowedPicture(folder + "/../prog2/x.gif", folder));
    EXPECT_FALSE(IsAllowedPicture("/dev/zero", folder));
    EXPECT_FALSE(IsAllowedPicture(folder + "/img/face/01.gif", ""));
}

TEST(PicturePath, FragmentPicturesAndNameLinksAreRewritten) {
    const QString folder = "/opt/tavo";
    const QString line =
        R"(<img border=0 src="/opt/tavo\img\stamp\2.bmp"><font color=#00f><a id="talkobject" tavoid="u&1=2" tavoname="小明 &quot;M&quot;" href="" style="text-decoration:none">小明</a></font>说:)"
        R"(<font>hi <IMG src="/opt/tavo\img\face\01.gif"> <img src='file:////opt/tavo/img/gift/1001.gif'/> <img src=http://example.invalid/x.gif></font><br>)";
    const QString out = RewriteFragment(line, folder);
    EXPECT_TRUE(out.contains(R"(src="/opt/tavo/img/stamp/2.bmp")")) << out.toStdString();
    EXPECT_TRUE(out.contains(R"(src="/opt/tavo/img/face/01.gif")"));
    EXPECT_TRUE(out.contains(R"(src="/opt/tavo/img/gift/1001.gif")"));
    EXPECT_TRUE(out.contains(R"(src="http://example.invalid/x.gif")"))
        << "web pictures stay as they are";
    EXPECT_FALSE(out.contains("talkobject"));
    EXPECT_TRUE(out.contains(">小明</a>"));
    EXPECT_TRUE(out.endsWith("</font><br>"));

    const int start = out.indexOf("href=\"") + 6;
    const QString href = out.mid(start, out.indexOf('"', start) - start);
    QString id;
    QString name;
    ASSERT_TRUE(ParseMemberLink(QString(href).replace("&amp;", "&"), &id, &name))
        << href.toStdString();
    EXPECT_EQ(id, "u&1=2");
    EXPECT_EQ(name, "小明 &quot;M&quot;");
    EXPECT_FALSE(ParseMemberLink("http://example.invalid/member?id=1", &id, &name));
    EXPECT_FALSE(ParseMemberLink("tavo:member", &id, &name));
}
