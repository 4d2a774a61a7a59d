// The codecs against the outside world: MP3 streams that other decoders read, G.729 that
// keeps speech intelligible, and the block and buffer sizes the packets rely on.

#include "audio/AudioFormats.h"
#include "audio/EchoFilter.h"
#include "audio/Mp3Decoder.h"
#include "audio/Mp3Encode.h"
#include "audio/WaveCompress729.h"
#include "tests/audio/AudioTestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <random>

using namespace audiotest;

namespace {

// An MPEG-2 layer III frame header, read the way any player reads it.
struct tagFrame {
    int bitrate = 0;  // kbit/s
    int rate = 0;
    int mode = 0;  // 0 stereo, 1 joint stereo, 2 dual, 3 mono
    bool crc = false;
    bool original = false;
    bool copyright = false;
    int length = 0;
};

bool ReadFrame(const unsigned char* p, size_t n, tagFrame& f) {
    if (n < 4 || p[0] != 0xFF || (p[1] & 0xE0) != 0xE0)
        return false;
    const int version = (p[1] >> 3) & 3;  // 2: MPEG-2
    const int layer = (p[1] >> 1) & 3;    // 1: layer III
    if (version != 2 || layer != 1)
        return false;
    static const int kBitrates[] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    static const int kRates[] = {22050, 24000, 16000};
    const int bi = p[2] >> 4;
    const int ri = (p[2] >> 2) & 3;
    if (bi == 0 || bi == 15 || ri == 3)
        return false;
    f.bitrate = kBitrates[bi];
    f.rate = kRates[ri];
    f.crc = (p[1] & 1) == 0;
    f.mode = p[3] >> 6;
    f.copyright = (p[3] >> 3) & 1;
    f.original = (p[3] >> 2) & 1;
    f.length = 72 * f.bitrate * 1000 / f.rate + ((p[2] >> 1) & 1);
    return true;
}

// Splits a payload into frames; false when it is not whole frames.
bool Frames(const QByteArray& payload, std::vector<tagFrame>& frames) {
    frames.clear();
    const auto* p = reinterpret_cast<const unsigned char*>(payload.constData());
    size_t at = 0;
    while (at < static_cast<size_t>(payload.size())) {
        tagFrame f;
        if (!ReadFrame(p + at, payload.size() - at, f))
            return false;
        at += f.length;
        frames.push_back(f);
    }
    return at == static_cast<size_t>(payload.size());
}

// Blocks of 23040 bytes of the given 22050 Hz stereo sound, zero-padded at the end.
std::vector<std::vector<short>> MusicBlocks(const tagWavData& wav) {
    std::vector<std::vector<short>> blocks;
    const size_t per = kMp3BlockBytes / 2;
    for (size_t at = 0; at < wav.samples.size(); at += per) {
        std::vector<short> block(per, 0);
        std::copy(wav.samples.begin() + at,
                  wav.samples.begin() + std::min(wav.samples.size(), at + per), block.begin());
        blocks.push_back(std::move(block));
    }
    return blocks;
}

std::vector<QByteArray> EncodeStream(int bitrate, const std::vector<std::vector<short>>& blocks) {
    CMp3Encode encoder;
    EXPECT_TRUE(encoder.Init(bitrate, CaptureFormat(AUDIO_QUALITY_HIFI)));
    std::vector<QByteArray> payloads;
    for (const auto& block : blocks) {
        QByteArray out(5000, 0);
        unsigned n = 0;
        encoder.Encode(block.data(), reinterpret_cast<unsigned char*>(out.data()), out.size(), &n);
        out.resize(n);
        payloads.push_back(out);
    }
    return payloads;
}

class Mp3Stream : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new QTemporaryDir;
        speech = MakeSpeech(dir->path(), 22050, 2);
    }
    static void TearDownTestSuite() {
        delete dir;
        dir = nullptr;
    }
    void SetUp() override {
        if (speech.samples.empty())
            GTEST_SKIP() << "no test speech (sox missing)";
    }
    static QTemporaryDir* dir;
    static tagWavData speech;
};
QTemporaryDir* Mp3Stream::dir = nullptr;
tagWavData Mp3Stream::speech;

}  // namespace

