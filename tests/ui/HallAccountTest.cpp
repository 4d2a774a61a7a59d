// The hall window's account against the reference service: logging in and out from the
// window, what the account line and the log-out button show in each state, and the web panels
// that follow the login.

#include "tests/ui/ServiceClient.h"
#include "ui/WebPanel.h"

#include <QDesktopServices>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrlQuery>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace tavotest;

namespace {

struct HallAccount : ::testing::Test {
    CTempConfig config;
    CService service;

    // Logs in as a person would: the login button, the window, its fields and OK.
    static void LogIn(CDesktopClient& client, const QString& user, const QString& password) {
        WhenShown("LoginWindow", [user, password](QWidget* window) {
            window->findChild<QLineEdit*>("userId")->setText(user);
            window->findChild<QLineEdit*>("password")->setText(password);
            window->findChild<QPushButton*>("ok")->click();
            // A refused login leaves the window up; the test must not hang on it.
            QPointer<QWidget> still = window;
            QTimer::singleShot(5000, [still] {
                if (still && still->isVisible()) {
                    still->findChild<QPushButton*>("cancel")->click();
                }
            });
        });
        Button(client.hall, "login")->click();
    }
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

bool WaitLoaded(CWebPanel& panel) {
    return WaitUntil([&] { return !panel.IsLoading(); }, 20s);
}

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
    CService service;
    CWebPanel panel;
    QString Page(const QString& path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(service.WebPort()).arg(path);
    }
};

}  // namespace

TEST_F(WebPanel, ShowsTheServicesPageAndHandsLinksToTheDesktopBrowser) {
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
}

TEST_F(WebPanel, APageThatCannotBeHadLeavesThePlaceholderAndBlankHidesThePanel) {
    ASSERT_TRUE(service.Running());
    panel.show();
    panel.Navigate(Page("/no/such/page"));
    ASSERT_TRUE(WaitLoaded(panel));
    EXPECT_FALSE(panel.IsShowingPage());
    EXPECT_EQ(panel.toPlainText().trimmed(), "页面暂时无法显示");

    // A port nobody listens on: taken, then let go.
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const quint16 closed = probe.serverPort();
    probe.close();
    panel.Navigate(QStringLiteral("http://127.0.0.1:%1/page/hall_case_list").arg(closed));
    ASSERT_TRUE(WaitLoaded(panel));
    EXPECT_EQ(panel.toPlainText().trimmed(), "页面暂时无法显示");

    panel.Navigate(Page("/page/user_head?u=carol"));
    ASSERT_TRUE(WaitLoaded(panel));
    EXPECT_TRUE(panel.toPlainText().contains("你好, carol"));
    panel.Navigate("about:blank");
    EXPECT_TRUE(panel.isHidden());
    EXPECT_FALSE(panel.IsLoading());
}

TEST_F(HallAccount, LogOutFromTheWindowLeavesAVisitorAndOpensNoLogin) {
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

        LogIn(client, "alice", "alice123");
        ASSERT_TRUE(client.state.account.IsLoggedIn())
            << client.prompt.Texts().join("|").toStdString();
        EXPECT_TRUE(hall.AccountText().contains("alice")) << hall.AccountText().toStdString();
        EXPECT_TRUE(logout->isEnabled());
        // The login points the case-list panel at the service's page for the account.
        CWebPanel* cases = hall.Panel(EHallPanel::CaseList);
        ASSERT_NE(cases, nullptr);
        EXPECT_FALSE(cases->isHidden());
        ASSERT_TRUE(WaitUntil([&] { return cases->toPlainText().contains("你好, alice"); }, 20s))
            << cases->toPlainText().toStdString();
        EXPECT_EQ(QUrlQuery(QUrl(cases->Address())).queryItemValue("u"), "alice");

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
        EXPECT_TRUE(hall.AccountText().contains(client.state.account.visitorName))
            << hall.AccountText().toStdString();
        EXPECT_FALSE(hall.AccountText().contains("alice")) << hall.AccountText().toStdString();
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
        client.prompt.Answer(IDOK);
    });
    EXPECT_TRUE(bodyRan);
}

TEST_F(HallAccount, LoginWhileLoggedInLogsOutFirstThenOffersTheLogin) {
    ASSERT_TRUE(service.Running());
    CDesktopClient client;
    client.Run(service, [&](CTavoClientDlg&) {
        ASSERT_TRUE(WaitUntil([&] { return !client.state.account.visitorName.isEmpty(); }, 20s));
        LogIn(client, "alice", "alice123");
        ASSERT_TRUE(client.state.account.IsLoggedIn());
        // Logins are five seconds apart at least; the switch below would meet that refusal.
        Spin(5500ms);
        // The login button now switches accounts: out first, then the window for the next one.
        bool offered = false;
        WhenShown("LoginWindow", [&](QWidget* window) {
            offered = true;
            window->findChild<QPushButton*>("cancel")->click();
        });
        Button(client.hall, "login")->click();
        ASSERT_TRUE(WaitUntil([&] { return offered; }, 20s));
        EXPECT_FALSE(client.state.account.IsLoggedIn());
        EXPECT_FALSE(Button(client.hall, "logout")->isEnabled());
        client.prompt.Answer(IDOK);
    });
}

#include "HallAccountTest.moc"
