#include "room/FileTransfer.h"

#include "platform/Clock.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "protocol/Commands.h"
#include "protocol/keys/DirectLinkKeys.h"
#include "room/FileDigest.h"
#include "room/P2PSocket.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cstring>

namespace {

enum : unsigned { TIMER_TICK = 1 };
constexpr unsigned kTickMs = 10;
// A BEGIN nobody answered goes again, in case it was lost with a link that went down.
constexpr int64_t kBeginRetryMs = 2000;
constexpr int kServiceBurstChunks = 8;
// A receiver that got nothing in order for this long asks the sender to go on from its offset.
constexpr int64_t kStallMs = 1000;
constexpr int kMaxNameBytes = 200;
// Control packets waiting for the path; more means the peer is not reading at all.
constexpr size_t kMaxWaitingControl = 256;

void SetInt64(CKParam& p, short low, short high, int64_t value) {
    p.SetInt(low, static_cast<int>(static_cast<uint32_t>(value & 0xFFFFFFFF)));
    p.SetInt(high, static_cast<int>(static_cast<uint32_t>(value >> 32)));
}

// -1 when either half is missing.
int64_t GetInt64(const CKParam& p, short low, short high) {
    int lo = 0;
    int hi = 0;
    if (p.GetInt(low, lo) != 0 || p.GetInt(high, hi) != 0) {
        return -1;
    }
    return static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(hi)) << 32) |
                                static_cast<uint32_t>(lo));
}

CKParam FilePacket(short command, int id) {
    CKParam p;
    p.SetShortInt(KEY_COMMAND, command);
    p.SetInt(FileKey::ID, id);
    return p;
}

QByteArray BytesOf(const CKParam& p, short key) {
    char* data = nullptr;
    unsigned short n = 0;
    if (p.GetCharNC(key, &data, n) != 0) {
        return QByteArray();
    }
    return QByteArray(data, n);
}

int64_t NowMs() {
    return CClock::Get().UptimeMs();
}

// The first name in the folder nothing holds yet: "a.txt", "a (1).txt", "a (2).txt"...
QString FreeName(const QDir& folder, const QString& name) {
    if (!QFileInfo::exists(folder.filePath(name))) {
        return name;
    }
    const QFileInfo info(name);
    const QString base = info.completeBaseName();
    const QString suffix = info.suffix().isEmpty() ? QString() : "." + info.suffix();
    for (int n = 1; n < 10000; ++n) {
        const QString candidate = QStringLiteral("%1 (%2)%3").arg(base).arg(n).arg(suffix);
        if (!QFileInfo::exists(folder.filePath(candidate))) {
            return candidate;
        }
    }
    return QString();
}

}  // namespace

struct CFileTransfer::tagOutgoing {
    tagFileProgress progress;
    QFile file;
    int64_t sent = 0;   // next byte to send
    int64_t acked = 0;  // bytes the receiver has in order
    std::unique_ptr<CFileHasher> digest;
    bool begun = false;  // the receiver answered the announcement
    bool ended = false;  // the digest went out
    bool direct = false;
    int64_t beginAtMs = -kBeginRetryMs;
    int64_t lastMoveMs = 0;
};

struct CFileTransfer::tagIncoming {
    tagFileProgress progress;
    QDir folder;
    CFileSink file;  // the temporary file, written and hashed off this thread
    int64_t ackedAt = 0;
    int64_t resendFor = -1;  // the offset a resend was asked from, asked only once
    int64_t lastMoveMs = 0;
    int64_t nudgedMs = 0;
};

bool CFileRoute::Direct() const {
    return Link() != nullptr;
}

bool CFileRoute::Reachable() const {
    return Link() != nullptr || m_service.IsConnect();
}

CP2PSocket* CFileRoute::Link() const {
    for (CP2PSocket* link : {&m_outgoing, &m_accepted}) {
        if (link->IsEstablished() && link->IsConnect()) {
            return link;
        }
    }
    return nullptr;
}

int CFileRoute::SendFilePacket(CKParam& packet) {
    CSocketClient* path = Link();
    if (!path) {
        path = m_service.IsConnect() ? &m_service : nullptr;
    }
    if (!path) {
        return -1;
    }
    const int result = path->KSend(packet);
    return result < 0 ? -1 : result;
}

