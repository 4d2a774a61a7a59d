// The second route to the hall: frames without the time field, replies routed by command, and
// the empty packet that ends a wait when the connection closes before its reply.

#include "hall/KWinSocketLogin.h"
#include "hall/Response2Dlg.h"
#include "protocol/Commands.h"
#include "protocol/FrameCodec.h"
#include "tests/hall/HallFixture.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using namespace tavotest;

namespace {

// Records what the route hands its owner, keeping each packet's bytes.
struct COwnerLog : IRequestOwner {
    std::vector<QByteArray> packets;
    void OnReply(CKParam& reply) override {
        packets.emplace_back(reply.GetBufferPtr(), reply.GetLength());
    }
    short CommandAt(size_t i) const {
        CKParam p;
        p.SetBufferPtr(packets.at(i).constData(), static_cast<int>(packets.at(i).size()));
        return p.Command();
    }
};

class SecondRoute : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(route.Start());
        scope.state.settings.serverIp = "127.0.0.1";
        scope.state.settings.serverPort = static_cast<int>(route.Port());
    }

    // Runs the request dialog for the server information over the second route.
    static int Run(CResponse2Dlg& dlg, CKWinSocketLogin& login) {
        CKParam request = Packet(CMD_SERVER_INFO);
        dlg.SetCommand(CMD_SERVER_INFO);
        dlg.SetRequest(request);
        dlg.SetSecondRoute(&login);
        return dlg.DoModal();
    }

    CTempConfig config;
    CScriptedUi ui;
    CStateScope scope;
    CLoopbackServer route{kRouteFrame};
};

TEST_F(SecondRoute, ServerInformationGoesOutWithoutTimeOrClockAndKeepsTheConnection) {
    route.SetResponder([](CTestConnection& peer, CKParam& request) {
        peer.Send(With(Reply(CMD_SERVER_INFO_REPLY, 0), {{30, "127.0.0.1"}}));
    });
    CKWinSocketLogin login;
    CResponse2Dlg dlg;
    ASSERT_EQ(Run(dlg, login), IDOK);
    EXPECT_EQ(dlg.Title(), "取服务器信息");
    EXPECT_EQ(dlg.Reply().TextOr(30), "127.0.0.1");

    // The server read our frame in the second route's framing: no clock field, sequence 1.
    const auto got = route.Received(CMD_SERVER_INFO);
    ASSERT_EQ(got.size(), 1u);
    CKParam sent = got[0].Loaded();
    int value = 0;
    EXPECT_NE(sent.GetInt(KEY_CLOCK, value), 0);
    EXPECT_EQ(sent.IntOr(KEY_SEQUENCE, 0), 1);

    // The owner's reply keeps the connection; anything else goes to the hall and closes it.
    EXPECT_TRUE(login.IsConnect());
    CKParam push = Packet(CMD_ROOM_ADDRESS_PUSH);
    route.LastPeer().KSend(push);
    EXPECT_TRUE(WaitUntil([&] { return !login.IsConnect(); }));
}

TEST_F(SecondRoute, ClosingBeforeAnyReplyEndsTheWaitAtOnceWithUnknownError) {
    CManualClock clock;  // never advanced: no time-out can be what ends the dialog
    CScopedClock clockScope(clock);
    route.SetResponder([](CTestConnection& peer, CKParam&) { peer.KClose(); });
    CKWinSocketLogin login;
    // The server hangs up before replying; then nothing listens at all.
    for (bool listening : {true, false}) {
        if (!listening) {
            route.Close();
        }
        CResponse2Dlg dlg;
        EXPECT_EQ(Run(dlg, login), IDCANCEL) << listening;
        EXPECT_EQ(dlg.ErrorText(), "未知错误");
    }
    EXPECT_TRUE(ui.prompt.History().empty());
}

TEST_F(SecondRoute, RoutesRepliesByCommand) {
    COwnerLog owner;
    CKWinSocketLogin login;
    login.SetOwner(&owner);
    CKParam request = Packet(CMD_SERVER_INFO);
    ASSERT_EQ(login.Connect("localhost", static_cast<int>(route.Port()), request), 0);
    ASSERT_TRUE(route.WaitFor(CMD_SERVER_INFO));

    // Every reply a request dialog waits for reaches the owner and keeps the connection.
    const std::vector<short> ownerReplies = {
        CMD_VERSION_REPLY,     CMD_LOGIN_REPLY,        CMD_USER_INFO_REPLY,
        CMD_CENTER_REPLY_66,   CMD_ENTRY_INFO_REPLY,   CMD_OWN_ROOMS_REPLY,
        CMD_CREATE_ROOM_REPLY, CMD_ROOM_FORMATS_REPLY, CMD_SERVER_INFO_REPLY};
    for (short command : ownerReplies) {
        route.LastPeer().Send(Reply(command, 0));
    }
    ASSERT_TRUE(WaitUntil([&] { return owner.packets.size() == ownerReplies.size(); }));
    for (size_t i = 0; i < ownerReplies.size(); ++i) {
        EXPECT_EQ(owner.CommandAt(i), ownerReplies[i]);
    }
    EXPECT_TRUE(login.IsConnect());

    // A keep-alive closes it; since replies came, the owner hears nothing more.
    CKParam keepAlive = Packet(CMD_KEEPALIVE);
    route.LastPeer().KSend(keepAlive);
    ASSERT_TRUE(WaitUntil([&] { return !login.IsConnect(); }));
    EXPECT_EQ(owner.packets.size(), ownerReplies.size());

    // Connecting again drops the earlier connection; a keep-alive before any reply leaves the
    // owner an empty packet.
    ASSERT_EQ(login.Connect("127.0.0.1", static_cast<int>(route.Port()), request), 0);
    ASSERT_TRUE(route.WaitForPeers(2));
    ASSERT_EQ(login.Connect("127.0.0.1", static_cast<int>(route.Port()), request), 0);
    ASSERT_TRUE(route.WaitForPeers(3));
    EXPECT_TRUE(WaitUntil([&] { return route.Peer(1).closed; }));
    ASSERT_TRUE(WaitUntil([&] { return route.Received(CMD_SERVER_INFO).size() == 3; }));
    route.LastPeer().KSend(keepAlive);
    ASSERT_TRUE(WaitUntil([&] { return owner.packets.size() == ownerReplies.size() + 1; }));
    EXPECT_TRUE(owner.packets.back().isEmpty());
}

}  // namespace
