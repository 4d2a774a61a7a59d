// Start-up against real files, a real web server and real processes: the edition and its
// profile, repaired settings, the server configuration document, the upgrade question, running
// copies, the screen and the picture sets.

#include "hall/Settings.h"
#include "hall/TavoClientApp.h"
#include "platform/CodePage.h"
#include "platform/Profile.h"
#include "platform/StringTable.h"
#include "platform/System.h"
#include "protocol/Commands.h"
#include "tests/hall/HallFixture.h"
#include "tests/support/TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

using namespace tavotest;

namespace {

const QString kMain = "Main";

class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(program.isValid());
        ASSERT_TRUE(web.Start());
        start.programFolder = program.path();
        start.programPath = program.filePath("tavo");
        start.commandLine = "tavo";
        // A name no process has, so copies of this test running side by side do not count.
        start.instanceName =
            QStringLiteral("tavo-test-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
        start.installCrashHandler = false;
        WritePictures();
    }

    void TearDown() override {
        CAppProfile::SetProfileName("TavoTavo");
        SetStringLanguage("CHINESE");
        SetAnsiCodePage(CP_GBK);
    }

    void WriteCfg(const QString& name) {
        ASSERT_TRUE(WriteFile(program.filePath("cfg.ini"),
                              QStringLiteral("[Version]\nname=%1\n").arg(name).toUtf8()));
    }

    // A complete small picture set, as the artists lay it out.
    void WritePictures() {
        const QString img = program.filePath("img");
        WriteFile(img + QStringLiteral("/face/config.ini"),
                  "[Main]\nFaceCount=2\nWidth=24\nHight=20\n");
        WriteFile(img + QStringLiteral("/face/00.gif"), "GIF89a");
        WriteFile(img + QStringLiteral("/face/01.gif"), "GIF89a");
        for (int i = 0; i < 10; ++i) {
            WriteFile(img + QStringLiteral("/level/%1.png").arg(i), "png");
        }
        WriteFile(img + QStringLiteral("/display/mic.png"), "png");
        WriteFile(img + QStringLiteral("/head/10.png"), "png");
        WriteFile(
            img + QStringLiteral("/enter/config.ini"),
            QByteArray("[Main]\nCount=2\nVipCount=1\n[Des]\n01=自行车\n02=小汽车\nVip01=游艇\n"));
    }

    // Serves a configuration document and points the edition's profile at it.
    void ServeConfig(const QString& edition, const QByteArray& body) {
        web.Put("/cfg.xml", body);
        CProfileStore::Open(edition).WriteString(kMain, "UpdateURL", web.Url("/cfg.xml"));
    }

    EStartResult Start() {
        CTavoClientApp app(state, &view, nullptr);
        return app.InitInstance(start);
    }

    CTempConfig config;
    CScriptedUi ui;
    QTemporaryDir program;
    CDocumentServer web;
    CAppState state;
    CRecordingView view;
    tagAppStart start;
};

TEST_F(Startup, EditionComesFromCfgIniAndNamesTheProfile) {
    // No cfg.ini: the default name, its code, and the profile of that name.
    EXPECT_EQ(Start(), EStartResult::Run);
    EXPECT_EQ(state.editionName, "TavoTavo");
    EXPECT_EQ(state.edition, 20);
    EXPECT_EQ(CAppProfile::ProfileName(), "TavoTavo");
    EXPECT_EQ(state.settings.serverIp, "127.0.0.1");
    EXPECT_EQ(CAppProfile::Store().GetString(kMain, "AppNamePath"), start.programPath);

    // A named edition reads its own profile and, in edition 50, writes its own updater there.
    CProfileStore::Open("TavoStar").WriteString(kMain, "VerName", "星");
    WriteCfg("TavoStar");
    state = CAppState();
    EXPECT_EQ(Start(), EStartResult::Run);
    EXPECT_EQ(state.edition, 50);
    EXPECT_EQ(state.settings.verName, "星");
    EXPECT_EQ(CProfileStore::Open("TavoStar").GetString(kMain, "UpdateAppName"),
              "TavoStarUpdate.exe");
    EXPECT_EQ(CProfileStore::Open("Common").GetString(kMain, "VerRegItem"), "TavoStar");

    // A name outside the table is edition 20, under its own profile; the default edition
    // keeps the shared updater name.
    WriteCfg("SomebodyElse");
    state = CAppState();
    EXPECT_EQ(Start(), EStartResult::Run);
    EXPECT_EQ(state.edition, 20);
    EXPECT_EQ(state.settings.updateAppName, "TavoUpdate.exe");
    EXPECT_EQ(CAppProfile::ProfileName(), "SomebodyElse");
}

