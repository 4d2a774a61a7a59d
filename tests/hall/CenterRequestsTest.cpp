// The request dialog and the center connection against a scripted hall server on loopback.

#include "hall/CenterSocket.h"
#include "hall/Response2Dlg.h"
#include "platform/StringTable.h"
#include "protocol/Commands.h"
#include "tests/hall/HallFixture.h"
#include "tests/support/TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tavotest;

namespace {

class CenterRequests : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Start());
        scope.state.center.host = "127.0.0.1";
        scope.state.center.tcpPort = static_cast<int>(server.Port());
    }

    // Runs the dialog for a request of the command, carrying one text field.
    int Run(CResponse2Dlg& dlg, short command) {
        CKParam request = Packet(command, {{30, "请求内容"}});
        dlg.SetCommand(command);
        dlg.SetRequest(request);
        return dlg.DoModal();
    }

    CTempConfig config;
    CScriptedUi ui;
    CStateScope scope;
    CLoopbackServer server;
};

// Records what a center connection hands its owner.
struct CReplyLog : IRequestOwner {
    std::vector<short> commands;
    void OnReply(CKParam& reply) override { commands.push_back(reply.Command()); }
};

TEST_F(CenterRequests, OnlyZeroInKey20IsSuccessAndRefusalsBecomeTexts) {
    struct Case {
        const char* name;
        bool hasResult;
        int result;
        int refusal;  // -1: no key 21
        int expected;
        QString text;
    };
    const std::vector<Case> cases = {
        {"zero without refusal", true, 0, -1, IDOK, QString()},
        {"zero with a refusal code", true, 0, 133, IDOK, QString()},
        {"one without refusal", true, 1, -1, IDCANCEL, "未知错误"},
        {"no result, room disabled", false, 0, 140, IDCANCEL, "房间被禁用"},
        {"room-style success is a refusal here", true, 5, 167, IDCANCEL, "用户没有发送视频数据"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.SetResponder([&](CTestConnection& peer, CKParam& request) {
            CKParam reply;
            reply.SetShortInt(KEY_COMMAND, CMD_LOGIN_REPLY);
            if (c.hasResult) {
                reply.SetInt(KEY_RESULT, c.result);
            }
            if (c.refusal >= 0) {
                reply.SetInt(KEY_REFUSAL, c.refusal);
            }
            reply.SetInt(30, 777);
            peer.KSend(reply);
        });
        CResponse2Dlg dlg;
        EXPECT_EQ(Run(dlg, CMD_LOGIN), c.expected);
        EXPECT_EQ(dlg.ErrorText(), c.text);
        if (c.expected == IDOK) {
            EXPECT_EQ(dlg.Reply().IntOr(30, 0), 777);
        }
    }
    // Every exchange went out whole on a connection of its own.
    const auto requests = server.Received(CMD_LOGIN);
    ASSERT_EQ(requests.size(), cases.size());
    EXPECT_TRUE(HasFields(requests.front(), {{30, "请求内容"}}));
    EXPECT_EQ(server.PeerCount(), static_cast<int>(cases.size()));
}

TEST_F(CenterRequests, SilentOrUnreachableServerEndsAfterFortySeconds) {
    CManualClock clock;
    CScopedClock clockScope(clock);
    CLoopbackServer dead;
    ASSERT_TRUE(dead.Start());
    const int deadPort = static_cast<int>(dead.Port());
    dead.Close();  // nothing listens there any more

    for (bool silent : {true, false}) {
        SCOPED_TRACE(silent ? "silent server" : "nobody listening");
        ui.prompt.Clear();
        scope.state.center.tcpPort = silent ? static_cast<int>(server.Port()) : deadPort;
        bool openBeforeDeadline = false;
        ui.dialogs.Script(CResponse2Dlg::IDD, [&](CDialogModel& d) {
            if (silent) {
                server.WaitFor(CMD_USER_INFO,
                               static_cast<int>(server.Received(CMD_USER_INFO).size()) + 1);
            } else {
                Spin(std::chrono::milliseconds(20));
            }
            clock.Advance(CResponse2Dlg::kTimeoutMs - 1);
            openBeforeDeadline = d.IsOpen() && ui.prompt.History().empty();
            clock.Advance(1);
        });
        CResponse2Dlg dlg;
        EXPECT_EQ(Run(dlg, CMD_USER_INFO), IDCANCEL);
        EXPECT_TRUE(openBeforeDeadline);
        EXPECT_TRUE(dlg.ErrorText().isEmpty());
        const auto shown = ui.prompt.History();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].text, "请求超时");
        EXPECT_EQ(shown[0].caption, "Warning");
        EXPECT_TRUE(shown[0].flags & MB_ICONINFORMATION);
        EXPECT_TRUE(shown[0].flags & MB_TOPMOST);
    }
}

