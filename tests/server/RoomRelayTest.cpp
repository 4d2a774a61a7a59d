// Voice relayed by the room server: from the holders only, to the other members'
// second connections, with the room number added and the server's own sequence.

#include "protocol/Commands.h"
#include "tests/support/ServiceHarness.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using namespace tavotest;

namespace {

QByteArray Payload(int n, char seed) {
    QByteArray bytes(n, '\0');
    for (int i = 0; i < n; ++i) {
        bytes[i] = static_cast<char>(seed + i * 7);
    }
    return bytes;
}

CKParam WithBytes(CKParam p, short key, const QByteArray& bytes) {
    p.SetChar(key, bytes.constData(), static_cast<unsigned short>(bytes.size()));
    return p;
}

CKParam Voice(int mic, const QByteArray& payload, const QString& claimedSender) {
    return With(WithBytes(Packet(CMD_AUDIO, {{20, mic}, {50, 12}, {30, 1}}), 40, payload),
                {{60, claimedSender}});
}

struct Stage {
    CServiceHarness h;
    std::unique_ptr<tagRoomGuest> singer = h.Enter(1002, "bob", "bob123", "M-B");
    std::unique_ptr<tagRoomGuest> fan1 = h.Enter(1002, "fan1", QString(), "M-1");
    std::unique_ptr<tagRoomGuest> fan2 = h.Enter(1002, "fan2", QString(), "M-2");

    bool SingerTakesTheMicrophone() {
        return singer && fan1 && fan2 && RoomRequest(singer->main, Packet(CMD_GRAB_MIC)) == 0;
    }
};

}  // namespace

TEST(RoomRelay, VoiceFromTheHolderReachesEveryOtherSecondConnectionWithTheRoomNumber) {
    Stage s;
    ASSERT_TRUE(s.SingerTakesTheMicrophone());
    // More packets than the receivers' sequence check would forgive if the relay kept the
    // sender's own sequence numbers.
    constexpr int kBlocks = 8;
    for (int i = 0; i < kBlocks; ++i) {
        CKParam voice = Voice(1, Payload(1600 + i, static_cast<char>(i)), "someone else");
        ASSERT_EQ(s.singer->second.Send(voice), 0);
    }
    ASSERT_TRUE(s.fan1->second.WaitFor(CMD_AUDIO, kBlocks));
    ASSERT_TRUE(s.fan2->second.WaitFor(CMD_AUDIO, kBlocks));
    const auto heard = s.fan1->second.All(CMD_AUDIO);
    for (int i = 0; i < kBlocks; ++i) {
        const CPacketCopy& p = heard[static_cast<size_t>(i)];
        EXPECT_EQ(BytesOf(p, 40), Payload(1600 + i, static_cast<char>(i))) << i;
        EXPECT_EQ(IntOf(p, 70), 1002);
        EXPECT_EQ(IntOf(p, 20), 1);
        EXPECT_EQ(IntOf(p, 30), 1);
        EXPECT_EQ(IntOf(p, 50), 12);
        // The room says who spoke, whatever the packet claimed.
        EXPECT_EQ(TextOf(p, 60), "bob");
    }
    Spin(std::chrono::milliseconds(50));
    EXPECT_EQ(s.singer->second.Count(CMD_AUDIO), 0);
    EXPECT_EQ(s.fan1->main.Count(CMD_AUDIO), 0);
}

TEST(RoomRelay, VoiceFromAnyoneWithoutThatMicrophoneIsDropped) {
    Stage s;
    ASSERT_TRUE(s.SingerTakesTheMicrophone());
    CKParam fromFan = Voice(1, Payload(300, 1), "bob");
    s.fan1->second.Send(fromFan);
    CKParam wrongMic = Voice(2, Payload(300, 2), "bob");
    s.singer->second.Send(wrongMic);
    CKParam real = Voice(1, Payload(300, 3), "bob");
    s.singer->second.Send(real);
    ASSERT_TRUE(s.fan2->second.WaitFor(CMD_AUDIO));
    Spin(std::chrono::milliseconds(50));
    ASSERT_EQ(s.fan2->second.Count(CMD_AUDIO), 1);
    EXPECT_EQ(BytesOf(s.fan2->second.All(CMD_AUDIO).front(), 40), Payload(300, 3));

    // Once the turn is over the former holder is not heard.
    ASSERT_EQ(RoomRequest(s.singer->main, Packet(CMD_RELEASE_MIC)), 0);
    CKParam late = Voice(1, Payload(300, 4), "bob");
    s.singer->second.Send(late);
    Spin(std::chrono::milliseconds(50));
    EXPECT_EQ(s.fan2->second.Count(CMD_AUDIO), 1);
}