TEST(Mp3Encode, OpensAtTheRatesReceiversPlay) {
    CMp3Encode hifi;
    CMp3Encode singing;
    ASSERT_TRUE(hifi.Init(64, CaptureFormat(AUDIO_QUALITY_HIFI)));
    ASSERT_TRUE(singing.Init(32, CaptureFormat(AUDIO_QUALITY_SINGING)));
    EXPECT_TRUE(hifi.IsReady());
    EXPECT_EQ(hifi.OutputRate(), 22050);
    EXPECT_EQ(singing.OutputRate(), 16000);
    // Ten calls of one chunk each make one 23040-byte block.
    EXPECT_EQ(hifi.ChunkSize() * CMp3Encode::kChunksPerBlock * 2, unsigned(kMp3BlockBytes));
    EXPECT_EQ(singing.ChunkSize(), hifi.ChunkSize());
}

TEST(Mp3Encode, ClosedOrMissingEncoderGivesNothing) {
    CMp3Encode encoder;
    std::vector<short> block(kMp3BlockBytes / 2, 1000);
    unsigned char out[5000];
    unsigned n = 77;
    EXPECT_FALSE(encoder.Encode(block.data(), out, sizeof out, &n));
    EXPECT_EQ(n, 0u);
    ASSERT_TRUE(encoder.Init(64, CaptureFormat(AUDIO_QUALITY_HIFI)));
    encoder.Deinit();
    EXPECT_FALSE(encoder.IsReady());
    EXPECT_FALSE(encoder.Encode(block.data(), out, sizeof out, &n));
    EXPECT_EQ(n, 0u);
    // Bad input formats are refused outright.
    tagWaveFormat eight = CaptureFormat(AUDIO_QUALITY_HIFI);
    eight.wBitsPerSample = 8;
    EXPECT_FALSE(encoder.Init(64, eight));
}

TEST(Mp3Encode, OutputStopsAtTheBufferEnd) {
    CMp3Encode encoder;
    ASSERT_TRUE(encoder.Init(64, CaptureFormat(AUDIO_QUALITY_HIFI)));
    tagWavData noise = MakeSine(22050, 2, 1234, 12000, 0.3);
    std::vector<short> block(noise.samples.begin(), noise.samples.begin() + kMp3BlockBytes / 2);
    std::vector<unsigned char> out(600, 0xAB);
    unsigned n = 0;
    for (int i = 0; i < 3; ++i) encoder.Encode(block.data(), out.data(), 500, &n);
    EXPECT_EQ(n, 500u);
    for (size_t i = 500; i < out.size(); ++i)
        ASSERT_EQ(out[i], 0xAB) << "byte " << i << " written past the buffer";
}

TEST_F(Mp3Stream, EveryBlockIsWholeFramesWithTheAgreedHeader) {
    const auto blocks = MusicBlocks(speech);
    struct {
        int bitrate;
        int rate;
    } cases[] = {{64, 22050}, {32, 16000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bitrate);
        const auto payloads = EncodeStream(c.bitrate, blocks);
        int frames = 0;
        for (size_t i = 0; i < payloads.size(); ++i) {
            std::vector<tagFrame> fs;
            ASSERT_TRUE(Frames(payloads[i], fs)) << "packet " << i << " is not whole frames";
            // At 22050 Hz a block is exactly ten frames (the first nine: the encoder's delay
            // holds one back); resampled to 16000 Hz it is seven or eight, never a torn one.
            if (c.rate == 22050)
                EXPECT_EQ(fs.size(), i == 0 ? 9u : 10u) << "packet " << i;
            else
                EXPECT_TRUE(fs.size() == 7 || fs.size() == 8 || i == 0) << fs.size();
            for (const tagFrame& f : fs) {
                EXPECT_EQ(f.bitrate, c.bitrate);
                EXPECT_EQ(f.rate, c.rate);
                EXPECT_EQ(f.mode, 1) << "joint stereo";
                EXPECT_FALSE(f.crc);
                EXPECT_TRUE(f.original);
                EXPECT_FALSE(f.copyright);
            }
            frames += static_cast<int>(fs.size());
            EXPECT_LE(payloads[i].size(),
                      c.bitrate == 64 ? kHifiPayloadBuffer : kSingingPayloadBuffer);
        }
        // Over the stream the frames carry the input's duration at the output rate.
        const double seconds = blocks.size() * 5760.0 / 22050;
        EXPECT_NEAR(frames * 576.0 / c.rate, seconds, 576.0 * 2 / c.rate);
    }
}

