// Voice and video relayed by the room server: voice from the holders only, to the other
// members' second connections, with the room number added and the server's own sequence; video
// by slot and viewer list, private watching with its notices, the video request and the key
// frames asked of the holders, and a receiver too slow for the pictures. Below them the frames
// the sending threads write: a packet's bytes shared by every receiver with each receiver's own
// fields around them, going out whole and in order through a socket that is full most of the
// time.

#include "protocol/Commands.h"
#include "protocol/FrameCodec.h"
#include "protocol/Refusal.h"
#include "protocol/keys/EntryKeys.h"
#include "protocol/keys/MicKeys.h"
#include "protocol/keys/VideoKeys.h"
#include "server/SendPool.h"
#include "tests/support/PacketFields.h"
#include "tests/support/ServiceHarness.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

using namespace tavotest;

namespace {

QByteArray Payload(int n, int seed) {
    QByteArray bytes(n, '\0');
    for (int i = 0; i < n; ++i) {
        bytes[i] = static_cast<char>(seed * 31 + i * 7 + (i >> 8));
    }
    return bytes;
}

CKParam Voice(int mic, const QByteArray& payload, const QString& claimedSender) {
    CKParam p = Packet(CMD_AUDIO, {{20, mic}, {50, 12}, {30, 1}});
    p.SetChar(40, payload.constData(), static_cast<unsigned short>(payload.size()));
    return With(std::move(p), {{60, claimedSender}});
}

CKParam Video(int slot, const QByteArray& frame, const QString& viewers) {
    CKParam p = Packet(CMD_VIDEO,
                       {{VideoKey::SLOT, slot}, {VideoKey::ONE, 1}, {VideoKey::KEY_FRAME, true}});
    p.SetChar(VideoKey::FRAME, frame.constData(), static_cast<unsigned short>(frame.size()));
    return With(std::move(p), {{VideoKey::SENDER, "whoever"}, {VideoKey::VIEWERS, viewers}});
}

CKParam PacketOf(int payloadBytes, int seed) {
    CKParam p = Packet(460, {{20, seed}});
    const QByteArray payload = Payload(payloadBytes, seed);
    p.SetChar(40, payload.constData(), static_cast<unsigned short>(payload.size()));
    return p;
}

// What one connection sends when it copies the packet for itself.
QByteArray WholeFrame(const tagFrameFormat& format, const CKParam& packet, uint32_t time,
                      int sequence) {
    CKParam copy;
    copy.SetBufferPtr(packet.GetBufferPtr(), packet.GetLength());
    copy.SetInt(KEY_SEQUENCE, sequence);
    if (format.headerSize == 8) {
        copy.SetInt(KEY_CLOCK, static_cast<int>(time));
    }
    return BuildFrame(format, time, copy.GetBufferPtr(), copy.GetLength());
}

QByteArray Joined(const tagOutFrame& f) {
    return QByteArray(f.own, f.head) + f.middle + QByteArray(f.own + f.head, f.tail);
}

struct Stage {
    CServiceHarness h;
    std::unique_ptr<tagRoomGuest> owner =
        h.Enter(1002, QStringLiteral("bob"), QStringLiteral("bob123"), QStringLiteral("M-B"));
    std::unique_ptr<tagRoomGuest> fan1 =
        h.Enter(1002, QStringLiteral("fan1"), QString(), QStringLiteral("M-1"));
    std::unique_ptr<tagRoomGuest> fan2 =
        h.Enter(1002, QStringLiteral("fan2"), QString(), QStringLiteral("M-2"));

    bool Ready() const { return owner && fan1 && fan2; }
    // The owner on the main microphone, fan1 handed the second.
    bool TakeSlots() {
        return Ready() && RoomRequest(owner->main, Packet(CMD_GRAB_MIC)) == 0 &&
               RoomRequest(owner->main, Packet(CMD_HAND_SECOND_MIC,
                                               {{HandSecondMicKey::MEMBER, fan1->id}})) == 0;
    }
    int SetState(tagRoomGuest& g, int state) {
        return RoomRequest(g.main, Packet(CMD_VIDEO_STATE, {{VideoStateKey::STATE, state}}));
    }
    int Watch(tagRoomGuest& viewer, const QString& id) {
        return RoomRequest(viewer.main, Packet(CMD_WATCH, {{WatchKey::MEMBER, id}}));
    }
    void Settle() { Spin(std::chrono::milliseconds(60)); }
};

}  // namespace

