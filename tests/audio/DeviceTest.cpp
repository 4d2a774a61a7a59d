// The wave devices' contract, on the WAV-file backend (always there): queue order, one report
// per buffer, reset handing everything back; and the capture engine and the player on top.

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

struct tagReports {
    std::mutex mutex;
    std::vector<std::pair<EWaveMsg, tagWaveHeader*>> list;
    void Add(EWaveMsg m, tagWaveHeader* h) {
        std::lock_guard<std::mutex> g(mutex);
        list.emplace_back(m, h);
    }
    std::vector<tagWaveHeader*> Of(EWaveMsg m) {
        std::lock_guard<std::mutex> g(mutex);
        std::vector<tagWaveHeader*> out;
        for (auto& [msg, h] : list)
            if (msg == m)
                out.push_back(h);
        return out;
    }
    size_t Count(EWaveMsg m) { return Of(m).size(); }
};

// Headers over buffers of their own, buffer i filled with fill + i.
struct tagBuffers {
    tagBuffers(size_t n, int bytes, char fill = 0) : memory(n), headers(n) {
        for (size_t i = 0; i < n; ++i) {
            memory[i].assign(static_cast<size_t>(bytes), fill ? static_cast<char>(fill + i) : 0);
            headers[i].lpData = memory[i].data();
            headers[i].dwBufferLength = bytes;
        }
    }
    std::vector<std::vector<char>> memory;
    std::vector<tagWaveHeader> headers;
};

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

TEST_F(WavDevices, RecorderFillsBuffersInQueueOrderWithOneReportEach) {
    ASSERT_TRUE(WriteWavFile(m_in, Ramp(8000, 1, 40000)));
    Use("in=" + m_in + ",pace=fast");
    tagReports reports;
    tagBuffers buffers(4, 800);
    auto& headers = buffers.headers;
    CWaveInDevice* device = nullptr;
    std::atomic<int> data{0};
    std::vector<short> firstSamples;  // of each report, copied before the buffer is refilled
    int error = -1;
    auto owned = WaveInOpen(
        tagWaveFormat::Pcm16(8000, 1),
        [&](EWaveMsg m, tagWaveHeader* h) {
            if (m == EWaveMsg::Data)
                firstSamples.push_back(reinterpret_cast<short*>(h->lpData)[0]);
            reports.Add(m, h);
            // Keep the recorder fed from its own report, until twenty buffers came back.
            if (m == EWaveMsg::Data && ++data < 20)
                device->AddBuffer(h);
        },
        &error);
    ASSERT_TRUE(owned);
    EXPECT_EQ(error, MMSYSERR_NOERROR);
    device = owned.get();
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(device->AddBuffer(&headers[i]), WAVERR_UNPREPARED);
        ASSERT_EQ(device->PrepareHeader(&headers[i]), MMSYSERR_NOERROR);
        ASSERT_EQ(device->AddBuffer(&headers[i]), MMSYSERR_NOERROR);
        EXPECT_EQ(device->AddBuffer(&headers[i]), WAVERR_STILLPLAYING);
    }
    ASSERT_EQ(device->Start(), MMSYSERR_NOERROR);
    // Twenty buffers were put back, so 23 come back in all and none is left queued.
    ASSERT_TRUE(WaitUntil([&] { return reports.Count(EWaveMsg::Data) >= 23; }));
    EXPECT_EQ(device->QueuedCount(), 0u);
    EXPECT_EQ(device->Close(), MMSYSERR_NOERROR);
    EXPECT_EQ(device->Close(), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(device->Reset(), MMSYSERR_INVALHANDLE);
    ASSERT_TRUE(WaitUntil([&] { return reports.Count(EWaveMsg::Close) == 1; }));

    const auto done = reports.Of(EWaveMsg::Data);
    ASSERT_EQ(done.size(), 23u);
    EXPECT_EQ(reports.Count(EWaveMsg::Open), 2u) << "the NT family reports an opening twice";
    EXPECT_EQ(reports.list.front().first, EWaveMsg::Open);
    for (size_t i = 0; i < done.size(); ++i) {
        ASSERT_EQ(done[i], &headers[i % 4]) << "report " << i << " out of queue order";
    }
    // Each buffer took the next 400 samples of the file.
    for (size_t i = 0; i < firstSamples.size(); ++i)
        ASSERT_EQ(firstSamples[i], static_cast<short>(i * 400 % 30000)) << "report " << i;
    for (auto& h : headers) {
        EXPECT_TRUE(h.dwFlags & WHDR_DONE);
        EXPECT_FALSE(h.dwFlags & WHDR_INQUEUE);
    }
}