TEST_F(Mp3Stream, FfmpegReadsBothQualitiesAsTheirPlaybackFormats) {
    if (!HaveProgram("ffmpeg") || !HaveProgram("ffprobe"))
        GTEST_SKIP() << "ffmpeg is not installed";
    const auto blocks = MusicBlocks(speech);
    struct {
        int bitrate;
        int rate;
    } cases[] = {{64, 22050}, {32, 16000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bitrate);
        const QString mp3 = QDir(dir->path()).filePath(QString("stream%1.mp3").arg(c.bitrate));
        QFile file(mp3);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        for (const QByteArray& p : EncodeStream(c.bitrate, blocks)) file.write(p);
        file.close();

        QByteArray probe;
        ASSERT_TRUE(audiotest::Run("ffprobe",
                                   {"-v", "error", "-select_streams", "a:0", "-show_entries",
                                    "stream=sample_rate,channels", "-of", "csv=p=0", mp3},
                                   &probe));
        EXPECT_EQ(probe.trimmed(), QByteArray::number(c.rate) + ",2");

        const QString decoded = mp3 + ".wav";
        ASSERT_TRUE(audiotest::Run("ffmpeg", {"-v", "error", "-y", "-i", mp3, decoded}));
        tagWavData out;
        ASSERT_TRUE(ReadWavFile(decoded, out));
        EXPECT_EQ(out.rate, c.rate);
        EXPECT_EQ(out.channels, 2);
        // The sound itself: compare with the input brought to the same rate.
        const QString ref = mp3 + ".ref.wav";
        ASSERT_TRUE(WriteWavFile(ref + ".in.wav", speech));
        ASSERT_TRUE(audiotest::Run("sox", {ref + ".in.wav", "-r", QString::number(c.rate), ref}));
        tagWavData expected;
        ASSERT_TRUE(ReadWavFile(ref, expected));
        const double corr =
            BestCorrelation(Channel(expected.samples, 2, 0), Channel(out.samples, 2, 0), 3000);
        EXPECT_GT(corr, 0.85) << "decoded sound does not match what was encoded";
    }
}

TEST_F(Mp3Stream, Mpg123DecodesPacketByPacketIntoWholeBlocks) {
    const auto blocks = MusicBlocks(speech);
    // Hi-fi: every packet after the first decodes to exactly one output buffer.
    {
        CMp3Decoder decoder;
        ASSERT_TRUE(decoder.IsReady());
        std::vector<unsigned char> out(23040);
        std::vector<size_t> sizes;
        const auto payloads = EncodeStream(64, blocks);
        for (const QByteArray& p : payloads)
            sizes.push_back(decoder.Decode(reinterpret_cast<const unsigned char*>(p.constData()),
                                           p.size(), out.data(), out.size()));
        EXPECT_EQ(decoder.Rate(), 22050);
        EXPECT_EQ(decoder.Channels(), 2);
        // The first packet carries one frame less (the encoder's delay), and decodes to just
        // those frames; every later packet to exactly one output buffer.
        std::vector<tagFrame> firstFrames;
        ASSERT_TRUE(Frames(payloads[0], firstFrames));
        RecordProperty("first_hifi_packet_bytes", static_cast<int>(sizes[0]));
        EXPECT_EQ(sizes[0], 2304u * firstFrames.size());
        for (size_t i = 1; i < sizes.size(); ++i) EXPECT_EQ(sizes[i], 23040u) << "packet " << i;
    }
    // Singing: 16000 Hz frames, seven or eight per packet, whole frames every time.
    {
        CMp3Decoder decoder;
        std::vector<unsigned char> out(23040);
        size_t total = 0;
        const auto payloads = EncodeStream(32, blocks);
        for (size_t i = 0; i < payloads.size(); ++i) {
            const QByteArray& p = payloads[i];
            const size_t n = decoder.Decode(reinterpret_cast<const unsigned char*>(p.constData()),
                                            p.size(), out.data(), out.size());
            EXPECT_EQ(n % 2304, 0u);
            if (i > 0)
                EXPECT_TRUE(n == 2304u * 7 || n == 2304u * 8) << n;
            total += n;
        }
        EXPECT_EQ(decoder.Rate(), 16000);
        EXPECT_NEAR(total / 4.0 / 16000, blocks.size() * 5760.0 / 22050, 0.1);
    }
}