TEST(RoomRelay, VoiceFromTheHolderAloneReachesEveryOtherSecondConnectionWithTheRoomNumber) {
    Stage s;
    ASSERT_TRUE(s.Ready());
    ASSERT_EQ(RoomRequest(s.owner->main, Packet(CMD_GRAB_MIC)), 0);
    // Voice from a member without that microphone, or on the other one, is dropped.
    s.fan1->second.Send(Voice(1, Payload(300, 1), "bob"));
    s.owner->second.Send(Voice(2, Payload(300, 2), "bob"));
    // More packets than the receivers' sequence check would forgive if the relay kept the
    // sender's own sequence numbers.
    constexpr int kBlocks = 8;
    for (int i = 0; i < kBlocks; ++i) {
        ASSERT_EQ(s.owner->second.Send(Voice(1, Payload(1600 + i, i), "someone else")), 0);
    }
    ASSERT_TRUE(s.fan1->second.WaitFor(CMD_AUDIO, kBlocks));
    ASSERT_TRUE(s.fan2->second.WaitFor(CMD_AUDIO, kBlocks));
    s.Settle();
    const auto heard = s.fan2->second.All(CMD_AUDIO);
    ASSERT_EQ(heard.size(), static_cast<size_t>(kBlocks));
    for (int i = 0; i < kBlocks; ++i) {
        const CPacketCopy& p = heard[static_cast<size_t>(i)];
        EXPECT_EQ(BytesOf(p, 40), Payload(1600 + i, i)) << i;
        // The room says who spoke, whatever the packet claimed.
        EXPECT_TRUE(HasFields(p, {{70, 1002}, {20, 1}, {30, 1}, {50, 12}, {60, "bob"}})) << i;
    }
    EXPECT_EQ(s.owner->second.Count(CMD_AUDIO), 0);
    EXPECT_EQ(s.fan1->main.Count(CMD_AUDIO), 0);

    // Once the turn is over the former holder is not heard.
    ASSERT_EQ(RoomRequest(s.owner->main, Packet(CMD_RELEASE_MIC)), 0);
    s.owner->second.Send(Voice(1, Payload(300, 4), "bob"));
    s.Settle();
    EXPECT_EQ(s.fan2->second.Count(CMD_AUDIO), kBlocks);
}

TEST(RoomRelay, PublicPicturesGoToEveryoneAndPrivateOnesOnlyToWhoWasLetWatch) {
    Stage s;
    ASSERT_TRUE(s.TakeSlots());
    const QByteArray frame = Payload(5000, 9);
    // Video 1 from the main holder, video 2 from the second: everyone else has them.
    CKParam one = Video(1, frame, QString());
    s.owner->second.Send(one);
    s.fan1->second.Send(Video(2, frame, QString()));
    ASSERT_TRUE(s.fan2->second.WaitFor(CMD_VIDEO, 2));
    ASSERT_TRUE(s.fan1->second.WaitFor(CMD_VIDEO, 1));
    ASSERT_TRUE(s.owner->second.WaitFor(CMD_VIDEO, 1));
    const auto seen = s.fan2->second.All(CMD_VIDEO);
    EXPECT_EQ(BytesOf(seen[0], VideoKey::FRAME), frame);
    EXPECT_TRUE(HasFields(seen[0], {{VideoKey::ROOM, 1002}, {VideoKey::SENDER, "bob"}}));
    EXPECT_TRUE(HasFields(seen[1], {{VideoKey::SENDER, s.fan1->id}, {VideoKey::SLOT, 2}}));

    // A slot not held, and a private picture to somebody who never asked: nothing moves.
    s.fan2->second.Send(Video(1, frame, QString()));
    s.fan2->second.Send(Video(0, frame, s.fan1->id));
    CKParam nobody = Video(0, frame, QString());
    s.fan2->second.Send(nobody);
    s.Settle();
    EXPECT_EQ(s.fan1->second.Count(CMD_VIDEO), 1);
    EXPECT_EQ(s.owner->second.Count(CMD_VIDEO), 1);

    // fan1 is let watch fan2: fan2's private pictures reach fan1 alone, once each, whatever
    // else the list names.
    ASSERT_EQ(s.SetState(*s.fan2, 1), 0);
    ASSERT_EQ(s.Watch(*s.fan1, s.fan2->id), 0);
    s.fan2->second.Send(Video(0, frame, s.fan1->id + QStringLiteral(",bob,nobody,") + s.fan1->id));
    ASSERT_TRUE(s.fan1->second.WaitFor(CMD_VIDEO, 2));
    s.Settle();
    EXPECT_EQ(s.fan1->second.Count(CMD_VIDEO), 2);
    EXPECT_EQ(s.owner->second.Count(CMD_VIDEO), 1);
    EXPECT_EQ(TextOf(s.fan1->second.All(CMD_VIDEO).back(), VideoKey::SENDER), s.fan2->id);

    // A manager forbids video: the public pictures stop and opening the own video is refused.
    ASSERT_EQ(RoomRequest(s.owner->main, Packet(CMD_VIDEO_CONTROL, {{20, 0}, {30, 0}})), 0);
    s.owner->second.Send(one);
    EXPECT_EQ(RoomRequest(s.owner->main, Packet(CMD_VIDEO_REQUEST, {{VideoRequestKey::OPEN, 1}})),
              REFUSE_VIDEO_LOCKED);
    s.Settle();
    EXPECT_EQ(s.fan2->second.Count(CMD_VIDEO), 2);
}