TEST_F(WavDevices, ResetHandsBackEveryQueuedBufferInOrder) {
    ASSERT_TRUE(WriteWavFile(m_in, Ramp(8000, 1, 8000)));
    Use("in=" + m_in + ",pace=fast");
    tagReports reports;
    auto device = WaveInOpen(
        tagWaveFormat::Pcm16(8000, 1), [&](EWaveMsg m, tagWaveHeader* h) { reports.Add(m, h); },
        nullptr);
    ASSERT_TRUE(device);
    tagBuffers buffers(16, 4000);
    auto& headers = buffers.headers;
    for (int i = 0; i < 16; ++i) {
        device->PrepareHeader(&headers[i]);
        ASSERT_EQ(device->AddBuffer(&headers[i]), MMSYSERR_NOERROR);
    }
    // Never started: nothing is recorded, and nothing may be unprepared or closed.
    EXPECT_EQ(device->QueuedCount(), 16u);
    EXPECT_EQ(device->UnprepareHeader(&headers[3]), WAVERR_STILLPLAYING);
    EXPECT_EQ(device->Close(), WAVERR_STILLPLAYING);
    EXPECT_EQ(device->Reset(), MMSYSERR_NOERROR);
    EXPECT_EQ(device->QueuedCount(), 0u);
    ASSERT_TRUE(WaitUntil([&] { return reports.Count(EWaveMsg::Data) == 16; }));
    const auto back = reports.Of(EWaveMsg::Data);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(back[i], &headers[i]);
        EXPECT_EQ(headers[i].dwBytesRecorded, 0);
        EXPECT_EQ(device->UnprepareHeader(&headers[i]), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(device->Close(), MMSYSERR_NOERROR);
}

TEST_F(WavDevices, PlayerWritesInOrderAndResetReturnsWhatIsPending) {
    Use("out=" + m_out + ",pace=hold");
    tagReports reports;
    auto device = WaveOutOpen(
        tagWaveFormat::Pcm16(8000, 1), [&](EWaveMsg m, tagWaveHeader* h) { reports.Add(m, h); },
        nullptr);
    ASSERT_TRUE(device);
    tagBuffers buffers(3, 1000, 'a');
    auto& headers = buffers.headers;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(device->Write(&headers[i]), WAVERR_UNPREPARED);
        device->PrepareHeader(&headers[i]);
        ASSERT_EQ(device->Write(&headers[i]), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(device->Write(&headers[1]), WAVERR_STILLPLAYING);
    EXPECT_EQ(device->QueuedCount(), 3u);
    EXPECT_EQ(device->Close(), WAVERR_STILLPLAYING);
    ASSERT_EQ(device->Reset(), MMSYSERR_NOERROR);
    ASSERT_TRUE(WaitUntil([&] { return reports.Count(EWaveMsg::Done) == 3; }));
    EXPECT_EQ(reports.Of(EWaveMsg::Done),
              (std::vector<tagWaveHeader*>{&headers[0], &headers[1], &headers[2]}));
    EXPECT_EQ(device->Close(), MMSYSERR_NOERROR);
    EXPECT_EQ(FileData(m_out),
              QByteArray(1000, 'a') + QByteArray(1000, 'b') + QByteArray(1000, 'c'));
}

TEST_F(WavDevices, NoDeviceWithoutAFileBadFormatsRefusedAndThePlayerSaysWhyInAudioLog) {
    Use("");
    EXPECT_EQ(WaveInGetNumDevs(), 0);
    EXPECT_EQ(WaveOutGetNumDevs(), 0);
    int error = 0;
    EXPECT_FALSE(WaveInOpen(tagWaveFormat::Pcm16(8000, 1), nullptr, &error));
    EXPECT_EQ(error, MMSYSERR_BADDEVICEID);
    Use("out=" + m_out + ",in=" + Path("missing.wav"));
    EXPECT_EQ(WaveInGetNumDevs(), 0);
    tagWaveFormat odd = tagWaveFormat::Pcm16(8000, 1);
    odd.wBitsPerSample = 24;
    EXPECT_FALSE(WaveOutOpen(odd, nullptr, &error));
    EXPECT_EQ(error, WAVERR_BADFORMAT);
    EXPECT_FALSE(CWaveSystem::Select("nosuch:thing"));
    EXPECT_EQ(CWaveSystem::Current().Name(), "wav");

    // A player that cannot open says why in the audio log, the user's, in the state folder,
    // wherever the program was started from.
    const QString cwd = QDir::currentPath();
    ASSERT_TRUE(QDir().mkpath(m_dir->filePath("started-here")));
    ASSERT_TRUE(QDir::setCurrent(m_dir->filePath("started-here")));
    CTempStateHome state;
    ASSERT_TRUE(
        WriteFile(state.Folder() + "/audio.log", "an old line that must go\nand another\n"));
    Use("");
    CWaveOut player;
    player.SetFormat(1);
    EXPECT_EQ(player.Open(), 0);
    EXPECT_FALSE(player.IsOpen());
    QFile log(state.Folder() + "/audio.log");
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
