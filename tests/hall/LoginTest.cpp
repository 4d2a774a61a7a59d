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
        answers[CMD_LOGIN] = [=](CLoopbackPeer& peer, CKParam&) {
            CKParam reply;
            reply.SetShortInt(KEY_COMMAND, CMD_LOGIN_REPLY);
            reply.SetInt(KEY_RESULT, result);
            if (refusal) {
                reply.SetInt(KEY_REFUSAL, refusal);
            }
            reply.SetInt(30, number);
            reply.SetCString(40, name);
            peer.KSend(reply);
        };
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

TEST_F(Login, WrongPasswordShowsOneJoinedMessageAndKeepsTheDialogOpen) {
    AnswerLogin(1, 133);
    bool stillOpen = false;
    QString userAfter, passwordAfter;
    ScriptLogin([&](CLoginDlg& dlg) {
        Type(dlg, QStringLiteral("alice"), QStringLiteral("wrong"));
        dlg.OnOK();
        stillOpen = dlg.IsOpen();
        userAfter = dlg.UserId();
        passwordAfter = dlg.Password();
        dlg.EndDialog(IDCANCEL);
    });
    RunHall([&] {
        ASSERT_TRUE(WaitUntil([&] { return !state.account.visitorName.isEmpty(); }));
        hall->OnLogin();
    });
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(userAfter, QStringLiteral("alice"));
    EXPECT_EQ(passwordAfter, QStringLiteral("wrong"));
    EXPECT_EQ(ui.prompt.Texts(), QStringList({QStringLiteral("登陆失败.用户名或密码错")}));
    EXPECT_TRUE(state.account.loginName.isEmpty());

    // The server read the whole request: the credential text, the user number the visitor
    // reply gave, and the identity fields.
    CKParam request;
    ASSERT_TRUE(LastReceived(CMD_LOGIN, request));
    EXPECT_EQ(Credentials(request), QStringLiteral("alice wrong 游客1"));
    EXPECT_EQ(request.IntOr(40, 0), 500);
    EXPECT_EQ(request.TextOr(104), QStringLiteral("标识"));
    EXPECT_EQ(request.IntOr(105, 0), 77);
    EXPECT_EQ(request.TextOr(106), QStringLiteral("00-1A-2B-3C-4D-5E"));
}

TEST_F(Login, PressesWithinFiveSecondsAndEmptyFieldsSendNothing) {
    AnswerLogin(1, 133);
    ScriptLogin([&](CLoginDlg& dlg) {
        Type(dlg, QStringLiteral("alice"), QStringLiteral("wrong"));
        dlg.OnOK();  // refused by the server
        dlg.OnOK();  // at once again: the interval message, nothing sent
        clock.Advance(4999);
        dlg.OnOK();  // still too soon
        clock.Advance(1);
        Type(dlg, QString(), QStringLiteral("pw"));
        dlg.OnOK();  // empty account: asked for it by its configured label
        clock.Advance(5000);
        Type(dlg, QStringLiteral("alice"), QString());
        dlg.OnOK();  // empty password
        dlg.OnOK();  // the empty press counted as an attempt
        dlg.EndDialog(IDCANCEL);
    });
    state.settings.sysIdName = QStringLiteral("账号");
    RunHall([&] { hall->OnLogin(); });
    const QString interval = QStringLiteral("登陆时间间隔不得少于5秒");
    EXPECT_EQ(ui.prompt.Texts(),
              QStringList({QStringLiteral("登陆失败.用户名或密码错"), interval, interval,
                           QStringLiteral("请输入账号"), QStringLiteral("请输入密码"), interval}));
    EXPECT_EQ(center.Received(CMD_LOGIN).size(), 1u);
    for (const auto& shown : ui.prompt.History()) {
        EXPECT_EQ(shown.caption, QStringLiteral("Warning"));
    }
}

