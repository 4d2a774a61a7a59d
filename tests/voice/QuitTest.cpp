// Quitting the client while it speaks: once the hall's loop has ended, the room and its
// capture live on while the program takes itself apart, and the capture keeps completing
// blocks; none of them may become a voice packet. The client runs as the programs run it,
// against the reference service, on the WAV-file devices with an endless loud input.

#include "audio/MyWaveIn.h"
#include "audio/RecordSource.h"
#include "audio/VoiceOwner.h"
#include "infra/TraceLog.h"
#include "platform/audio/WavFile.h"
#include "platform/audio/WaveSystem.h"
#include "room/RoomAudio.h"
#include "tests/support/ClientHarness.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <random>

using namespace std::chrono_literals;
using namespace tavotest;

namespace {

// Loud noise: every bin the voice level looks at is well above the silence threshold, so
// every block the capture completes is one it would send.
tagWavData LoudNoise(double seconds) {
    tagWavData wav;
    wav.rate = 22050;
    wav.channels = 2;
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0, 3000);
    const size_t frames = static_cast<size_t>(seconds * wav.rate);
    wav.samples.resize(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        const short s = static_cast<short>(std::clamp(noise(rng), -32768.0, 32767.0));
        wav.samples[2 * i] = wav.samples[2 * i + 1] = s;
    }
    return wav;
}

struct VoiceQuit : ::testing::Test {
    void SetUp() override {
        const QString input = QDir(dir.path()).filePath("noise.wav");
        ASSERT_TRUE(WriteWavFile(input, LoudNoise(3.0)));
        ASSERT_TRUE(CWaveSystem::Select("wav:pace=real,loop=1,in=" + input +
                                        ",out=" + QDir(dir.path()).filePath("heard%d.wav")));
    }
    void TearDown() override {
        CWaveSystem::Select("wav");
        SetAudioQuitting(false);
    }
    QTemporaryDir dir;
};

}  // namespace

TEST_F(VoiceQuit, ASpeakingClientSendsNoVoiceOnceItHasQuit) {
    // What an earlier run's quit left behind in the process must not silence this run.
    SetAudioQuitting(true);
    CServiceProcess service(QStringLiteral(TAVO_SERVERD));
    ASSERT_TRUE(service.Running()) << service.Output().toStdString();
    CVoiceClient client(QStringLiteral(TAVO_PROGRAM_DIR));
    // Speaking records the microphone line of the file devices.
    tagMixSettings mix;
    mix.isOpenMix = 0;
    mix.Save();
    CVoiceTap& tap = client.Tap();
    QTemporaryDir logs;
    ASSERT_TRUE(TheTraceLog().Open(QDir(logs.path()).filePath("run.log"), 100));
    bool spoke = false;
    const EStartResult result = client.Run(service, [&](CTavoClientDlg& hall) {
        ASSERT_TRUE(client.EnterRoom(hall, 1001, 30s));
        ASSERT_TRUE(client.TakeMic(30s));
        // Voice flows while the client runs.
        spoke = WaitUntil([&] { return tap.Sent() >= 3; }, 20s);
        EXPECT_FALSE(IsAudioQuitting());
    });
    ASSERT_EQ(result, EStartResult::Run);
    ASSERT_TRUE(spoke) << "no voice was sent before the quit";
    EXPECT_TRUE(IsAudioQuitting());
    EXPECT_FALSE(TheTraceLog().IsOpen()) << "the application ended and left its log open";

    // The loop has ended; the capture still runs, completing about four blocks a second, and
    // none of them goes out.
    CMyWaveIn& capture = client.Audio().Capture();
    const int sentAtQuit = tap.Sent();
    Spin(1500ms);
    EXPECT_TRUE(capture.IsCapturing())
        << "the capture stopped by itself, so the quit was not what kept it silent";
    EXPECT_EQ(tap.Sent(), sentAtQuit);
}
