// What the capture side decides about a block before it is sent, and the packet it sends.

#include "audio/AudioPacket.h"
#include "audio/VoiceGate.h"
#include "audio/VoiceLevel.h"
#include "audio/VoiceOwner.h"
#include "protocol/Commands.h"
#include "protocol/KParam.h"
#include "tests/audio/AudioTestSupport.h"
#include "tests/support/Loopback.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace audiotest;
using tavotest::Packet;

namespace {

// A tone on bin `bin` of the 512-point transform of every second sample: its magnitude is
// amp x 256, so bin 16 reads amp / 2 (mod 256) and the level is that over 16.
std::vector<short> BinTone(int channels, int bin, double amp, double rightAmp = -1) {
    std::vector<short> block(2000 * channels, 0);
    const int frames = static_cast<int>(block.size()) / channels;
    for (int i = 0; i < frames; ++i) {
        // Samples taken are every second value: for stereo one per frame (left), for mono
        // every second frame.
        const double phase =
            channels == 2 ? 2 * M_PI * bin * i / 512.0 : 2 * M_PI * bin * i / 1024.0;
        block[i * channels] = static_cast<short>(std::lrint(amp * std::cos(phase)));
        if (channels == 2)
            block[i * 2 + 1] =
                static_cast<short>(std::lrint((rightAmp < 0 ? amp : rightAmp) * std::cos(phase)));
    }
    return block;
}

std::vector<short> FieldKeys(const CKParam& packet) {
    std::vector<short> keys;
    const char* p = packet.GetBufferPtr();
    int at = 4;
    while (at + 6 <= packet.GetLength()) {
        uint16_t n;
        short key;
        std::memcpy(&n, p + at, 2);
        std::memcpy(&key, p + at + 2, 2);
        keys.push_back(key);
        at += 6 + n;
    }
    return keys;
}

}  // namespace

TEST(VoiceLevel, MeasuresTheLeftChannelOrEverySecondSampleOnSixteenBins) {
    CVoiceLevel level;
    std::vector<short> silence(11520, 0);
    EXPECT_EQ(level.Level(silence.data(), static_cast<int>(silence.size())), 0);
    // Bin 16 at amplitude 400 reads 200, a level of 12, in stereo and in mono.
    auto stereo = BinTone(2, 16, 400);
    EXPECT_EQ(level.Level(stereo.data(), static_cast<int>(stereo.size())), 12);
    auto mono = BinTone(1, 16, 400);
    EXPECT_EQ(level.Level(mono.data(), static_cast<int>(mono.size())), 12);
    // Only the left channel is measured.
    auto rightOnly = BinTone(2, 16, 0, 3000);
    EXPECT_EQ(level.Level(rightOnly.data(), static_cast<int>(rightOnly.size())), 0);
    // A tone between the sixteen bins is not heard at all.
    auto between = BinTone(2, 24, 3000);
    EXPECT_EQ(level.Level(between.data(), static_cast<int>(between.size())), 0);
    // Each bin wraps at 256: amplitude 840 reads 420 mod 256 = 164, level 10.
    auto wrapped = BinTone(2, 16, 840);
    EXPECT_EQ(level.Level(wrapped.data(), static_cast<int>(wrapped.size())), 10);
    // Two bins add up before the mean.
    auto a = BinTone(2, 32, 400);
    auto b = BinTone(2, 48, 400);
    for (size_t i = 0; i < a.size(); ++i) a[i] = static_cast<short>(a[i] + b[i]);
    EXPECT_EQ(level.Level(a.data(), static_cast<int>(a.size())), 25);
    // A block shorter than 1024 values reads zeros past its end.
    EXPECT_EQ(level.Level(stereo.data(), 0), 0);
}

