// The video components on the test-pattern camera: what the sender delivers to its
// notification window, that it decodes to the pattern's pictures, and what the decoder does
// with frames that are damaged or come without their key frame.

#include "platform/MessageWindow.h"
#include "protocol/KParam.h"
#include "protocol/keys/VideoKeys.h"
#include "tests/support/PacketFields.h"
#include "tests/support/TestSupport.h"
#include "tests/video/VideoTestSupport.h"
#include "video/H264Decoder.h"
#include "video/H264Encoder.h"
#include "video/Picture.h"
#include "video/VideoClientH264.h"
#include "video/VideoServerH264.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

using namespace tavotest;

namespace {

constexpr tagVideoRect kLarge{0, 0, 352, 288};
constexpr tagVideoRect kSmall{0, 0, 176, 144};

class CFrameWindow : public CMessageWindow {
public:
    CFrameWindow() { CreateMessageWindow(QStringLiteral("frames")); }
    ~CFrameWindow() override { DestroyMessageWindow(); }
    std::vector<std::pair<unsigned, QByteArray>> received;

protected:
    void OnCopyData(unsigned tag, const QByteArray& data) override {
        received.emplace_back(tag, data);
    }
};

// The offset (0 to 5) at which decoded picture i shows pattern picture i + offset best.
int BestOffset(const tagVideoPicture& first, const std::vector<tagVideoPicture>& pattern) {
    int best = 0;
    double bestPsnr = -1;
    for (int o = 0; o < 6 && o < static_cast<int>(pattern.size()); ++o) {
        const double psnr = Psnr(first, pattern[static_cast<size_t>(o)]);
        if (psnr > bestPsnr) {
            bestPsnr = psnr;
            best = o;
        }
    }
    return best;
}

}  // namespace

TEST(VideoSender, DeliversNumberedKeyFramedPicturesOfThePatternToItsWindowAndNeedsACamera) {
    CTempConfig config;
    CScopedEnv camera("TAVO_VIDEO_SOURCE", PatternSource().toUtf8());
    CFrameWindow window;
    CKeptSurface preview;
    CVideoServerH264 sender;
    ASSERT_EQ(sender.Create(&preview, kLarge, kSmall, kSmall, &window, 1), 0);
    // The room's order of calls.
    ASSERT_EQ(sender.Open(), 0);
    sender.EnableSmallWindow(false);
    sender.EnableLargeWindow(false);
    sender.SetFrameRate(kPatternFps);
    ASSERT_EQ(sender.Start(), 0);
    sender.EnableSmallWindow(true);
    // Two and a half seconds: the key frame of the start and the one two seconds later.
    constexpr int kFrames = 40;
    ASSERT_TRUE(
        WaitUntil([&] { return window.received.size() >= kFrames; }, std::chrono::seconds(15)));
    QTemporaryDir dir;
    const QString snapshot = QDir(dir.path()).filePath(QStringLiteral("own.bmp"));
    EXPECT_EQ(sender.CapturePicture(snapshot.toLocal8Bit()), 0);
    sender.Stop();
    sender.Close();
    sender.Release();
    EXPECT_FALSE(preview.shown);

    CKeptSurface drawn;
    CVideoClientH264 receiver;
    IVideoSurface* videoWindow = nullptr;
    ASSERT_EQ(receiver.Create(&drawn, kSmall, kSmall, videoWindow), 0);
    EXPECT_EQ(videoWindow, &drawn);
    ASSERT_EQ(receiver.Open(), 0);
    ASSERT_EQ(receiver.Start(), 0);

    int lastKey = 0;
    for (size_t i = 0; i < kFrames; ++i) {
        ASSERT_EQ(window.received[i].first, CVideoServerH264::TAG_FRAME);
        const CPacketCopy frame{window.received[i].second};
        const int number = static_cast<int>(i) + 1;
        ASSERT_TRUE(HasFields(frame, {{KEY_COMMAND, short{80}},
                                      {VideoFrameKey::WIDTH, short{176}},
                                      {VideoFrameKey::NUMBER, number}}));
        const QByteArray data = BytesOf(frame, VideoFrameKey::DATA);
        EXPECT_LT(data.size(), CH264Encoder::kMaxFrameBytes);
        const bool key = frame.Loaded().BoolOr(VideoFrameKey::KEY, false);
        if (i == 0) {
            EXPECT_TRUE(key) << "the first frame decodes by itself";
        }
        if (key) {
            EXPECT_TRUE(CH264Decoder::HasIdr(reinterpret_cast<const uint8_t*>(data.constData()),
                                             static_cast<int>(data.size())));
            lastKey = number;
        }
        EXPECT_LE(number - lastKey, 2 * kPatternFps) << "no key frame for two seconds";
        ASSERT_EQ(receiver.DecodeBuffer(data.constData(), static_cast<int>(data.size())), 0)
            << "frame " << number;
    }
    ASSERT_EQ(drawn.pictures.size(), size_t{kFrames});
    const auto pattern = PatternPictures(kFrames + 6, 176, 144);
    ASSERT_EQ(pattern.size(), size_t{kFrames + 6});
    const int offset = BestOffset(drawn.pictures.front(), pattern);
    for (int i = 0; i < kFrames; ++i) {
        EXPECT_GE(Psnr(drawn.pictures[size_t(i)], pattern[size_t(i + offset)]), 30.0)
            << "frame " << i + 1;
    }
    // The pattern moves: a picture is not its neighbour's.
    EXPECT_LT(Psnr(drawn.pictures[10], pattern[size_t(10 + offset + 3)]), 30.0);

    ASSERT_FALSE(preview.pictures.empty());
    EXPECT_EQ(preview.pictures.back().width, 176);
    tagVideoPicture saved;
    ASSERT_TRUE(ReadBmpFile(snapshot, saved));
    EXPECT_EQ(saved.width, 352);
    EXPECT_EQ(saved.height, 288);
    const QString received = QDir(dir.path()).filePath(QStringLiteral("seen.bmp"));
    ASSERT_EQ(receiver.CapturePicture(received.toLocal8Bit()), 0);
    tagVideoPicture back;
    ASSERT_TRUE(ReadBmpFile(received, back));
    EXPECT_GE(Psnr(back, drawn.pictures.back()), 50.0);

    // A source that cannot open is no camera.
    CScopedEnv broken("TAVO_VIDEO_SOURCE", "no-such-element ! also-none");
    CVideoServerH264 none;
    EXPECT_NE(none.Create(nullptr, kLarge, kSmall, kSmall, nullptr, 1), 0);
    none.Release();
    EXPECT_FALSE(none.IsCreated());
}