TEST_F(Mp3Stream, TornFramesWaitForTheNextPacket) {
    const auto payloads = EncodeStream(64, MusicBlocks(speech));
    ASSERT_GE(payloads.size(), 3u);
    CMp3Decoder decoder;
    std::vector<unsigned char> out(23040);
    // Less than one frame: nothing yet.
    const QByteArray& first = payloads[0];
    EXPECT_EQ(decoder.Decode(reinterpret_cast<const unsigned char*>(first.constData()), 100,
                             out.data(), out.size()),
              0u);
    // The rest of it completes the frames it started.
    const size_t n = decoder.Decode(reinterpret_cast<const unsigned char*>(first.constData()) + 100,
                                    first.size() - 100, out.data(), out.size());
    EXPECT_GE(n, 2304u * 9);
    EXPECT_EQ(decoder.Decode(reinterpret_cast<const unsigned char*>(payloads[1].constData()),
                             payloads[1].size(), out.data(), out.size()),
              23040u);
}

TEST_F(Mp3Stream, GarbageNeverWritesPastTheBufferAndTheStreamRecovers) {
    const auto payloads = EncodeStream(64, MusicBlocks(speech));
    CMp3Decoder decoder;
    std::mt19937 rng(7);
    std::vector<unsigned char> out(23040 + 64, 0x5A);
    for (int round = 0; round < 200; ++round) {
        std::vector<unsigned char> junk(1 + rng() % 6000);
        for (auto& b : junk) b = static_cast<unsigned char>(rng());
        // Now and then a real sync word, to lead the decoder astray.
        if (round % 3 == 0 && junk.size() > 4) {
            junk[0] = 0xFF;
            junk[1] = 0xF3;
        }
        const size_t n = decoder.Decode(junk.data(), junk.size(), out.data(), 23040);
        ASSERT_LE(n, 23040u);
        for (size_t i = 23040; i < out.size(); ++i) ASSERT_EQ(out[i], 0x5A);
    }
    // After the garbage a good stream decodes again within a packet or two.
    size_t good = 0;
    for (size_t i = 0; i < 4 && i < payloads.size(); ++i)
        good = decoder.Decode(reinterpret_cast<const unsigned char*>(payloads[i].constData()),
                              payloads[i].size(), out.data(), 23040);
    EXPECT_EQ(good, 23040u);
}

TEST(WaveCompress729, SpeechBlocksAreAlways250BytesAndBack) {
    CWaveCompress729 codec;
    std::mt19937 rng(1);
    std::vector<short> pcm(2000);
    for (int round = 0; round < 5; ++round) {
        for (auto& s : pcm) s = static_cast<short>(rng());
        unsigned char coded[1000];
        std::fill(std::begin(coded), std::end(coded), 0xEE);
        int n = 0;
        EXPECT_EQ(codec.Compress(pcm.data(), 4000, coded, &n), 0);
        EXPECT_EQ(n, 250);
        EXPECT_EQ(coded[250], 0xEE);
        std::vector<short> back(2100, 0x1234);
        int m = 0;
        EXPECT_EQ(codec.DeCompress(coded, 250, back.data(), &m), 0);
        EXPECT_EQ(m, 4000);
        EXPECT_EQ(back[2000], 0x1234) << "decoder wrote past one block";
    }
}

TEST(WaveCompress729, EveryConstructionStartsTheSharedStatesAfresh) {
    tagWavData tone = MakeSine(8000, 1, 300, 8000, 0.25);
    ASSERT_EQ(tone.samples.size(), 2000u);
    auto encode = [&](CWaveCompress729& codec) {
        QByteArray out(250, 0);
        int n = 0;
        codec.Compress(tone.samples.data(), 4000, reinterpret_cast<unsigned char*>(out.data()), &n);
        return out;
    };
    CWaveCompress729 first;
    const QByteArray fresh = encode(first);
    const QByteArray warmed = encode(first);
    EXPECT_NE(fresh, warmed) << "the encoder should carry its state from block to block";
    // Another object shares the states; constructing it starts them over for everyone.
    CWaveCompress729 second;
    EXPECT_EQ(encode(first), fresh);
    EXPECT_EQ(encode(second), warmed);
}

