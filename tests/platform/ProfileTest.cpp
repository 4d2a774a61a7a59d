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

TEST(Profile, ValuesKeepTheirKindAcrossRunsAndACorruptFileReadsAsEmpty) {
    CTempConfig config;
    {
        CProfileStore& p = CProfileStore::Open("TavoTavo");
        p.WriteInt("Main", "ServerPort", 5566);
        p.WriteString("Main", "ServerTcpPort", "30000");
    }
    CProfileStore::SetRoot(config.Path());  // forget the open stores: read the file again
    CProfileStore& p = CProfileStore::Open("TavoTavo");
    EXPECT_EQ(p.Kind("Main", "ServerPort"), CProfileStore::EKind::Number);
    EXPECT_EQ(p.Kind("Main", "ServerTcpPort"), CProfileStore::EKind::Text);
    EXPECT_EQ(p.Kind("Main", "Nope"), CProfileStore::EKind::Missing);
    EXPECT_EQ(p.GetInt("Main", "ServerPort", 1), 5566);
    // A text where a number belongs reads as the default, so it can be repaired.
    EXPECT_EQ(p.GetInt("Main", "ServerTcpPort", 1), 1);
    EXPECT_EQ(p.GetString("Main", "ServerPort"), "5566");

    // A corrupt file reads as empty and is written afresh.
    ASSERT_TRUE(WriteFile(config.Path() + QStringLiteral("/ZEL/Broken.json"), "{ not json"));
    CProfileStore& broken = CProfileStore::Open("Broken");
    EXPECT_EQ(broken.GetInt("Main", "x", 7), 7);
    EXPECT_TRUE(broken.WriteInt("Main", "x", 8));
}

TEST(Profile, ProfilesAreSeparateAndTheAppProfileFollowsItsName) {
    CTempConfig config;
    CAppProfile::SetProfileName("A");
    CAppProfile::WriteProfileInt("Common", "Debug", 1);
    CAppProfile::SetProfileName("B/../x");  // names never leave the folder
    EXPECT_EQ(CAppProfile::GetProfileInt("Common", "Debug", -1), -1);
    CAppProfile::WriteProfileString("Common", "k", "v");
    EXPECT_TRUE(QFile::exists(config.Path() + QStringLiteral("/ZEL/B_.._x.json")));
    CAppProfile::SetProfileName("A");
    EXPECT_EQ(CAppProfile::GetProfileInt("Common", "Debug", -1), 1);
    CAppProfile::SetProfileName("TavoTavo");
}

TEST(PrivateProfile, ReadsWindowsStyleIniFiles) {
    CTempConfig config;
    const QString path = config.Path() + QStringLiteral("/cfg.ini");
    ASSERT_TRUE(WriteFile(
        path,
        "; a comment\r\n[Version]\r\nname = TavoTavo\r\n[Main]\r\nFaceCount=40abc\r\nWidth=x\r\n"));
    EXPECT_EQ(GetPrivateProfileString("version", "NAME", QString(), path), "TavoTavo");
    EXPECT_EQ(GetPrivateProfileInt("Main", "FaceCount", 0, path), 40);
    EXPECT_EQ(GetPrivateProfileInt("Main", "Width", 50, path), 0);
    EXPECT_EQ(GetPrivateProfileInt("Main", "Hight", 50, path), 50);
    EXPECT_EQ(GetPrivateProfileString("Nope", "x", "d", path), "d");
    EXPECT_EQ(GetPrivateProfileString("Main", "x", "d", path + QStringLiteral(".missing")), "d");

    ASSERT_TRUE(WritePrivateProfileString("Main", "Width", "64", path));
    ASSERT_TRUE(WritePrivateProfileString("Des", "01", "跑车", path));
    EXPECT_EQ(GetPrivateProfileInt("Main", "Width", 0, path), 64);
    EXPECT_EQ(GetPrivateProfileString("Des", "01", QString(), path), "跑车");
    EXPECT_EQ(GetPrivateProfileString("Version", "name", QString(), path), "TavoTavo");
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
    EXPECT_EQ(RefusalText(127), "未知错误");
    EXPECT_EQ(RefusalText(168), "未知错误");
    SetStringLanguage("HONGKONG");
    EXPECT_EQ(LoadString(168), "未知錯誤");
    SetStringLanguage("CHINESE");
    EXPECT_EQ(LoadString(168), "未知错误");
    EXPECT_TRUE(LoadString(99999).isEmpty());
}

}  // namespace
