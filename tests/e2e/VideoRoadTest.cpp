// Video on the whole road, through the reference service in a process of its own between
// console clients: live pictures from the test-pattern camera arrive as the pattern at the same
// frame number; a member records another member's picture as he saw it, in the room and in a
// private chat; a recording played out with "send" ticked reaches the room as the recording's
// own pictures, frame for frame.

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
#include <memory>

using namespace std::chrono_literals;
using namespace tavotest;

namespace {

// Room 1001 is a hi-fi room: the service gives it 8 frames a second.
constexpr int kRoomFps = 8;

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

// The pictures a client saved of video 1, by frame number, in order.
std::vector<std::pair<int, tagVideoPicture>> SavedPictures(const QString& folder) {
    static const QRegularExpression kNumber(QStringLiteral("video1-(\\d+)\\.bmp"));
    std::vector<std::pair<int, tagVideoPicture>> pictures;
    for (const QString& name :
         QDir(folder).entryList({QStringLiteral("video1-*.bmp")}, QDir::Files, QDir::Name)) {
        tagVideoPicture picture;
        EXPECT_TRUE(ReadBmpFile(QDir(folder).filePath(name), picture)) << name.toStdString();
        pictures.emplace_back(kNumber.match(name).captured(1).toInt(), picture);
    }
    std::sort(pictures.begin(), pictures.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    return pictures;
}

}  // namespace

// Bob and Alice in room 1001, each with a microphone that hears a tone from a file; Alice's
// camera is the pattern at the room's rate, so that every picture it takes is sent. Bob saves
// the live pictures and records them; then Alice lets the microphone go, records herself and
// plays the file out with "send" ticked, and Bob saves what arrives apart from the live
// pictures. Last Alice invites Bob to a private chat, and he records her picture there.
TEST(VideoRoad, LiveRecordedPlayedOutAndPrivatePicturesArriveAsSent) {
    CServiceProcess service{QStringLiteral(TAVO_SERVERD)};
    ASSERT_TRUE(service.Running()) << service.Output().toStdString();
    QTemporaryDir dir;
    const auto path = [&](const char* name) { return dir.filePath(QLatin1String(name)); };
    UseWavMicrophone(dir.path());
    qputenv("TAVO_AUDIO", "wav:pace=real,in=" + path("mic.wav").toUtf8());
    CScopedEnv camera("TAVO_VIDEO_SOURCE", PatternSource(kRoomFps).toUtf8());
    CConsoleClient bob(
        service,
        InRoom("bob", "bob123",
               QStringLiteral(
                   "answer accept\nsave-frames %1\nwait-line video 1 picture 60\nvideo-status\n"
                   "record-member 1 %2\nwait-line ●暂停录像 15\nsleep 5\nstop-recording\n"
                   "wait-line ●开始播放 10\nsay 录好了\nwait-line 放像 30\nsave-frames %3\n"
                   "wait-line 视频 stop 60\nvideo-status\nsay 看完了\nwait-line 爱丽丝私聊中 40\n"
                   "wait-line picture 176x144 30\nrecord-member peer %4\n"
                   "wait-line ●暂停录像 15\nsleep 5\nstop-recording\nwait-line ●开始播放 10\n"
                   "say 又录好了\nleave\n")
                   .arg(path("frames"), path("alice.avi"), path("played"), path("peer.avi"))));
    CConsoleClient alice(
        service,
        InRoom(
            "alice", "alice123",
            QStringLiteral(
                "video on\nwait-line own video open 15\nmic\nwait-line 录好了 60\nrelease\n"
                "say 放像\nrecord-video %1\nwait-line ●暂停录像 10\nsleep 6\nstop-recording\n"
                "wait-line ●开始播放 10\nvideo off\nplay-video %1 send\nwait-line send on 15\n"
                "mic\nwait-line send off 30\nsay 视频 stop\nwait-line 看完了 30\ninvite bob 聊聊\n"
                "wait-line 鲍勃私聊中 30\nvideo on\nwait-line 又录好了 60\nleave\n")
                .arg(path("own.avi"))));
    qunsetenv("TAVO_AUDIO");
    ASSERT_TRUE(EndedWell(bob, alice, 180s));

    const auto pictures = SavedPictures(path("frames"));
    ASSERT_GE(pictures.size(), size_t(2 * kRoomFps));
    // The camera's first picture may come before the small stream is switched on; which
    // picture frame 1 is, is settled once, by the first frame received.
    const auto pattern = PatternPictures(pictures.back().first + 2, 176, 144);
    ASSERT_EQ(static_cast<int>(pattern.size()), pictures.back().first + 2);
    const auto& [first, firstPicture] = pictures.front();
    const int offset =
        Psnr(firstPicture, pattern[size_t(first)]) > Psnr(firstPicture, pattern[size_t(first - 1)])
            ? 1
            : 0;
    for (const auto& [number, picture] : pictures) {
        EXPECT_GE(Psnr(picture, pattern[size_t(number - 1 + offset)]), 30.0) << "frame " << number;
    }
    // Nothing was dropped on the way: the numbers run without a gap from the first.
    EXPECT_EQ(pictures.back().first - first + 1, static_cast<int>(pictures.size()));

    // Bob's recording holds Alice's pictures as he saw them.
    const std::vector<tagVideoPicture> recorded = CheckOtherRecording(path("alice.avi"));
    ASSERT_FALSE(recorded.empty());
    double best = 0;
    for (const auto& [number, picture] : pictures) {
        best = std::max(best, Psnr(picture, recorded.front()));
    }
    EXPECT_GE(best, 40.0);

    // The price was agreed to before anything went out.
    EXPECT_TRUE(alice.Output().contains("进入后选择发送即可放像"));
    const std::vector<tagVideoPicture> ownRecorded = DecodeRecording(path("own.avi"));
    // Six seconds at the hi-fi room's 8 frames a second.
    ASSERT_GE(ownRecorded.size(), 30u);
    const auto saved = SavedPictures(path("played"));
    // The play-out went out from about when the microphone was granted: most of the file.
    ASSERT_GE(saved.size(), ownRecorded.size() / 2) << bob.Output().toStdString();
    for (const auto& [number, picture] : saved) {
        ASSERT_GE(number, 1);
        ASSERT_LE(number, static_cast<int>(ownRecorded.size()));
        // The played frame n is the file's frame n.
        EXPECT_GE(Psnr(picture, ownRecorded[size_t(number - 1)]), 40.0) << "frame " << number;
    }

    // The private chat's recording holds the peer's picture.
    CheckOtherRecording(path("peer.avi"));
}
