// The desktop client against the reference service, as a person uses it: the hall fills its
// lists from the service's directory documents, a room is entered and shows its members and
// welcome line, a line typed here reaches a console client in the same room and its answer
// shows here, the microphone panel follows the service; logging in (a wrong password refused
// with the service's reason) and out from the window; and the hall's web panels.

#include "tests/e2e/ConsoleClient.h"
#include "tests/support/ClientHarness.h"
#include "tests/ui/Widgets.h"
#include "ui/ChatBrowser.h"
#include "ui/CoreDialogs.h"
#include "ui/HallWindow.h"
#include "ui/Icons.h"
#include "ui/QtDialogHost.h"
#include "ui/RoomWindow.h"
#include "ui/WebPanel.h"

#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace tavotest;

namespace {

const QString kProgramFolder = QStringLiteral(TAVO_PROGRAM_DIR);

// The whole desktop client, wired as the program wires it, with a scripted prompt standing for
// the person's answers to message boxes.
struct CDesktopClient : CClientHarness {
    // The pictures are there before any window takes its icons, as in the program.
    bool iconsLoaded = (CIcons::Load(kProgramFolder), true);
    CQtDialogHost host;
    CScopedDialogHost hostScope{host};
    CHallWindow hall{state};
    CRoomWindow room{entry.Room(), kProgramFolder};
    CDesktopClient() : CClientHarness(kProgramFolder) {
        RegisterCoreDialogs(host, &hall);
        entry.Room().SetViews(&room, room.PublicView(), room.PrivateView());
    }
    EStartResult Run(const CServiceProcess& service,
                     const std::function<void(CTavoClientDlg&)>& body) {
        return CClientHarness::Run(
            service, hall, [] { return QApplication::activeModalWidget() == nullptr; }, body);
    }
};

bool WaitLoaded(CWebPanel& panel) {
    return WaitUntil([&] { return !panel.IsLoading(); }, 20s);
}

struct ClientFlow : ::testing::Test {
    CServiceProcess service{QStringLiteral(TAVO_SERVERD)};
};

// Stands for the desktop's browser: records the addresses handed to it.
class CBrowserStandIn : public QObject {
    Q_OBJECT
public:
    CBrowserStandIn() {
        QDesktopServices::setUrlHandler("http", this, "Open");
        QDesktopServices::setUrlHandler("https", this, "Open");
    }
    ~CBrowserStandIn() override {
        QDesktopServices::unsetUrlHandler("http");
        QDesktopServices::unsetUrlHandler("https");
    }
    QList<QUrl> opened;
public Q_SLOTS:
    void Open(const QUrl& url) { opened << url; }
};

// Clicks the link whose text is given, where the panel draws it.
void ClickLink(CWebPanel& panel, const QString& text) {
    const QTextCursor found = panel.document()->find(text);
    ASSERT_FALSE(found.isNull()) << text.toStdString();
    QTextCursor inside(panel.document());
    inside.setPosition(found.selectionStart() + 1);
    const QPoint at = panel.cursorRect(inside).center();
    QTest::mouseClick(panel.viewport(), Qt::LeftButton, {}, at);
}

struct WebPanel : ::testing::Test {
    CTempConfig config;
    CServiceProcess service{QStringLiteral(TAVO_SERVERD)};
    CWebPanel panel;
    QString Page(const QString& path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(service.WebPort()).arg(path);
    }
};

}  // namespace

TEST_F(ClientFlow, TheHallListsTheServicesDirectory) {
    ASSERT_TRUE(service.Running());
    CDesktopClient desktop;
    // Each list is handed over as soon as its page is complete.
    auto listed = [&](const char* list, const QString& text) {
        return WaitUntil([&] { return Items(desktop.hall, list).join(",").contains(text); }, 10s);
    };
    desktop.Run(service, [&](CTavoClientDlg&) {
        ASSERT_TRUE(WaitUntil([&] { return !desktop.state.account.visitorName.isEmpty(); }, 20s));
        EXPECT_TRUE(Shown(desktop.hall, "account").contains(desktop.state.account.visitorName));
        // The area lists from the directory documents; choosing an area loads its rooms;
        // choosing a room fills the number box.
        ASSERT_TRUE(listed("area0", "音乐广场"))
            << Items(desktop.hall, "area0").join(",").toStdString();
        auto* areas = desktop.hall.findChild<QListWidget*>("area0");
        areas->setCurrentRow(0);
        Q_EMIT areas->itemClicked(areas->item(0));
        ASSERT_TRUE(listed("rooms", "音乐之声"));
        const int at = Items(desktop.hall, "rooms").indexOf(QRegularExpression("^音乐之声.*"));
        auto* rooms = desktop.hall.findChild<QListWidget*>("rooms");
        EXPECT_TRUE(desktop.hall.findChild<QLabel*>("information")->isHidden())
            << "no empty strip before a room is chosen";
        for (int row = 0; row < rooms->count(); ++row) {
            EXPECT_FALSE(rooms->item(row)->icon().isNull())
                << "row " << row << ": every name starts after an icon, marked or not";
        }
        Q_EMIT rooms->itemClicked(rooms->item(at));
        EXPECT_EQ(Shown(desktop.hall, "roomNumber"), "1001");
        EXPECT_TRUE(Shown(desktop.hall, "information").contains("音乐之声"));
    });
}

