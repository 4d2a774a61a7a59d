// The capture object between a completed block and the packet handed to its owner, and the
// whole road from a recorder through the codecs to the players.

#include "audio/AudioFormats.h"
#include "audio/AudioPacket.h"
#include "audio/EchoFilter.h"
#include "audio/MyWaveIn.h"
#include "audio/Players.h"
#include "platform/audio/WavFileBackend.h"
#include "platform/audio/WaveSystem.h"
#include "protocol/KParam.h"
#include "tests/audio/AudioTestSupport.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <mutex>

using namespace audiotest;
using namespace tavotest;

namespace {

// An owner as the room or the private chat would be: a mic state, a meter and a connection.
class CTestOwner : public IVoiceOwner {
public:
    QString VoiceOwnId() const override { return id; }
    tagMicState VoiceMicState() const override {
        std::lock_guard<std::mutex> g(mutex);
        return state;
    }
    void PostVoiceMeter(int meter, int loud) override {
        std::lock_guard<std::mutex> g(mutex);
        meters.emplace_back(meter, loud);
    }
    void SendVoicePacket(CKParam& packet) override {
        tagAudioPacket audio;
        CKParam copy;
        copy.SetBufferPtr(packet.GetBufferPtr(), packet.GetLength());
        ParseAudioPacket(copy, audio);
        std::lock_guard<std::mutex> g(mutex);
        packets.push_back(audio);
    }
    size_t PacketCount() const {
        std::lock_guard<std::mutex> g(mutex);
        return packets.size();
    }
    std::vector<tagAudioPacket> Packets() const {
        std::lock_guard<std::mutex> g(mutex);
        return packets;
    }

    QString id = QStringLiteral("me");
    tagMicState state;
    mutable std::mutex mutex;
    std::vector<std::pair<int, int>> meters;
    std::vector<tagAudioPacket> packets;
};

class Capture : public ::testing::Test {
protected:
    void SetUp() override {
        m_clock = std::make_unique<CManualClock>();
        m_scope = std::make_unique<CScopedClock>(*m_clock);
        m_owner.state.ownId = "me";
        m_owner.state.mainHolder = "me";
    }
    void TearDown() override { SetAudioQuitting(false); }
    std::unique_ptr<CManualClock> m_clock;
    std::unique_ptr<CScopedClock> m_scope;
    CTestOwner m_owner;
};

}  // namespace

// The hook the capture thread calls for each block, with the quality a running capture has:
// the owner's mic state decides the packet (the full rules are the mic state's own), the private
// chat sends on mic 1 in its own name, and nothing goes out once the program is quitting.
TEST_F(Capture, TheOwnersMicStateAndQuittingDecideWhatIsSentAndOddBlocksGiveNoPayload) {
    class CQualityCapture : public CMyWaveIn {
    public:
        explicit CQualityCapture(int quality) { m_nQuality = quality; }
    } hifi(AUDIO_QUALITY_HIFI);
    hifi.SetRoomWindow(&m_owner);
    std::vector<char> block(kMp3BlockBytes);
    tagWavData tone = MakeSine(22050, 2, 689.0625, 400, 0.3);
    std::memcpy(block.data(), tone.samples.data(), kMp3BlockBytes);
    // The packet a block makes, or micIndex -1 when none; a block that sends nothing must
    // not move the meter either.
    auto send = [&](CTestOwner& owner) {
        std::vector<char> copy = block;
        const size_t packets = owner.PacketCount();
        const size_t meters = owner.meters.size();
        hifi.OnWaveData(copy.data(), kMp3BlockBytes, nullptr);
        auto all = owner.Packets();
        if (all.size() == packets) {
            EXPECT_EQ(owner.meters.size(), meters) << "meter without a packet";
            tagAudioPacket none;
            none.micIndex = -1;
            return none;
        }
        EXPECT_EQ(owner.meters.size(), meters + 1);
        return all.back();
    };
    tagAudioPacket a = send(m_owner);
    EXPECT_EQ(a.micIndex, 1);
    EXPECT_EQ(a.quality, 1);
    EXPECT_EQ(a.senderId, "me");
    EXPECT_EQ(a.meter, 2);
    EXPECT_GE(a.payload.size(), 9 * 208) << "nine or ten frames of 64 kbit/s";
    m_owner.state.capturePaused = true;
    EXPECT_EQ(send(m_owner).micIndex, -1) << "paused";

    CTestOwner chat;
    chat.id = "peer-me";
    hifi.SetPrivateWindow(&chat);
    hifi.SetRoomMode(false);
    tagAudioPacket p = send(chat);
    EXPECT_EQ(p.micIndex, 1);
    EXPECT_EQ(p.quality, 1) << "only the room switches to singing";
    EXPECT_EQ(p.senderId, "peer-me");
    SetAudioQuitting(true);
    EXPECT_EQ(send(chat).micIndex, -1) << "quitting";

    // Blocks no encoder takes give no payload.
    CMyWaveIn capture;
    QByteArray payload("x");
    EXPECT_EQ(capture.EncodeBlock(4, block.data(), kMp3BlockBytes, payload), -1);
    EXPECT_EQ(capture.EncodeBlock(AUDIO_QUALITY_SPEECH, block.data(), 100, payload), 0);
    EXPECT_TRUE(payload.isEmpty());
}

