#include "infra/TraceLog.h"
#include "media/VideoFileClient.h"
#include "platform/Prompt.h"
#include "platform/ServiceSlot.h"
#include "platform/audio/WaveSystem.h"
#include "protocol/KParam.h"
#include "protocol/keys/VideoKeys.h"
#include "room/RecordDlg.h"
#include "tests/media/MediaTestSupport.h"
#include "tests/support/PacketFields.h"
#include "tests/support/TestSupport.h"
#include "video/H264Decoder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace tavotest;

namespace {

// What the room does with a recorder: keeps the played frames and counts charge requests.
class CRecordingOwner : public IRecordOwner {
public:
    void SendPlayedFrame(const QByteArray& frame) override { sent.push_back(frame); }
    void RequestCharge() override { ++charges; }
    std::vector<QByteArray> sent;
    int charges = 0;
};

class RecordTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        UseWavMicrophone(m_dir.path());
        m_trace = Path(QStringLiteral("trace.log"));
        ASSERT_TRUE(TheTraceLog().Open(m_trace, 1000));
    }
    void TearDown() override { TheTraceLog().Close(); }

    QString Path(const QString& name) const { return QDir(m_dir.path()).filePath(name); }

    // Records for the given stretches: running, paused, running and so on. Returns the
    // frames the camera handed over in each stretch.
    std::vector<std::vector<tagFrame>> Record(
        CRecordDlg& recorder, const QString& path,
        std::initializer_list<std::chrono::milliseconds> stretches) {
        std::vector<std::vector<tagFrame>> handed(1);
        CCameraTap camera([&](const tagFrame& frame) {
            if (recorder.Mode() == CRecordDlg::MODE_RECORD_OWN) {
                handed.back().push_back(frame);
                recorder.OnVideoFrame(frame.key, frame.packet);
            }
        });
        EXPECT_EQ(recorder.StartRecording(CRecordDlg::MODE_RECORD_OWN, path), 0);
        EXPECT_TRUE(camera.Start());
        bool first = true;
        for (auto stretch : stretches) {
            if (!first) {
                recorder.Toggle();
                handed.emplace_back();
            }
            first = false;
            Spin(stretch);
        }
        recorder.Stop();
        camera.Stop();
        return handed;
    }

    // The frames a recording keeps of what it was handed: in every running stretch, from its
    // first key frame on.
    static std::vector<tagFrame> Kept(const std::vector<std::vector<tagFrame>>& handed) {
        std::vector<tagFrame> kept;
        for (size_t s = 0; s < handed.size(); s += 2) {
            bool keyed = false;
            for (const tagFrame& f : handed[s]) {
                keyed = keyed || f.key;
                if (keyed) {
                    kept.push_back(f);
                }
            }
        }
        return kept;
    }

    QTemporaryDir m_dir;
    QString m_trace;
};

}  // namespace