QString FileOutcomeText(EFileOutcome outcome, bool sending, const QString& name) {
    int id = IDS_FILE_BROKEN;
    switch (outcome) {
        case EFileOutcome::Done:
            id = sending ? IDS_FILE_SENT : IDS_FILE_RECEIVED;
            break;
        case EFileOutcome::Refused:
            id = IDS_FILE_REFUSED;
            break;
        case EFileOutcome::Cancelled:
            id = IDS_FILE_CANCELLED;
            break;
        case EFileOutcome::Broken:
            id = IDS_FILE_BROKEN;
            break;
        case EFileOutcome::Corrupt:
            id = IDS_FILE_CORRUPT;
            break;
        case EFileOutcome::WriteFailed:
            id = IDS_FILE_WRITE_FAILED;
            break;
        case EFileOutcome::ReadFailed:
            id = IDS_FILE_READ_FAILED;
            break;
    }
    return LoadString(id) + name;
}

QString SafeFileName(const QString& offered) {
    // Either kind of separator: the name may come from another system.
    const qsizetype cut =
        std::max(offered.lastIndexOf(QLatin1Char('/')), offered.lastIndexOf(QLatin1Char('\\')));
    QString name;
    for (const QChar c : offered.mid(cut + 1)) {
        if (c.unicode() >= 0x20 && c.unicode() != 0x7F) {
            name.append(c);
        }
    }
    name = name.trimmed();
    // No hidden files, and never the folder itself or its parent.
    while (name.startsWith(QLatin1Char('.'))) {
        name.remove(0, 1);
    }
    while (name.toUtf8().size() > kMaxNameBytes) {
        name.chop(1);
    }
    return name.isEmpty() ? QStringLiteral("file") : name;
}

CFileTransfer::CFileTransfer(IFilePath& path, IFileTransferView* view)
    : m_path(path), m_view(view) {
    CreateMessageWindow(QStringLiteral("file transfer"));
}

CFileTransfer::~CFileTransfer() {
    // The view may be going away too: the endings are not reported.
    m_view = nullptr;
    CancelAll();
    DestroyMessageWindow();
}

bool CFileTransfer::Handles(short code) {
    return IsFileCommand(code);
}

int CFileTransfer::Send(const QString& path) {
    auto out = std::make_unique<tagOutgoing>();
    out->file.setFileName(path);
    if (!QFileInfo(path).isFile() || !out->file.open(QIODevice::ReadOnly)) {
        return -1;
    }
    int id = 0;
    do {
        id = static_cast<int>(QRandomGenerator::global()->bounded(1, 0x7FFFFFFF));
    } while (FindOut(id));
    out->progress = {id, true, QFileInfo(path).fileName(), 0, out->file.size()};
    out->digest = std::make_unique<CFileHasher>(path, out->progress.size);
    out->lastMoveMs = NowMs();
    out->direct = m_path.Direct();
    tagOutgoing& ref = *out;
    m_out.push_back(std::move(out));
    SendBegin(ref);
    Arm();
    return id;
}

bool CFileTransfer::Expect(const QString& folder) {
    const QFileInfo info(folder);
    if (!info.isDir() || !info.isWritable()) {
        return false;
    }
    m_expected.push_back({info.absoluteFilePath(), NowMs() + kExpectSeconds * 1000});
    return true;
}

void CFileTransfer::Cancel(int id) {
    if (FindOut(id)) {
        SendCancel(id, true);
        FinishOut(id, EFileOutcome::Cancelled);
    } else if (FindIn(id)) {
        SendCancel(id, false);
        FinishIn(id, EFileOutcome::Cancelled);
    }
}

void CFileTransfer::CancelAll() {
    m_expected.clear();
    while (!m_out.empty()) {
        Cancel(m_out.front()->progress.id);
    }
    while (!m_in.empty()) {
        Cancel(m_in.front()->progress.id);
    }
}

CFileTransfer::tagOutgoing* CFileTransfer::FindOut(int id) {
    for (auto& out : m_out) {
        if (out->progress.id == id) {
            return out.get();
        }
    }
    return nullptr;
}