TEST(RoomRelay, WatchingFollowsTheWatchedMembersStateAnswerAndStay) {
    Stage s;
    ASSERT_TRUE(s.Ready());
    // Without an announced camera there is nothing to watch.
    EXPECT_EQ(s.Watch(*s.fan1, s.fan2->id), REFUSE_NO_VIDEO);
    EXPECT_EQ(s.Watch(*s.fan1, s.fan1->id), REFUSE_BAD_USER);
    ASSERT_EQ(s.SetState(*s.fan2, 1), 0);
    ASSERT_TRUE(s.owner->main.WaitFor(CMD_VIDEO_STATE_CHANGED));
    EXPECT_TRUE(HasFields(s.owner->main.All(CMD_VIDEO_STATE_CHANGED).back(),
                          {{VideoStateKey::STATE, 1}, {VideoStateKey::MEMBER, s.fan2->id}}));

    // Accepted: the reply names the member, the member hears who watches and is asked for a
    // key frame.
    const auto reply =
        s.fan1->main.Request(Packet(CMD_WATCH, {{WatchKey::MEMBER, s.fan2->id}}), CMD_WATCH_REPLY);
    ASSERT_TRUE(reply.has_value());
    EXPECT_TRUE(HasFields(*reply, {{KEY_RESULT, 0}, {WatchReplyKey::MEMBER, s.fan2->id}}));
    ASSERT_TRUE(s.fan2->main.WaitFor(CMD_WATCH_ASKED));
    EXPECT_EQ(TextOf(s.fan2->main.All(CMD_WATCH_ASKED).back(), WatchAskedKey::VIEWER), s.fan1->id);
    ASSERT_TRUE(s.fan2->main.WaitFor(CMD_VIDEO_PARAMS));
    EXPECT_EQ(IntOf(s.fan2->main.All(CMD_VIDEO_PARAMS).back(), VideoParamsKey::ASK), 1);

    // The watched member's client cannot take him: the viewer hears why.
    s.fan2->main.Send(Packet(CMD_WATCH_ANSWER, {{WatchAnswerKey::RESULT, -1},
                                                {WatchAnswerKey::REFUSAL, REFUSE_NO_VIDEO},
                                                {WatchAnswerKey::VIEWER, s.fan1->id}}));
    ASSERT_TRUE(s.fan1->main.WaitFor(CMD_WATCH_ENDED));
    EXPECT_TRUE(
        HasFields(s.fan1->main.All(CMD_WATCH_ENDED).back(),
                  {{WatchEndedKey::RESULT, -1}, {WatchEndedKey::REFUSAL, REFUSE_NO_VIDEO}}));
    s.fan2->second.Send(Video(0, Payload(300, 1), s.fan1->id));
    s.Settle();
    EXPECT_EQ(s.fan1->second.Count(CMD_VIDEO), 0);

    // Watching again, then the watched member switches the camera off, then, watching once
    // more, leaves: each time the viewer is told it ended.
    ASSERT_EQ(s.Watch(*s.fan1, s.fan2->id), 0);
    ASSERT_EQ(s.SetState(*s.fan2, 0), 0);
    ASSERT_TRUE(s.fan1->main.WaitFor(CMD_WATCH_ENDED, 2));
    EXPECT_EQ(IntOf(s.fan1->main.All(CMD_WATCH_ENDED).back(), WatchEndedKey::RESULT), 0);
    ASSERT_EQ(s.SetState(*s.fan2, 1), 0);
    ASSERT_EQ(s.Watch(*s.fan1, s.fan2->id), 0);
    s.fan2->main.Close();
    s.fan2->second.Close();
    ASSERT_TRUE(s.fan1->main.WaitFor(CMD_WATCH_ENDED, 3));
}