TEST(VoiceGate, SilenceIsSentForFiveSecondsThenNothingAndTheLoudFlagAtMostEveryTwo) {
    CVoiceGate gate(1000);
    EXPECT_TRUE(gate.Judge(9, 1004).send) << "quiet blocks within 5 s of construction go out";
    EXPECT_FALSE(gate.Judge(9, 1005).send);
    tagVoiceVerdict loud = gate.Judge(50, 1010);
    EXPECT_TRUE(loud.send);
    EXPECT_EQ(loud.meter, 6);
    const tagVoiceVerdict four = gate.Judge(9, 1014);
    EXPECT_TRUE(four.send);
    EXPECT_EQ(four.meter, 1);
    const tagVoiceVerdict five = gate.Judge(9, 1015);
    EXPECT_FALSE(five.send);
    EXPECT_EQ(five.meter, 0) << "no meter for a block that is not sent";
    EXPECT_TRUE(gate.Judge(10, 1100).send) << "level 10 counts as voice again";

    // The loud flag at most every two seconds.
    CVoiceGate flag(0);
    EXPECT_EQ(flag.Judge(120, 1).loud, 0) << "the flag time starts at construction";
    EXPECT_EQ(flag.Judge(120, 2).loud, 1);
    EXPECT_EQ(flag.Judge(190, 3).loud, 0);
    EXPECT_EQ(flag.Judge(100, 4).loud, 0) << "meter 12 is needed";
    EXPECT_EQ(flag.Judge(119, 5).loud, 1);
}

TEST(AudioPacket, BuiltInTheOrderReceiversReadParsedBackAndDefaultedByReceivers) {
    tagAudioPacket audio;
    audio.micIndex = 2;
    audio.meter = 17;
    audio.quality = 3;
    audio.payload = QByteArray(250, '\x3c');
    audio.senderId = QStringLiteral("歌手01");
    CKParam packet;
    ASSERT_EQ(BuildAudioPacket(audio, packet), 0);
    EXPECT_EQ(packet.Command(), CMD_AUDIO);
    EXPECT_EQ(FieldKeys(packet), (std::vector<short>{10, 20, 50, 30, 40, 60}));
    // Through the wire bytes, as a receiver gets it.
    CKParam received;
    ASSERT_EQ(received.SetBufferPtr(packet.GetBufferPtr(), packet.GetLength()), 0);
    tagAudioPacket back;
    ASSERT_EQ(ParseAudioPacket(received, back), 0);
    EXPECT_EQ(back.micIndex, 2);
    EXPECT_EQ(back.meter, 17);
    EXPECT_EQ(back.quality, 3);
    EXPECT_EQ(back.payload, audio.payload);
    EXPECT_EQ(back.senderId, audio.senderId);
    EXPECT_FALSE(back.hasRoom);

    // A receiver's defaults, and the room number the relay adds.
    tagAudioPacket relayed;
    relayed.meter = 99;
    ASSERT_EQ(ParseAudioPacket(Packet(CMD_AUDIO, {{AudioKey::QUALITY, 1}, {AudioKey::ROOM, 88001}}),
                               relayed),
              0);
    EXPECT_EQ(relayed.micIndex, 1);
    EXPECT_EQ(relayed.meter, 0);
    EXPECT_TRUE(relayed.payload.isEmpty());
    EXPECT_TRUE(relayed.hasRoom);
    EXPECT_EQ(relayed.roomNumber, 88001);
    // Another command is not an audio packet; an empty payload still builds.
    EXPECT_EQ(ParseAudioPacket(Packet(CMD_VIDEO), relayed), -1);
    tagAudioPacket empty;
    CKParam built;
    EXPECT_EQ(BuildAudioPacket(empty, built), 0);
    // A payload no field can carry is refused.
    empty.payload = QByteArray(70000, 'x');
    EXPECT_EQ(BuildAudioPacket(empty, built), -1);
}

TEST(MicState, WhoMaySpeakOnWhichMic) {
    tagMicState s;
    s.ownId = "me";
    EXPECT_EQ(SendingMicIndex(s), 0) << "holding nothing";
    s.mainHolder = "me";
    EXPECT_EQ(SendingMicIndex(s), 1);
    s.floorHolder = "me";
    EXPECT_EQ(SendingMicIndex(s), 1);
    s.floorHolder = "boss";
    EXPECT_EQ(SendingMicIndex(s), 0) << "the main mic while someone else holds the handle";
    s.mainHolder = "other";
    s.secondHolder = "me";
    EXPECT_EQ(SendingMicIndex(s), 0);
    s.dualMic = true;
    EXPECT_EQ(SendingMicIndex(s), 2) << "dual mics speak regardless of the handle";
    s.dualMic = false;
    s.floorHolder.clear();
    EXPECT_EQ(SendingMicIndex(s), 2);
    tagMicState nobody;
    EXPECT_EQ(SendingMicIndex(nobody), 0) << "empty ID against free mics";
    EXPECT_EQ(SendingQuality(1, true), 2);
    EXPECT_EQ(SendingQuality(1, false), 1);
    EXPECT_EQ(SendingQuality(3, true), 3);
}
