// The remote trace channel against a real loopback listener.

#include "platform/CodePage.h"
#include "protocol/Commands.h"
#include "protocol/LogClient.h"
#include "tests/support/Loopback.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

struct tagLogPacket {
    short command = 0;
    int code = -1;
    int length = -1;
    QByteArray text;
    int number = -1;
};

tagLogPacket Read(const tavotest::CPacketCopy& copy) {
    CKParam packet = copy.Loaded();
    tagLogPacket out;
    packet.GetShortInt(KEY_COMMAND, out.command);
    packet.GetInt(LogLineKey::CODE, out.code);
    packet.GetInt(LogLineKey::LENGTH, out.length);
    char* bytes = nullptr;
    unsigned short n = 0;
    if (packet.GetCharNC(LogLineKey::TEXT, &bytes, n) == 0) {
        out.text = QByteArray(bytes, n);
    }
    packet.GetInt(KEY_SEQUENCE, out.number);
    return out;
}

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
    EXPECT_EQ(m_client.Log(10, "CHall", "and again"), -1);
    m_client.SetMute(false);
    EXPECT_EQ(m_client.Log(11, "CHall", "third"), 0);
    ASSERT_TRUE(m_server.WaitFor(CMD_LOG_LINE, 3));

    const auto received = m_server.Received(CMD_LOG_LINE);
    ASSERT_EQ(received.size(), 3u);
    const tagLogPacket first = Read(received[0]);
    EXPECT_EQ(first.command, 1100);
    EXPECT_EQ(first.code, 7);
    EXPECT_EQ(first.text, QByteArray("CRoom:mic 2 of 3"));
    EXPECT_EQ(first.length, first.text.size());
    // The channel's own running number starts at 0 and counts only packets sent.
    EXPECT_EQ(first.number, 0);
    EXPECT_EQ(Read(received[1]).number, 1);
    EXPECT_EQ(Read(received[1]).text, EncodeCodePage(QStringLiteral("房间:进入失败"), CP_GBK));
    EXPECT_EQ(Read(received[1]).length, 13);
    EXPECT_EQ(Read(received[2]).number, 2);
    EXPECT_EQ(Read(received[2]).code, 11);
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
    EXPECT_EQ(Read(m_server.Received(CMD_LOG_LINE).at(0)).number, 0);
}

}  // namespace
