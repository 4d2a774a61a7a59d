// Voice in an entered room: what the user's capture sends on the second room connection, and
// what received audio packets reach which player. The room runs against the scripted room
// server on loopback; the WAV-file backend stands for the sound card.

#include "audio/AudioFormats.h"
#include "audio/AudioPacket.h"
#include "audio/MyWaveIn.h"
#include "audio/RecordSource.h"
#include "audio/VoiceLevel.h"
#include "platform/audio/WavFile.h"
#include "platform/audio/WaveSystem.h"
#include "protocol/Commands.h"
#include "room/ChatText.h"
#include "room/MicOrder.h"
#include "room/RoomAudio.h"
#include "tests/room/RoomFixture.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <cmath>
#include <limits>

using namespace tavotest;

namespace {

// One 22050 Hz stereo capture block with tones on bins 16, 32, ... of the level's FFT, each
// giving that bin the value `bin`: the level is count * bin / 16.
QByteArray ToneBlock(int count, int bin, int blockBytes = 23040) {
    QByteArray block(blockBytes, '\0');
    auto* s = reinterpret_cast<short*>(block.data());
    const int frames = blockBytes / 4;
    for (int n = 0; n < frames; ++n) {
        double v = 0;
        for (int k = 1; k <= count; ++k) {
            v += 2.0 * bin * std::cos(2 * M_PI * 16 * k * n / 512.0);
        }
        s[2 * n] = s[2 * n + 1] = static_cast<short>(std::lround(v));
    }
    return block;
}

int LevelOf(const QByteArray& block) {
    CVoiceLevel level;
    return level.Level(reinterpret_cast<const short*>(block.constData()), block.size() / 2);
}

struct CAudioRoom {
    CAudioRoom() {
        // No input file: the capture opens and stays dry, so only the blocks a test hands it
        // are sent.
        silent = QDir(dir.path()).filePath("silent.wav");
        tagWavData none;
        none.rate = 22050;
        none.channels = 2;
        WriteWavFile(silent, none);
        out = QDir(dir.path()).filePath("heard%d.wav");
        // Speaking records the microphone unless a test asks for the stereo mix.
        tagMixSettings mix;
        mix.isOpenMix = 0;
        mix.Save();
        CWaveSystem::Select("wav:pace=fast,in=" + silent + ",out=" + out);
        audio = &CRoomAudio::Install(f.Room());
    }
    ~CAudioRoom() { CWaveSystem::Select("wav"); }

    bool Enter() { return f.Enter(); }

    void Handle(const QString& to) { f.Deliver(Packet(CMD_HANDLE_HANDED, {{20, to}})); }
    void DualMic(bool allow) {
        f.Deliver(
            Packet(CMD_SECOND_MIC_CONTROL_CHANGED, {{20, "amy"}, {30, allow ? 1 : 0}, {40, 3}}));
    }
    // Hands the capture one block as its capture thread would.
    void Capture(QByteArray block) {
        audio->Capture().OnWaveData(block.data(), static_cast<int>(block.size()), nullptr);
    }
    std::vector<CPacketCopy> Sent() { return f.server.second.Received(CMD_AUDIO); }
    bool WaitSent(int n) { return f.server.second.WaitFor(CMD_AUDIO, n); }

    CRoomFixture f;
    QTemporaryDir dir;
    QString silent, out;
    CRecordingRoomView& view = f.roomView;
    CRoomAudio* audio = nullptr;
};

tagAudioPacket Read(const CPacketCopy& copy) {
    CKParam p = copy.Loaded();
    tagAudioPacket a;
    ParseAudioPacket(p, a);
    return a;
}

}  // namespace

// The gate and the mic rules are the capture's own (their unit tests hold them); here the room
// feeds them: the holder from the announcements, the meter back to the view, the quality from
// the dual-mic switch.
TEST(RoomAudio, TheRoomsMicrophoneStateDecidesWhatTheCaptureSends) {
    CAudioRoom r;
    ASSERT_TRUE(r.Enter());
    const QByteArray loud = ToneBlock(8, 250);
    ASSERT_GE(LevelOf(loud), 110);  // meter 12 or more: loud
    r.f.MicTaken("me");
    ASSERT_TRUE(r.audio->Capture().IsCapturing());
    EXPECT_TRUE(r.view.speak);

    r.Capture(loud);
    ASSERT_TRUE(r.WaitSent(1));
    const tagAudioPacket first = Read(r.Sent()[0]);
    EXPECT_EQ(first.micIndex, 1);
    EXPECT_EQ(first.quality, AUDIO_QUALITY_HIFI);
    EXPECT_EQ(first.senderId, "me");
    EXPECT_EQ(first.meter, CVoiceLevel::MeterValue(LevelOf(loud)));
    EXPECT_FALSE(first.hasRoom);  // the relaying server adds the room number, never we
    // The own meter comes back through the window's queue.
    ASSERT_TRUE(WaitUntil([&] { return r.view.mainMeter == 5 * first.meter; }));

    // Dual mics while hi-fi is running: the same capture now sends singing quality. What the
    // handle does to a block is the mic state's own, the announcement that sets it the
    // microphone tests'.
    r.DualMic(true);
    r.Capture(loud);
    ASSERT_TRUE(r.WaitSent(2));
    EXPECT_EQ(Read(r.Sent()[1]).quality, AUDIO_QUALITY_SINGING);

    // The second mic: mic 2, singing quality, its meter on the second bar.
    r.f.MicTaken("");
    r.f.MicTaken("me", 2);
    ASSERT_TRUE(r.audio->Capture().IsCapturing());
    r.Capture(loud);
    ASSERT_TRUE(r.WaitSent(3));
    EXPECT_EQ(Read(r.Sent()[2]).micIndex, 2);
    ASSERT_TRUE(WaitUntil([&] { return r.view.secondMeter > 0; }));

    // Losing the microphone stops the capture and releases the speak button.
    r.f.MicTaken("amy", 2);
    EXPECT_FALSE(r.audio->Capture().IsCapturing());
    EXPECT_FALSE(r.view.speak);
}