TEST(EchoFilter, IsACombOf639SamplesWithHalfFeedback) {
    CEchoFilter filter;
    std::vector<short> x(2000, 0);
    x[0] = 1000;
    filter.Apply(x.data(), static_cast<int>(x.size()));
    for (int i = 0; i < 2000; ++i) {
        const int expected = i == 0 ? 1000 : i == 639 ? 500 : i == 1278 ? 250 : i == 1917 ? 125 : 0;
        ASSERT_EQ(x[i], expected) << "sample " << i;
    }
}

TEST(EchoFilter, KeepsItsPlaceAcrossBlocks) {
    tagWavData tone = MakeSine(8000, 1, 440, 9000, 1.0);
    CEchoFilter whole;
    CEchoFilter split;
    std::vector<short> a = tone.samples;
    std::vector<short> b = tone.samples;
    whole.Apply(a.data(), 8000);
    // Blocks of uneven sizes, as a stop and start in between would leave them.
    split.Apply(b.data(), 4000);
    split.Apply(b.data() + 4000, 1234);
    split.Apply(b.data() + 5234, 2766);
    EXPECT_EQ(a, b);
    EXPECT_EQ(split.Position(), 8000 % CEchoFilter::kDelay);
}

TEST(EchoFilter, SamplesThatWouldLeaveSixteenBitsPassDry) {
    CEchoFilter filter;
    std::vector<short> x(640, 0);
    x[0] = 30000;
    x[639] = 30000;  // 30000 + 15000 would overflow
    filter.Apply(x.data(), 640);
    EXPECT_EQ(x[639], 30000);
    std::vector<short> y(640, 0);
    y[0] = -30000;
    y[639] = -20000;  // -20000 - 15000 would overflow too
    CEchoFilter negative;
    negative.Apply(y.data(), 640);
    EXPECT_EQ(y[639], -20000);
    // Within range the echo is added.
    std::vector<short> z(640, 0);
    z[0] = 30000;
    z[639] = 10000;
    CEchoFilter inRange;
    inRange.Apply(z.data(), 640);
    EXPECT_EQ(z[639], 25000);
}

TEST(SpeechPath, SpeechSurvivesTheEchoFilterAndG729) {
    QTemporaryDir dir;
    tagWavData speech = MakeSpeech(dir.path(), 8000, 1);
    if (speech.samples.empty())
        GTEST_SKIP() << "no test speech (sox missing)";
    const size_t blocks = speech.samples.size() / 2000;
    ASSERT_GE(blocks, 8u);
    CEchoFilter echo;
    CWaveCompress729 codec;
    std::vector<double> sent;
    std::vector<double> heard;
    std::vector<double> dry;
    for (size_t b = 0; b < blocks; ++b) {
        std::vector<short> block(speech.samples.begin() + b * 2000,
                                 speech.samples.begin() + (b + 1) * 2000);
        for (short s : block) dry.push_back(s);
        echo.Apply(block.data(), 2000);
        for (short s : block) sent.push_back(s);
        unsigned char coded[250];
        int n = 0;
        codec.Compress(block.data(), 4000, coded, &n);
        ASSERT_EQ(n, 250);
        std::vector<short> out(2000);
        codec.DeCompress(coded, 250, out.data(), &n);
        for (short s : out) heard.push_back(s);
    }
    int lag = 0;
    const double corr = BestCorrelation(sent, heard, 200, &lag);
    std::vector<double> aligned(heard.begin() + lag, heard.end());
    const double snr = SnrDb(sent, aligned);
    RecordProperty("g729_lag_samples", lag);
    RecordProperty("g729_snr_db_x10", static_cast<int>(snr * 10));
    std::printf("speech through echo and G.729: correlation %.3f, lag %d, SNR %.1f dB\n", corr, lag,
                snr);
    // CELP keeps the spectrum rather than the waveform; a few dB of waveform SNR and a
    // clear correlation is what intelligible G.729 speech measures.
    EXPECT_GT(corr, 0.7);
    EXPECT_GT(snr, 3.0);
    // The echo is there but does not bury the speech.
    EXPECT_GT(BestCorrelation(dry, sent, 0), 0.75);
    EXPECT_LT(BestCorrelation(dry, sent, 0), 0.999);
}
