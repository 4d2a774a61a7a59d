// Bad input from the network: garbage, oversize frames, unknown commands, floods and random
// packets. The service drops the offender and everybody else keeps their service.

#include "protocol/Commands.h"
#include "protocol/FrameCodec.h"
#include "server/HallService.h"
#include "server/InfoHost.h"
#include "server/RoomServer.h"
#include "tests/support/ServiceHarness.h"
#include "tests/support/TestSupport.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

using namespace tavotest;

namespace {

// A public line and its reply: the proof that a member is still served.
bool StillServed(CServiceHarness& h, tagRoomGuest& g) {
    h.Pass(std::chrono::milliseconds(1100));
    return RoomRequest(g.main, Packet(CMD_TEXT, {{30, "still here"}, {40, 0}})) == 0;
}

QByteArray RandomBytes(QRandomGenerator& rng, int n) {
    QByteArray b(n, '\0');
    for (int i = 0; i < n; ++i) {
        b[i] = static_cast<char>(rng.bounded(256));
    }
    return b;
}

// A framed packet of random fields with a valid check value: it passes the transport and
// reaches the request handlers.
QByteArray RandomPacketFrame(QRandomGenerator& rng, short command) {
    CKParam p;
    p.SetShortInt(KEY_COMMAND, command);
    const int fields = static_cast<int>(rng.bounded(12));
    for (int i = 0; i < fields; ++i) {
        const short key = static_cast<short>(rng.bounded(10, 400));
        switch (rng.bounded(5)) {
            case 0:
                p.SetShortInt(key, static_cast<short>(rng.generate()));
                break;
            case 1:
                p.SetInt(key, static_cast<int>(rng.generate()));
                break;
            case 2:
                p.SetBoolean(key, rng.bounded(2) == 1);
                break;
            case 3: {
                const QByteArray b = RandomBytes(rng, static_cast<int>(rng.bounded(300)));
                p.SetChar(key, b.constData(), static_cast<unsigned short>(b.size()));
                break;
            }
            default:
                p.SetCString(
                    key, QString::fromUtf8(RandomBytes(rng, static_cast<int>(rng.bounded(40)))));
        }
    }
    p.SetInt(KEY_SEQUENCE, 0);
    return BuildFrame(kTcpFrame, 0, p.GetBufferPtr(), p.GetLength());
}

}  // namespace

TEST(ServerRobustness, GarbageOversizeFramesUnknownCommandsAndFloodsHurtNobodyElse) {
    CServiceHarness h;
    auto member = h.Enter(1001, "alice", "alice123", "M-A");
    ASSERT_TRUE(member);
    QRandomGenerator rng(7);
    std::vector<std::unique_ptr<CRawClient>> vandals;
    for (unsigned port : {h.HallPort(), h.RoomPort(), h.SecondPort(), h.Service().Config().infoPort,
                          h.Service().Config().routePort}) {
        auto v = std::make_unique<CRawClient>();
        ASSERT_TRUE(v->Open(port));
        v->Write(RandomBytes(rng, 70000));
        // A frame header claiming 60000 bytes, and one claiming fewer than a packet holds.
        QByteArray huge("\x01\x02\x03\x04\0\0\0\0", 8);
        huge.append(char(0x60)).append(char(0xEA)).append(RandomBytes(rng, 100));
        v->Write(huge);
        v->Write(QByteArray("\x01\x02\x03\x04\0\0\0\0\x05\x00\x00\x00\x00\x00\x00", 15));
        vandals.push_back(std::move(v));
    }
    Spin(std::chrono::milliseconds(100));
    EXPECT_TRUE(StillServed(h, *member));
    EXPECT_TRUE(h.Service().Store().Room(1001).has_value());
    // Connections that never say anything sensible fall silent and are dropped by the
    // silence rule like any other.
    h.Pass(std::chrono::seconds(45));
    for (auto& v : vandals) {
        EXPECT_TRUE(WaitUntil([&] { return v->closed; })) << "a garbage connection stayed open";
    }

    // Unknown commands end the connection.
    CTestConnection confused;
    ASSERT_TRUE(confused.Open(h.HallPort()));
    for (int i = 0; i < 40 && !confused.closed; ++i) {
        confused.Send(Packet(static_cast<short>(5000 + i)));
    }
    EXPECT_TRUE(confused.WaitClosed());

    // Settings requests are harmless one by one; a thousand at once end the member's stay.
    auto flooder = h.Enter(1001, "bob", "bob123", "M-B");
    ASSERT_TRUE(flooder);
    for (int i = 0; i < 1000 && !flooder->main.closed; ++i) {
        flooder->main.Send(Packet(CMD_ROOM_SETTINGS));
    }
    EXPECT_TRUE(flooder->main.WaitClosed());
    ASSERT_TRUE(member->main.WaitFor(CMD_DEPARTURE));
    EXPECT_TRUE(StillServed(h, *member));
}