TEST_F(ClientFlow, RoomEntryChatWithAConsoleClientAndTheMicrophone) {
    ASSERT_TRUE(service.Running());
    CDesktopClient client;
    bool bodyRan = false;
    const EStartResult result = client.Run(service, [&](CTavoClientDlg&) {
        bodyRan = true;
        // Entering by number: the room window shows the members, the topic and the welcome.
        client.hall.findChild<QLineEdit*>("roomNumber")->setText("1001");
        Button(client.hall, "enter")->click();
        CRoomWindow& room = client.room;
        CChatBrowser& chat = *room.findChild<CChatBrowser*>("publicView");
        ASSERT_TRUE(
            WaitUntil([&] { return room.isVisible() && Shown(room, "count") == "1人"; }, 20s));
        ASSERT_TRUE(WaitUntil([&] { return chat.CellText().contains("欢迎"); }, 10s));
        EXPECT_TRUE(chat.CellText().contains(client.state.account.visitorName));
        EXPECT_EQ(Shown(room, "targetLabel"), "你对 所有人 说:");
        EXPECT_EQ(Shown(room, "micMode"), "麦序方式");

        // A console client joins, waits for our line and answers.
        CConsoleClient console(service,
                               "enter 1001\nwait-line ping-from-desktop 30\n"
                               "say pong-from-console <i>\nsleep 1\nquit\n");
        ASSERT_TRUE(WaitUntil([&] { return Shown(room, "count") == "2人"; }, 30s))
            << Shown(room, "count").toStdString();

        room.findChild<QLineEdit*>("input")->setText("ping-from-desktop <b>");
        Button(room, "send")->click();
        EXPECT_TRUE(Shown(room, "input").isEmpty()) << "a sent line leaves the input box";
        ASSERT_TRUE(
            WaitUntil([&] { return chat.CellText().contains("pong-from-console <i>"); }, 30s))
            << "the console client said:\n"
            << console.Output().toStdString();
        // The line arrives as the sender formatted it: a name link and the escaped text.
        const QString html = chat.CellHtml();
        EXPECT_TRUE(html.contains("tavo:member")) << html.toStdString();
        EXPECT_FALSE(html.contains("<i>")) << "markup typed as text stays text";
        ASSERT_TRUE(console.WaitEnd(30s));
        EXPECT_EQ(console.ExitCode(), 0) << "the console client never saw our line:\n"
                                         << console.Output().toStdString();
        ASSERT_TRUE(WaitUntil([&] { return Shown(room, "count") == "1人"; }, 20s));

        // The microphone: a grab in queue mode gives us the main microphone and its countdown.
        Button(room, "speak")->click();
        const QString me = client.state.account.visitorName;
        ASSERT_TRUE(WaitUntil([&] { return Shown(room, "mainHolder") == me; }, 20s))
            << Shown(room, "mainHolder").toStdString();
        EXPECT_EQ(Button(room, "speak")->text(), "放麦");
        const QString first = Shown(room, "mainTime");
        ASSERT_TRUE(WaitUntil([&] { return Shown(room, "mainTime") != first; }, 5s))
            << "the countdown never moved";
        Button(room, "speak")->click();
        ASSERT_TRUE(WaitUntil([&] { return Shown(room, "mainHolder") == "空闲"; }, 20s))
            << Shown(room, "mainHolder").toStdString();
        EXPECT_EQ(Button(room, "speak")->text(), "抢麦");
    });
    EXPECT_TRUE(bodyRan);
    EXPECT_EQ(result, EStartResult::Run);
}