TEST_F(CenterRequests, EnterEscapeAndUnknownCommandsDoNotEndTheWait) {
    // Enter and Escape are swallowed: only the reply ends the dialog.
    std::vector<CTestConnection*> waiting;
    server.SetResponder([&](CTestConnection& peer, CKParam&) { waiting.push_back(&peer); });
    bool stillOpen = false;
    ui.dialogs.Script(CResponse2Dlg::IDD, [&](CDialogModel& d) {
        ASSERT_TRUE(WaitUntil([&] { return !waiting.empty(); }));
        d.OnOK();
        d.OnCancel();
        Spin(std::chrono::milliseconds(20));
        stillOpen = d.IsOpen();
        waiting.front()->Send(Reply(CMD_USER_INFO_REPLY, 0));
    });
    CResponse2Dlg dlg;
    EXPECT_EQ(Run(dlg, CMD_USER_INFO), IDOK);
    EXPECT_TRUE(stillOpen);

    // A command the dialog does not run: no title, nothing sent, no time-out.
    bool quiet = false;
    ui.dialogs.Script(CResponse2Dlg::IDD, [&](CDialogModel& d) {
        Spin(std::chrono::milliseconds(50));
        quiet = d.Title().isEmpty() && !d.HasTimer(CResponse2Dlg::TIMER_TIMEOUT) &&
                server.PeerCount() == 1;
        d.EndDialog(IDCANCEL);
    });
    CResponse2Dlg unknown;
    EXPECT_EQ(Run(unknown, CMD_ROOM_ADDRESS), IDCANCEL);
    EXPECT_TRUE(quiet);
}

TEST_F(CenterRequests, ConfigurationPageLoadsThroughTheWebRoute) {
    CDocumentServer web;
    ASSERT_TRUE(web.Start());
    web.Put("/cfg.xml", QByteArrayLiteral("<ROOT><SERVER><IP>10.0.0.1</IP></SERVER></ROOT>"));
    QTemporaryDir dir;
    const QString local = dir.filePath("cfg.xml");
    ASSERT_TRUE(WriteFile(local, QByteArrayLiteral("<ROOT/>")));
    const QString emptyFile = dir.filePath("empty.xml");
    ASSERT_TRUE(WriteFile(emptyFile, QByteArray()));

    struct Case {
        QString address;
        int expected;
        QString text;
    };
    const std::vector<Case> cases = {
        {web.Url("/cfg.xml"), IDOK, "<ROOT><SERVER><IP>10.0.0.1</IP></SERVER></ROOT>"},
        {web.Url("/missing.xml"), IDCANCEL, QString()},
        {QStringLiteral("file://") + local, IDOK, "<ROOT/>"},
        {local, IDOK, "<ROOT/>"},
        {emptyFile, IDCANCEL, QString()},
        {dir.filePath("absent.xml"), IDCANCEL, QString()},
        {"about:blank", IDCANCEL, QString()},
        {QString(), IDCANCEL, QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address.toStdString());
        bool timerStarted = false;
        ui.dialogs.Script(CResponse2Dlg::IDD, [&](CDialogModel& d) {
            timerStarted = d.HasTimer(CResponse2Dlg::TIMER_TIMEOUT);
        });
        CResponse2Dlg dlg;
        dlg.SetCommand(CMD_CONFIG_PAGE);
        dlg.SetPageAddress(c.address);
        EXPECT_EQ(dlg.DoModal(), c.expected);
        EXPECT_EQ(dlg.PageText(), c.text);
        EXPECT_EQ(dlg.Title(), "获取配置信息");
        EXPECT_FALSE(timerStarted);
    }
    EXPECT_EQ(server.PeerCount(), 0);
}

