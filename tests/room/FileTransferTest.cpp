// Files between a private pair: over the direct link on loopback (each end on its own
// address), and through the reference service when the link goes away.

#include "protocol/Commands.h"
#include "protocol/keys/DirectLinkKeys.h"
#include "server/FileRelay.h"
#include "tests/room/DirectLinkSupport.h"
#include "tests/support/Loopback.h"
#include "tests/support/ServiceHarness.h"
#include "tests/support/TestSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>

using namespace tavotest;
using namespace std::chrono_literals;

namespace {

constexpr int kTenMegabytes = 10 * 1024 * 1024;

// Two ends with a confirmed link from a to b, a folder to send from and one to save in.
struct tagPair {
    // Room connections that never connect: the link is the only path.
    CTestConnection noServiceA;
    CTestConnection noServiceB;
    tagLinkEnd a{LinkAddress(2)};
    tagLinkEnd b{LinkAddress(3)};
    QTemporaryDir from;
    QTemporaryDir to;

    bool Link() { return a.Listen() && b.Listen() && a.ConnectTo(b); }
    bool LinkOnly() {
        Attach(noServiceA, noServiceB);
        return Link();
    }
    void Attach(CTestConnection& serviceA, CTestConnection& serviceB) {
        a.AttachFiles(serviceA);
        b.AttachFiles(serviceB);
    }
    bool BothEnded() const { return !a.endings.empty() && !b.endings.empty(); }
};

CKParam FilePacket(short command, int id, tagFields fields = {}) {
    CKParam packet = Packet(command, {{FileKey::ID, id}});
    SetFields(packet, fields);
    return packet;
}

void AddBytes(CKParam& packet, short key, const QByteArray& bytes) {
    packet.SetChar(key, bytes.constData(), static_cast<unsigned short>(bytes.size()));
}

}  // namespace

// Ten megabytes, whose first few cross the link; then the link breaks and the rest goes
// through the service, which passes it to the sender's partner and nobody else.
TEST(FileTransfer, WhenTheLinkGoesTheRestTravelsThroughTheServiceAndArrivesIntact) {
    CServiceHarness h;
    auto alice = h.Enter(1001, "alice", "alice123", "M-A");
    auto bob = h.Enter(1001, "bob", "bob123", "M-B");
    auto carol = h.Enter(1001, "carol", "carol123", "M-C");
    ASSERT_TRUE(alice && bob && carol);
    CFileRelay& relay = h.Service().RoomServer(0).FileRelay();
    relay.Pair(alice->id, bob->id);

    tagPair p;
    p.Attach(alice->main, bob->main);
    ASSERT_TRUE(p.Link());
    const QString source = p.from.filePath("歌曲 1.avi");
    const QByteArray digest = WriteRandomFile(source, kTenMegabytes, 70);
    ASSERT_TRUE(p.b.files->Expect(p.to.path()));
    ASSERT_GT(p.a.files->Send(source), 0);

    ASSERT_TRUE(WaitUntil([&] { return p.b.last.done >= 3 * 1024 * 1024; }, 30s));
    p.a.outgoing.Shutdown();
    // How far the link got depends on the machine's pace; all but its window in flight must
    // then go through the service.
    const int64_t left = kTenMegabytes - p.b.last.done - CFileTransfer::kWindowBytes;
    ASSERT_TRUE(WaitUntil([&] { return p.b.accepted.State() == CP2PSocket::P2P_IDLE; }));
    // Time passes on the service's clock as the chunks go, within its request budget.
    for (int step = 0; step < 3000 && !p.BothEnded(); ++step) {
        h.Clock().Advance(20);
        Spin(2ms);
    }

    ASSERT_TRUE(p.BothEnded());
    EXPECT_EQ(p.a.endings[0].outcome, EFileOutcome::Done);
    ASSERT_EQ(p.b.endings[0].outcome, EFileOutcome::Done);
    EXPECT_EQ(p.b.endings[0].path, QDir(p.to.path()).filePath("歌曲 1.avi"));
    EXPECT_EQ(Sha256Of(p.b.endings[0].path), digest);
    EXPECT_EQ(FolderNames(p.to.path()), QStringList{"歌曲 1.avi"});
    // Both sides saw it through to the last byte, whichever path carried it.
    EXPECT_EQ(p.a.last.done, kTenMegabytes);
    EXPECT_EQ(p.b.last.done, kTenMegabytes);
    EXPECT_EQ(p.a.files->ActiveCount() + p.b.files->ActiveCount(), 0);
    EXPECT_GE(relay.RelayedPackets(), left / CFileTransfer::kChunkBytes);
    EXPECT_FALSE(alice->main.closed || bob->main.closed);
    for (short code : {CMD_FILE_BEGIN, CMD_FILE_DATA, CMD_FILE_END}) {
        EXPECT_EQ(carol->main.Count(code), 0);
    }

    // Once parted, nothing more is passed on.
    relay.Unpair(bob->id);
    const int before = relay.RelayedPackets();
    CKParam stray = FilePacket(CMD_FILE_CANCEL, 5, {{FileKey::BY_SENDER, true}});
    alice->main.KSend(stray);
    h.Pass(200ms, 20ms);
    EXPECT_EQ(relay.RelayedPackets(), before);
}