TEST_F(ClientFlow, AWrongPasswordIsRefusedTheRightOneLogsInAndLoggingOutLeavesAVisitor) {
    ASSERT_TRUE(service.Running());
    CDesktopClient client;
    bool bodyRan = false;
    client.Run(service, [&](CTavoClientDlg&) {
        bodyRan = true;
        CHallWindow& hall = client.hall;
        QPushButton* logout = Button(hall, "logout");
        ASSERT_NE(logout, nullptr);
        ASSERT_TRUE(WaitUntil([&] { return !client.state.account.visitorName.isEmpty(); }, 20s));
        EXPECT_FALSE(logout->isEnabled()) << "a visitor has nothing to log out of";

        // The login window: a wrong password is refused with the service's reason and the
        // window stays for another try, after the login interval.
        int attempts = 0;
        std::function<void(QWidget*)> typeInto = [&](QWidget* window) {
            if (++attempts == 1) {
                EXPECT_EQ(window->focusWidget(), window->findChild<QLineEdit*>("userId"))
                    << "the person types the user name first";
            }
            window->findChild<QLineEdit*>("userId")->setText("alice");
            window->findChild<QLineEdit*>("password")
                ->setText(attempts == 1 ? "wrong" : "alice123");
            window->findChild<QPushButton*>("ok")->click();
            if (attempts == 1) {
                EXPECT_TRUE(window->isVisible());
                client.state.account.lastAttemptTime = 0;
                typeInto(window);
            } else {
                // A window still up after the dialog should have ended was refused again.
                QPointer<QWidget> still = window;
                QTimer::singleShot(3000, [still] {
                    if (still && still->isVisible()) {
                        still->findChild<QPushButton*>("cancel")->click();
                    }
                });
            }
        };
        OnModalWindow([&](QWidget* window) {
            ASSERT_EQ(window->objectName(), "LoginWindow");
            typeInto(window);
        });
        Button(hall, "login")->click();
        EXPECT_EQ(attempts, 2);
        EXPECT_TRUE(client.prompt.Saw("用户名或密码错"))
            << client.prompt.Texts().join("|").toStdString();
        ASSERT_TRUE(client.state.account.IsLoggedIn())
            << client.prompt.Texts().join("|").toStdString();
        EXPECT_TRUE(Shown(hall, "account").contains("alice"))
            << Shown(hall, "account").toStdString();
        EXPECT_TRUE(logout->isEnabled());
        // The login points the case-list panel at the service's page for the account.
        CWebPanel* cases = hall.findChild<CWebPanel*>("caseListPanel");
        ASSERT_NE(cases, nullptr);
        EXPECT_FALSE(cases->isHidden());
        ASSERT_TRUE(WaitUntil([&] { return cases->toPlainText().contains("你好, alice"); }, 20s))
            << cases->toPlainText().toStdString();

        // A login window that opens is noted and dismissed, so the test goes on to fail.
        bool loginOffered = false;
        QTimer watch;
        watch.setInterval(10);
        QObject::connect(&watch, &QTimer::timeout, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (w->objectName() == QLatin1String("LoginWindow") && w->isVisible()) {
                    loginOffered = true;
                    w->findChild<QPushButton*>("cancel")->click();
                }
            }
        });
        watch.start();
        logout->click();
        ASSERT_TRUE(WaitUntil([&] { return !client.state.account.IsLoggedIn(); }, 20s));
        // The service's reply names the visitor; the line shows that name, not the account.
        EXPECT_FALSE(client.state.account.visitorName.isEmpty());
        EXPECT_TRUE(Shown(hall, "account").contains(client.state.account.visitorName))
            << Shown(hall, "account").toStdString();
        EXPECT_FALSE(Shown(hall, "account").contains("alice"))
            << Shown(hall, "account").toStdString();
        EXPECT_FALSE(logout->isEnabled());
        EXPECT_TRUE(cases->isHidden()) << "the panel still greets the account that left";
        // Logging out is not switching accounts: no login window follows.
        Spin(300ms);
        EXPECT_FALSE(loginOffered);
        // Nor the refusal a login this soon after the last one would meet.
        EXPECT_FALSE(client.prompt.Saw("时间间隔不得少于"))
            << client.prompt.Texts().join("|").toStdString();
        watch.stop();
        EXPECT_TRUE(client.state.account.passwordDigest.isEmpty())
            << "the account's values outlived the logout";
    });
    EXPECT_TRUE(bodyRan);
}

TEST_F(WebPanel, ShowsTheServicesPageOrItsPlaceholderAndHandsLinksToTheDesktopBrowser) {
    ASSERT_TRUE(service.Running());
    CBrowserStandIn browser;
    QSignalSpy loaded(&panel, &CWebPanel::Loaded);
    panel.resize(300, 200);
    panel.Navigate(Page("/page/hall_case_list?u=bob<b>"));
    EXPECT_FALSE(panel.isHidden());
    ASSERT_TRUE(WaitLoaded(panel));
    ASSERT_EQ(loaded.count(), 1);
    EXPECT_TRUE(loaded.at(0).at(0).toBool());
    EXPECT_TRUE(panel.IsShowingPage());
    const QString text = panel.toPlainText();
    EXPECT_TRUE(text.contains("你好, bob<b>")) << text.toStdString();

    panel.show();
    ClickLink(panel, "使用帮助");
    ASSERT_EQ(browser.opened.size(), 1);
    EXPECT_EQ(browser.opened[0], QUrl(Page("/page/help"))) << "the link is taken as the page's";
    EXPECT_TRUE(panel.toPlainText().contains("你好")) << "the panel itself does not navigate";

    // A page that cannot be had leaves the placeholder; blank hides the panel.
    panel.Navigate(Page("/no/such/page"));
    ASSERT_TRUE(WaitLoaded(panel));
    EXPECT_FALSE(panel.IsShowingPage());
    EXPECT_EQ(panel.toPlainText().trimmed(), "页面暂时无法显示");

    panel.Navigate("about:blank");
    EXPECT_TRUE(panel.isHidden());
    EXPECT_FALSE(panel.IsLoading());
}

#include "ClientFlowTest.moc"