TEST_F(CenterRequests, SecondRequestUsesTheOpenConnectionAndOneReplyClosesIt) {
    CReplyLog owner;
    CCenterSocket center(&owner);
    std::vector<CTestConnection*> peers;
    server.SetResponder([&](CTestConnection& peer, CKParam&) { peers.push_back(&peer); });

    CKParam first = Packet(CMD_USER_INFO);
    EXPECT_EQ(center.Request(first), 0);
    ASSERT_TRUE(WaitUntil([&] { return peers.size() == 1; }));
    CKParam second = Packet(CMD_ENTRY_INFO);
    EXPECT_EQ(center.Request(second), 0);
    ASSERT_TRUE(server.WaitFor(CMD_ENTRY_INFO));
    EXPECT_EQ(server.PeerCount(), 1);
    ASSERT_EQ(peers.size(), 2u);
    EXPECT_EQ(peers[0], peers[1]);

    peers[0]->Send(Reply(CMD_USER_INFO_REPLY, 0));
    ASSERT_TRUE(WaitUntil([&] { return !owner.commands.empty(); }));
    EXPECT_EQ(owner.commands, std::vector<short>{CMD_USER_INFO_REPLY});
    EXPECT_FALSE(center.IsConnect());
    EXPECT_TRUE(WaitUntil([&] { return peers[0]->closed; }));

    // A keep-alive from the server is not the owner's reply, but it still ends the exchange.
    peers.clear();
    EXPECT_EQ(center.Request(first), 0);
    ASSERT_TRUE(WaitUntil([&] { return peers.size() == 1; }));
    peers[0]->Send(Packet(CMD_KEEPALIVE));
    ASSERT_TRUE(WaitUntil([&] { return !center.IsConnect(); }));
    EXPECT_EQ(owner.commands.size(), 1u);
}

TEST_F(CenterRequests, CenterPortFollowsTheServerInformation) {
    // Before the server-information reply the configured port is used; afterwards its key 50.
    CLoopbackServer configured;
    ASSERT_TRUE(configured.Start());
    const auto answer = [](CTestConnection& peer, CKParam&) {
        peer.Send(Reply(CMD_PRESENCE_REPLY, 0));
    };
    configured.SetResponder(answer);
    server.SetResponder(answer);
    scope.state.center.tcpPort = 0;
    scope.state.settings.serverTcpPort = static_cast<int>(configured.Port());
    CReplyLog owner;
    CCenterSocket center(&owner, &scope.state);
    CKParam request = Packet(CMD_PRESENCE);
    center.Request(request);
    ASSERT_TRUE(WaitUntil([&] { return owner.commands.size() == 1; }));
    EXPECT_EQ(configured.Received(CMD_PRESENCE).size(), 1u);
    EXPECT_EQ(server.PeerCount(), 0);

    scope.state.center.tcpPort = static_cast<int>(server.Port());
    center.Request(request);
    ASSERT_TRUE(WaitUntil([&] { return owner.commands.size() == 2; }));
    EXPECT_EQ(server.Received(CMD_PRESENCE).size(), 1u);

    // No center host yet: nothing is sent and the socket is left idle.
    scope.state.center.host.clear();
    EXPECT_EQ(center.Request(request), 0);
    Spin(std::chrono::milliseconds(30));
    EXPECT_FALSE(center.IsCreated());
    EXPECT_EQ(server.Received(CMD_PRESENCE).size(), 1u);
    EXPECT_EQ(owner.commands.size(), 2u);
}

}  // namespace