namespace {

// Real payloads of each quality, from the capture's own encoders.
QByteArray Payload(int quality) {
    CMyWaveIn encoder;
    QByteArray block =
        ToneBlock(4, 200, quality == AUDIO_QUALITY_SPEECH ? kSpeechBlockBytes : 23040);
    QByteArray payload;
    encoder.EncodeBlock(quality, block.data(), static_cast<int>(block.size()), payload);
    return payload;
}

struct tagIncoming {
    int mic = 1;
    int quality = 1;
    QString sender = "amy";
    int meter = 7;
    int room = 1234;  // key 70; -1 leaves it out
    QByteArray payload{};
};

}  // namespace

TEST(RoomAudio, ReceivedAudioIsCheckedAndPlayedOnItsPlayer) {
    CAudioRoom r;
    r.f.server.members << MemberText("bob", "鲍勃", 20) << MemberText("op", "操作员", 30);
    ASSERT_TRUE(r.Enter());
    ASSERT_TRUE(r.audio->Players().IsOpen());
    r.audio->SetServerVersion(1411);
    const QByteArray payloads[4] = {{}, Payload(1), Payload(2), Payload(3)};
    ASSERT_FALSE(payloads[1].isEmpty());
    ASSERT_EQ(payloads[3].size(), kSpeechPayloadBytes);

    // Sent over the second connection, as the relaying server would.
    auto send = [&](const tagIncoming& in) {
        const int before = r.audio->Counters().received;
        CKParam p;
        p.SetShortInt(KEY_COMMAND, CMD_AUDIO);
        p.SetInt(20, in.mic);
        p.SetInt(50, in.meter);
        p.SetInt(30, in.quality);
        const QByteArray& payload = in.payload.isEmpty() && in.quality >= 1 && in.quality <= 3
                                        ? payloads[in.quality]
                                        : in.payload;
        p.SetChar(40, payload.constData(), static_cast<unsigned short>(payload.size()));
        p.SetCString(60, in.sender);
        if (in.room >= 0) {
            p.SetInt(70, in.room);
        }
        r.f.server.SecondPeer()->KSend(p);
        return WaitUntil([&] { return r.audio->Counters().received == before + 1; });
    };
    auto written = [&] {
        std::array<int, 5> n{};
        for (int i = 0; i < 5; ++i) {
            n[static_cast<size_t>(i)] = r.audio->Players().Player(i).WriteCounter();
        }
        return n;
    };
    // Which player a packet reached: -1 when none did.
    auto playedOn = [&](const tagIncoming& in) {
        const auto before = written();
        EXPECT_TRUE(send(in));
        const auto after = written();
        int player = -1;
        for (int i = 0; i < 5; ++i) {
            if (after[static_cast<size_t>(i)] != before[static_cast<size_t>(i)]) {
                EXPECT_EQ(player, -1) << "two players for one packet";
                player = i;
            }
        }
        return player;
    };

    r.f.MicTaken("amy");
    r.f.MicTaken("bob", 2);
    // The meters follow the packets of the other holders.
    const tagIncoming main{.meter = 9};
    EXPECT_EQ(playedOn(main), 0);
    EXPECT_EQ(r.view.mainMeter, 45);
    const tagIncoming second{.mic = 2, .quality = 2, .sender = "bob", .meter = 3};
    EXPECT_EQ(playedOn(second), 2);
    EXPECT_EQ(r.view.secondMeter, 15);
    // Meter values no sender measures still play, and the bars stay inside 0 to 100.
    tagIncoming huge = main;
    huge.meter = std::numeric_limits<int>::max();
    EXPECT_EQ(playedOn(huge), 0);
    EXPECT_EQ(r.view.mainMeter, 100);
    tagIncoming negative = second;
    negative.meter = std::numeric_limits<int>::min();
    EXPECT_EQ(playedOn(negative), 2);
    EXPECT_EQ(r.view.secondMeter, 0);

    // A sender that does not hold the mic it claims; the floor holder may speak on either.
    EXPECT_EQ(playedOn({.sender = "bob"}), -1);
    r.Handle("op");
    EXPECT_EQ(playedOn({.mic = 2, .quality = 3, .sender = "op"}), 4);

    // The room number: required above version 1410, ignored at 1410.
    const tagIncoming noRoom{.room = -1};
    const tagIncoming otherRoom{.room = 99};
    EXPECT_EQ(playedOn(noRoom), -1);
    EXPECT_EQ(playedOn(otherRoom), -1);
    r.audio->SetServerVersion(1410);
    EXPECT_EQ(playedOn(noRoom), 0);
    EXPECT_EQ(playedOn(otherRoom), 0);

    // The server forbids receiving sound, and allows it again.
    const auto audioControl = [&](int allow) {
        r.f.Deliver(Packet(CMD_AUDIO_CONTROL_CHANGED, {{20, "op"}, {30, allow}}));
    };
    audioControl(0);
    const auto said = [&](const QString& line) {
        return r.f.publicView.Has(line) || r.f.privateView.Has(line);
    };
    EXPECT_TRUE(said(QStringLiteral("操作员(op) 禁止接收声音数据")));
    EXPECT_EQ(playedOn(main), -1);
    audioControl(1);
    EXPECT_TRUE(said(QStringLiteral("操作员(op) 允许接收声音数据")));
    EXPECT_EQ(playedOn(main), 0);
    // The chat's filters silence voices too: members below operator (amy is rank 20, bob on
    // the second mic too) while they are hidden, and a blocked member whatever mic is theirs.
    CChatText& chat = r.f.Room().Chat();
    chat.SetHideBelowOperator(true);
    EXPECT_EQ(playedOn(main), -1);
    r.f.MicTaken("op");
    const tagIncoming fromOp{.sender = "op"};
    EXPECT_EQ(playedOn(fromOp), 0);
    EXPECT_EQ(playedOn(second), -1);
    chat.SetHideBelowOperator(false);
    EXPECT_EQ(playedOn(second), 2);
    chat.SetBlocked("bob", true);
    EXPECT_EQ(playedOn(second), -1);
    EXPECT_EQ(playedOn(fromOp), 0);
    chat.SetBlocked("op", true);
    EXPECT_EQ(playedOn(fromOp), -1);
    chat.SetBlocked("op", false);
    chat.SetBlocked("bob", false);
    // A main holder who is not a member at all is not heard while low ranks are hidden.
    r.f.MicTaken("ghost");
    const tagIncoming fromGhost{.sender = "ghost"};
    chat.SetHideBelowOperator(true);
    EXPECT_EQ(playedOn(fromGhost), -1);
    chat.SetHideBelowOperator(false);
    EXPECT_EQ(playedOn(fromGhost), 0);
}