// From a WAV recorder through capture, packets and players to a WAV player, per quality.
TEST_F(Capture, VoiceSurvivesTheWholeRoadForEveryQuality) {
    QTemporaryDir dir;
    struct {
        int quality;
        int rate;
        int channels;
        int player;
        double minCorrelation;
    } cases[] = {
        {AUDIO_QUALITY_HIFI, 22050, 2, 0, 0.85},
        {AUDIO_QUALITY_SINGING, 22050, 2, 1, 0.75},
        {AUDIO_QUALITY_SPEECH, 8000, 1, 3, 0.6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.quality);
        tagWavData speech = MakeSpeech(dir.path(), c.rate, c.channels);
        TAVO_NEED(!speech.samples.empty(), "sox");
        const QString in = QDir(dir.path()).filePath(QString("in%1.wav").arg(c.quality));
        const QString out = QDir(dir.path()).filePath(QString("out%1-%d.wav").arg(c.quality));
        ASSERT_TRUE(WriteWavFile(in, speech));
        ASSERT_TRUE(CWaveSystem::Select("wav:pace=fast,in=" + in + ",out=" + out));
        const int blockBytes = CaptureBlockBytes(c.quality);
        const size_t blocks = speech.samples.size() * 2 / blockBytes;

        CTestOwner owner;
        owner.state.ownId = owner.state.mainHolder = "me";
        CEchoFilter::Shared().Reset();
        CMyWaveIn capture;
        capture.SetRoomWindow(&owner);
        ASSERT_EQ(capture.StartCapture(c.quality), 0);
        ASSERT_TRUE(
            WaitUntil([&] { return owner.PacketCount() >= blocks; }, std::chrono::seconds(30)));
        capture.StopCapture();

        CRoomPlayers players;
        ASSERT_TRUE(players.OpenPlayers());
        for (const tagAudioPacket& p : owner.Packets()) {
            EXPECT_EQ(p.quality, c.quality);
            EXPECT_EQ(players.PlayerFor(p.quality, p.micIndex), c.player);
            players.PlayPayload(p.quality, p.micIndex, p.payload);
        }
        players.ClosePlayers();
        tagWavData heard;
        const QString file = QString(out).replace("%d", QString::number(c.player));
        ASSERT_TRUE(ReadWavFile(file, heard));
        const auto sent = Channel(speech.samples, c.channels, 0);
        const auto got = Channel(heard.samples, heard.channels, 0);
        // Singing comes back at 16000 Hz: compare with the input at that rate.
        std::vector<double> reference = sent;
        if (heard.rate != speech.rate) {
            reference.clear();
            const double step = static_cast<double>(speech.rate) / heard.rate;
            for (double t = 0; t + 1 < sent.size(); t += step) {
                const size_t i = static_cast<size_t>(t);
                reference.push_back(sent[i] + (sent[i + 1] - sent[i]) * (t - i));
            }
        }
        const tagRecordingComparison heardAgain =
            CompareRecording(reference, got, heard.rate / 4, heard.rate);
        EXPECT_GT(heardAgain.correlation, c.minCorrelation);
        EXPECT_NEAR(heardAgain.levelRatio, 1.0, 0.3);
        EXPECT_NEAR(got.size(), reference.size(), heard.rate * 0.6);
    }
}

TEST(RoomPlayers, WhatNoPlayerCanTakeIsDroppedAndThePrivateChatRoutesByQualityAlone) {
    QTemporaryDir dir;
    ASSERT_TRUE(CWaveSystem::Select("wav:pace=hold,out=" + QDir(dir.path()).filePath("p-%d.wav")));
    CRoomPlayers room;
    const QByteArray speech(250, '\x11');
    EXPECT_FALSE(room.PlayPayload(3, 1, speech)) << "players not open";
    ASSERT_TRUE(room.OpenPlayers());
    EXPECT_TRUE(room.OpenPlayers()) << "already open";
    EXPECT_TRUE(room.PlayPayload(3, 1, speech));
    EXPECT_EQ(room.Player(3).Pending(), 1);
    EXPECT_FALSE(room.PlayPayload(3, 1, speech.left(249)));
    EXPECT_FALSE(room.PlayPayload(3, 2, speech + 'x'));
    EXPECT_FALSE(room.PlayPayload(1, 1, QByteArray("garbage that is no MP3 at all")));
    EXPECT_FALSE(room.PlayPayload(2, 1, QByteArray()));
    EXPECT_EQ(room.Player(4).Pending(), 0);
    EXPECT_EQ(room.Player(0).Pending(), 0);
    room.ClosePlayers();
    EXPECT_FALSE(room.IsOpen());

    // The private chat has three players, chosen by the quality alone.
    CPrivatePlayers chat;
    EXPECT_EQ(chat.Count(), 3);
    EXPECT_EQ(chat.PlayerFor(1, 2), 0);
    EXPECT_EQ(chat.PlayerFor(3, 2), 2);
    EXPECT_EQ(chat.PlayerFor(5, 1), -1);
}

TEST(RoomPlayers, AMachineWithoutOutputIsToldItLacksAudioDecoding) {
    CScriptedUi ui;
    ASSERT_TRUE(CWaveSystem::Select("wav:"));
    CRoomPlayers room;
    EXPECT_FALSE(room.OpenAtInit());
    EXPECT_FALSE(room.IsOpen());
    ASSERT_EQ(ui.prompt.History().size(), 1u);
    EXPECT_EQ(ui.prompt.History()[0].text, QStringLiteral("该机器缺少音频解码!"));
    EXPECT_EQ(ui.prompt.History()[0].caption, QStringLiteral("Warning"));
    EXPECT_TRUE(ui.prompt.History()[0].flags & MB_ICONINFORMATION);
}
