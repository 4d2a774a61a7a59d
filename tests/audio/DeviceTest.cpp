// The capture engine and the player on the WAV-file backend (always there): a reset handing
// every buffer back, consecutive blocks in header order, a stalled player's buffers, and why a
// player could not open.

#include "audio/AudioFormats.h"
#include "platform/audio/WaveSystem.h"
#include "tests/audio/AudioTestSupport.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <mutex>

using namespace audiotest;
using namespace tavotest;

namespace {

// A ramp that never repeats within the test files: sample i is i mod 30000.
tagWavData Ramp(int rate, int channels, int frames) {
    tagWavData d;
    d.rate = rate;
    d.channels = channels;
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c) d.samples.push_back(static_cast<short>(i % 30000));
    return d;
}

class WavDevices : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = std::make_unique<QTemporaryDir>();
        m_in = Path("in.wav");
        m_out = Path("out.wav");
    }
    void TearDown() override { CWaveSystem::SetNtFamily(true); }
    QString Path(const QString& name) const { return QDir(m_dir->path()).filePath(name); }
    void Use(const QString& options) { ASSERT_TRUE(CWaveSystem::Select("wav:" + options)); }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_in;
    QString m_out;
};

QByteArray FileData(const QString& path) {
    tagWavData d;
    if (!ReadWavFile(path, d))
        return QByteArray();
    return QByteArray(reinterpret_cast<const char*>(d.samples.data()),
                      static_cast<int>(d.samples.size() * 2));
}

}  // namespace