TEST_F(RecordTest, TenSecondsRecordedPlayOutIntoTheRoomAndEndByThemselves) {
    CRecordingOwner owner;
    CRecordDlg recorder(owner);
    const QString file = Path(QStringLiteral("ten.avi"));
    const auto handed = Record(recorder, file, {10200ms});

    // One H.264 picture and one GSM 6.10 sound, 8000 Hz mono; their lengths are the counts
    // of pictures and sound blocks below, and the play-out's total.
    const tagAviFile avi = ReadAvi(file);
    ASSERT_TRUE(avi.read);
    ASSERT_EQ(avi.streams.size(), 2u);
    EXPECT_EQ(avi.streams[0].codec, QStringLiteral("h264"));
    EXPECT_EQ(avi.streams[1].codec, QStringLiteral("gsm_ms"));
    EXPECT_EQ(avi.streams[1].tag, 0x31u);
    EXPECT_EQ(avi.streams[1].rate, 8000);
    EXPECT_EQ(avi.streams[1].channels, 1);

    // The picture is the camera's own bytes, in order, from the first key frame, key frames
    // marked; every frame decodes.
    const auto video = avi.Stream(QStringLiteral("h264"));
    const auto kept = Kept(handed);
    ASSERT_GT(kept.size(), 100u);
    ASSERT_EQ(video.size(), kept.size());
    CH264Decoder decoder;
    ASSERT_TRUE(decoder.Open());
    for (size_t i = 0; i < video.size(); ++i) {
        ASSERT_EQ(video[i].data, kept[i].data) << "frame " << i;
        EXPECT_EQ(video[i].key, kept[i].key) << "frame " << i;
        EXPECT_EQ(decoder.Decode(reinterpret_cast<const uint8_t*>(video[i].data.constData()),
                                 static_cast<int>(video[i].data.size())),
                  CH264Decoder::DECODED)
            << "frame " << i;
    }
    const auto sound = avi.Stream(QStringLiteral("gsm_ms"));
    EXPECT_NEAR(static_cast<double>(sound.size()), 250.0, 40.0);
    for (const auto& block : sound) {
        ASSERT_EQ(block.data.size(), 65);
    }

    // Stopping loaded the file for play-out.
    ASSERT_EQ(recorder.Mode(), CRecordDlg::MODE_PLAY);
    ASSERT_TRUE(recorder.IsActive());
    EXPECT_EQ(recorder.Player().PictureSize(), 176 * 65536 + 144);
    const int total = recorder.Total();
    EXPECT_NEAR(total, 10, 1);

    // Played with "send" ticked, every frame of the file goes out in order as a frame packet,
    // is drawn, and the end stops the play-out and clears "send".
    recorder.SetSend(true);
    recorder.Toggle();
    EXPECT_TRUE(recorder.IsPlayingOut());
    ASSERT_TRUE(WaitUntil([&] { return !recorder.IsSending(); }, std::chrono::seconds(total + 10)));
    EXPECT_FALSE(recorder.IsRunning());
    EXPECT_EQ(recorder.SliderPercent(), 0);
    ASSERT_EQ(owner.sent.size(), video.size());
    for (size_t i = 0; i < owner.sent.size(); ++i) {
        const CPacketCopy frame{owner.sent[i]};
        EXPECT_TRUE(HasFields(frame, {{KEY_COMMAND, short{80}},
                                      {VideoFrameKey::WIDTH, short{176}},
                                      {VideoFrameKey::KEY, video[i].key},
                                      {VideoFrameKey::NUMBER, static_cast<int>(i + 1)}}))
            << "frame " << i;
        ASSERT_EQ(BytesOf(frame, VideoFrameKey::DATA), video[i].data) << "frame " << i;
    }
    EXPECT_EQ(recorder.Display().DrawnFrames(), static_cast<int>(video.size()));
}

TEST_F(RecordTest, AResumedRecordingStartsAtAKeyFrameAndItsPlayerRefusesASeekBeyondTheEnd) {
    CRecordingOwner owner;
    CRecordDlg recorder(owner);
    const QString file = Path(QStringLiteral("resumed.avi"));
    const auto handed = Record(recorder, file, {3000ms, 1500ms, 3500ms});
    ASSERT_EQ(handed.size(), 3u);
    ASSERT_FALSE(handed[2].empty());
    // The camera's key frames are two seconds apart, so the resumed stretch began with frames
    // that the recording had to drop.
    const auto kept = Kept(handed);
    const auto video = ReadAvi(file).Stream(QStringLiteral("h264"));
    ASSERT_EQ(video.size(), kept.size());
    size_t firstOfFirstStretch = 0;
    for (const auto& f : handed[0]) {
        firstOfFirstStretch += f.key || firstOfFirstStretch > 0 ? 1 : 0;
    }
    ASSERT_LT(firstOfFirstStretch, video.size());
    EXPECT_TRUE(video[0].key);
    EXPECT_TRUE(video[firstOfFirstStretch].key) << "the resumed part starts with a delta frame";
    for (size_t i = 0; i < video.size(); ++i) {
        ASSERT_EQ(video[i].data, kept[i].data) << "frame " << i;
    }

    CVideoFileClient player;
    int width = 0, height = 0;
    ASSERT_EQ(player.Create(nullptr, {0, 0, 176, 144}, file, 0, width, height), 0);
    EXPECT_EQ(width, 176);
    EXPECT_EQ(height, 144);
    const int total = player.Duration();
    ASSERT_GE(total, 1);
    EXPECT_EQ(player.Seek(total + 1), -1);
    EXPECT_EQ(player.Seek(total), 0);
    EXPECT_EQ(player.Seek(0), 0);
}

