// Private chat through the reference service between console clients: an accepted invitation
// moves both into the private room, where they exchange lines and a gift, one hears the other
// speak, sees the other's camera and saves the file the other sends, and a file offered to a client
// that named no folder is refused; an invitation to a hidden room window, one below the invitee's
// threshold and one sent too soon after the last are refused with their texts.

#include "tests/support/ServiceProcess.h"
#include "tests/support/TestSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

using namespace std::chrono_literals;
using namespace tavotest;

namespace {

struct CClient {
    CClient(const CServiceProcess& service, const QTemporaryDir& dir, const QString& name,
            const QByteArray& script) {
        QFile file(dir.filePath(name + ".tavo"));
        if (file.open(QIODevice::WriteOnly)) {
            file.write(script);
        }
        file.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TAVO_CONFIG_HOME", dir.filePath(name + "-config"));
        env.remove("TAVO_AUDIO");
        env.insert("TAVO_VIDEO_SOURCE", "videotestsrc pattern=ball is-live=true");
        GiveLinkAddress(env);
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setWorkingDirectory(dir.path());
        process.start(QStringLiteral(TAVO_CLI), {"--config-url", service.ConfigUrl(), "--server",
                                                 QString("127.0.0.1:%1").arg(service.InfoPort()),
                                                 "--script", file.fileName()});
    }
    bool Ended() {
        out += process.readAll();
        return process.state() == QProcess::NotRunning;
    }
    QString Out() const { return QString::fromUtf8(out); }
    QProcess process;
    QByteArray out;
};

// The loudness of the loudest 16-bit WAV file whose name starts so; 0 when there is none.
double LoudestRms(const QString& folder, const QString& prefix) {
    double loudest = 0;
    for (const QString& name : QDir(folder).entryList({prefix + "*.wav"}, QDir::Files)) {
        QFile f(QDir(folder).filePath(name));
        if (!f.open(QIODevice::ReadOnly) || f.size() <= 44) {
            continue;
        }
        const QByteArray data = f.readAll().mid(44);
        const auto* samples = reinterpret_cast<const int16_t*>(data.constData());
        const qsizetype n = data.size() / 2;
        double sum = 0;
        for (qsizetype i = 0; i < n; ++i) {
            sum += double(samples[i]) * samples[i];
        }
        loudest = std::max(loudest, std::sqrt(sum / double(n)) / 32768.0);
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
    QByteArray bytes(1024 * 1024 + 1234, Qt::Uninitialized);
    QRandomGenerator(14).fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
    const QString sent = dir.filePath("papers.bin");
    QFile file(sent);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    const QString saveIn = dir.filePath("bob-files");
    ASSERT_TRUE(QDir().mkpath(saveIn));

    CClient bob(
        service, dir, "bob",
        "record " + dir.filePath("bob-heard.wav").toUtf8() + "\nsave-files " + saveIn.toUtf8() +
            "\nlogin bob bob123\nwait-line 登陆成功 10\nanswer accept\nenter 1001\nwait-line "
            "window open 15\nwait-line 爱丽丝私聊中 40\nwait-line 文件已接收:papers.bin 30\n"
            "say 你好 alice\nwait-line hello bob 15\nsend-file " +
            sent.toUtf8() +
            "\nwait-line 对方没有接收文件:papers.bin 15\nsleep 5\nvoice-status\n"
            "leave\n");
    CClient alice(
        service, dir, "alice",
        "login alice alice123\nwait-line 登陆成功 10\nenter 1001\nwait-line window open "
        "15\nwait-line 2人 30\ninvite bob 聊聊\nwait-line 鲍勃私聊中 30\nvideo on\n"
        "send-file " +
            sent.toUtf8() + "\nspeak " + speech.toUtf8() +
            "\nwait-line 你好 alice 15\nsay hello bob\ngift bob 1001\nwait-line 赠送了 15\n"
            "wait-line 对方离开了房间 30\n"
            "leave\n");
    ASSERT_TRUE(WaitUntil([&] { return alice.Ended() && bob.Ended(); }, 90s))
        << alice.out.toStdString() << bob.out.toStdString();
    const QString a = alice.Out();
    const QString b = bob.Out();
    EXPECT_EQ(alice.process.exitCode(), 0) << a.toStdString();
    EXPECT_EQ(bob.process.exitCode(), 0) << b.toStdString();
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
    EXPECT_GT(LoudestRms(dir.path(), "bob-heard"), 0.05);
    // Alice's camera reaches Bob's picture of her.
    EXPECT_TRUE(b.contains("video 10 picture 176x144")) << b.toStdString();
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
    QFile saved(QDir(saveIn).filePath("papers.bin"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly)) << b.toStdString();
    EXPECT_EQ(QCryptographicHash::hash(saved.readAll(), QCryptographicHash::Sha256),
              QCryptographicHash::hash(bytes, QCryptographicHash::Sha256));
    // Nothing but the file is left in the folder: no temporary name outlived the transfer.
    EXPECT_EQ(QDir(saveIn).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST(PrivateChatScript, HiddenWindowsThresholdsAndHastyInvitationsAreRefused) {
    CServiceProcess service{QStringLiteral(TAVO_SERVERD)};
    ASSERT_TRUE(service.Running()) << service.Output().toStdString();
    QTemporaryDir dir;
    CClient bob(service, dir, "bob",
                "login bob bob123\nwait-line 登陆成功 10\nthreshold 1.5\nenter 1001\n"
                "wait-line window open 15\nwait-line 门槛要求 40\nleave\n");
    CClient carol(service, dir, "carol",
                  "login carol carol123\nwait-line 登陆成功 10\nenter 1001\nwait-line window open "
                  "15\nwindow hide\nanswer accept\nwait-line 爱丽丝 离开房间 60\nleave\n");
    CClient alice(service, dir, "alice",
                  "login alice alice123\nwait-line 登陆成功 10\nenter 1001\nwait-line window open "
                  "15\nwait-line 3人 30\n"
                  "invite bob 聊聊 1.49\nwait-line 最低门槛是 15\ninvite carol 聊聊\n"
                  "wait-line 私聊请求间隔太快 10\nsleep 11\ninvite carol 聊聊\n"
                  "wait-line 私聊请求:对方已拒绝 15\nleave\n");
    ASSERT_TRUE(WaitUntil([&] { return alice.Ended() && bob.Ended() && carol.Ended(); }, 120s))
        << alice.out.toStdString() << bob.out.toStdString() << carol.out.toStdString();
    const QString a = alice.Out();
    const QString b = bob.Out();
    EXPECT_EQ(alice.process.exitCode(), 0) << a.toStdString();
    EXPECT_EQ(bob.process.exitCode(), 0) << b.toStdString();
    EXPECT_TRUE(a.contains("私聊请求被拒绝!邀请对方私聊的最低门槛是 1.50塔沃币"))
        << a.toStdString();
    EXPECT_TRUE(b.contains("回复私聊:爱丽丝(alice) 私聊请求,已拒绝了对方的私聊请求"))
        << b.toStdString();
    // The hidden window was never asked, though its answer would have been yes.
    EXPECT_FALSE(carol.Out().contains("私聊请求:已接受")) << carol.out.toStdString();
    EXPECT_FALSE(carol.Out().contains("私聊房")) << carol.out.toStdString();
}
