// Start-up against real files, a real web server and real processes: the edition and its
// profile, repaired settings, the server configuration document, the upgrade question, running
// copies, the screen and the picture sets.

#include "hall/Settings.h"
#include "hall/TavoClientApp.h"
#include "hall/TavoClientDlg.h"
#include "infra/TraceLog.h"
#include "platform/CodePage.h"
#include "platform/Profile.h"
#include "platform/StringTable.h"
#include "platform/System.h"
#include "protocol/Commands.h"
#include "protocol/FrameCodec.h"
#include "tests/hall/HallTestSupport.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

using namespace tavotest;

namespace {

const QString kMain = QStringLiteral("Main");

class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(program.isValid());
        ASSERT_TRUE(web.Start());
        start.programFolder = program.path();
        start.programPath = program.filePath(QStringLiteral("tavo"));
        start.commandLine = QStringLiteral("tavo");
        // A name no process has, so copies of this test running side by side do not count.
        start.instanceName =
            QStringLiteral("tavo-test-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
        start.installCrashHandler = false;
        WritePictures();
    }

    void TearDown() override {
        CAppProfile::SetProfileName(QStringLiteral("TavoTavo"));
        SetStringLanguage(QStringLiteral("CHINESE"));
        SetAnsiCodePage(CP_GBK);
    }

    void WriteCfg(const QString& name) {
        ASSERT_TRUE(WriteFile(program.filePath(QStringLiteral("cfg.ini")),
                              QStringLiteral("[Version]\nname=%1\n").arg(name).toUtf8()));
    }