// The capture engine's close relies on a reset handing every queued buffer back, in order and
// empty, so that each can be unprepared and the device closed.
TEST_F(WavDevices, ResetHandsBackEveryQueuedBufferInOrder) {
    ASSERT_TRUE(WriteWavFile(m_in, Ramp(8000, 1, 8000)));
    Use("in=" + m_in + ",pace=fast");
    std::mutex mutex;
    std::vector<tagWaveHeader*> back;
    auto device = WaveInOpen(
        tagWaveFormat::Pcm16(8000, 1),
        [&](EWaveMsg m, tagWaveHeader* h) {
            std::lock_guard<std::mutex> guard(mutex);
            if (m == EWaveMsg::Data)
                back.push_back(h);
        },
        nullptr);
    ASSERT_TRUE(device);
    std::vector<char> memory(16 * 4000);
    std::vector<tagWaveHeader> headers(16);
    for (size_t i = 0; i < 16; ++i) {
        headers[i].lpData = memory.data() + i * 4000;
        headers[i].dwBufferLength = 4000;
        device->PrepareHeader(&headers[i]);
        ASSERT_EQ(device->AddBuffer(&headers[i]), MMSYSERR_NOERROR);
    }
    // Never started: nothing is recorded, and nothing may be unprepared or closed.
    EXPECT_EQ(device->UnprepareHeader(&headers[3]), WAVERR_STILLPLAYING);
    EXPECT_EQ(device->Close(), WAVERR_STILLPLAYING);
    EXPECT_EQ(device->Reset(), MMSYSERR_NOERROR);
    EXPECT_EQ(device->QueuedCount(), 0u);
    ASSERT_TRUE(WaitUntil([&] {
        std::lock_guard<std::mutex> guard(mutex);
        return back.size() == 16;
    }));
    for (size_t i = 0; i < 16; ++i) {
        EXPECT_EQ(back[i], &headers[i]);
        EXPECT_EQ(headers[i].dwBytesRecorded, 0);
        EXPECT_EQ(device->UnprepareHeader(&headers[i]), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(device->Close(), MMSYSERR_NOERROR);
}

TEST_F(WavDevices, NoDeviceWithoutAFileBadFormatsRefusedAndThePlayerSaysWhyInAudioLog) {
    Use("");
    EXPECT_EQ(WaveInGetNumDevs(), 0);
    EXPECT_EQ(WaveOutGetNumDevs(), 0);
    Use("out=" + m_out + ",in=" + Path("missing.wav"));
    EXPECT_EQ(WaveInGetNumDevs(), 0);
    EXPECT_FALSE(CWaveSystem::Select("nosuch:thing"));
    EXPECT_EQ(CWaveSystem::Current().Name(), "wav");

    // A player that cannot open says why in the audio log, the user's, in the state folder,
    // wherever the program was started from.
    const QString cwd = QDir::currentPath();
    ASSERT_TRUE(QDir().mkpath(m_dir->filePath("started-here")));
    ASSERT_TRUE(QDir::setCurrent(m_dir->filePath("started-here")));
    CScopedEnv state("XDG_STATE_HOME", m_dir->filePath("state").toUtf8());
    const QString audioLog = m_dir->filePath("state/tavo/audio.log");
    ASSERT_TRUE(WriteFile(audioLog, "an old line that must go\nand another\n"));
    Use("");
    CWaveOut player;
    player.SetFormat(1);
    EXPECT_EQ(player.Open(), 0);
    EXPECT_FALSE(player.IsOpen());
    QFile log(audioLog);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_EQ(log.readAll(), QByteArray("waveOutOpen error,2\n"));
    log.close();
    // A format number no player has is refused too.
    Use("out=" + m_out);
    player.SetFormat(7);
    EXPECT_EQ(player.FormatNumber(), 7);
    EXPECT_EQ(player.Open(), 0);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_EQ(log.readAll(), QByteArray("waveOutOpen error,32\n"));
    EXPECT_FALSE(QFile::exists(m_dir->filePath("started-here/audio.log")));
    QDir::setCurrent(cwd);
}

TEST_F(WavDevices, CaptureEngineDeliversConsecutiveBlocksOnEitherPlatformFamily) {
    // Mono 8000 Hz speech-quality blocks: 2000 samples each, 40 of them (more than 16, so
    // every header goes round more than twice).
    ASSERT_TRUE(WriteWavFile(m_in, Ramp(8000, 1, 2000 * 40)));
    for (bool nt : {true, false}) {
        SCOPED_TRACE(nt ? "NT family" : "other family");
        CWaveSystem::SetNtFamily(nt);
        Use("in=" + m_in + ",pace=fast");
        CCollectingWaveIn engine(AUDIO_QUALITY_SPEECH);
        engine.SetFormat(AUDIO_QUALITY_SPEECH);
        ASSERT_EQ(engine.Open(), 1);
        EXPECT_TRUE(engine.IsOpened());
        engine.Start();
        ASSERT_TRUE(WaitUntil([&] { return engine.Count() >= 40; }));
        engine.Close();
        const size_t after = engine.Count();
        Spin(std::chrono::milliseconds(50));
        EXPECT_EQ(engine.Count(), after) << "a block arrived after Close returned";
        EXPECT_FALSE(engine.IsOpened());
        const auto blocks = engine.Blocks();
        const auto headers = engine.Headers();
        for (size_t b = 0; b < 40; ++b) {
            ASSERT_EQ(blocks[b].size(), 4000u);
            const short* s = reinterpret_cast<const short*>(blocks[b].data());
            ASSERT_EQ(s[0], static_cast<short>(b * 2000 % 30000)) << "block " << b;
            ASSERT_EQ(s[1999], static_cast<short>((b * 2000 + 1999) % 30000));
            EXPECT_EQ(headers[b], headers[b % CWaveIn::kHeaders]) << "headers rotate in order";
        }
    }
}

TEST_F(WavDevices, SeventeenPacketsOnAStalledPlayerReuseBufferZero) {
    Use("out=" + m_out + ",pace=hold");
    CCountingWaveOut player;
    player.SetFormat(3);
    ASSERT_EQ(player.Open(), 1);
    EXPECT_EQ(player.Pending(), 0);
    std::vector<char> block(4000);
    for (int i = 0; i < 17; ++i) {
        std::fill(block.begin(), block.end(), static_cast<char>(i));
        EXPECT_EQ(player.Play(block.data(), 4000), 0);
    }
    // Buffer 0 is still with the device: the seventeenth write is refused, not counted.
    EXPECT_EQ(player.Pending(), 16);
    const QByteArray written = FileData(m_out);
    ASSERT_EQ(written.size(), 16 * 4000);
    EXPECT_EQ(written.at(0), 0) << "buffer 0 was not overwritten while the device held it";
    EXPECT_EQ(written.at(15 * 4000), 15);
    // Closing resets the device; the reports that follow find the player closed.
    EXPECT_EQ(player.Close(), 0);
    EXPECT_EQ(player.Pending(), 0);
    EXPECT_EQ(player.playOver, 0);
    // Reopened, it plays again.
    ASSERT_EQ(player.Open(), 1);
    EXPECT_EQ(player.Play(block.data(), 4000), 0);
}

TEST_F(WavDevices, PlayOverWhenTheLastPendingBufferHasPlayed) {
    Use("out=" + m_out);
    CCountingWaveOut player;
    player.SetFormat(3);
    ASSERT_EQ(player.Open(), 1);
    std::vector<char> block(800, 0);  // 50 ms
    player.Play(block.data(), 800);
    player.Play(block.data(), 800);
    ASSERT_TRUE(WaitUntil([&] { return player.playOver >= 1 && player.Pending() == 0; }));
    // A packet longer than a buffer is cut to it.
    std::vector<char> tooLong(9000, 1);
    player.Play(tooLong.data(), 9000);
    ASSERT_TRUE(WaitUntil([&] { return player.Pending() == 0; }));
    player.Close();
    EXPECT_EQ(FileData(m_out).size(), 800 * 2 + 4000);
}
