// A recording played out into the room: a console client records its test-pattern camera and
// a WAV-file microphone, then plays the file out with "send" ticked on video 1, through the
// reference service in a process of its own; another client saves every picture it decodes,
// which must be the recording's own pictures, frame for frame. A member records another
// member's picture of video 1 from the frames the room relays to it.

#include "tests/e2e/ConsoleClient.h"
#include "tests/media/MediaTestSupport.h"
#include "tests/support/ServiceProcess.h"
#include "tests/support/TestSupport.h"
#include "tests/video/VideoTestSupport.h"
#include "video/Picture.h"
#include "video/VideoClientH264.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>

using namespace std::chrono_literals;
using namespace tavotest;

namespace {

// The recording's pictures in order, decoded as a receiver decodes them.
std::vector<tagVideoPicture> DecodeRecording(const QString& path) {
    std::vector<tagVideoPicture> pictures;
    CVideoClientH264 decoder;
    IVideoSurface* window = nullptr;
    if (decoder.Create(nullptr, {0, 0, 176, 144}, {0, 0, 176, 144}, window) != 0) {
        return pictures;
    }
    decoder.Open();
    decoder.Start();
    for (const tagAviPacket& p : ReadAvi(path).Stream(QStringLiteral("h264"))) {
        const int drawn = decoder.DrawnFrames();
        decoder.DecodeBuffer(p.data.constData(), static_cast<int>(p.data.size()));
        pictures.push_back(decoder.DrawnFrames() > drawn ? decoder.LastPicture()
                                                         : tagVideoPicture{});
    }
    return pictures;
}

// A recording of another member's picture: H.264 that starts at a key frame and decodes frame
// for frame, and GSM 6.10 sound beside it. The pictures, in order.
std::vector<tagVideoPicture> CheckOtherRecording(const QString& path) {
    const tagAviFile avi = ReadAvi(path);
    EXPECT_TRUE(avi.read);
    const std::vector<tagAviPacket> video = avi.Stream(QStringLiteral("h264"));
    EXPECT_GE(video.size(), 20u);
    EXPECT_TRUE(!video.empty() && video.front().key);
    EXPECT_FALSE(avi.Stream(QStringLiteral("gsm_ms")).empty());
    std::vector<tagVideoPicture> recorded = DecodeRecording(path);
    EXPECT_TRUE(std::all_of(recorded.begin(), recorded.end(),
                            [](const tagVideoPicture& p) { return p.IsWhole(); }));
    return recorded;
}

}  // namespace

TEST(RecordRoad, APlayedOutRecordingReachesTheRoomAsTheRecordedPictures) {
    CServiceProcess service(QStringLiteral(TAVO_SERVERD));
    ASSERT_TRUE(service.Running()) << service.Output().toStdString();
    QTemporaryDir dir;
    const QString frames = dir.filePath(QStringLiteral("frames"));
    const QString file = dir.filePath(QStringLiteral("rec.avi"));

    CConsoleClient bob(service,
                       "login bob bob123\nwait-line 登陆成功 15\nenter 1001\n"
                       "wait-line window open 30\nsave-frames " +
                           frames +
                           "\nwait-line video 1 picture 60\nwait-line 视频 stop 40\n"
                           "video-status\nleave\n");

    // Alice's camera and microphone: the pattern, and a tone from a file.
    UseWavMicrophone(dir.path());
    const QByteArray audio = "wav:pace=real,in=" + dir.filePath(QStringLiteral("mic.wav")).toUtf8();
    qputenv("TAVO_AUDIO", audio);
    CScopedVideoSource camera(PatternSource());
    CConsoleClient alice(service,
                         "login alice alice123\nwait-line 登陆成功 15\nenter 1001\n"
                         "wait-line window open 30\nvideo on\n"
                         "wait-line own video open 15\nrecord-video " +
                             file +
                             "\nwait-line ●暂停录像 10\nsleep 6\nstop-recording\n"
                             "wait-line ●开始播放 10\nvideo off\n"
                             "play-video " +
                             file +
                             " send\nwait-line send on 15\nmic\n"
                             "wait-line send off 30\nsay 视频 stop\nleave\n");
    qunsetenv("TAVO_AUDIO");
    ASSERT_TRUE(alice.WaitEnd(90s)) << alice.Output().toStdString();
    ASSERT_TRUE(bob.WaitEnd(60s)) << bob.Output().toStdString();
    ASSERT_EQ(alice.ExitCode(), 0) << alice.Output().toStdString();
    ASSERT_EQ(bob.ExitCode(), 0) << bob.Output().toStdString() << alice.Output().toStdString();
    // The price was agreed to before anything went out.
    EXPECT_TRUE(alice.Output().contains("进入后选择发送即可放像"));

    const std::vector<tagVideoPicture> recorded = DecodeRecording(file);
    // Six seconds at the hi-fi room's 8 frames a second.
    ASSERT_GE(recorded.size(), 30u);
    const QStringList saved =
        QDir(frames).entryList({QStringLiteral("video1-*.bmp")}, QDir::Files, QDir::Name);
    // The play-out went out from about when the microphone was granted: most of the file.
    ASSERT_GE(saved.size(), static_cast<qsizetype>(recorded.size() / 2))
        << bob.Output().toStdString();
    static const QRegularExpression kNumber(QStringLiteral("video1-(\\d+)\\.bmp"));
    for (const QString& name : saved) {
        const int number = kNumber.match(name).captured(1).toInt();
        ASSERT_GE(number, 1);
        ASSERT_LE(number, static_cast<int>(recorded.size())) << name.toStdString();
        tagVideoPicture picture;
        ASSERT_TRUE(ReadBmpFile(QDir(frames).filePath(name), picture));
        // The played frame n is the file's frame n.
        EXPECT_GE(Psnr(picture, recorded[size_t(number - 1)]), 40.0) << name.toStdString();
    }
}

