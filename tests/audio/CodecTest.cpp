// The codecs against the outside world: MP3 streams that other decoders read, G.729 that
// keeps speech intelligible, and the block and buffer sizes the packets rely on.

#include "audio/AudioFormats.h"
#include "audio/EchoFilter.h"
#include "audio/Mp3Decoder.h"
#include "audio/Mp3Encode.h"
#include "audio/WaveCompress729.h"
#include "tests/audio/AudioTestSupport.h"
#include "tests/support/TestSupport.h"

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
    void SetUp() override { TAVO_NEED(!speech.samples.empty(), "sox"); }
    static QTemporaryDir* dir;
    static tagWavData speech;
};
QTemporaryDir* Mp3Stream::dir = nullptr;
tagWavData Mp3Stream::speech;

}  // namespace

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

    // A full output buffer stops the output at its end.
    ASSERT_TRUE(encoder.Init(64, CaptureFormat(AUDIO_QUALITY_HIFI)));
    tagWavData noise = MakeSine(22050, 2, 1234, 12000, 0.3);
    block.assign(noise.samples.begin(), noise.samples.begin() + kMp3BlockBytes / 2);
    std::fill(std::begin(out), std::end(out), 0xAB);
    for (int i = 0; i < 3; ++i) encoder.Encode(block.data(), out, 500, &n);
    EXPECT_EQ(n, 500u);
    for (size_t i = 500; i < sizeof out; ++i)
        ASSERT_EQ(out[i], 0xAB) << "byte " << i << " written past the buffer";
}

// Every packet is whole frames with the header the receivers expect, and a receiver's decoder
// turns each one, as it comes, into exactly the samples of its frames.
TEST_F(Mp3Stream, EveryPacketIsWholeFramesAndDecodesAsItComes) {
    const auto blocks = MusicBlocks(speech);
    struct {
        int bitrate;
        int rate;
    } cases[] = {{64, 22050}, {32, 16000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bitrate);
        const auto payloads = EncodeStream(c.bitrate, blocks);
        CMp3Decoder decoder;
        ASSERT_TRUE(decoder.IsReady());
        std::vector<unsigned char> out(23040);
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
            const QByteArray& p = payloads[i];
            EXPECT_EQ(decoder.Decode(reinterpret_cast<const unsigned char*>(p.constData()),
                                     p.size(), out.data(), out.size()),
                      2304u * fs.size())
                << "packet " << i;
        }
        EXPECT_EQ(decoder.Rate(), c.rate);
        EXPECT_EQ(decoder.Channels(), 2);
        // Over the stream the frames carry the input's duration at the output rate.
        const double seconds = blocks.size() * 5760.0 / 22050;
        EXPECT_NEAR(frames * 576.0 / c.rate, seconds, 576.0 * 2 / c.rate);
    }
}

TEST_F(Mp3Stream, TornFramesWaitForTheNextPacketAndGarbageIsSurvived) {
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

    // Garbage never writes past the buffer, and the stream recovers after it.
    std::mt19937 rng(7);
    out.assign(23040 + 64, 0x5A);
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

TEST(WaveCompress729, SpeechBlocksAreAlways250BytesAndBackAndEachObjectStartsAfresh) {
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

    // Every construction starts the shared states afresh.
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

TEST(EchoFilter, IsACombOf639SamplesWithHalfFeedbackAcrossBlocksThatLeavesOverflowsDry) {
    CEchoFilter filter;
    std::vector<short> x(2000, 0);
    x[0] = 1000;
    // Blocks of uneven sizes, as a stop and start in between would leave them.
    filter.Apply(x.data(), 700);
    filter.Apply(x.data() + 700, 1234);
    filter.Apply(x.data() + 1934, 66);
    for (int i = 0; i < 2000; ++i) {
        const int expected = i == 0 ? 1000 : i == 639 ? 500 : i == 1278 ? 250 : i == 1917 ? 125 : 0;
        ASSERT_EQ(x[i], expected) << "sample " << i;
    }

    // Samples that would leave sixteen bits pass dry: 30000 + 15000 and -20000 - 15000 would
    // overflow; 10000 + 15000 would not.
    for (auto [first, later, expected] :
         {std::tuple{30000, 30000, 30000}, std::tuple{-30000, -20000, -20000},
          std::tuple{30000, 10000, 25000}}) {
        CEchoFilter fresh;
        x.assign(640, 0);
        x[0] = static_cast<short>(first);
        x[639] = static_cast<short>(later);
        fresh.Apply(x.data(), 640);
        EXPECT_EQ(x[639], expected) << first << " " << later;
    }
}
