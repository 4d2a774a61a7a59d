// The desktop client against the reference service, as a person uses it: the hall fills its
// lists from the service's directory documents, a room is entered and shows its members and
// welcome line, a line typed here reaches a console client in the same room and its answer
// shows here, the microphone panel follows the service, and a wrong password is refused with
// the service's reason.

#include "app/client/ClientOptions.h"
#include "app/client/HallRelay.h"
#include "hall/AppState.h"
#include "hall/TavoClientApp.h"
#include "hall/TavoClientDlg.h"
#include "room/RoomDlg.h"
#include "room/RoomEntry.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/ChatBrowser.h"
#include "ui/CoreDialogs.h"
#include "ui/HallWindow.h"
#include "ui/Icons.h"
#include "ui/QtDialogHost.h"
#include "ui/RoomWindow.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/prctl.h>

#include <csignal>

#include <chrono>
#include <functional>

using namespace std::chrono_literals;
using tavotest::WaitUntil;

namespace {

const QString kFolder = QStringLiteral(TAVO_PROGRAM_DIR);

// The reference service in a process of its own, on ports the system picks.
class CService {
public:
    CService() {
        m_process.setProgram(QStringLiteral(TAVO_SERVERD));
        m_process.setArguments({"--db", m_dir.filePath("service.sqlite"), "--seed", "--listen",
                                "127.0.0.1", "--info-port", "0", "--hall-port", "0", "--route-port",
                                "0", "--room-ports", "0:0", "--web-port", "0"});
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        // A test run that is killed takes its service with it.
        m_process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_process.start();
        static const QRegularExpression kPorts(QStringLiteral("info=(\\d+).*web=(\\d+)"));
        WaitUntil(
            [&] {
                m_banner += QString::fromUtf8(m_process.readAllStandardOutput());
                return kPorts.match(m_banner).hasMatch() ||
                       m_process.state() == QProcess::NotRunning;
            },
            15s);
        const auto m = kPorts.match(m_banner);
        infoPort = m.captured(1).toInt();
        webPort = m.captured(2).toInt();
    }
    ~CService() {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
    bool Running() const { return infoPort > 0 && webPort > 0; }
    QString ConfigUrl() const {
        return QStringLiteral("http://127.0.0.1:%1/config.xml").arg(webPort);
    }
    int infoPort = 0;
    int webPort = 0;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_banner;
};

// The whole desktop client, wired as the program wires it, with a scripted prompt standing for
// the person's answers to message boxes.
struct Client {
    CAppState state;
    CScriptedPrompt prompt;
    CScopedPrompt promptScope{prompt};
    CQtDialogHost host;
    CScopedDialogHost hostScope{host};
    CHallWindow hall{state};
    CHallRelay relay;
    CRoomEntry entry{relay};
    CRoomWindow room{entry.Room(), kFolder};
    CTavoClientApp app{state, &hall, &entry};
    Client() {
        CAppState::Set(&state);
        CIcons::Load(kFolder);
        RegisterCoreDialogs(host, &hall);
        entry.Room().SetViews(&room, room.PublicView(), room.PrivateView());
    }
    ~Client() { CAppState::Set(nullptr); }