CFileTransfer::tagIncoming* CFileTransfer::FindIn(int id) {
    for (auto& in : m_in) {
        if (in->progress.id == id) {
            return in.get();
        }
    }
    return nullptr;
}

void CFileTransfer::Arm() {
    const bool busy = !m_out.empty() || !m_in.empty() || !m_control.empty();
    if (busy && !HasTimer(TIMER_TICK)) {
        SetTimer(TIMER_TICK, kTickMs);
    } else if (!busy) {
        KillTimer(TIMER_TICK);
    }
}

void CFileTransfer::OnTimer(unsigned id) {
    if (id != TIMER_TICK) {
        return;
    }
    const int64_t now = NowMs();
    std::vector<int> idleOut;
    std::vector<int> idleIn;
    std::vector<int> stalled;
    for (auto& out : m_out) {
        if (now - out->lastMoveMs > kIdleSeconds * 1000) {
            idleOut.push_back(out->progress.id);
        }
    }
    for (auto& in : m_in) {
        if (now - in->lastMoveMs > kIdleSeconds * 1000) {
            idleIn.push_back(in->progress.id);
        } else if (now - std::max(in->lastMoveMs, in->nudgedMs) > kStallMs) {
            in->nudgedMs = now;
            stalled.push_back(in->progress.id);
        }
    }
    // Sending may find the last path gone and end every transfer: act on ids, not entries.
    for (int id : stalled) {
        // Nothing usable came for a while: a chunk, an acknowledgement or the digest was lost.
        // Say where we are and ask for the rest again.
        if (tagIncoming* in = FindIn(id)) {
            SendAck(*in, true);
        }
    }
    for (int out : idleOut) {
        SendCancel(out, true);
        FinishOut(out, EFileOutcome::Broken);
    }
    for (int in : idleIn) {
        SendCancel(in, false);
        FinishIn(in, EFileOutcome::Broken);
    }
    std::erase_if(m_expected, [now](const tagExpected& e) { return e.untilMs < now; });
    Pump();
    Arm();
}

int CFileTransfer::SendControl(CKParam& packet) {
    // Sending appends the connection's own fields: keep the packet as it was for a retry.
    QByteArray bytes(packet.GetBufferPtr(), packet.GetLength());
    if (m_control.empty()) {
        const int result = m_path.SendFilePacket(packet);
        if (result != 1) {
            return result;
        }
    }
    if (m_control.size() < kMaxWaitingControl) {
        m_control.push_back(std::move(bytes));
    }
    Arm();
    return 0;
}

void CFileTransfer::FlushControl() {
    while (!m_control.empty()) {
        CKParam packet;
        if (packet.SetBufferPtr(m_control.front().constData(),
                                static_cast<int>(m_control.front().size())) != 0) {
            m_control.pop_front();
            continue;
        }
        const int result = m_path.SendFilePacket(packet);
        if (result == 1) {
            return;
        }
        if (result < 0) {
            m_control.clear();
            return;
        }
        m_control.pop_front();
    }
}

void CFileTransfer::OnPathWritable() {
    Pump();
}

void CFileTransfer::OnPathChanged() {
    if (!m_path.Reachable()) {
        m_control.clear();
        while (!m_out.empty()) {
            FinishOut(m_out.front()->progress.id, EFileOutcome::Broken);
        }
        while (!m_in.empty()) {
            FinishIn(m_in.front()->progress.id, EFileOutcome::Broken);
        }
        return;
    }
    Pump();
}

bool CFileTransfer::TakeServiceToken() {
    const int64_t now = NowMs();
    const int64_t elapsed = std::max<int64_t>(0, now - m_serviceTokensAt);
    m_serviceTokensAt = now;
    m_serviceTokens = std::min<double>(kServiceBurstChunks,
                                       m_serviceTokens + elapsed * m_servicePerSecond / 1000.0);
    if (m_serviceTokens < 1.0) {
        return false;
    }
    m_serviceTokens -= 1.0;
    return true;
}