TEST_F(Startup, IntegerSettingsAreRepairedAndTextsKeepTheirRules) {
    CProfileStore& profile = CProfileStore::Open("TavoTavo");
    profile.WriteString(kMain, "ServerTcpPort", "30001");  // a text
    profile.WriteInt(kMain, "IsOpenMix", 0);               // a good number stays
    profile.WriteString(kMain, "VisitorNickname", QString(40, QLatin1Char('n')));
    profile.WriteString(kMain, "URLRegister", "https://site.example:8080/reg/new.asp");

    EXPECT_EQ(Start(), EStartResult::Run);
    EXPECT_EQ(profile.Kind(kMain, "ServerTcpPort"), CProfileStore::EKind::Number);
    EXPECT_EQ(profile.GetInt(kMain, "ServerTcpPort", -1), 30000);
    EXPECT_EQ(profile.GetInt(kMain, "ServerPort", -1), 5566);
    EXPECT_EQ(profile.GetInt(kMain, "IsOpenMix", -1), 0);
    EXPECT_EQ(state.settings.serverTcpPort, 30000);
    EXPECT_EQ(state.settings.isOpenMix, 0);
    EXPECT_EQ(state.settings.visitorNickname, QString(32, QLatin1Char('n')));
    EXPECT_EQ(state.settings.siteRoot, "https://site.example:8080");
    EXPECT_EQ(state.settings.urlHelp, "about:blank");
    EXPECT_EQ(state.settings.sysIdName, "塔沃号");

    EXPECT_EQ(SanitizeVisitorNickname("<b>我</b>|#01"), "＜b＞我＜/b＞| #01");
    EXPECT_EQ(SiteRoot("about:blank"), "about:blank");

    // The machine identity is six hexadecimal groups.
    EXPECT_TRUE(QRegularExpression("^([0-9A-F]{2}-){5}[0-9A-F]{2}$")
                    .match(state.account.adapterAddress)
                    .hasMatch())
        << state.account.adapterAddress.toStdString();
}

TEST_F(Startup, ConfigurationDocumentRefreshesTheSettings) {
    // Declared GBK and sent as GBK bytes; the second SERVER wins; AREA_NAME repeats.
    const QString text = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"GBK\"?>\n<CONFIG>"
        "<SERVER><IP>10.1.1.1</IP><PORT>1111</PORT><TCPPORT>2222</TCPPORT><LASTVERSION>1000</"
        "LASTVERSION></SERVER>"
        "<SERVER><IP>10.2.2.2</IP><PORT>3333</PORT><TCPPORT>4444</TCPPORT><FIP>10.9.9.9</"
        "FIP><FPORT>9999</FPORT>"
        "<LASTVERSION>1828</LASTVERSION></SERVER>"
        "<ABOUTLINK><HELP>http://web.example/帮助.htm</HELP><AREA_ROOM_LIST>http://web.example/"
        "list/Room.xml"
        "</AREA_ROOM_LIST><AREA_NAME>Music</AREA_NAME><AREA_NAME>Chat</AREA_NAME>"
        "<HALL_CASE_LIST>http://web.example/case.asp</HALL_CASE_LIST><USER_HEAD>http://web.example/"
        "head.asp"
        "</USER_HEAD></ABOUTLINK>"
        "<SWITCH><VISITOR_OP>允许</VISITOR_OP></SWITCH></CONFIG>");
    ServeConfig("TavoTavo", EncodeCodePage(text, CP_GBK));

    EXPECT_EQ(Start(), EStartResult::Run);
    EXPECT_TRUE(state.configRead);
    EXPECT_TRUE(ui.prompt.History().empty());  // LASTVERSION equal to ours: no question
    EXPECT_EQ(state.settings.serverIp, "10.2.2.2");
    EXPECT_EQ(state.settings.serverTcpPort, 4444);
    EXPECT_EQ(state.settings.fip, "10.9.9.9");
    EXPECT_EQ(state.settings.fport, 9999);
    EXPECT_EQ(state.settings.lastVersion, 1828);
    EXPECT_EQ(state.settings.urlHelp, "http://web.example/帮助.htm");
    EXPECT_EQ(state.settings.areaDocuments, QStringList({"http://web.example/list/Music.XML",
                                                         "http://web.example/list/Chat.XML"}));
    EXPECT_EQ(state.settings.urlHallCaseList, "http://web.example/case.asp");
    EXPECT_EQ(state.settings.switches["VISITOR_OP"], "允许");
    EXPECT_TRUE(state.settings.edition70Links.empty());  // only edition 70 reads its extras
    CProfileStore& profile = CProfileStore::Open("TavoTavo");
    EXPECT_EQ(profile.GetInt(kMain, "ServerTcpPort", 0), 4444);
    EXPECT_EQ(profile.GetString(kMain, "URLHelp"), "http://web.example/帮助.htm");

    // Without the document the last one the profile kept still serves.
    web.Put("/cfg.xml", QByteArrayLiteral("this is not xml <"));
    state = CAppState();
    EXPECT_EQ(Start(), EStartResult::Run);
    EXPECT_FALSE(state.configRead);
    EXPECT_EQ(state.settings.serverIp, "10.2.2.2");
    EXPECT_EQ(state.settings.serverTcpPort, 4444);
    EXPECT_TRUE(state.settings.areaDocuments.isEmpty());

    // Edition 70 reads its extra links.
    WriteCfg("TavoCloud");
    ServeConfig("TavoCloud", EncodeCodePage(text, CP_GBK));
    state = CAppState();
    EXPECT_EQ(Start(), EStartResult::Run);
    EXPECT_EQ(state.settings.edition70Links["USER_HEAD"], "http://web.example/head.asp");
}

