#pragma once
// Files sent between the two members of a private room, once an offer was made and accepted.
// The bytes travel over the direct link when it is up and through the service otherwise; the
// transfer follows the path as the link comes and goes.
//
// The sender announces the file (name and size), then sends it in chunks, never more than a
// window ahead of what the receiver acknowledged, so neither side nor the service holds more
// than the window of a large file; at the end it sends the file's SHA-256. The receiver writes
// in order under a temporary name in the folder its user chose, and gives the file its own
// name only when the size and the digest agree. Anything else (a cancel from either side, a
// path that went away, a failed check) removes the temporary file.

#include "platform/MessageWindow.h"
#include "protocol/KParam.h"

#include <QFile>
#include <QString>

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

class CP2PSocket;
class CSocketClient;

// How a transfer ended; the receiver tells the sender with the same numbers.
enum class EFileOutcome : int {
    Done = 0,
    Refused = 1,      // the receiving side was not expecting a file
    Cancelled = 2,    // either user cancelled, or the private room closed
    Broken = 3,       // no path left, or nothing moved for too long
    Corrupt = 4,      // the size or the digest did not agree
    WriteFailed = 5,  // the receiving side could not write the file
    ReadFailed = 6,   // the sending side could not read it
};

struct tagFileProgress {
    int id = 0;
    bool sending = false;
    QString name;
    int64_t done = 0;
    int64_t size = 0;
};

class IFileTransferView {
public:
    virtual ~IFileTransferView() = default;
    virtual void OnFileProgress(const tagFileProgress& progress) = 0;
    // path: where a received file now is; empty otherwise.
    virtual void OnFileFinished(const tagFileProgress& progress, EFileOutcome outcome,
                                const QString& path) = 0;
};

// Where the file packets go.
class IFilePath {
public:
    virtual ~IFilePath() = default;
    // Whether a packet sent now goes over the direct link; whether any path is there.
    virtual bool Direct() const = 0;
    virtual bool Reachable() const = 0;
    // 0 sent, 1 the path is full (try again later), -1 there is no path.
    virtual int SendFilePacket(CKParam& packet) = 0;
};

// The private room's path: the first confirmed link of the two, else the main room connection,
// which leaves the second connection to voice.
class CFileRoute : public IFilePath {
public:
    CFileRoute(CP2PSocket& outgoing, CP2PSocket& accepted, CSocketClient& service)
        : m_outgoing(outgoing), m_accepted(accepted), m_service(service) {}
    bool Direct() const override;
    bool Reachable() const override;
    int SendFilePacket(CKParam& packet) override;

private:
    CP2PSocket* Link() const;
    CP2PSocket& m_outgoing;
    CP2PSocket& m_accepted;
    CSocketClient& m_service;
};

// The text the private room shows for an ending: the outcome's words and the file's name.
QString FileOutcomeText(EFileOutcome outcome, bool sending, const QString& name);

// A name offered by the peer, reduced to a plain file name: no folder, no control characters,
// never "." or "..".
QString SafeFileName(const QString& offered);

class CFileTransfer : private CMessageWindow {
public:
    static constexpr int kChunkBytes = 28 * 1024;
    // Bytes a sender may have unacknowledged, whichever the path. Less than the connection's
    // send buffer holds, so the file alone never fills it: the video on the link and the
    // room's requests on the main connection, which are dropped when the socket is full, still
    // find room. It is well below what the service queues for a receiver before it drops
    // chunks (256 KiB). The receiver acknowledges several times per window.
    static constexpr int64_t kWindowBytes = 96 * 1024;
    static constexpr int64_t kAckEveryBytes = kWindowBytes / 3;
    // The service counts every packet against a connection's request budget.
    static constexpr int kServiceChunksPerSecond = 40;
    static constexpr int kIdleSeconds = 30;
    // How long an accepted offer waits for its file.
    static constexpr int kExpectSeconds = 120;

    explicit CFileTransfer(IFilePath& path, IFileTransferView* view = nullptr);
    ~CFileTransfer() override;

    // Sending side, after the peer accepted the offer: the transfer's id, or -1 when the file
    // cannot be read.
    int Send(const QString& path);
    // Receiving side, answering an offer with yes: the next file to arrive is saved in this
    // folder. False when the folder is not there.
    bool Expect(const QString& folder);
    // Ends one transfer or all of them (the private room closes); the peer is told.
    void Cancel(int id);
    void CancelAll();

    static bool Handles(short code);
    // A file packet from the peer, over either path.
    void OnPacket(const CKParam& packet);
    // The direct link can take bytes again, or came up or went down; with no path left every
    // transfer is broken.
    void OnPathWritable();
    void OnPathChanged();

    int ActiveCount() const { return static_cast<int>(m_out.size() + m_in.size()); }
    void SetServicePacing(int chunksPerSecond) { m_servicePerSecond = chunksPerSecond; }

private:
    struct tagOutgoing;
    struct tagIncoming;

    void OnTimer(unsigned id) override;
    void Arm();
    void Pump();
    void Pump(tagOutgoing& out);
    bool TakeServiceToken();
    // Everything but the chunks must arrive: what the path cannot take now waits its turn.
    int SendControl(CKParam& packet);
    void FlushControl();
    void SendBegin(tagOutgoing& out);
    void SendAck(tagIncoming& in, bool resend);
    void SendDone(int id, EFileOutcome outcome);
    void SendCancel(int id, bool bySender);
    void FinishOut(int id, EFileOutcome outcome);
    void FinishIn(int id, EFileOutcome outcome, const QString& path = QString());
    tagOutgoing* FindOut(int id);
    tagIncoming* FindIn(int id);

    void OnBegin(const CKParam& packet, int id);
    void OnData(const CKParam& packet, int id);
    void OnEnd(const CKParam& packet, int id);
    void OnAck(const CKParam& packet, int id);
    void OnCancel(const CKParam& packet, int id);
    void RefuseUnknown(int id);

    IFilePath& m_path;
    IFileTransferView* m_view;
    std::vector<std::unique_ptr<tagOutgoing>> m_out;
    std::vector<std::unique_ptr<tagIncoming>> m_in;
    struct tagExpected {
        QString folder;
        int64_t untilMs;
    };
    std::vector<tagExpected> m_expected;
    std::deque<QByteArray> m_control;
    int m_servicePerSecond = kServiceChunksPerSecond;
    double m_serviceTokens = 0;
    int64_t m_serviceTokensAt = 0;
    int m_lastRefused = 0;
    bool m_pumping = false;
};