void CFileTransfer::Pump() {
    // A send that fails finishes a transfer, and a finishing transfer may report to a view
    // that starts another: never walk the list while it changes.
    if (m_pumping) {
        return;
    }
    FlushControl();
    if (!m_control.empty()) {
        return;  // the path is full; chunks never overtake what says where a transfer stands
    }
    m_pumping = true;
    std::vector<int> ids;
    for (auto& out : m_out) {
        ids.push_back(out->progress.id);
    }
    for (int id : ids) {
        if (tagOutgoing* out = FindOut(id)) {
            Pump(*out);
        }
    }
    m_pumping = false;
}

void CFileTransfer::Pump(tagOutgoing& out) {
    const int id = out.progress.id;
    const bool direct = m_path.Direct();
    if (direct != out.direct) {
        // What went on the other path may be lost with it: go on from what arrived.
        out.direct = direct;
        out.sent = out.acked;
        if (!out.begun) {
            out.beginAtMs = -kBeginRetryMs;
        }
        if (out.ended) {
            out.ended = false;
        }
    }
    if (!out.begun) {
        if (NowMs() - out.beginAtMs >= kBeginRetryMs) {
            SendBegin(out);
        }
        return;
    }
    QByteArray chunk;
    while (out.sent < out.progress.size && out.sent - out.acked < kWindowBytes) {
        if (!direct && !TakeServiceToken()) {
            return;
        }
        const int n =
            static_cast<int>(std::min<int64_t>(kChunkBytes, out.progress.size - out.sent));
        chunk.resize(n);
        if ((out.file.pos() != out.sent && !out.file.seek(out.sent)) ||
            out.file.read(chunk.data(), n) != n) {
            SendCancel(id, true);
            FinishOut(id, EFileOutcome::ReadFailed);
            return;
        }
        CKParam p = FilePacket(CMD_FILE_DATA, id);
        SetInt64(p, FileKey::OFFSET_LOW, FileKey::OFFSET_HIGH, out.sent);
        p.SetChar(FileKey::BYTES, chunk.constData(), static_cast<unsigned short>(n));
        const int result = m_path.SendFilePacket(p);
        if (result < 0) {
            FinishOut(id, EFileOutcome::Broken);
            return;
        }
        if (result == 1) {
            if (!direct) {
                m_serviceTokens += 1.0;
            }
            return;  // the socket is full: the write notification or the tick goes on
        }
        out.sent += n;
    }
    if (out.acked == out.progress.size && !out.ended) {
        const QByteArray& digest = out.digest->Result();
        if (digest.isEmpty()) {
            SendCancel(id, true);
            FinishOut(id, EFileOutcome::ReadFailed);
            return;
        }
        CKParam p = FilePacket(CMD_FILE_END, id);
        p.SetChar(FileKey::SHA256, digest.constData(), static_cast<unsigned short>(digest.size()));
        if (SendControl(p) < 0) {
            FinishOut(id, EFileOutcome::Broken);
        } else {
            out.ended = true;
        }
    }
}

void CFileTransfer::SendBegin(tagOutgoing& out) {
    CKParam p = FilePacket(CMD_FILE_BEGIN, out.progress.id);
    const QByteArray name = out.progress.name.toUtf8();
    p.SetChar(FileKey::NAME, name.constData(), static_cast<unsigned short>(name.size()));
    SetInt64(p, FileKey::SIZE_LOW, FileKey::SIZE_HIGH, out.progress.size);
    out.beginAtMs = NowMs();
    if (SendControl(p) < 0) {
        FinishOut(out.progress.id, EFileOutcome::Broken);
    }
}

void CFileTransfer::SendAck(tagIncoming& in, bool resend) {
    CKParam p = FilePacket(CMD_FILE_ACK, in.progress.id);
    SetInt64(p, FileKey::OFFSET_LOW, FileKey::OFFSET_HIGH, in.progress.done);
    if (resend) {
        p.SetBoolean(FileKey::RESEND, true);
    }
    // A lost acknowledgement is made good by the next one, or by the sender starting over.
    if (SendControl(p) == 0) {
        in.ackedAt = in.progress.done;
    }
}