    // Starts the client and runs the body inside the hall's own loop; the body's end quits.
    EStartResult Run(const CService& service, const std::function<void(CTavoClientDlg&)>& body) {
        tagClientOptions options;
        options.configUrl = service.ConfigUrl();
        options.serverHost = QStringLiteral("127.0.0.1");
        options.serverPort = service.infoPort;
        ApplyClientOptions(options, kFolder);
        // The body starts once the hall has finished its own start (its request dialogs run
        // loops of their own, and a body running inside one of them would hold it up).
        QTimer ready;
        ready.setInterval(20);
        app.SetHallHook([&](CTavoClientDlg& dlg) {
            relay.Attach(&dlg);
            QObject::connect(&ready, &QTimer::timeout, [&] {
                if (state.account.visitorName.isEmpty() || QApplication::activeModalWidget()) {
                    return;
                }
                ready.stop();
                body(dlg);
                dlg.Quit();
            });
            ready.start();
        });
        tagAppStart start;
        start.programFolder = kFolder;
        start.commandLine = QStringLiteral("tavo");
        start.instanceName = QStringLiteral("tavo-ui-flow-test-instance");
        const EStartResult result = app.Run(start);
        relay.Attach(nullptr);
        return result;
    }
};

QPushButton* Button(QWidget& window, const char* name) {
    return window.findChild<QPushButton*>(name);
}

// Runs an action once a top-level window with that object name is shown.
void WhenShown(const QString& name, std::function<void(QWidget*)> action) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, name, action] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() == name && w->isVisible()) {
                timer->stop();
                timer->deleteLater();
                action(w);
                return;
            }
        }
    });
    timer->start();
}

struct ClientFlow : ::testing::Test {
    tavotest::CTempConfig config;
    CService service;
};

}  // namespace

TEST_F(ClientFlow, HallListsRoomEntryChatWithAConsoleClientAndTheMicrophone) {
    ASSERT_TRUE(service.Running());
    Client client;
    bool bodyRan = false;
    const EStartResult result = client.Run(service, [&](CTavoClientDlg&) {
        bodyRan = true;
        CHallWindow& hall = client.hall;
        // Present as a visitor, then the area lists from the directory documents.
        ASSERT_TRUE(WaitUntil([&] { return client.state.account.visitorName.size() > 0; }, 20s));
        EXPECT_TRUE(hall.AccountText().contains(client.state.account.visitorName));
        ASSERT_TRUE(WaitUntil([&] { return hall.AreaTexts(0).contains("音乐广场"); }, 40s))
            << hall.AreaTexts(0).join(",").toStdString();
        // Choosing an area loads its rooms; choosing a room fills the number box.
        QListWidget* areas = hall.AreaList(0);
        areas->setCurrentRow(0);
        Q_EMIT areas->itemClicked(areas->item(0));
        ASSERT_TRUE(
            WaitUntil([&] { return hall.RoomTexts().join(",").contains("音乐之声"); }, 40s));
        const int at = hall.RoomTexts().indexOf(QRegularExpression("^音乐之声.*"));
        ASSERT_GE(at, 0);
        Q_EMIT hall.RoomList()->itemClicked(hall.RoomList()->item(at));
        EXPECT_EQ(hall.RoomNumberText(), "1001");
        EXPECT_TRUE(hall.InformationText().contains("音乐之声"));

        // Entering: the room window shows the members, the topic and the welcome line.
        Button(hall, "enter")->click();
        CRoomWindow& room = client.room;
        ASSERT_TRUE(
            WaitUntil([&] { return room.isVisible() && room.MemberCountText() == "1人"; }, 20s));
        ASSERT_TRUE(
            WaitUntil([&] { return room.PublicBrowser().CellText().contains("欢迎"); }, 10s));
        EXPECT_TRUE(room.PublicBrowser().CellText().contains(client.state.account.visitorName));
        EXPECT_EQ(room.TargetLabelText(), "你对 所有人 说:");
        EXPECT_EQ(room.MicModeText(), "麦序方式");

        // A console client joins, waits for our line and answers.
        QTemporaryDir scriptDir;
        QFile script(scriptDir.filePath("answer.txt"));
        script.open(QIODevice::WriteOnly);
        script.write(
            "enter 1001\nwait-line ping-from-desktop 30\nsay pong-from-console <i>\nsleep "
            "1\nquit\n");
        script.close();
        QProcess console;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        QTemporaryDir consoleConfig;
        env.insert("TAVO_CONFIG_HOME", consoleConfig.path());
        console.setProcessEnvironment(env);
        console.start(QStringLiteral(TAVO_CLI),
                      {"--config-url", service.ConfigUrl(), "--server",
                       QString("127.0.0.1:%1").arg(service.infoPort), "--program-folder", kFolder,
                       "--script", script.fileName()});
        ASSERT_TRUE(WaitUntil([&] { return room.MemberCountText() == "2人"; }, 30s))
            << room.MemberCountText().toStdString();

        room.SetInputText("ping-from-desktop <b>");
        Button(room, "send")->click();
        EXPECT_TRUE(room.InputText().isEmpty()) << "a sent line leaves the input box";
        ASSERT_TRUE(WaitUntil(
            [&] { return room.PublicBrowser().CellText().contains("pong-from-console <i>"); },
            30s));
        // The line arrives as the sender formatted it: a name link and the escaped text.
        const QString html = room.PublicBrowser().CellHtml();
        EXPECT_TRUE(html.contains("tavo:member")) << html.toStdString();
        EXPECT_FALSE(html.contains("<i>")) << "markup typed as text stays text";
        ASSERT_TRUE(WaitUntil([&] { return console.state() == QProcess::NotRunning; }, 30s));
        EXPECT_EQ(console.exitCode(), 0) << "the console client never saw our line:\n"
                                         << console.readAllStandardOutput().toStdString();
        ASSERT_TRUE(WaitUntil([&] { return room.MemberCountText() == "1人"; }, 20s));

        // The microphone: a grab in queue mode gives us the main microphone and its countdown.
        Button(room, "speak")->click();
        const QString me = client.state.account.visitorName;
        ASSERT_TRUE(WaitUntil([&] { return room.MainMicText().startsWith(me); }, 20s))
            << room.MainMicText().toStdString();
        EXPECT_EQ(Button(room, "speak")->text(), "放麦");
        const QString first = room.MainMicText();
        ASSERT_TRUE(WaitUntil([&] { return room.MainMicText() != first; }, 5s))
            << "the countdown never moved";
        Button(room, "speak")->click();
        ASSERT_TRUE(WaitUntil([&] { return room.MainMicText().startsWith("空闲"); }, 20s))
            << room.MainMicText().toStdString();
        EXPECT_EQ(Button(room, "speak")->text(), "抢麦");
        client.prompt.Answer(IDOK);
    });
    EXPECT_TRUE(bodyRan);
    EXPECT_EQ(result, EStartResult::Run);
}