    // A complete small picture set, as the artists lay it out.
    void WritePictures() {
        const QString img = program.filePath(QStringLiteral("img"));
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
            QStringLiteral("[Main]\nCount=2\nVipCount=1\n[Des]\n01=自行车\n02=小汽车\nVip01=游艇\n")
                .toUtf8());
    }

    // Serves a configuration document and points the edition's profile at it.
    void ServeConfig(const QString& edition, const QByteArray& body) {
        web.Put(QStringLiteral("/cfg.xml"), body);
        CProfileStore::Open(edition).WriteString(kMain, QStringLiteral("UpdateURL"),
                                                 web.Url(QStringLiteral("/cfg.xml")));
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
    EXPECT_EQ(state.editionName, QStringLiteral("TavoTavo"));
    EXPECT_EQ(state.edition, 20);
    EXPECT_EQ(CAppProfile::ProfileName(), QStringLiteral("TavoTavo"));
    EXPECT_EQ(CProfileStore::Open(QStringLiteral("Common"))
                  .GetString(kMain, QStringLiteral("VerRegItem")),
              QStringLiteral("TavoTavo"));
    EXPECT_EQ(state.settings.serverIp, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(CAppProfile::Store().GetString(kMain, QStringLiteral("AppNamePath")),
              start.programPath);

    // A named edition reads its own profile and, in edition 50, writes its own updater there.
    CProfileStore::Open(QStringLiteral("TavoStar"))
        .WriteString(kMain, QStringLiteral("VerName"), QStringLiteral("星"));
    WriteCfg(QStringLiteral("TavoStar"));
    state = CAppState();
    EXPECT_EQ(Start(), EStartResult::Run);
    EXPECT_EQ(state.edition, 50);
    EXPECT_EQ(state.settings.verName, QStringLiteral("星"));
    EXPECT_EQ(CProfileStore::Open(QStringLiteral("TavoStar"))
                  .GetString(kMain, QStringLiteral("UpdateAppName")),
              QStringLiteral("TavoStarUpdate.exe"));
    EXPECT_EQ(CProfileStore::Open(QStringLiteral("Common"))
                  .GetString(kMain, QStringLiteral("VerRegItem")),
              QStringLiteral("TavoStar"));

    // A name outside the table is edition 20, under its own profile; the default edition
    // keeps the shared updater name.
    WriteCfg(QStringLiteral("SomebodyElse"));
    state = CAppState();
    EXPECT_EQ(Start(), EStartResult::Run);
    EXPECT_EQ(state.edition, 20);
    EXPECT_EQ(state.settings.updateAppName, QStringLiteral("TavoUpdate.exe"));
    EXPECT_EQ(CAppProfile::ProfileName(), QStringLiteral("SomebodyElse"));
    WriteCfg(QStringLiteral("TavoSun"));
    state = CAppState();
    Start();
    EXPECT_EQ(state.edition, 10);
}

TEST_F(Startup, IntegerSettingsAreRepairedAndTextsKeepTheirRules) {
    CProfileStore& profile = CProfileStore::Open(QStringLiteral("TavoTavo"));
    profile.WriteString(kMain, QStringLiteral("ServerTcpPort"), QStringLiteral("30001"));  // a text
    profile.WriteString(kMain, QStringLiteral("IsMicMute"), QStringLiteral("yes"));
    profile.WriteInt(kMain, QStringLiteral("IsOpenMix"), 0);  // a good number stays
    profile.WriteString(kMain, QStringLiteral("VisitorNickname"), QString(40, QLatin1Char('n')));
    profile.WriteString(kMain, QStringLiteral("URLRegister"),
                        QStringLiteral("https://site.example:8080/reg/new.asp"));

    EXPECT_EQ(Start(), EStartResult::Run);
    EXPECT_EQ(profile.Kind(kMain, QStringLiteral("ServerTcpPort")), CProfileStore::EKind::Number);
    EXPECT_EQ(profile.GetInt(kMain, QStringLiteral("ServerTcpPort"), -1), 30000);
    EXPECT_EQ(profile.GetInt(kMain, QStringLiteral("ServerPort"), -1), 5566);
    EXPECT_EQ(profile.GetInt(kMain, QStringLiteral("IsMicMute"), -1), 0);
    EXPECT_EQ(profile.GetInt(kMain, QStringLiteral("IsOpenMix"), -1), 0);
    EXPECT_EQ(state.settings.serverTcpPort, 30000);
    EXPECT_EQ(state.settings.isOpenMix, 0);
    EXPECT_EQ(state.settings.visitorNickname, QString(32, QLatin1Char('n')));
    EXPECT_EQ(state.settings.siteRoot, QStringLiteral("https://site.example:8080"));
    EXPECT_EQ(state.settings.urlHelp, QStringLiteral("about:blank"));
    EXPECT_EQ(state.settings.sysIdName, QStringLiteral("塔沃号"));

    EXPECT_EQ(SanitizeVisitorNickname(QStringLiteral("<b>我</b>|#01")),
              QStringLiteral("＜b＞我＜/b＞| #01"));
    EXPECT_EQ(SiteRoot(QStringLiteral("about:blank")), QStringLiteral("about:blank"));

    // The machine identity is six hexadecimal groups.
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^([0-9A-F]{2}-){5}[0-9A-F]{2}$"))
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
    ServeConfig(QStringLiteral("TavoTavo"), EncodeCodePage(text, CP_GBK));

    EXPECT_EQ(Start(), EStartResult::Run);
    EXPECT_TRUE(state.configRead);
    EXPECT_TRUE(ui.prompt.History().empty());  // LASTVERSION equal to ours: no question
    EXPECT_EQ(state.settings.serverIp, QStringLiteral("10.2.2.2"));
    EXPECT_EQ(state.settings.serverPort, 3333);
    EXPECT_EQ(state.settings.serverTcpPort, 4444);
    EXPECT_EQ(state.settings.fip, QStringLiteral("10.9.9.9"));
    EXPECT_EQ(state.settings.fport, 9999);
    EXPECT_EQ(state.settings.lastVersion, 1828);
    EXPECT_EQ(state.settings.urlHelp, QStringLiteral("http://web.example/帮助.htm"));
    EXPECT_EQ(state.settings.areaDocuments,
              QStringList({QStringLiteral("http://web.example/list/Music.XML"),
                           QStringLiteral("http://web.example/list/Chat.XML")}));
    EXPECT_EQ(state.settings.urlHallCaseList, QStringLiteral("http://web.example/case.asp"));
    EXPECT_EQ(state.settings.switches[QStringLiteral("VISITOR_OP")], QStringLiteral("允许"));
    EXPECT_TRUE(state.settings.edition70Links.empty());  // only edition 70 reads its extras
    CProfileStore& profile = CProfileStore::Open(QStringLiteral("TavoTavo"));
    EXPECT_EQ(profile.GetInt(kMain, QStringLiteral("ServerTcpPort"), 0), 4444);
    EXPECT_EQ(profile.GetString(kMain, QStringLiteral("URLHelp")),
              QStringLiteral("http://web.example/帮助.htm"));

    // Without the document the last one the profile kept still serves.
    web.Put(QStringLiteral("/cfg.xml"), QByteArrayLiteral("this is not xml <"));
    state = CAppState();
    EXPECT_EQ(Start(), EStartResult::Run);
    EXPECT_FALSE(state.configRead);
    EXPECT_EQ(state.settings.serverIp, QStringLiteral("10.2.2.2"));
    EXPECT_EQ(state.settings.serverTcpPort, 4444);
    EXPECT_TRUE(state.settings.areaDocuments.isEmpty());

    // Edition 70 reads its extra links.
    WriteCfg(QStringLiteral("TavoCloud"));
    ServeConfig(QStringLiteral("TavoCloud"), EncodeCodePage(text, CP_GBK));
    state = CAppState();
    EXPECT_EQ(Start(), EStartResult::Run);
    EXPECT_EQ(state.settings.edition70Links[QStringLiteral("USER_HEAD")],
              QStringLiteral("http://web.example/head.asp"));
}

TEST_F(Startup, NewerVersionAsksAndEitherAnswerEndsTheStart) {
    // The updater is a real program beside the client; it writes down what it was given.
    const QString marker = program.filePath(QStringLiteral("updater-args"));
    const QString updater = program.filePath(QStringLiteral("TavoUpdate.exe"));
    ASSERT_TRUE(
        WriteFile(updater, QStringLiteral("#!/bin/sh\necho \"$@\" > '%1'\n").arg(marker).toUtf8()));
    QFile(updater).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ServeConfig(
        QStringLiteral("TavoTavo"),
        QByteArrayLiteral(
            "<CONFIG><SERVER><IP>10.3.3.3</IP><LASTVERSION>1829</LASTVERSION></SERVER></CONFIG>"));

    ui.prompt.Answer(IDNO);
    EXPECT_EQ(Start(), EStartResult::UpgradeDeclined);
    ASSERT_EQ(ui.prompt.Texts().size(), 1);
    EXPECT_EQ(ui.prompt.Texts()[0],
              QStringLiteral("塔沃又有新版本发布了,程序必须升级才能使用,是否升级?"));
    EXPECT_TRUE(ui.prompt.History()[0].flags & MB_YESNO);
    // The start ended before the document reached the profile.
    EXPECT_NE(CAppProfile::Store().GetString(kMain, QStringLiteral("ServerIP")),
              QStringLiteral("10.3.3.3"));
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
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), exe));
    std::vector<std::unique_ptr<QProcess>> copies;
    auto runCopies = [&](int n) {
        while (static_cast<int>(copies.size()) < n) {
            copies.push_back(std::make_unique<QProcess>());
            copies.back()->start(exe, {QStringLiteral("60")});
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
    WriteCfg(QStringLiteral("TavoStar"));
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

TEST_F(Startup, SmallScreenAndMissingPicturesAreReportedAndStartGoesOn) {
    // A complete picture set is read without a word.
    EXPECT_EQ(Start(), EStartResult::Run);
    EXPECT_TRUE(ui.prompt.History().empty());
    EXPECT_EQ(state.pictures.faceCount, 2);
    EXPECT_EQ(state.pictures.faceWidth, 24);
    EXPECT_EQ(state.pictures.faceHeight, 20);
    EXPECT_EQ(state.pictures.enterEffects,
              QStringList({QStringLiteral("自行车"), QStringLiteral("小汽车")}));
    EXPECT_EQ(state.pictures.vipEnterEffects, QStringList({QStringLiteral("游艇")}));

    // One level picture gone: the message, and the start continues.
    ASSERT_TRUE(QFile::remove(program.filePath(QStringLiteral("img/level/7.png"))));
    EXPECT_EQ(Start(), EStartResult::Run);
    EXPECT_EQ(ui.prompt.Texts(), QStringList({QStringLiteral("读取头像失败!")}));

    // A screen below 1024x768: asked; Yes tries the change, a failed change is reported and
    // the display restored.
    WritePictures();
    ui.prompt.Clear();
    view.screenWidth = 800;
    view.screenHeight = 600;
    view.displayChangeWorks = false;
    ui.prompt.Answer(IDYES);
    EXPECT_EQ(Start(), EStartResult::Run);
    EXPECT_EQ(
        ui.prompt.Texts(),
        QStringList(
            {QStringLiteral(
                 "当前的屏幕分辨率小于1024*768,这样将不能显示整个程序界面,是否更改到1024*768?"),
             QStringLiteral("更改屏幕分辨率失败,请尝试手动更改.")}));
    ASSERT_EQ(view.displayChanges.size(), 1u);
    EXPECT_EQ(view.displayChanges[0], std::make_pair(1024, 768));
    EXPECT_EQ(view.restores, 1);

    // No leaves the screen alone; a tall but narrow screen is still too small.
    ui.prompt.Clear();
    view.screenWidth = 1000;
    view.screenHeight = 2000;
    ui.prompt.Answer(IDNO);
    Start();
    EXPECT_EQ(ui.prompt.Texts().size(), 1);
    EXPECT_EQ(view.displayChanges.size(), 1u);
}

TEST_F(Startup, CommandLineAndVersionNumbers) {
    EXPECT_EQ(ParseStartRoom(QStringLiteral("tavo 1234")), 1234);
    EXPECT_EQ(ParseStartRoom(QStringLiteral("tavo")), 0);
    EXPECT_EQ(ParseStartRoom(QStringLiteral("tavo room")), 0);
    EXPECT_EQ(ParseStartRoom(QStringLiteral("tavo 77 88")), 77);
    EXPECT_EQ(ParseStartRoom(QStringLiteral("tavo 99999999999")), 0);
    EXPECT_EQ(
        CTavoClientApp::CommandLine({QStringLiteral("/opt/My Apps/tavo"), QStringLiteral("1234")}),
        QStringLiteral("tavo 1234"));

    start.commandLine = CTavoClientApp::CommandLine({start.programPath, QStringLiteral("5678")});
    EXPECT_EQ(Start(), EStartResult::Run);
    EXPECT_EQ(state.startRoom, 5678);

    EXPECT_EQ(ClientVersionNumber({1, 8, 2, 8}), 1828);
    EXPECT_EQ(ClientVersionNumber({2, 10, 0, 3}), 21003);
    const tagProgramVersion ours = ProgramVersion();
    EXPECT_EQ(state.clientVersion, ClientVersionNumber(ours));
}

TEST_F(Startup, RunGoesFromTheDocumentToThePresenceRequest) {
    // The whole start against our own servers: the document names the server-information host,
    // which names the hall server, which hears the visitor presence request.
    CLoopbackServer route{kRouteFrame};
    CLoopbackServer center;
    ASSERT_TRUE(route.Start());
    ASSERT_TRUE(center.Start());
    route.SetResponder([&](CLoopbackPeer& peer, CKParam&) {
        CKParam reply;
        MakeReply(reply, CMD_SERVER_INFO_REPLY, 0);
        reply.SetCString(12, QStringLiteral("id"));
        reply.SetInt(13, 5);
        reply.SetCString(30, QStringLiteral("127.0.0.1"));
        reply.SetInt(50, static_cast<int>(center.Port()));
        peer.KSend(reply);
    });
    ServeConfig(QStringLiteral("TavoTavo"),
                QStringLiteral(
                    "<CONFIG><SERVER><IP>127.0.0.1</IP><PORT>%1</PORT><LASTVERSION>1</LASTVERSION>"
                    "</SERVER></CONFIG>")
                    .arg(route.Port())
                    .toUtf8());
    CProfileStore::Open(QStringLiteral("TavoTavo"))
        .WriteString(kMain, QStringLiteral("VisitorNickname"), QStringLiteral("<访客>"));
    CTavoClientDlg* hooked = nullptr;
    ui.dialogs.Script(CTavoClientDlg::IDD, [&](CDialogModel& d) {
        EXPECT_TRUE(center.WaitFor(CMD_VISITOR));
        d.EndDialog(IDOK);
    });
    CTavoClientApp app(state, &view, nullptr);
    app.SetHallHook([&](CTavoClientDlg& hall) { hooked = &hall; });
    ASSERT_TRUE(TheTraceLog().Open(QDir(program.path()).filePath("run.log"), 100));
    EXPECT_EQ(app.Run(start), EStartResult::Run);
    EXPECT_NE(hooked, nullptr);
    EXPECT_FALSE(TheTraceLog().IsOpen()) << "the application ended and left its log open";
    TheTraceLog().Close();
    const auto visitors = center.Received(CMD_VISITOR);
    ASSERT_EQ(visitors.size(), 1u);
    CKParam visitor;
    visitors[0].Load(visitor);
    EXPECT_EQ(visitor.TextOr(20), QStringLiteral("＜访客＞"));
    EXPECT_EQ(visitor.TextOr(104), QStringLiteral("id"));
    EXPECT_EQ(visitor.IntOr(105, 0), 5);
    EXPECT_EQ(visitor.TextOr(106), state.account.adapterAddress);
    EXPECT_TRUE(center.Received(CMD_VERSION).empty());
}

}  // namespace