TEST_F(RecordTest, GraphFailuresLeaveTheRecorderInactiveWithTheTraceLine) {
    CRecordingOwner owner;
    CRecordDlg recorder(owner);
    const auto refused = [&](int result, const char* traced) {
        EXPECT_EQ(result, -1) << traced;
        EXPECT_FALSE(recorder.IsActive()) << traced;
        EXPECT_TRUE(ReadTraceFiles(m_dir.path()).contains(QLatin1String(traced))) << traced;
    };
    // A file that cannot be written.
    refused(recorder.StartRecording(CRecordDlg::MODE_RECORD_OWN, "/nonexistent-dir/x.avi"),
            "Run, IMediaControl::Run,hr=");
    // No microphone: the sound graph has no capture filter.
    ASSERT_TRUE(CWaveSystem::Select(QStringLiteral("wav:")));
    refused(recorder.StartRecording(CRecordDlg::MODE_RECORD_OWN, Path("y.avi")),
            "Create, CreateAudioCapture,hr=");
    // A file that is not a recording.
    const QString junk = Path("junk.avi");
    ASSERT_TRUE(WriteFile(junk, QByteArray("RIFF\x10\0\0\0AVI LIST", 16) + QByteArray(4000, 'x')));
    refused(recorder.OpenPlayout(junk), "RenderFile");
}

TEST_F(RecordTest, AChargedRecordingAsksEveryPeriodAndStopsWhenTheBalanceIsShort) {
    CScriptedPrompt prompt;
    CScopedService<IPromptService> scope(prompt);
    CRecordingOwner owner;
    CRecordDlg recorder(owner);
    recorder.SetCharge(2, 1, 10);
    ASSERT_EQ(
        recorder.StartRecording(CRecordDlg::MODE_RECORD_OTHER, Path(QStringLiteral("paid.avi"))),
        0);
    ASSERT_TRUE(WaitUntil([&] { return owner.charges >= 1; }, 5s));
    EXPECT_TRUE(recorder.IsActive());
    recorder.SetCharge(2, 20, 10);
    ASSERT_TRUE(WaitUntil([&] { return recorder.Mode() == CRecordDlg::MODE_PLAY; }, 5s));
    const auto shown = prompt.History();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, QStringLiteral("余额不足"));
    EXPECT_EQ(shown[0].caption, QStringLiteral("Warning"));
    EXPECT_EQ(shown[0].flags & MB_ICONWARNING, static_cast<unsigned>(MB_ICONWARNING));
}

TEST(RecordTimes, DisplayAndFileNameRules) {
    EXPECT_EQ(CRecordDlg::FormatTime(2, 3725, 0), QStringLiteral("01:02:05"));
    EXPECT_EQ(CRecordDlg::FormatTime(1, 30, 120), QStringLiteral("00:00:30 (00:02:00,25%)"));
    EXPECT_EQ(CRecordDlg::FormatTime(1, 0, 0), QStringLiteral("00:00:00 (00:00:00,0%)"));
    EXPECT_EQ(CRecordDlg::AviPath(QStringLiteral("/t/a.aVi")), QStringLiteral("/t/a.aVi"));
    EXPECT_EQ(CRecordDlg::AviPath(QStringLiteral("/t/a")), QStringLiteral("/t/a.Avi"));
}