void CFileTransfer::SendDone(int id, EFileOutcome outcome) {
    CKParam p = FilePacket(CMD_FILE_DONE, id);
    p.SetInt(FileKey::RESULT, static_cast<int>(outcome));
    SendControl(p);
}

void CFileTransfer::SendCancel(int id, bool bySender) {
    CKParam p = FilePacket(CMD_FILE_CANCEL, id);
    p.SetBoolean(FileKey::BY_SENDER, bySender);
    SendControl(p);
}

void CFileTransfer::FinishOut(int id, EFileOutcome outcome) {
    auto it = std::find_if(m_out.begin(), m_out.end(),
                           [id](const auto& out) { return out->progress.id == id; });
    if (it == m_out.end()) {
        return;
    }
    std::unique_ptr<tagOutgoing> out = std::move(*it);
    m_out.erase(it);
    out->file.close();
    Arm();
    if (m_view) {
        m_view->OnFileFinished(out->progress, outcome, QString());
    }
}

void CFileTransfer::FinishIn(int id, EFileOutcome outcome, const QString& path) {
    auto it = std::find_if(m_in.begin(), m_in.end(),
                           [id](const auto& in) { return in->progress.id == id; });
    if (it == m_in.end()) {
        return;
    }
    std::unique_ptr<tagIncoming> in = std::move(*it);
    m_in.erase(it);
    if (outcome != EFileOutcome::Done) {
        in->file.Abort();
    }
    Arm();
    if (m_view) {
        m_view->OnFileFinished(in->progress, outcome, path);
    }
}

void CFileTransfer::OnPacket(const CKParam& packet) {
    int id = 0;
    if (packet.GetInt(FileKey::ID, id) != 0 || id == 0) {
        return;
    }
    switch (packet.Command()) {
        case CMD_FILE_BEGIN:
            OnBegin(packet, id);
            break;
        case CMD_FILE_DATA:
            OnData(packet, id);
            break;
        case CMD_FILE_END:
            OnEnd(packet, id);
            break;
        case CMD_FILE_ACK:
            OnAck(packet, id);
            break;
        case CMD_FILE_DONE:
            if (FindOut(id)) {
                const int result = packet.IntOr(FileKey::RESULT, -1);
                const bool known = result >= static_cast<int>(EFileOutcome::Done) &&
                                   result <= static_cast<int>(EFileOutcome::ReadFailed);
                FinishOut(id, known ? static_cast<EFileOutcome>(result) : EFileOutcome::Broken);
            }
            break;
        case CMD_FILE_CANCEL:
            OnCancel(packet, id);
            break;
        default:
            break;
    }
}

void CFileTransfer::RefuseUnknown(int id) {
    // Once per transfer: the sender stops at the first, the rest were already under way.
    if (m_lastRefused != id) {
        m_lastRefused = id;
        SendCancel(id, false);
    }
}

void CFileTransfer::OnBegin(const CKParam& packet, int id) {
    if (tagIncoming* in = FindIn(id)) {
        // Our answer was lost: say again where we are.
        SendAck(*in, false);
        return;
    }
    const int64_t now = NowMs();
    std::erase_if(m_expected, [now](const tagExpected& e) { return e.untilMs < now; });
    const int64_t size = GetInt64(packet, FileKey::SIZE_LOW, FileKey::SIZE_HIGH);
    if (m_expected.empty() || size < 0) {
        RefuseUnknown(id);
        return;
    }
    auto in = std::make_unique<tagIncoming>();
    in->folder = QDir(m_expected.front().folder);
    m_expected.erase(m_expected.begin());
    const QString name = SafeFileName(QString::fromUtf8(BytesOf(packet, FileKey::NAME)));
    in->progress = {id, false, name, 0, size};
    in->lastMoveMs = now;
    const QString temporary =
        in->folder.filePath(QStringLiteral(".%1.%2.part").arg(name).arg(id, 0, 16));
    if (!in->file.Open(temporary)) {
        SendDone(id, EFileOutcome::WriteFailed);
        if (m_view) {
            m_view->OnFileFinished(in->progress, EFileOutcome::WriteFailed, QString());
        }
        return;
    }
    tagIncoming& ref = *in;
    m_in.push_back(std::move(in));
    Arm();
    if (m_view) {
        m_view->OnFileProgress(ref.progress);
    }
    // Last: a failed send may end the transfer.
    if (tagIncoming* added = FindIn(id)) {
        SendAck(*added, false);
    }
}