TEST(RoomAudio, TheRoomQualityComesFromTheSettingsAndTheServersChange) {
    CAudioRoom r;
    r.f.server.settings = {{140, 3}};
    ASSERT_TRUE(r.Enter());
    EXPECT_EQ(r.audio->RoomQuality(), AUDIO_QUALITY_SPEECH);
    r.f.Deliver(Packet(CMD_QUALITY_CHANGED, {{20, "amy"}, {30, 2}}));
    EXPECT_EQ(r.audio->RoomQuality(), AUDIO_QUALITY_SINGING);
    EXPECT_TRUE(r.f.privateView.Has("唱歌音质") || r.f.publicView.Has("唱歌音质"));
    // A quality outside 1 to 3 changes nothing.
    r.f.Deliver(Packet(CMD_QUALITY_CHANGED, {{30, 7}}));
    EXPECT_EQ(r.audio->RoomQuality(), AUDIO_QUALITY_SINGING);
    // The capture sends in the room's quality.
    r.f.MicTaken("me");
    r.Capture(ToneBlock(4, 200));
    ASSERT_TRUE(r.WaitSent(1));
    EXPECT_EQ(Read(r.Sent()[0]).quality, AUDIO_QUALITY_SINGING);
}

TEST(RoomAudio, FailuresToStartSpeakingAreReported) {
    CAudioRoom r;
    // No input device at all.
    CWaveSystem::Select("wav:pace=fast,out=" + r.out);
    ASSERT_TRUE(r.Enter());
    r.f.MicTaken("me");
    EXPECT_FALSE(r.audio->Capture().IsCapturing());
    const auto captureFailures = [&] {
        const QString line = "打开声音采集失败,对方可能无法听到您的声音.";
        return r.f.privateView.All().count(line) + r.f.publicView.All().count(line);
    };
    EXPECT_EQ(captureFailures(), 1);
    // The handle taken away and given back starts the capture again, and says so again.
    r.Handle("amy");
    r.Handle("me");
    EXPECT_FALSE(r.audio->Capture().IsCapturing());
    EXPECT_EQ(captureFailures(), 2);
}