TEST_F(ClientFlow, WrongPasswordIsRefusedWithTheServicesReasonAndTheRightOneLogsIn) {
    ASSERT_TRUE(service.Running());
    Client client;
    client.Run(service, [&](CTavoClientDlg&) {
        ASSERT_TRUE(WaitUntil([&] { return client.state.account.visitorName.size() > 0; }, 20s));
        int attempts = 0;
        std::function<void(QWidget*)> typeInto = [&](QWidget* window) {
            ++attempts;
            window->findChild<QLineEdit*>("userId")->setText("alice");
            window->findChild<QLineEdit*>("password")
                ->setText(attempts == 1 ? "wrong" : "alice123");
            window->findChild<QPushButton*>("ok")->click();
            if (attempts == 1) {
                // Refused: the window stays for another try, after the login interval.
                EXPECT_TRUE(window->isVisible());
                client.state.account.lastAttemptTime = 0;
                typeInto(window);
            } else {
                // The window goes once the dialog has ended; one still up was refused.
                QPointer<QWidget> still = window;
                QTimer::singleShot(3000, [still] {
                    if (still && still->isVisible()) {
                        still->findChild<QPushButton*>("cancel")->click();
                    }
                });
            }
        };
        WhenShown("LoginWindow", typeInto);
        Button(client.hall, "login")->click();
        EXPECT_EQ(attempts, 2);
        EXPECT_TRUE(client.prompt.Saw("用户名或密码错"))
            << client.prompt.Texts().join("|").toStdString();
        EXPECT_TRUE(client.state.account.IsLoggedIn());
        EXPECT_TRUE(client.hall.AccountText().contains(client.state.account.loginName));
        client.prompt.Answer(IDOK);
    });
}