TEST_F(Login, AccountNameFromTheReplyReplacesWhatWasTypedAndIsKept) {
    AnswerLogin(0, 0, QStringLiteral("Alice"), 1001);
    AnswerWith(CMD_OWN_ROOMS, CMD_OWN_ROOMS_REPLY, [](CKParam& reply) { reply.SetInt(30, 0); });
    state.settings.urlHallCaseList = QStringLiteral("http://web.example/case.asp");
    ScriptLogin([](CLoginDlg& dlg) {
        EXPECT_TRUE(dlg.UserId().isEmpty());  // no LoginID yet
        Type(dlg, QStringLiteral("ALICE"), QStringLiteral("秘密pw"));
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
    EXPECT_EQ(state.account.loginName, QStringLiteral("Alice"));
    EXPECT_EQ(state.account.userNumber, 1001);
    EXPECT_EQ(CAppProfile::GetProfileString(QStringLiteral("Main"), QStringLiteral("LoginID")),
              QStringLiteral("Alice"));
    EXPECT_EQ(ui.prompt.Texts().value(0), QStringLiteral("登陆成功."));
    const QByteArray ansi = QByteArray::fromHex("c3d8c3dc7077");  // "秘密pw" in GBK
    EXPECT_EQ(state.account.passwordDigest,
              QString::fromLatin1(
                  QCryptographicHash::hash(ansi, QCryptographicHash::Md5).toHex().toUpper()));
    EXPECT_EQ(view.panels[EHallPanel::CaseList],
              QStringLiteral("http://web.example/case.asp?u=Alice"));
    EXPECT_EQ(view.panels.count(EHallPanel::UserHead), 0u);  // edition 70 only

    CKParam ownRooms;
    ASSERT_TRUE(LastReceived(CMD_OWN_ROOMS, ownRooms));
    EXPECT_EQ(ownRooms.TextOr(20), QStringLiteral("Alice"));
    EXPECT_EQ(ownRooms.IntOr(30, 0), 1001);

    // The next login dialog starts from the kept name.
    QString preset;
    ScriptLogin([&](CLoginDlg& dlg) {
        preset = dlg.UserId();
        dlg.EndDialog(IDCANCEL);
    });
    state.account.loginName.clear();
    CTavoClientDlg again(state, view, nullptr);
    ui.dialogs.Script(CTavoClientDlg::IDD, [&](CDialogModel& d) {
        clock.Advance(5000);
        again.OnLogin();
        d.EndDialog(IDOK);
    });
    again.DoModal();
    EXPECT_EQ(preset, QStringLiteral("Alice"));
}

TEST_F(Login, CredentialBlockIsPaddedToWholeCipherBlocks) {
    // Without a visitor name the text is "user password " with its trailing blank.
    Silence(CMD_VISITOR);
    AnswerLogin(1, 133);
    int step = 0;
    ui.dialogs.Default(CLoginDlg::IDD, [&](CDialogModel& d) {
        auto& dlg = static_cast<CLoginDlg&>(d);
        if (step == 0) {
            Type(dlg, QStringLiteral("abcdefg"), QStringLiteral("hijklmn"));  // 16 bytes
        } else {
            Type(dlg, QStringLiteral("abcdefgh"), QStringLiteral("hijklmn"));  // 17 bytes
        }
        ++step;
        dlg.OnOK();
        dlg.EndDialog(IDCANCEL);
    });
    RunHall([&] {
        hall->OnLogin();
        clock.Advance(5000);
        hall->OnLogin();
    });
    const auto requests = center.Received(CMD_LOGIN);
    ASSERT_EQ(requests.size(), 2u);
    CKParam first, second;
    requests[0].Load(first);
    requests[1].Load(second);
    int size = 0;
    EXPECT_EQ(Credentials(first, &size), QStringLiteral("abcdefg hijklmn "));
    EXPECT_EQ(size, 16);
    EXPECT_EQ(first.IntOr(20, 0), 16);
    EXPECT_EQ(Credentials(second, &size), QStringLiteral("abcdefgh hijklmn "));
    EXPECT_EQ(size, 32);
    EXPECT_EQ(second.IntOr(20, 0), 17);
    EXPECT_EQ(first.IntOr(40, 0), -1);  // no number yet
}

TEST_F(Login, LoggingInWhileLoggedInLogsOutFirst) {
    AnswerWith(CMD_LOGOUT, CMD_LOGOUT_REPLY,
               [](CKParam& reply) { reply.SetCString(30, QStringLiteral("游客2")); });
    state.account.loginName = QStringLiteral("Alice");
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
    CKParam logout;
    ASSERT_TRUE(LastReceived(CMD_LOGOUT, logout));
    EXPECT_EQ(logout.TextOr(20), QStringLiteral("Alice"));
    EXPECT_EQ(logout.IntOr(30, 0), 1001);
    EXPECT_EQ(logout.TextOr(40), QStringLiteral("小明"));
    EXPECT_EQ(logout.TextOr(106), QStringLiteral("00-1A-2B-3C-4D-5E"));
    EXPECT_TRUE(state.account.loginName.isEmpty());
    EXPECT_EQ(state.account.visitorName, QStringLiteral("游客2"));
    EXPECT_TRUE(state.userRooms.first.empty());
}

TEST_F(Login, RefusedLogoutAndSilentServer) {
    answers[CMD_LOGOUT] = [](CLoopbackPeer& peer, CKParam&) {
        CKParam reply;
        MakeRefusal(reply, CMD_LOGOUT_REPLY, -1, 136);
        peer.KSend(reply);
    };
    state.account.loginName = QStringLiteral("Alice");
    RunHall([&] {
        hall->OnLogin();
        EXPECT_TRUE(WaitUntil([&] { return !ui.prompt.Texts().isEmpty(); }));
    });
    EXPECT_EQ(ui.prompt.Texts(), QStringList({QStringLiteral("非法操作")}));
    EXPECT_EQ(state.account.loginName, QStringLiteral("Alice"));
    EXPECT_EQ(ui.dialogs.Count(CLoginDlg::IDD), 0);

    // No answer at all: the request dialog's time-out, then the login's own failure text.
    ui.prompt.Clear();
    state.account.loginName.clear();
    Silence(CMD_LOGIN);
    ScriptLogin([&](CLoginDlg& dlg) {
        Type(dlg, QStringLiteral("alice"), QStringLiteral("pw"));
        dlg.OnOK();
        dlg.EndDialog(IDCANCEL);
    });
    ui.dialogs.Script(CResponse2Dlg::IDD, [](CDialogModel&) {});  // the server information
    ui.dialogs.Script(CResponse2Dlg::IDD, [&](CDialogModel&) {
        center.WaitFor(CMD_LOGIN);
        clock.Advance(40000);
    });
    CTavoClientDlg again(state, view, nullptr);
    ui.dialogs.Script(CTavoClientDlg::IDD, [&](CDialogModel& d) {
        again.OnLogin();
        d.EndDialog(IDOK);
    });
    again.DoModal();
    EXPECT_EQ(ui.prompt.Texts(),
              QStringList({QStringLiteral("请求超时"), QStringLiteral("登陆失败.")}));
}

}  // namespace
