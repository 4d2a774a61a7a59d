// Logging in and out against a scripted hall server: the enciphered credential block, refusals
// and intervals, the account's own name, and logging in while logged in.

#include "hall/LoginDlg.h"
#include "hall/Response2Dlg.h"
#include "platform/CodePage.h"
#include "platform/Profile.h"
#include "protocol/LoginCipher.h"
#include "tests/hall/HallFixture.h"

#include <QCryptographicHash>

using namespace tavotest;

namespace {

class Login : public HallFixture {
protected:
    // Runs the login dialog from the hall; act plays the user inside it.
    void ScriptLogin(const std::function<void(CLoginDlg&)>& act) {
        ui.dialogs.Script(CLoginDlg::IDD,
                          [act](CDialogModel& d) { act(static_cast<CLoginDlg&>(d)); });
    }

    static void Type(CLoginDlg& dlg, const QString& user, const QString& password) {
        dlg.SetUserId(user);
        dlg.SetPassword(password);
    }

    void AnswerLogin(int result, int refusal, const QString& name = QString(), int number = 0) {
        center.Answer(CMD_LOGIN, [=](CTestConnection& peer, CKParam&) {
            peer.Send(With(Reply(CMD_LOGIN_REPLY, result, refusal), {{30, number}, {40, name}}));
        });
    }