TEST(RoomRelay, AMemberWhoAttachesHasTheHoldersAskedForAKeyFrame) {
    Stage s;
    ASSERT_TRUE(s.TakeSlots());
    s.Settle();
    const int ownerAsked = s.owner->main.Count(CMD_VIDEO_PARAMS);
    const int fanAsked = s.fan1->main.Count(CMD_VIDEO_PARAMS);
    auto late = s.h.Enter(1002, QStringLiteral("late"), QString(), QStringLiteral("M-L"));
    ASSERT_TRUE(late);
    ASSERT_TRUE(s.owner->main.WaitFor(CMD_VIDEO_PARAMS, ownerAsked + 1));
    ASSERT_TRUE(s.fan1->main.WaitFor(CMD_VIDEO_PARAMS, fanAsked + 1));
    s.Settle();
    EXPECT_EQ(s.fan2->main.Count(CMD_VIDEO_PARAMS), 0);
}

TEST(RoomRelay, AReceiverThatDoesNotReadLosesWholePicturesNeverParts) {
    Stage s;
    ASSERT_TRUE(s.TakeSlots());
    // fan2's second connection is taken over by a socket nobody reads for a while.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    int small = 16 * 1024;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(s.h.SecondPort()));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    const CKParam attach = Packet(CMD_ATTACH, {{AttachKey::KEY_A, s.fan2->keyA},
                                               {AttachKey::OWN_ID, s.fan2->id},
                                               {AttachKey::KEY_B, s.fan2->keyB},
                                               {KEY_SEQUENCE, 1}});
    const QByteArray frame = BuildFrame(kTcpFrame, 0, attach.GetBufferPtr(), attach.GetLength());
    ASSERT_EQ(::send(fd, frame.constData(), frame.size(), 0), frame.size());
    s.Settle();

    // Far more pictures than the service keeps for one receiver, within a connection's burst
    // of requests.
    constexpr int kPictures = 250;
    constexpr int kBytes = 20000;
    int sent = 0;
    for (int i = 1; i <= kPictures; ++i) {
        QByteArray picture = Payload(kBytes, i);
        std::memcpy(picture.data(), &i, sizeof i);
        // The sender's own socket may be full for a moment: it waits rather than skips.
        int result = 1;
        for (int tries = 0; result == 1 && tries < 500; ++tries) {
            result = s.owner->second.Send(Video(1, picture, QString()));
            if (result == 1) {
                Spin(std::chrono::milliseconds(1));
            }
        }
        sent += result == 0 ? 1 : 0;
    }
    Spin(std::chrono::milliseconds(300));
    ASSERT_EQ(sent, kPictures);

    // Now the slow one reads what it was left.
    ::fcntl(fd, F_SETFL, O_NONBLOCK);
    CFrameAssembler assembler(kTcpFrame);
    std::vector<int> numbers;
    bool whole = true;
    auto drain = [&] {
        char buffer[65536];
        ssize_t n;
        while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) {
            assembler.Feed(buffer, static_cast<int>(n), [&](const char* data, int length) {
                CKParam p;
                p.SetBufferPtr(data, length);
                if (p.Command() != CMD_VIDEO) {
                    return CFrameAssembler::EVerdict::Continue;
                }
                char* bytes = nullptr;
                unsigned short size = 0;
                int number = 0;
                if (p.GetCharNC(VideoKey::FRAME, &bytes, size) != 0 || size != kBytes) {
                    whole = false;
                    return CFrameAssembler::EVerdict::Continue;
                }
                std::memcpy(&number, bytes, sizeof number);
                QByteArray expected = Payload(kBytes, number);
                std::memcpy(expected.data(), &number, sizeof number);
                whole = whole && QByteArray(bytes, size) == expected;
                numbers.push_back(number);
                return CFrameAssembler::EVerdict::Continue;
            });
        }
    };
    for (int round = 0; round < 40; ++round) {
        drain();
        Spin(std::chrono::milliseconds(25));
    }
    drain();
    ::close(fd);
    EXPECT_TRUE(whole);
    ASSERT_FALSE(numbers.empty());
    EXPECT_LT(static_cast<int>(numbers.size()), sent) << "nothing was dropped";
    EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end()));
    EXPECT_EQ(std::adjacent_find(numbers.begin(), numbers.end()), numbers.end());
}

