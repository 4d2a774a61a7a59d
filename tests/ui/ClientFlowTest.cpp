// The desktop client against the reference service, as a person uses it: the hall fills its
// lists from the service's directory documents, a room is entered and shows its members and
// welcome line, a line typed here reaches a console client in the same room and its answer
// shows here, the microphone panel follows the service, and a wrong password is refused with
// the service's reason.

#include "tests/ui/ServiceClient.h"
#include "ui/ChatBrowser.h"

#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace tavotest;

namespace {

struct ClientFlow : ::testing::Test {
    tavotest::CTempConfig config;
    CService service;
};

}  // namespace

TEST_F(ClientFlow, HallListsRoomEntryChatWithAConsoleClientAndTheMicrophone) {
    ASSERT_TRUE(service.Running());
    CDesktopClient client;
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
                       QString("127.0.0.1:%1").arg(service.InfoPort()), "--program-folder",
                       kProgramFolder, "--script", script.fileName()});
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
    CDesktopClient client;
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