void CFileTransfer::OnData(const CKParam& packet, int id) {
    tagIncoming* in = FindIn(id);
    if (!in) {
        RefuseUnknown(id);
        return;
    }
    const int64_t offset = GetInt64(packet, FileKey::OFFSET_LOW, FileKey::OFFSET_HIGH);
    char* data = nullptr;
    unsigned short n = 0;
    if (offset < 0 || packet.GetCharNC(FileKey::BYTES, &data, n) != 0 || n == 0) {
        return;
    }
    tagFileProgress& progress = in->progress;
    if (offset < progress.done) {
        return;  // already here, sent again after a change of path
    }
    if (offset > progress.done) {
        // Something before it was lost: ask once for everything from the gap on.
        if (in->resendFor != progress.done) {
            in->resendFor = progress.done;
            SendAck(*in, true);
        }
        return;
    }
    if (progress.done + n > progress.size) {
        FinishIn(id, EFileOutcome::Corrupt);
        SendDone(id, EFileOutcome::Corrupt);
        return;
    }
    if (!in->file.Write(data, n)) {
        FinishIn(id, EFileOutcome::WriteFailed);
        SendDone(id, EFileOutcome::WriteFailed);
        return;
    }
    progress.done += n;
    in->lastMoveMs = NowMs();
    if (m_view) {
        m_view->OnFileProgress(progress);
    }
    // Last: a failed send may end the transfer.
    if (progress.done - in->ackedAt >= kAckEveryBytes || progress.done == progress.size) {
        SendAck(*in, false);
    }
}

void CFileTransfer::OnEnd(const CKParam& packet, int id) {
    tagIncoming* in = FindIn(id);
    if (!in) {
        RefuseUnknown(id);
        return;
    }
    if (in->progress.done != in->progress.size) {
        // Bytes still missing: the digest came over a faster path. Ask from the gap.
        SendAck(*in, true);
        return;
    }
    QByteArray digest;
    const bool written = in->file.Finish(digest);
    if (!written || BytesOf(packet, FileKey::SHA256) != digest) {
        const EFileOutcome outcome = written ? EFileOutcome::Corrupt : EFileOutcome::WriteFailed;
        FinishIn(id, outcome);
        SendDone(id, outcome);
        return;
    }
    const QString name = FreeName(in->folder, in->progress.name);
    const QString final = in->folder.filePath(name);
    if (name.isEmpty() || !in->file.Rename(final)) {
        FinishIn(id, EFileOutcome::WriteFailed);
        SendDone(id, EFileOutcome::WriteFailed);
        return;
    }
    FinishIn(id, EFileOutcome::Done, final);
    SendDone(id, EFileOutcome::Done);
}

void CFileTransfer::OnAck(const CKParam& packet, int id) {
    tagOutgoing* out = FindOut(id);
    if (!out) {
        return;
    }
    const int64_t received = GetInt64(packet, FileKey::OFFSET_LOW, FileKey::OFFSET_HIGH);
    if (received < 0 || received > out->progress.size) {
        return;
    }
    out->begun = true;
    out->lastMoveMs = NowMs();
    if (packet.BoolOr(FileKey::RESEND, false)) {
        // An acknowledgement may overtake another on the other path: the larger one holds.
        out->acked = std::max(out->acked, received);
        out->sent = out->acked;
        out->ended = false;
    } else if (received > out->acked) {
        out->acked = received;
        out->sent = std::max(out->sent, received);
    }
    out->progress.done = out->acked;
    if (m_view) {
        m_view->OnFileProgress(out->progress);
    }
    Pump();
}

void CFileTransfer::OnCancel(const CKParam& packet, int id) {
    if (packet.BoolOr(FileKey::BY_SENDER, false)) {
        FinishIn(id, EFileOutcome::Cancelled);
    } else if (tagOutgoing* out = FindOut(id)) {
        FinishOut(id, out->begun ? EFileOutcome::Cancelled : EFileOutcome::Refused);
    }
}