TEST(SharedPacket, EachReceiversFrameIsByteForByteTheFrameItWouldHaveBuiltAlone) {
    // Every length around the sampled blocks of the check value, where the last block reaches
    // into the receiver's own fields, up to past the 500 bytes sampled.
    for (const tagFrameFormat& format : {kTcpFrame, kRouteFrame}) {
        for (int payload = 0; payload < 560; ++payload) {
            const CKParam packet = PacketOf(payload, payload);
            const CSharedPacket shared(packet);
            for (int sequence : {1, 77, 65536}) {
                const uint32_t time = 0x5F000000u + static_cast<uint32_t>(sequence);
                tagOutFrame frame;
                ASSERT_TRUE(shared.Frame(format, time, sequence, frame)) << payload;
                ASSERT_EQ(Joined(frame), WholeFrame(format, packet, time, sequence))
                    << "payload " << payload << " sequence " << sequence << " time field "
                    << (format.headerSize == 8);
            }
        }
    }
    // A packet the framing refuses is not made into a frame.
    const CKParam huge = PacketOf(29990, 1);
    tagOutFrame frame;
    EXPECT_FALSE(CSharedPacket(huge).Frame(kTcpFrame, 0, 1, frame));
}

TEST(SendPool, FramesReachAReaderThatFallsBehindWholeAndInOrder) {
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    const int small = 4096;
    ::setsockopt(pair[0], SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    ::setsockopt(pair[1], SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    ::fcntl(pair[0], F_SETFL, O_NONBLOCK);

    CSendPool pool(2);
    auto channel = pool.Open(pair[0], nullptr);
    ASSERT_TRUE(channel);

    // Shared and whole frames mixed, some several times what the socket holds, far more in
    // all.
    constexpr int kFrames = 3000;
    QByteArray expected;
    std::vector<CKParam> packets;
    for (int i = 0; i < kFrames; ++i) {
        const CKParam packet = PacketOf(i % 3 == 0 ? 9000 : i % 97, i);
        tagOutFrame frame;
        if (i % 2 == 0) {
            ASSERT_TRUE(CSharedPacket(packet).Frame(kTcpFrame, 100, i + 1, frame));
        } else {
            frame.middle = WholeFrame(kTcpFrame, packet, 100, i + 1);
        }
        expected += Joined(frame);
        pool.Push(channel, std::move(frame));
    }
    EXPECT_GT(channel->QueuedBytes(), small);

    // The reader comes late and slowly.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    QByteArray got;
    char buffer[1500];
    while (got.size() < expected.size()) {
        const ssize_t n = ::recv(pair[1], buffer, sizeof buffer, 0);
        ASSERT_GT(n, 0);
        got.append(buffer, n);
    }
    EXPECT_EQ(got, expected);
    for (int i = 0; i < 200 && channel->QueuedBytes() != 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(channel->QueuedBytes(), 0);

    // The descriptor handed over at the close is the thread's to close: the reader sees the end.
    pool.Close(channel);
    timeval wait{5, 0};
    ::setsockopt(pair[1], SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    EXPECT_EQ(::recv(pair[1], buffer, sizeof buffer, 0), 0);
    ::close(pair[1]);
}
