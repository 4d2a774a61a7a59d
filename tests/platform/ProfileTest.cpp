#include "platform/Profile.h"

#include "platform/StringTable.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <map>
#include <set>

using namespace tavotest;

namespace {

TEST(Profile, ValuesKeepTheirKindAcrossRuns) {
    CTempConfig config;
    {
        CProfileStore& p = CProfileStore::Open(QStringLiteral("TavoTavo"));
        p.WriteInt(QStringLiteral("Main"), QStringLiteral("ServerPort"), 5566);
        p.WriteString(QStringLiteral("Main"), QStringLiteral("ServerTcpPort"),
                      QStringLiteral("30000"));
    }
    CProfileStore::SetRoot(config.Path());  // forget the open stores: read the file again
    CProfileStore& p = CProfileStore::Open(QStringLiteral("TavoTavo"));
    EXPECT_EQ(p.Kind(QStringLiteral("Main"), QStringLiteral("ServerPort")),
              CProfileStore::EKind::Number);
    EXPECT_EQ(p.Kind(QStringLiteral("Main"), QStringLiteral("ServerTcpPort")),
              CProfileStore::EKind::Text);
    EXPECT_EQ(p.Kind(QStringLiteral("Main"), QStringLiteral("Nope")),
              CProfileStore::EKind::Missing);
    EXPECT_EQ(p.GetInt(QStringLiteral("Main"), QStringLiteral("ServerPort"), 1), 5566);
    // A text where a number belongs reads as the default, so it can be repaired.
    EXPECT_EQ(p.GetInt(QStringLiteral("Main"), QStringLiteral("ServerTcpPort"), 1), 1);
    EXPECT_EQ(p.GetString(QStringLiteral("Main"), QStringLiteral("ServerPort")),
              QStringLiteral("5566"));
}

TEST(Profile, ProfilesAreSeparateAndTheAppProfileFollowsItsName) {
    CTempConfig config;
    CAppProfile::SetProfileName(QStringLiteral("A"));
    CAppProfile::WriteProfileInt(QStringLiteral("Common"), QStringLiteral("Debug"), 1);
    CAppProfile::SetProfileName(QStringLiteral("B/../x"));  // names never leave the folder
    EXPECT_EQ(CAppProfile::GetProfileInt(QStringLiteral("Common"), QStringLiteral("Debug"), -1),
              -1);
    CAppProfile::WriteProfileString(QStringLiteral("Common"), QStringLiteral("k"),
                                    QStringLiteral("v"));
    EXPECT_TRUE(QFile::exists(config.Path() + QStringLiteral("/ZEL/B_.._x.json")));
    CAppProfile::SetProfileName(QStringLiteral("A"));
    EXPECT_EQ(CAppProfile::GetProfileInt(QStringLiteral("Common"), QStringLiteral("Debug"), -1), 1);
    CAppProfile::SetProfileName(QStringLiteral("TavoTavo"));
}

TEST(Profile, CorruptProfileFileReadsAsEmpty) {
    CTempConfig config;
    QDir().mkpath(config.Path() + QStringLiteral("/ZEL"));
    QFile f(config.Path() + QStringLiteral("/ZEL/Broken.json"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("{ not json");
    f.close();
    CProfileStore& p = CProfileStore::Open(QStringLiteral("Broken"));
    EXPECT_EQ(p.GetInt(QStringLiteral("Main"), QStringLiteral("x"), 7), 7);
    EXPECT_TRUE(p.WriteInt(QStringLiteral("Main"), QStringLiteral("x"), 8));
}

TEST(PrivateProfile, ReadsWindowsStyleIniFiles) {
    CTempConfig config;
    const QString path = config.Path() + QStringLiteral("/cfg.ini");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(
        "; a comment\r\n[Version]\r\nname = TavoTavo\r\n[Main]\r\nFaceCount=40abc\r\nWidth=x\r\n");
    f.close();
    EXPECT_EQ(
        GetPrivateProfileString(QStringLiteral("version"), QStringLiteral("NAME"), QString(), path),
        QStringLiteral("TavoTavo"));
    EXPECT_EQ(GetPrivateProfileInt(QStringLiteral("Main"), QStringLiteral("FaceCount"), 0, path),
              40);
    EXPECT_EQ(GetPrivateProfileInt(QStringLiteral("Main"), QStringLiteral("Width"), 50, path), 0);
    EXPECT_EQ(GetPrivateProfileInt(QStringLiteral("Main"), QStringLiteral("Hight"), 50, path), 50);
    EXPECT_EQ(GetPrivateProfileString(QStringLiteral("Nope"), QStringLiteral("x"),
                                      QStringLiteral("d"), path),
              QStringLiteral("d"));
    EXPECT_EQ(GetPrivateProfileString(QStringLiteral("Main"), QStringLiteral("x"),
                                      QStringLiteral("d"), path + QStringLiteral(".missing")),
              QStringLiteral("d"));

    ASSERT_TRUE(WritePrivateProfileString(QStringLiteral("Main"), QStringLiteral("Width"),
                                          QStringLiteral("64"), path));
    ASSERT_TRUE(WritePrivateProfileString(QStringLiteral("Des"), QStringLiteral("01"),
                                          QStringLiteral("跑车"), path));
    EXPECT_EQ(GetPrivateProfileInt(QStringLiteral("Main"), QStringLiteral("Width"), 0, path), 64);
    EXPECT_EQ(GetPrivateProfileString(QStringLiteral("Des"), QStringLiteral("01"), QString(), path),
              QStringLiteral("跑车"));
    EXPECT_EQ(
        GetPrivateProfileString(QStringLiteral("Version"), QStringLiteral("name"), QString(), path),
        QStringLiteral("TavoTavo"));
}

TEST(StringTable, EveryNumberHasOneTextAndBothSetsAgree) {
    const auto simplified = StringTableEntries(false);
    const auto traditional = StringTableEntries(true);
    ASSERT_FALSE(simplified.empty());
    std::map<int, QString> seen;
    for (const auto& e : simplified) {
        auto [it, inserted] = seen.emplace(e.id, e.text);
        EXPECT_TRUE(inserted || it->second == e.text)
            << "string " << e.id << " differs in " << e.file.toStdString();
    }
    std::set<int> hk;
    for (const auto& e : traditional) {
        hk.insert(e.id);
    }
    for (const auto& [id, text] : seen) {
        EXPECT_TRUE(hk.count(id)) << "string " << id << " missing from the traditional set";
    }
}

TEST(StringTable, LanguageChoosesTheSetAndRefusalsMapToTheirTexts) {
    EXPECT_EQ(RefusalText(133), QStringLiteral("用户名或密码错"));
    EXPECT_EQ(RefusalText(127), QStringLiteral("未知错误"));
    EXPECT_EQ(RefusalText(168), QStringLiteral("未知错误"));
    EXPECT_EQ(RefusalText(0), QStringLiteral("未知错误"));
    SetStringLanguage(QStringLiteral("HONGKONG"));
    EXPECT_EQ(LoadString(168), QStringLiteral("未知錯誤"));
    SetStringLanguage(QStringLiteral("CHINESE"));
    EXPECT_EQ(LoadString(168), QStringLiteral("未知错误"));
    EXPECT_TRUE(LoadString(99999).isEmpty());
}

}  // namespace