    // The credential text the server reads out of a login request, cut at key 20.
    static QString Credentials(const CKParam& request, int* blockSize = nullptr) {
        char* block = nullptr;
        unsigned short n = 0;
        if (request.GetCharNC(30, &block, n) != 0) {
            return QString();
        }
        if (blockSize) {
            *blockSize = n;
        }
        const QByteArray plain = DecipherCredentials(QByteArray(block, n));
        return DecodeCodePage(plain, CP_GBK).left(request.IntOr(20, 0));
    }
};

// A refused login keeps the dialog open with what was typed and shows one joined message;
// presses within five seconds of the last and empty fields send nothing.
TEST_F(Login, ARefusalKeepsTheDialogAndPressesTooSoonOrEmptySendNothing) {
    AnswerLogin(1, 133);
    bool stillOpen = false;
    QString userAfter, passwordAfter;
    ScriptLogin([&](CLoginDlg& dlg) {
        Type(dlg, "alice", "wrong");
        dlg.OnOK();  // refused by the server
        stillOpen = dlg.IsOpen();
        userAfter = dlg.UserId();
        passwordAfter = dlg.Password();
        clock.Advance(4999);
        dlg.OnOK();  // still too soon
        clock.Advance(1);
        Type(dlg, QString(), "pw");
        dlg.OnOK();  // empty account: asked for it by its configured label
        clock.Advance(5000);
        Type(dlg, "alice", QString());
        dlg.OnOK();  // empty password
        dlg.OnOK();  // the empty press counted as an attempt
        dlg.EndDialog(IDCANCEL);
    });
    state.settings.sysIdName = "账号";
    RunHall([&] {
        ASSERT_TRUE(WaitUntil([&] { return !state.account.visitorName.isEmpty(); }));
        hall->OnLogin();
    });
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(userAfter, "alice");
    EXPECT_EQ(passwordAfter, "wrong");
    EXPECT_TRUE(state.account.loginName.isEmpty());
    const QString interval = "登陆时间间隔不得少于5秒";
    EXPECT_EQ(ui.prompt.Texts(), QStringList({"登陆失败.用户名或密码错", interval, "请输入账号",
                                              "请输入密码", interval}));
    // The server read one whole request: the credential text, the user number the visitor
    // reply gave, and the identity fields.
    ASSERT_EQ(center.Received(CMD_LOGIN).size(), 1u);
    CKParam request;
    ASSERT_TRUE(center.Last(CMD_LOGIN, request));
    EXPECT_EQ(Credentials(request), "alice wrong 游客1");
    EXPECT_TRUE(
        HasFields(request, {{40, 500}, {104, "标识"}, {105, 77}, {106, "00-1A-2B-3C-4D-5E"}}));
}

TEST_F(Login, AccountNameFromTheReplyReplacesWhatWasTypedAndIsKept) {
    AnswerLogin(0, 0, "Alice", 1001);
    center.AnswerWith(CMD_OWN_ROOMS, CMD_OWN_ROOMS_REPLY, {{30, 0}});
    state.settings.urlHallCaseList = "http://web.example/case.asp";
    ScriptLogin([](CLoginDlg& dlg) {
        EXPECT_TRUE(dlg.UserId().isEmpty());  // no LoginID yet
        Type(dlg, "ALICE", "秘密pw");
        dlg.OnOK();
    });
    RunHall([&] {
        ASSERT_TRUE(WaitUntil([&] { return !state.account.visitorName.isEmpty(); }));
        hall->OnLogin();
        EXPECT_TRUE(center.Received(CMD_OWN_ROOMS).empty());  // not before the short wait
        clock.Advance(100);
        EXPECT_TRUE(center.WaitFor(CMD_OWN_ROOMS));
        EXPECT_TRUE(center.WaitFor(CMD_ROOM_LIST));
    });
    EXPECT_EQ(state.account.loginName, "Alice");
    EXPECT_EQ(state.account.userNumber, 1001);
    EXPECT_EQ(CAppProfile::GetProfileString("Main", "LoginID"), "Alice");
    EXPECT_EQ(ui.prompt.Texts().value(0), "登陆成功.");
    const QByteArray ansi = QByteArray::fromHex("c3d8c3dc7077");  // "秘密pw" in GBK
    EXPECT_EQ(state.account.passwordDigest,
              QString::fromLatin1(
                  QCryptographicHash::hash(ansi, QCryptographicHash::Md5).toHex().toUpper()));
    EXPECT_EQ(view.panels[EHallPanel::CaseList], "http://web.example/case.asp?u=Alice");
    EXPECT_EQ(view.panels.count(EHallPanel::UserHead), 0u);  // edition 70 only

    EXPECT_TRUE(CenterGot(CMD_OWN_ROOMS, {{20, "Alice"}, {30, 1001}}));

    // The next login dialog starts from the kept name.
    QString preset;
    ScriptLogin([&](CLoginDlg& dlg) {
        preset = dlg.UserId();
        dlg.EndDialog(IDCANCEL);
    });
    state.account.loginName.clear();
    NewHall();
    RunHall([&] {
        clock.Advance(5000);
        hall->OnLogin();
    });
    EXPECT_EQ(preset, "Alice");
}

TEST_F(Login, LoggingInWhileLoggedInLogsOutFirst) {
    center.AnswerWith(CMD_LOGOUT, CMD_LOGOUT_REPLY, {{30, "游客2"}});
    state.account.loginName = "Alice";
    state.account.userNumber = 1001;
    state.userRooms.first = {101};
    int opened = 0;
    ScriptLogin([&](CLoginDlg& dlg) {
        ++opened;
        dlg.EndDialog(IDCANCEL);
    });
    RunHall([&] {
        hall->OnLogin();
        EXPECT_EQ(opened, 0);  // not before the logout reply
        ASSERT_TRUE(center.WaitFor(CMD_LOGOUT));
        EXPECT_TRUE(WaitUntil([&] { return opened == 1; }));
    });
    EXPECT_TRUE(CenterGot(CMD_LOGOUT,
                          {{20, "Alice"}, {30, 1001}, {40, "小明"}, {106, "00-1A-2B-3C-4D-5E"}}));
    EXPECT_TRUE(state.account.loginName.isEmpty());
    EXPECT_EQ(state.account.visitorName, "游客2");
    EXPECT_TRUE(state.userRooms.first.empty());
}

TEST_F(Login, RefusedLogoutAndSilentServer) {
    center.Answer(CMD_LOGOUT, [](CTestConnection& peer, CKParam&) {
        peer.Send(Reply(CMD_LOGOUT_REPLY, -1, 136));
    });
    state.account.loginName = "Alice";
    RunHall([&] {
        hall->OnLogin();
        EXPECT_TRUE(WaitUntil([&] { return !ui.prompt.Texts().isEmpty(); }));
    });
    EXPECT_EQ(ui.prompt.Texts(), QStringList({"非法操作"}));
    EXPECT_EQ(state.account.loginName, "Alice");
    EXPECT_EQ(ui.dialogs.Count(CLoginDlg::IDD), 0);

    // No answer at all: the request dialog's time-out, then the login's own failure text.
    ui.prompt.Clear();
    state.account.loginName.clear();
    center.Silence(CMD_LOGIN);
    ScriptLogin([&](CLoginDlg& dlg) {
        Type(dlg, "alice", "pw");
        dlg.OnOK();
        dlg.EndDialog(IDCANCEL);
    });
    ui.dialogs.Script(CResponse2Dlg::IDD, [](CDialogModel&) {});  // the server information
    ui.dialogs.Script(CResponse2Dlg::IDD, [&](CDialogModel&) {
        center.WaitFor(CMD_LOGIN);
        clock.Advance(40000);
    });
    NewHall();
    RunHall([&] { hall->OnLogin(); });
    EXPECT_EQ(ui.prompt.Texts(), QStringList({"请求超时", "登陆失败."}));
}

}  // namespace