// Bob records Alice's picture through the service: his microphone is a tone from a file, her
// camera the pattern. Each script runs to where the picture shows; then Bob records it for
// five seconds and says so, and both leave.
struct RecordOther : ::testing::Test {
    CServiceProcess service{QStringLiteral(TAVO_SERVERD)};
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("alice.avi"));

    void Run(const QString& bobScript, const QString& window, const QString& aliceScript) {
        ASSERT_TRUE(service.Running()) << service.Output().toStdString();
        UseWavMicrophone(dir.path());
        qputenv("TAVO_AUDIO",
                "wav:pace=real,in=" + dir.filePath(QStringLiteral("mic.wav")).toUtf8());
        CScopedVideoSource camera(PatternSource());
        CConsoleClient bob(service, bobScript + "record-member " + window + " " + file +
                                        "\nwait-line ●暂停录像 15\nsleep 5\nstop-recording\n"
                                        "wait-line ●开始播放 10\nsay 录好了\nleave\n");
        qunsetenv("TAVO_AUDIO");
        CConsoleClient alice(service, aliceScript + "wait-line 录好了 60\nleave\n");
        ASSERT_TRUE(bob.WaitEnd(120s))
            << bob.Output().toStdString() << alice.Output().toStdString();
        ASSERT_TRUE(alice.WaitEnd(30s)) << alice.Output().toStdString();
        ASSERT_EQ(bob.ExitCode(), 0) << bob.Output().toStdString() << alice.Output().toStdString();
    }
};

TEST_F(RecordOther, AMemberRecordsVideo1AsHeSawIt) {
    const QString frames = dir.filePath(QStringLiteral("frames"));
    ASSERT_NO_FATAL_FAILURE(
        Run("login bob bob123\nwait-line 登陆成功 15\nenter 1001\n"
            "wait-line window open 30\nsave-frames " +
                frames + "\nwait-line video 1 picture 60\n",
            "1",
            "login alice alice123\nwait-line 登陆成功 15\nenter 1001\n"
            "wait-line window open 30\nvideo on\n"
            "wait-line own video open 15\nmic\n"));
    // The pictures are Alice's as Bob saw them.
    const std::vector<tagVideoPicture> recorded = CheckOtherRecording(file);
    ASSERT_FALSE(recorded.empty());
    const QStringList saved =
        QDir(frames).entryList({QStringLiteral("video1-*.bmp")}, QDir::Files, QDir::Name);
    double best = 0;
    for (const QString& name : saved) {
        tagVideoPicture picture;
        if (ReadBmpFile(QDir(frames).filePath(name), picture)) {
            best = std::max(best, Psnr(picture, recorded.front()));
        }
    }
    EXPECT_GE(best, 40.0);
}

TEST_F(RecordOther, APrivateChatRecordsThePeersPicture) {
    ASSERT_NO_FATAL_FAILURE(
        Run("login bob bob123\nwait-line 登陆成功 15\nanswer accept\n"
            "enter 1001\nwait-line window open 30\n"
            "wait-line 爱丽丝私聊中 40\nwait-line picture 176x144 30\n",
            "peer",
            "login alice alice123\nwait-line 登陆成功 15\nenter 1001\n"
            "wait-line window open 30\nwait-line 2人 30\ninvite bob 聊聊\n"
            "wait-line 鲍勃私聊中 30\nvideo on\n"));
    CheckOtherRecording(file);
}
