// The direct link between a private pair on loopback, each end on an address of its own
// on loopback so both listen on 26487.

#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "protocol/Commands.h"
#include "tests/room/DirectLinkSupport.h"
#include "tests/support/Loopback.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace tavotest;

namespace {

bool Has(const std::vector<short>& codes, short code) {
    return std::ranges::count(codes, code) > 0;
}

void SendOn(CSocketClient& link, short code) {
    CKParam packet = Packet(code, {{20, 1}});
    link.KSend(packet);
}

}  // namespace

TEST(DirectLink, EitherSideConnectsAndTheConfirmedLinkCarriesMediaOnly) {
    tagLinkEnd a(LinkAddress(2));
    tagLinkEnd b(LinkAddress(3));
    ASSERT_TRUE(a.Listen() && b.Listen());

    ASSERT_TRUE(a.ConnectTo(b));
    EXPECT_EQ(a.notices, std::vector<QString>{LoadString(IDS_P2P_CONNECTED_OUT)});
    EXPECT_EQ(b.notices, std::vector<QString>{LoadString(IDS_P2P_CONNECTED_IN)});
    EXPECT_EQ(b.accepted.PeerAddress(), a.address);

    // Video goes over the link, not the second room connection, while the link stands.
    CTestConnection second;
    EXPECT_EQ(MediaPath(a.outgoing, a.accepted, second), &a.outgoing);
    EXPECT_EQ(MediaPath(b.outgoing, b.accepted, second), &b.accepted);

    // Voice and video reach the private room; a room command on the link does not.
    for (short code : {CMD_TEXT, CMD_VIDEO, CMD_GIFT, CMD_AUDIO}) {
        SendOn(a.outgoing, code);
    }
    ASSERT_TRUE(WaitUntil([&] { return b.handed.size() >= 2; }));
    Spin(std::chrono::milliseconds(50));
    EXPECT_EQ(b.handed, (std::vector<short>{CMD_VIDEO, CMD_AUDIO}));

    // The other way round, over the link B opens.
    ASSERT_TRUE(b.ConnectTo(a));
    SendOn(b.outgoing, CMD_AUDIO);
    ASSERT_TRUE(WaitUntil([&] { return Has(a.handed, CMD_AUDIO); }));

    // Closing says so to the peer, and the media path falls back to the room.
    a.outgoing.Shutdown();
    ASSERT_TRUE(WaitUntil([&] { return b.accepted.State() == CP2PSocket::P2P_IDLE; }));
    EXPECT_EQ(b.notices.back(), LoadString(IDS_P2P_CLOSED));
    EXPECT_EQ(MediaPath(a.outgoing, a.accepted, second), &a.accepted);
    a.accepted.Shutdown();
    EXPECT_EQ(MediaPath(a.outgoing, a.accepted, second), nullptr);
}

TEST(DirectLink, NothingFromAPeerThatDidNotConfirmIsActedOn) {
    tagLinkEnd a(LinkAddress(2));
    ASSERT_TRUE(a.Listen());
    CTestConnection stranger;
    stranger.KCreate();
    ASSERT_TRUE(stranger.KConnect(a.address, CP2PSocket::kPort) == 0 &&
                WaitUntil([&] { return stranger.connected; }));
    ASSERT_TRUE(WaitUntil([&] { return a.accepted.State() == CP2PSocket::P2P_UNCONFIRMED; }));

    stranger.Send(Packet(CMD_VIDEO, {{20, 1}}));
    stranger.Send(Packet(CMD_AUDIO, {{20, 1}}));
    stranger.Send(Packet(CMD_P2P_CLOSE));
    Spin(std::chrono::milliseconds(100));
    EXPECT_TRUE(a.handed.empty());
    EXPECT_TRUE(a.notices.empty());
    EXPECT_EQ(a.accepted.State(), CP2PSocket::P2P_UNCONFIRMED);

    stranger.Send(Packet(CMD_P2P_CONFIRM));
    stranger.Send(Packet(CMD_AUDIO, {{20, 1}}));
    ASSERT_TRUE(WaitUntil([&] { return !a.handed.empty(); }));
    EXPECT_EQ(a.accepted.State(), CP2PSocket::P2P_ESTABLISHED);
    EXPECT_EQ(a.handed, std::vector<short>{CMD_AUDIO});
    EXPECT_EQ(a.notices, std::vector<QString>{LoadString(IDS_P2P_CONNECTED_IN)});
}

TEST(DirectLink, TheTargetIsChosenFromTheReportedAndLocalAddresses) {
    // Behind the same address: the peer's own address on the shared network.
    EXPECT_EQ(P2PTarget("203.0.113.7", "203.0.113.7", "192.168.1.20"), "192.168.1.20");
    // The peer is reachable as it is: the address the service saw.
    EXPECT_EQ(P2PTarget("198.51.100.4", "203.0.113.7", "203.0.113.7"), "203.0.113.7");
    // Behind somebody else's translation: no attempt from this side.
    EXPECT_EQ(P2PTarget("198.51.100.4", "203.0.113.7", "10.0.0.5"), QString());

    tagLinkEnd a(LinkAddress(2));
    EXPECT_EQ(a.outgoing.ConnectTo(P2PTarget("198.51.100.4", "203.0.113.7", "10.0.0.5")), -1);
    EXPECT_EQ(a.outgoing.State(), CP2PSocket::P2P_IDLE);

    // Only an idle link connects out.
    tagLinkEnd b(LinkAddress(3));
    ASSERT_TRUE(b.Listen());
    ASSERT_TRUE(a.ConnectTo(b));
    EXPECT_EQ(a.outgoing.ConnectTo(b.address, a.address), -1);
    EXPECT_TRUE(a.outgoing.IsEstablished());
}