TEST_F(Startup, NewerVersionAsksAndEitherAnswerEndsTheStart) {
    // The updater is a real program beside the client; it writes down what it was given.
    const QString marker = program.filePath("updater-args");
    const QString updater = program.filePath("TavoUpdate.exe");
    ASSERT_TRUE(
        WriteFile(updater, QStringLiteral("#!/bin/sh\necho \"$@\" > '%1'\n").arg(marker).toUtf8()));
    QFile(updater).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ServeConfig(
        "TavoTavo",
        QByteArrayLiteral(
            "<CONFIG><SERVER><IP>10.3.3.3</IP><LASTVERSION>1829</LASTVERSION></SERVER></CONFIG>"));

    ui.prompt.Answer(IDNO);
    EXPECT_EQ(Start(), EStartResult::UpgradeDeclined);
    ASSERT_EQ(ui.prompt.Texts().size(), 1);
    EXPECT_EQ(ui.prompt.Texts()[0], "塔沃又有新版本发布了,程序必须升级才能使用,是否升级?");
    EXPECT_TRUE(ui.prompt.History()[0].flags & MB_YESNO);
    // The start ended before the document reached the profile.
    EXPECT_NE(CAppProfile::Store().GetString(kMain, "ServerIP"), "10.3.3.3");
    Spin(std::chrono::milliseconds(100));
    EXPECT_FALSE(QFile::exists(marker));

    ui.prompt.Answer(IDYES);
    state = CAppState();
    EXPECT_EQ(Start(), EStartResult::UpgradeStarted);
    ASSERT_TRUE(WaitUntil([&] { return QFile::exists(marker) && QFileInfo(marker).size() > 0; }));
    QFile args(marker);
    ASSERT_TRUE(args.open(QIODevice::ReadOnly));
    EXPECT_EQ(args.readAll().trimmed(), QByteArray::number(state.clientVersion));
    EXPECT_EQ(state.clientVersion, 1828);
}

TEST_F(Startup, RunningCopiesAreCountedByName) {
    // Real processes whose executable carries a name of our own.
    const QString name =
        QStringLiteral("tavocopy") + QUuid::createUuid().toString(QUuid::Id128).left(6);
    const QString exe = program.filePath(name);
    ASSERT_TRUE(QFile::copy("/bin/sleep", exe));
    std::vector<std::unique_ptr<QProcess>> copies;
    auto runCopies = [&](int n) {
        while (static_cast<int>(copies.size()) < n) {
            copies.push_back(std::make_unique<QProcess>());
            copies.back()->start(exe, {"60"});
            ASSERT_TRUE(copies.back()->waitForStarted());
        }
        ASSERT_TRUE(WaitUntil([&] { return CountProcessesNamed(name.toUpper()) == n; }));
    };
    start.instanceName = name;

    runCopies(1);  // that one stands for ourselves
    EXPECT_EQ(Start(), EStartResult::Run);

    runCopies(2);
    EXPECT_EQ(Start(), EStartResult::AlreadyRunning);
    EXPECT_EQ(ui.prompt.Texts().value(0),
              QStringLiteral(
                  "系统检测到已有一个客户端程序正在运行，每台机同时最多只能运行一个客户端程序！"));

    // Edition 50 allows eight.
    WriteCfg("TavoStar");
    ui.prompt.Clear();
    EXPECT_EQ(Start(), EStartResult::Run);
    runCopies(9);
    EXPECT_EQ(Start(), EStartResult::AlreadyRunning);
    EXPECT_EQ(ui.prompt.Texts().value(0),
              QStringLiteral(
                  "系统检测到已在运行的客户端程序超过两个，每台机同时最多只能运行8个客户端程序！"));
    for (auto& copy : copies) {
        copy->kill();
        copy->waitForFinished();
    }
}

