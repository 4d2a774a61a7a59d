// Private chat through the reference service between console clients: an accepted invitation
// moves both into the private room, where they exchange lines and a gift, one hears the other
// speak and saves the file the other sends, and a file offered to a client that named no folder
// is refused. The refusals of an invitation are the room's and the service's tests', the
// private pictures the video road's.

#include "platform/audio/WavFile.h"
#include "tests/audio/AudioTestSupport.h"
#include "tests/e2e/ConsoleClient.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace tavotest;

namespace {

// The loudness of the loudest recording whose name starts so, in samples' units; 0 for none.
double LoudestRms(const QString& folder, const QString& prefix) {
    double loudest = 0;
    for (const QString& name : QDir(folder).entryList({prefix + "*.wav"}, QDir::Files)) {
        tagWavData heard;
        if (ReadWavFile(QDir(folder).filePath(name), heard) && heard.channels > 0) {
            loudest = std::max(
                loudest, audiotest::Rms(audiotest::Channel(heard.samples, heard.channels, 0)));
        }
    }
    return loudest;
}

}  // namespace

TEST(PrivateChatScript, AnAcceptedInvitationMovesBothIntoThePrivateRoomWhereTheyTalk) {
    if (QProcess::execute("sox", {"--version"}) != 0) {
        GTEST_SKIP() << "sox is not installed";
    }
    CServiceProcess service{QStringLiteral(TAVO_SERVERD)};
    ASSERT_TRUE(service.Running()) << service.Output().toStdString();
    QTemporaryDir dir;
    const QString speech = dir.filePath("speech.wav");
    ASSERT_EQ(QProcess::execute("sox", {"-n", "-r", "22050", "-c", "2", "-b", "16", speech, "synth",
                                        "4", "sine", "440", "sine", "660", "gain", "-6"}),
              0);
    // A megabyte and a bit, so that the file takes many chunks and the last one is short.
    const QString sent = dir.filePath("papers.bin");
    const QByteArray digest = WriteRandomFile(sent, 1024 * 1024 + 1234, 14);
    ASSERT_FALSE(digest.isEmpty());
    const QString saveIn = dir.filePath("bob-files");
    ASSERT_TRUE(QDir().mkpath(saveIn));

    CConsoleClient bob(
        service,
        "record " + dir.filePath("bob-heard.wav") + "\nsave-files " + saveIn +
            "\nlogin bob bob123\nwait-line 登陆成功 10\nanswer accept\nenter 1001\nwait-line "
            "window open 15\nwait-line 爱丽丝私聊中 40\nwait-line 文件已接收:papers.bin 30\n"
            "say 你好 alice\nwait-line hello bob 15\nsend-file " +
            sent + "\nwait-line 对方没有接收文件:papers.bin 15\nsleep 5\nvoice-status\nleave\n");
    CConsoleClient alice(
        service,
        InRoom("alice", "alice123",
               "wait-line 2人 30\ninvite bob 聊聊\nwait-line 鲍勃私聊中 30\nsend-file " + sent +
                   "\nspeak " + speech +
                   "\nwait-line 你好 alice 15\nsay hello bob\ngift bob 1001\nwait-line 赠送了 15\n"
                   "wait-line 对方离开了房间 30\nleave\n"));
    ASSERT_TRUE(EndedWell(alice, bob, 90s));
    const QString a = alice.Text();
    const QString b = bob.Text();
    EXPECT_TRUE(a.contains("私聊请求:对方已接受")) << a.toStdString();
    EXPECT_TRUE(b.contains("爱丽丝悄悄地对你说:hello bob")) << b.toStdString();
    EXPECT_TRUE(a.contains("鲍勃悄悄地对你说:你好 alice")) << a.toStdString();
    // A gift in the private room: both see it, named and valued, and the giver paid for it.
    const QString gift = "爱丽丝(alice) 赠送了 玫瑰(价值10塔沃币) 给 鲍勃(bob)";
    EXPECT_TRUE(a.contains(gift)) << a.toStdString();
    EXPECT_TRUE(b.contains(gift)) << b.toStdString();
    // Four seconds of speech are sixteen blocks; most of them are heard, and loud.
    const qsizetype at = b.indexOf("voice received ");
    ASSERT_GE(at, 0) << b.toStdString();
    const int played = b.mid(at).section(' ', 4, 4).toInt();
    EXPECT_GE(played, 8) << b.mid(at, 60).toStdString();
    EXPECT_GT(LoudestRms(dir.path(), "bob-heard"), 0.05 * 32768);
    // Each client listens on an address of its own and both connect out; whichever link is
    // confirmed first carries the file, and the other attempt may be dropped before it reports.
    EXPECT_TRUE(a.contains("主动P2P连接成功!") || b.contains("主动P2P连接成功!"))
        << a.toStdString() << b.toStdString();
    EXPECT_TRUE(a.contains("文件已发送:papers.bin")) << a.toStdString();
    // Each side follows the file in tenths at most.
    for (const QString& out : {a, b}) {
        const qsizetype lines =
            out.count(QRegularExpression("file (sending|receiving) papers.bin"));
        EXPECT_GE(lines, 2) << out.toStdString();
        EXPECT_LE(lines, 11) << out.toStdString();
    }
    // Alice never said where files go: Bob's offer was refused, and nothing was saved.
    EXPECT_TRUE(b.contains("对方没有接收文件:papers.bin")) << b.toStdString();
    EXPECT_FALSE(a.contains("文件已接收")) << a.toStdString();
    EXPECT_EQ(Sha256Of(QDir(saveIn).filePath("papers.bin")), digest) << b.toStdString();
    // Nothing but the file is left in the folder: no temporary name outlived the transfer.
    EXPECT_EQ(FolderNames(saveIn), QStringList{"papers.bin"});
}