TEST(ServerRobustness, RandomPacketsFromInsideARoomAreSurvived) {
    CServiceHarness h;
    auto member = h.Enter(1001, "alice", "alice123", "M-A");
    auto fuzzer = h.Enter(1001, "路人", QString(), "M-F");
    ASSERT_TRUE(member && fuzzer);
    QRandomGenerator rng(2024);
    // Every command of the table, with random fields, on both of the fuzzer's connections.
    for (int round = 0; round < 3; ++round) {
        for (const tagCommandInfo& command : kCommandTable) {
            for (CTestConnection* c : {&fuzzer->main, &fuzzer->second}) {
                if (c->closed) {
                    continue;
                }
                const QByteArray frame = RandomPacketFrame(rng, command.code);
                c->KSend(frame.constData(), static_cast<int>(frame.size()));
            }
        }
        Spin(std::chrono::milliseconds(20));
        h.Pass(std::chrono::seconds(3));
    }
    Spin(std::chrono::milliseconds(100));
    EXPECT_TRUE(StillServed(h, *member));
    auto newcomer = h.Enter(1001, "carol", "carol123", "M-C");
    EXPECT_TRUE(newcomer);
}

namespace {

// Requests the client sends that nothing answers, so the table gives them no reply code.
constexpr short kUnansweredRequests[] = {
    CMD_QUIT,       CMD_LOGGED_ELSEWHERE_ACK, CMD_LEAVE_PRIVATE,   CMD_AUDIO,
    CMD_VIDEO,      CMD_WATCH_ANSWER,         CMD_FILE_ANSWER,     CMD_GUARD_ENTER,
    CMD_FILE_BEGIN, CMD_FILE_DATA,            CMD_FILE_ACK,        CMD_FILE_END,
    CMD_FILE_DONE,  CMD_FILE_CANCEL,          CMD_PRIVATE_GIVE_UP, CMD_PRIVATE_TICK,
    CMD_PRIVATE_TOCK};

class CNoRooms : public IRoomDirectory {
public:
    bool RoomAddress(int, QString&, unsigned&) const override { return false; }
    int Occupancy(int) const override { return 0; }
};

}  // namespace

// A request nothing takes is struck as a protocol fault and leaves the client waiting for its
// timer. A feature the service runs at all takes every request of its own, or refuses it as
// not offered.
TEST(ServerRequests, AFeatureTheServiceRunsTakesEveryRequestItOwns) {
    CStore store;
    ASSERT_TRUE(store.Open(":memory:"));
    CPresence presence;
    tagServerConfig config;
    CNoRooms rooms;
    CHallService hall(store, presence, config, rooms);
    CInfoHost info(config);
    CRoomServer room(1, store, presence, config);
    auto isRequest = [](const tagCommandInfo& c) {
        return c.reply != 0 || std::ranges::count(kUnansweredRequests, c.code) > 0;
    };
    // Hall requests go to the hall and the information host, the rest to a room server.
    auto taken = [&](const tagCommandInfo& c) {
        if (c.feature == EFeature::Center) {
            return hall.Requests().Handles(c.code) || info.Requests().Handles(c.code);
        }
        return room.MainRequests().Handles(c.code) || room.SecondRequests().Handles(c.code);
    };
    std::map<EFeature, std::vector<const char*>> untaken;
    std::set<EFeature> run;
    for (const tagCommandInfo& c : kCommandTable) {
        // The connection answers its own keep-alive; the trace channel has a server of its own.
        if (c.feature == EFeature::Connection || c.feature == EFeature::Log) {
            continue;
        }
        if (taken(c)) {
            EXPECT_TRUE(isRequest(c)) << c.name << " is no request, yet the service takes it";
            run.insert(c.feature);
        } else if (isRequest(c)) {
            untaken[c.feature].push_back(c.name);
        }
    }
    EXPECT_GE(run.size(), 12u);
    for (EFeature feature : run) {
        EXPECT_TRUE(untaken[feature].empty())
            << "feature " << static_cast<int>(feature) << " leaves " << untaken[feature].front();
    }
}