TEST(H264Decoder, DropsBrokenFramesAndStartsAgainAtTheNextKeyFrame) {
    const auto frames = EncodePattern(40, {0, 20});
    ASSERT_EQ(frames.size(), 40u);
    ASSERT_TRUE(frames[0].key && frames[20].key && !frames[1].key);
    const auto pattern = PatternPictures(40, 176, 144);
    CKeptSurface drawn;
    CVideoClientH264 receiver;
    IVideoSurface* window = nullptr;
    ASSERT_EQ(receiver.Create(&drawn, kSmall, kSmall, window), 0);
    ASSERT_EQ(receiver.Open(), 0);
    // Nothing is drawn before Start.
    EXPECT_NE(receiver.DecodeBuffer(frames[0].bytes.constData(), int(frames[0].bytes.size())), 0);
    ASSERT_EQ(receiver.Start(), 0);
    auto decode = [&](const QByteArray& bytes) {
        return receiver.DecodeBuffer(bytes.constData(), static_cast<int>(bytes.size()));
    };
    // A stream that starts without its key frame shows nothing until one comes.
    EXPECT_NE(decode(frames[1].bytes), 0);
    EXPECT_TRUE(drawn.pictures.empty());
    ASSERT_EQ(decode(frames[0].bytes), 0);
    ASSERT_EQ(decode(frames[1].bytes), 0);
    // A truncated frame, garbage and nothing at all: no picture, no crash, and the frames
    // predicted from the lost one are skipped.
    const QByteArray& two = frames[2].bytes;
    EXPECT_NE(decode(two.left(two.size() / 3)), 0);
    EXPECT_NE(decode(frames[3].bytes), 0);
    QByteArray garbage(700, '\0');
    for (int i = 0; i < garbage.size(); ++i) {
        garbage[i] = static_cast<char>((i * 131 + 7) ^ (i >> 3));
    }
    garbage.prepend(QByteArray("\x00\x00\x00\x01\x65", 5));  // claims to be an IDR slice
    EXPECT_NE(decode(garbage), 0);
    EXPECT_NE(decode(QByteArray()), 0);
    for (int i = 4; i < 20; ++i) {
        EXPECT_NE(decode(frames[size_t(i)].bytes), 0) << i;
    }
    const size_t before = drawn.pictures.size();
    EXPECT_EQ(before, 2u);
    // The next key frame starts again, and what follows it is the pattern.
    for (int i = 20; i < 40; ++i) {
        ASSERT_EQ(decode(frames[size_t(i)].bytes), 0) << i;
        EXPECT_GE(Psnr(drawn.pictures.back(), pattern[size_t(i)]), 30.0) << i;
    }
    EXPECT_EQ(drawn.pictures.size(), before + 20);
}
