// The remote trace channel against a real loopback listener.

#include "platform/CodePage.h"
#include "protocol/Commands.h"
#include "protocol/LogClient.h"
#include "tests/support/PacketFields.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using namespace tavotest;

namespace {

class LogClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_server.Start());
        ASSERT_EQ(m_client.KCreate(), 0);
        ASSERT_EQ(m_client.KConnect(QStringLiteral("127.0.0.1"), static_cast<int>(m_server.Port())),
                  0);
        ASSERT_TRUE(m_server.WaitForPeers(1));
        ASSERT_TRUE(tavotest::WaitUntil([&] { return m_client.IsConnect(); }));
    }
    void TearDown() override { SetAnsiCodePage(m_codePage); }

    int m_codePage = AnsiCodePage();
    tavotest::CLoopbackServer m_server;
    CLogClient m_client;
};

// Sends nothing until enabled, and the text in the ANSI code page.
TEST_F(LogClientTest, SendsNothingUntilEnabledAndTheTextInTheAnsiCodePage) {
    SetAnsiCodePage(CP_GBK);
    EXPECT_FALSE(m_client.IsEnabled());
    EXPECT_EQ(m_client.Log(1, "CRoom", "muted %d", 1), -1);
    m_client.SetMute(false);
    EXPECT_TRUE(m_client.IsEnabled());
    EXPECT_EQ(m_client.Log(7, "CRoom", "mic %d of %s", 2, "3"), 0);
    EXPECT_EQ(m_client.Log(8, "房间", "进入%s", "失败"), 0);
    m_client.SetMute(true);
    EXPECT_EQ(m_client.Log(9, "CHall", "muted again"), -1);
    m_client.SetMute(false);
    EXPECT_EQ(m_client.Log(11, "CHall", "third"), 0);
    ASSERT_TRUE(m_server.WaitFor(CMD_LOG_LINE, 3));

    const auto received = m_server.Received(CMD_LOG_LINE);
    ASSERT_EQ(received.size(), 3u);
    // The channel's own running number starts at 0 and counts only packets sent.
    EXPECT_TRUE(HasFields(received[0], {{KEY_COMMAND, short{1100}},
                                        {LogLineKey::CODE, 7},
                                        {LogLineKey::LENGTH, 16},
                                        {KEY_SEQUENCE, 0}}));
    EXPECT_EQ(BytesOf(received[0], LogLineKey::TEXT), QByteArray("CRoom:mic 2 of 3"));
    EXPECT_TRUE(HasFields(received[1], {{LogLineKey::LENGTH, 13}, {KEY_SEQUENCE, 1}}));
    EXPECT_EQ(BytesOf(received[1], LogLineKey::TEXT),
              EncodeCodePage(QStringLiteral("房间:进入失败"), CP_GBK));
    EXPECT_TRUE(HasFields(received[2], {{LogLineKey::CODE, 11}, {KEY_SEQUENCE, 2}}));
}

TEST_F(LogClientTest, ServerWordsChangeNothing) {
    m_client.SetMute(false);
    int sent = 0;
    for (const char* word : {"GetUsers", "goBACK", "other"}) {
        CKParam packet;
        packet.SetShortInt(KEY_COMMAND, CMD_LOG_LINE);
        packet.SetChar(LogLineKey::WORD, word, static_cast<unsigned short>(qstrlen(word)));
        packet.SetChar(LogLineKey::WORD_ARG1, "a", 1);
        packet.SetChar(LogLineKey::WORD_ARG2, "b", 1);
        ASSERT_EQ(m_server.LastPeer().KSend(packet), 0);
        sent += packet.GetLength() + 10;  // the frame around the packet
    }
    ASSERT_TRUE(tavotest::WaitUntil([&] { return m_client.GetAllRecvCount() >= sent; }));
    EXPECT_TRUE(m_client.IsConnect());
    EXPECT_TRUE(m_client.IsEnabled());
    ASSERT_EQ(m_client.Log(1, "T", "still here"), 0);
    ASSERT_TRUE(m_server.WaitFor(CMD_LOG_LINE));
    EXPECT_EQ(IntOf(m_server.Received(CMD_LOG_LINE).at(0), KEY_SEQUENCE), 0);
}

}  // namespace
