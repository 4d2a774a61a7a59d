// Requests from the network into the service's request handlers, without sockets: the hall
// and a room server with a few members already inside, fed a stream of packets on any of
// their connections. Nothing may crash, hang or read out of bounds.
//
// Input: records of [target: bits 0-1 hall / room main / room second, bits 2-3 the peer]
// [length, 2 bytes little-endian][that many packet bytes].

#include "platform/Clock.h"
#include "protocol/Commands.h"
#include "protocol/KParam.h"
#include "server/HallService.h"
#include "server/Presence.h"
#include "server/RoomDirectory.h"
#include "server/RoomServer.h"
#include "server/Seed.h"
#include "server/Store.h"

#include <QCoreApplication>
#include <QEvent>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace {

class CFuzzPeer : public IServerPeer {
public:
    explicit CFuzzPeer(uint64_t id) : m_id(id) {}
    int Send(const CKParam& packet, bool) override {
        if (!m_open) {
            return -1;
        }
        if (packet.Command() == CMD_ENTER_REPLY && packet.IntOr(KEY_RESULT, -1) == 0) {
            keyA = packet.IntOr(30, 0);
            keyB = packet.IntOr(40, 0);
        }
        return 0;
    }
    void Drop() override { m_open = false; }
    bool IsOpen() const override { return m_open; }
    uint64_t PeerId() const override { return m_id; }
    QString PeerAddress() const override { return QStringLiteral("127.0.0.1"); }
    bool Strike() override {
        if (++m_strikes > 20) {
            m_open = false;
            return true;
        }
        return false;
    }
    int keyA = 0;
    int keyB = 0;

private:
    uint64_t m_id;
    bool m_open = true;
    int m_strikes = 0;
};

class CNoRooms : public IRoomDirectory {
public:
    bool RoomAddress(int, QString& host, unsigned& port) const override {
        host = QStringLiteral("127.0.0.1");
        port = 1;
        return true;
    }
    int Occupancy(int) const override { return 0; }
};

CKParam Make(short command) {
    CKParam p;
    p.SetShortInt(KEY_COMMAND, command);
    return p;
}

struct World {
    CStore store;
    CPresence presence;
    tagServerConfig config;
    CNoRooms rooms;
    std::unique_ptr<CHallService> hall;
    std::unique_ptr<CRoomServer> room;
    std::array<std::unique_ptr<CFuzzPeer>, 4> main;
    std::array<std::unique_ptr<CFuzzPeer>, 4> second;
    std::array<bool, 4> mainClosed{};
    std::array<bool, 4> secondClosed{};

    World() {
        // Passwords as cheap to check as they come: the fuzzer looks for faults, not strength.
        config.passwordCost = kMinPasswordCost;
        store.SetPasswordCost(config.passwordCost);
        store.Open(QStringLiteral(":memory:"));
        SeedDemoData(store);
        hall = std::make_unique<CHallService>(store, presence, config, rooms);
        room = std::make_unique<CRoomServer>(1, store, presence, config);
        for (size_t i = 0; i < 4; ++i) {
            main[i] = std::make_unique<CFuzzPeer>(i + 1);
            second[i] = std::make_unique<CFuzzPeer>(i + 11);
        }
        // Three of the four peers are inside room 1001 (the third as its owner) before the
        // input begins, so room commands reach their handlers.
        const int aliceNumber = presence
                                    .Login({QStringLiteral("alice"), 10001,
                                            QStringLiteral("爱丽丝"), QStringLiteral("M2"), 0})
                                    .userNumber;
        for (size_t i = 0; i < 3; ++i) {
            const QString machine = QStringLiteral("M%1").arg(i);
            QString id = QStringLiteral("alice");
            int number = aliceNumber;
            if (i < 2) {
                const tagVisitor v = presence.AddVisitor(QStringLiteral("v%1").arg(i), machine, 0);
                id = v.name;
                number = v.userNumber;
            }
            CKParam login = Make(CMD_ROOM_LOGIN);
            login.SetCString(20, id);
            login.SetInt(30, number);
            login.SetInt(40, 1001);
            login.SetCString(80, machine);
            room->OnMainPacket(*main[i], login);
            CKParam enter = Make(CMD_ENTER);
            room->OnMainPacket(*main[i], enter);
            CKParam attach = Make(CMD_ATTACH);
            attach.SetInt(20, main[i]->keyA);
            attach.SetCString(30, id);
            attach.SetInt(40, main[i]->keyB);
            room->OnSecondPacket(*second[i], attach);
        }
    }

    ~World() {
        for (size_t i = 0; i < 4; ++i) {
            room->OnMainClosed(*main[i]);
            room->OnSecondClosed(*second[i]);
        }
    }

    // What the listeners do for a connection that closed: the handler hears of it once.
    void Reap() {
        for (size_t i = 0; i < 4; ++i) {
            if (!main[i]->IsOpen() && !mainClosed[i]) {
                mainClosed[i] = true;
                room->OnMainClosed(*main[i]);
            }
            if (!second[i]->IsOpen() && !secondClosed[i]) {
                secondClosed[i] = true;
                room->OnSecondClosed(*second[i]);
            }
        }
    }
};

void Run(const uint8_t* data, size_t size);

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    static CManualClock clock;
    CClock::Slot().Install(&clock);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Run(data, size);
    // Windows delete themselves through the event loop; without one they would pile up.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}

namespace {
void Run(const uint8_t* data, size_t size) {
    World world;
    CFuzzPeer hallPeer(100);
    size_t at = 0;
    int records = 0;
    while (at + 3 <= size && records++ < 64) {
        const uint8_t target = data[at];
        const size_t length = data[at + 1] | (data[at + 2] << 8);
        at += 3;
        if (length > size - at) {
            break;
        }
        CKParam packet;
        if (length > 0 && packet.SetBufferPtr(reinterpret_cast<const char*>(data + at),
                                              static_cast<int>(length)) == 0) {
            const size_t peer = (target >> 2) & 3;
            switch (target & 3) {
                case 0:
                    world.hall->OnPeerPacket(hallPeer, packet);
                    break;
                case 1:
                    if (world.main[peer]->IsOpen()) {
                        world.room->OnMainPacket(*world.main[peer], packet);
                    }
                    break;
                default:
                    if (world.second[peer]->IsOpen()) {
                        world.room->OnSecondPacket(*world.second[peer], packet);
                    }
                    break;
            }
        }
        at += length;
        world.Reap();
        // Turns end and timers run as time goes by.
        static_cast<CManualClock&>(CClock::Get()).Advance(1000);
    }
}
}  // namespace