// A process listing as /proc lays it out, made from this process's own status and environment
// with the user id and the display changed: only the same user's copies on the same display
// are this session's.
TEST_F(Startup, RunningCopiesOfOtherUsersAndDisplaysDoNotCount) {
    QFile ownStatus("/proc/self/status");
    QFile ownEnviron("/proc/self/environ");
    ASSERT_TRUE(ownStatus.open(QIODevice::ReadOnly) && ownEnviron.open(QIODevice::ReadOnly));
    const QByteArray status = ownStatus.readAll();
    QByteArrayList environ;
    for (const QByteArray& entry : ownEnviron.readAll().split('\0')) {
        if (!entry.startsWith("DISPLAY=") && !entry.startsWith("WAYLAND_DISPLAY=")) {
            environ << entry;
        }
    }
    QTemporaryDir proc;
    const tagProcessOwner me{1000, ":1"};
    auto process = [&](int pid, const QString& exe, long uid, const QByteArray& display) {
        const QString dir = proc.filePath(QString::number(pid));
        const QByteArray withUid = QString::fromLatin1(status)
                                       .replace(QRegularExpression("Uid:[^\\n]*"),
                                                QString("Uid:\t%1\t%1\t%1\t%1").arg(uid))
                                       .toLatin1();
        ASSERT_TRUE(WriteFile(dir + "/status", withUid));
        ASSERT_TRUE(WriteFile(dir + "/environ",
                              (environ + QByteArrayList{"DISPLAY=" + display}).join('\0') + '\0'));
        ASSERT_TRUE(QFile::link(exe, dir + "/exe"));
    };
    process(101, "/usr/bin/tavo", 1000, ":1.0");  // ourselves: screen 0 of display :1
    process(102, "/usr/bin/tavo", 1001, ":1");    // another user on our display
    process(103, "/usr/bin/tavo", 1000, ":2");    // ourselves on another desktop
    process(104, "/usr/bin/tavo-cli", 1000, ":1");
    EXPECT_EQ(CountProcessesNamed("tavo", me, proc.path()), 1);
    process(105, "/opt/tavo/tavo", 1000, ":1");  // a second copy in this session
    EXPECT_EQ(CountProcessesNamed("tavo", me, proc.path()), 2);
}

TEST_F(Startup, MissingPicturesAreReportedAndASmallScreenFitsTheWindowsUnasked) {
    // A complete picture set is read without a word.
    EXPECT_EQ(Start(), EStartResult::Run);
    EXPECT_TRUE(ui.prompt.History().empty());
    EXPECT_EQ(state.pictures.faceCount, 2);
    EXPECT_EQ(state.pictures.faceWidth, 24);
    EXPECT_EQ(state.pictures.faceHeight, 20);
    EXPECT_EQ(state.pictures.enterEffects, QStringList({"自行车", "小汽车"}));
    EXPECT_EQ(state.pictures.vipEnterEffects, QStringList({"游艇"}));

    // One level picture gone: the message, and the start continues.
    ASSERT_TRUE(QFile::remove(program.filePath("img/level/7.png")));
    EXPECT_EQ(Start(), EStartResult::Run);
    EXPECT_EQ(ui.prompt.Texts(), QStringList({"读取头像失败!"}));

    EXPECT_FALSE(state.fitWindowsToScreen);

    // A screen below 1024x768 in either direction is not a question: the windows fit it.
    WritePictures();
    ui.prompt.Clear();
    for (auto [width, height] : {std::pair{1000, 2000}, {1280, 700}}) {
        view.screenWidth = width;
        view.screenHeight = height;
        EXPECT_EQ(Start(), EStartResult::Run);
        EXPECT_TRUE(state.fitWindowsToScreen);
    }
    EXPECT_TRUE(ui.prompt.History().empty()) << ui.prompt.Texts().join("|").toStdString();
}

TEST_F(Startup, CommandLineAndVersionNumbers) {
    EXPECT_EQ(ParseStartRoom("tavo 1234"), 1234);
    EXPECT_EQ(ParseStartRoom("tavo"), 0);
    EXPECT_EQ(ParseStartRoom("tavo room"), 0);
    EXPECT_EQ(ParseStartRoom("tavo 99999999999"), 0);
    EXPECT_EQ(CTavoClientApp::CommandLine({"/opt/My Apps/tavo", "1234"}), "tavo 1234");

    start.commandLine = CTavoClientApp::CommandLine({start.programPath, "5678"});
    EXPECT_EQ(Start(), EStartResult::Run);
    EXPECT_EQ(state.startRoom, 5678);

    EXPECT_EQ(ClientVersionNumber({1, 8, 2, 8}), 1828);
    EXPECT_EQ(ClientVersionNumber({2, 10, 0, 3}), 21003);
}

}  // namespace