TEST(FileTransfer, ACancelledOrBrokenTransferLeavesNoFile) {
    tagPair p;
    ASSERT_TRUE(p.LinkOnly());
    const QString source = p.from.filePath("big.bin");
    WriteRandomFile(source, kTenMegabytes, 3);
    auto midway = [&] { return p.b.last.done > 1024 * 1024 && p.b.last.done < kTenMegabytes; };

    // The receiver cancels, then the sender does.
    for (tagLinkEnd* canceller : {&p.b, &p.a}) {
        p.a.endings.clear();
        p.b.endings.clear();
        p.b.last = {};
        ASSERT_TRUE(p.b.files->Expect(p.to.path()));
        const int id = p.a.files->Send(source);
        ASSERT_TRUE(WaitUntil(midway, 30s));
        canceller->files->Cancel(id);
        ASSERT_TRUE(WaitUntil([&] { return p.BothEnded(); }))
            << (canceller == &p.a) << " " << p.a.endings.size() << " " << p.b.endings.size();
        EXPECT_EQ(p.a.endings[0].outcome, EFileOutcome::Cancelled);
        EXPECT_EQ(p.b.endings[0].outcome, EFileOutcome::Cancelled);
        EXPECT_TRUE(FolderNames(p.to.path()).isEmpty())
            << FolderNames(p.to.path()).join(',').toStdString();
    }

    // The receiver's disk fills up: its writes fail away from the receiving thread, and both
    // ends say so. A file may grow to 1 MiB here.
    p.a.endings.clear();
    p.b.endings.clear();
    ASSERT_TRUE(p.b.files->Expect(p.to.path()));
    {
        rlimit before{};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
        struct tagRestore {
            rlimit limit;
            ~tagRestore() { ::setrlimit(RLIMIT_FSIZE, &limit); }
        } restore{before};
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit full = before;
        full.rlim_cur = 1024 * 1024;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &full), 0);
        p.a.files->Send(source);
        ASSERT_TRUE(WaitUntil([&] { return p.BothEnded(); }, 30s));
    }
    EXPECT_EQ(p.a.endings[0].outcome, EFileOutcome::WriteFailed);
    EXPECT_EQ(p.b.endings[0].outcome, EFileOutcome::WriteFailed);
    EXPECT_TRUE(FolderNames(p.to.path()).isEmpty());

    // The link goes down with no room connection to fall back on.
    p.a.endings.clear();
    p.b.endings.clear();
    p.b.last = {};
    ASSERT_TRUE(p.b.files->Expect(p.to.path()));
    p.a.files->Send(source);
    ASSERT_TRUE(WaitUntil(midway, 30s));
    p.a.outgoing.Shutdown();
    ASSERT_TRUE(WaitUntil([&] { return p.BothEnded(); }))
        << p.a.endings.size() << " " << p.b.endings.size() << " " << p.b.accepted.State();
    EXPECT_EQ(p.a.endings[0].outcome, EFileOutcome::Broken);
    EXPECT_EQ(p.b.endings[0].outcome, EFileOutcome::Broken);
    EXPECT_TRUE(FolderNames(p.to.path()).isEmpty());
}

