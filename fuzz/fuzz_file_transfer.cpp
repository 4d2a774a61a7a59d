// The file transfer's receiving and sending sides fed the packets a hostile peer could send, in
// any order, with any ids, offsets, names and digests, and time passing between them. Nothing
// may crash or read out of bounds, and nothing may be written outside the chosen folder or be
// left behind under a temporary name once the transfers are cancelled.
//
// Input: records of [operation][id][length][that many bytes]; the operation picks a packet
// (begin, data, end, acknowledgement, done, cancel) or a local act (accept an offer, send a
// file, cancel, let time pass).

#include "platform/Clock.h"
#include "protocol/Commands.h"
#include "protocol/KParam.h"
#include "protocol/keys/DirectLinkKeys.h"
#include "room/FileTransfer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// The peer is not listening: what the transfer sends goes nowhere, but always goes.
class CNowherePath : public IFilePath {
public:
    bool Direct() const override { return direct; }
    bool Reachable() const override { return true; }
    int SendFilePacket(CKParam&) override { return 0; }
    bool direct = true;
};

struct tagWorld {
    QTemporaryDir outer;
    QString folder;
    QString source;
    CNowherePath path;
    CFileTransfer files{path};
};

CManualClock* g_clock = nullptr;

tagWorld& World() {
    static tagWorld* world = [] {
        auto* w = new tagWorld;
        QDir(w->outer.path()).mkdir(QStringLiteral("in"));
        w->folder = w->outer.filePath(QStringLiteral("in"));
        w->source = w->outer.filePath(QStringLiteral("source.bin"));
        QFile file(w->source);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(QByteArray(100000, 's'));
        }
        return w;
    }();
    return *world;
}

uint32_t Word(const uint8_t* p, size_t n) {
    uint32_t v = 0;
    std::memcpy(&v, p, std::min<size_t>(n, 4));
    return v;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    static CManualClock clock;
    g_clock = &clock;
    CClock::Slot().Install(&clock);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tagWorld& w = World();
    size_t at = 0;
    while (at + 3 <= size) {
        const uint8_t op = data[at];
        const int id = 1 + data[at + 1] % 4;
        const size_t n = std::min<size_t>(data[at + 2], size - at - 3);
        const uint8_t* body = data + at + 3;
        at += 3 + n;
        CKParam p;
        switch (op % 10) {
            case 0:
                p.SetShortInt(KEY_COMMAND, CMD_FILE_BEGIN);
                p.SetInt(FileKey::SIZE_LOW, static_cast<int>(Word(body, n) % 300000));
                p.SetInt(FileKey::SIZE_HIGH, 0);
                p.SetChar(FileKey::NAME, reinterpret_cast<const char*>(body),
                          static_cast<unsigned short>(n));
                break;
            case 1:
                p.SetShortInt(KEY_COMMAND, CMD_FILE_DATA);
                p.SetInt(FileKey::OFFSET_LOW, static_cast<int>(Word(body, n) % 300000));
                p.SetInt(FileKey::OFFSET_HIGH, op & 0x80 ? -1 : 0);
                p.SetChar(FileKey::BYTES, reinterpret_cast<const char*>(body),
                          static_cast<unsigned short>(n));
                break;
            case 2:
                p.SetShortInt(KEY_COMMAND, CMD_FILE_END);
                p.SetChar(FileKey::SHA256, reinterpret_cast<const char*>(body),
                          static_cast<unsigned short>(n));
                break;
            case 3:
                p.SetShortInt(KEY_COMMAND, CMD_FILE_ACK);
                p.SetInt(FileKey::OFFSET_LOW, static_cast<int>(Word(body, n)));
                p.SetInt(FileKey::OFFSET_HIGH, op & 0x80 ? 1 : 0);
                p.SetBoolean(FileKey::RESEND, (op & 0x40) != 0);
                break;
            case 4:
                p.SetShortInt(KEY_COMMAND, CMD_FILE_DONE);
                p.SetInt(FileKey::RESULT, static_cast<int>(Word(body, n)));
                break;
            case 5:
                p.SetShortInt(KEY_COMMAND, CMD_FILE_CANCEL);
                p.SetBoolean(FileKey::BY_SENDER, (op & 0x80) != 0);
                break;
            case 6:
                w.files.Expect(w.folder);
                continue;
            case 7:
                w.files.Send(w.source);
                w.path.direct = (op & 0x80) != 0;
                continue;
            case 8:
                w.files.Cancel(id);
                continue;
            default:
                g_clock->Advance(static_cast<int64_t>(Word(body, n) % 40000));
                continue;
        }
        // The sender's own transfers have ids it chose: aim at them too.
        p.SetInt(FileKey::ID, id);
        w.files.OnPacket(p);
    }
    w.files.CancelAll();
    // Only the folder and the file to send; inside the folder, no temporary file.
    const QStringList outside =
        QDir(w.outer.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    if (outside.size() != 2) {
        std::abort();
    }
    QDir in(w.folder);
    for (const QString& name : in.entryList(QDir::Files | QDir::Hidden)) {
        if (name.startsWith(QLatin1Char('.'))) {
            std::abort();
        }
        in.remove(name);
    }
    return 0;
}