// A peer that speaks the file packets itself: what it names and what it claims are checked.
TEST(FileTransfer, AHostileNameStaysInTheFolderAndABadDigestKeepsNothing) {
    tagLinkEnd b(LinkAddress(3));
    CTestConnection noService;
    ASSERT_TRUE(b.Listen());
    b.AttachFiles(noService);
    CTestConnection peer;
    peer.KCreate();
    ASSERT_TRUE(peer.KConnect(b.address, CP2PSocket::kPort) == 0 &&
                WaitUntil([&] { return peer.connected; }));
    peer.Send(Packet(CMD_P2P_CONFIRM));
    ASSERT_TRUE(WaitUntil([&] { return b.accepted.IsEstablished(); }));
    QTemporaryDir outer;
    ASSERT_TRUE(QDir(outer.path()).mkdir("in"));
    const QString folder = outer.filePath("in");
    const QByteArray hello("hello");
    const QByteArray helloDigest = QCryptographicHash::hash(hello, QCryptographicHash::Sha256);
    auto offer = [&](int id, const QByteArray& name, const QByteArray& digest) {
        CKParam begin =
            FilePacket(CMD_FILE_BEGIN, id, {{FileKey::SIZE_LOW, 5}, {FileKey::SIZE_HIGH, 0}});
        AddBytes(begin, FileKey::NAME, name);
        peer.Send(begin);
        CKParam data =
            FilePacket(CMD_FILE_DATA, id, {{FileKey::OFFSET_LOW, 0}, {FileKey::OFFSET_HIGH, 0}});
        AddBytes(data, FileKey::BYTES, hello);
        peer.Send(data);
        CKParam end = FilePacket(CMD_FILE_END, id);
        AddBytes(end, FileKey::SHA256, digest);
        peer.Send(end);
    };

    // Nobody accepted an offer: the file is refused and nothing is written.
    offer(1, "x.txt", helloDigest);
    ASSERT_TRUE(peer.WaitFor(CMD_FILE_CANCEL));
    EXPECT_TRUE(FolderNames(folder).isEmpty());

    ASSERT_TRUE(b.files->Expect(folder));
    offer(2, "../../evil.sh", helloDigest);
    ASSERT_TRUE(peer.WaitFor(CMD_FILE_DONE));
    EXPECT_EQ(IntOf(peer.All(CMD_FILE_DONE).back(), FileKey::RESULT), 0);

    ASSERT_TRUE(b.files->Expect(folder));
    offer(3, "..\\..\\evil.sh", QByteArray(32, 'x'));
    ASSERT_TRUE(peer.WaitFor(CMD_FILE_DONE, 2));
    EXPECT_EQ(IntOf(peer.All(CMD_FILE_DONE).back(), FileKey::RESULT),
              static_cast<int>(EFileOutcome::Corrupt));

    EXPECT_EQ(FolderNames(folder), QStringList{"evil.sh"});
    EXPECT_EQ(QDir(outer.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"in"});
    QFile kept(QDir(folder).filePath("evil.sh"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), hello);

    for (auto [offered, safe] :
         {std::pair{"..", "file"}, std::pair{"/etc/passwd", "passwd"},
          std::pair{"C:\\Windows\\win.ini", "win.ini"}, std::pair{".bashrc", "bashrc"},
          std::pair{"a\x01\x7f"
                    "b",
                    "ab"},
          std::pair{"", "file"}}) {
        EXPECT_EQ(SafeFileName(QString::fromUtf8(offered)), QString::fromUtf8(safe)) << offered;
    }
}
