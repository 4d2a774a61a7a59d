#pragma once
// Both ends of real loopback connections for tests, in either framing: a connection that keeps
// every packet it receives (a client the test opens, or a connection a listener accepted), a
// listener on 127.0.0.1 that answers by script, helpers to build and read packets, and a small
// web server for documents.

#include "platform/AsyncSocket.h"
#include "protocol/FrameCodec.h"
#include "protocol/KParam.h"
#include "protocol/SocketClient.h"

#include <QAbstractHttpServer>
#include <QByteArray>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

namespace tavotest {

// A packet kept as bytes (packets are not copyable).
struct CPacketCopy {
    QByteArray bytes;
    short Command() const;
    // Loads the copy into a packet for reading.
    void Load(CKParam& packet) const;
    CKParam Loaded() const;
};

// Reads a text, number or byte field of a packet copy; a missing text or byte field reads as
// "<missing>".
QString TextOf(const CPacketCopy& copy, short key);
int IntOf(const CPacketCopy& copy, short key, int def = -12345);
QByteArray BytesOf(const CPacketCopy& copy, short key);
// A field of a packet being built: a number, a short, a flag or a text under its key.
struct tagField {
    tagField(short k, int v) : key(k), value(v) {}
    tagField(short k, short v) : key(k), value(v) {}
    tagField(short k, bool v) : key(k), value(v) {}
    tagField(short k, const QString& v) : key(k), value(v) {}
    tagField(short k, const char* v) : key(k), value(QString::fromUtf8(v)) {}
    short key;
    std::variant<int, short, bool, QString> value;
};
using tagFields = std::vector<tagField>;

// A packet of a command with its fields in order; a reply with its result (key 20) and, unless
// 0, the refusal code (key 21).
CKParam Packet(short command, tagFields fields = {});
CKParam Reply(short command, int result = 0, int refusal = 0);
// Adds the fields to a packet in order.
void SetFields(CKParam& packet, tagFields fields);
CKParam With(CKParam packet, tagFields fields);

class CTestConnection : public CSocketClient {
public:
    // Called for every packet but keep-alives.
    using Script = std::function<void(CTestConnection& self, CKParam& packet)>;

    explicit CTestConnection(const tagFrameFormat& format = kTcpFrame, Script script = {});
    // Replaces the script; a connection whose packets go elsewhere may keep none (keep false).
    void SetScript(Script script, bool keep = true) {
        m_script = std::move(script);
        m_keep = keep;
    }

    // Connects to 127.0.0.1 and waits for the connection; from: another loopback address to
    // come from (127.0.0.2), so the far end sees a second machine.
    bool Open(unsigned port, const QString& from = QString());
    int Send(CKParam& packet) { return KSend(packet); }
    int Send(CKParam&& packet) { return KSend(packet); }
    // Sends a packet and waits for the first packet with the reply command that arrives after it.
    std::optional<CPacketCopy> Request(CKParam& packet, short replyCommand);
    std::optional<CPacketCopy> Request(CKParam&& packet, short replyCommand) {
        return Request(packet, replyCommand);
    }
    bool WaitFor(short command, int count = 1,
                 std::chrono::milliseconds limit = std::chrono::seconds(5));
    bool WaitClosed(std::chrono::milliseconds limit = std::chrono::seconds(5));
    int Count(short command) const;
    // The packets with that command, oldest first (keep-alives are command 99).
    std::vector<CPacketCopy> All(short command) const;

    std::vector<CPacketCopy> received;
    bool connected = false;
    bool closed = false;
    int connects = 0;
    int closes = 0;
    // A silent connection sends nothing at all, its own keep-alives included.
    bool silent = false;

protected:
    int OnKConnect(int error) override;
    int OnKReceive(CKParam& packet) override;
    int OnKClose() override;
    int SendPacket(CKParam& packet) override;

private:
    Script m_script;
    bool m_keep = true;
};

// A connection that sends what it is given and nothing else: no keep-alive, no framing. What
// arrives is kept as it came.
class CRawClient : public CAsyncSocket {
public:
    bool Open(unsigned port);
    void Write(const QByteArray& bytes);
    QByteArray received;
    bool closed = false;

protected:
    void OnConnect(int error) override { m_connected = error == 0; }
    void OnReceive(int) override;
    void OnClose(int) override { closed = true; }

private:
    bool m_connected = false;
};

class CLoopbackServer : public CAsyncSocket {
public:
    using Script = CTestConnection::Script;

    explicit CLoopbackServer(const tagFrameFormat& format = kTcpFrame);
    ~CLoopbackServer() override;

    bool Start();
    unsigned Port() const { return m_port; }
    // The answer to every packet no answer of its own command takes; keep-alives excepted.
    void SetResponder(Script responder) { m_responder = std::move(responder); }
    void Answer(short request, Script answer) { m_answers[request] = std::move(answer); }
    // Answers a request with a reply built by fill (command and result 0 are set already).
    void AnswerWith(short request, short reply, const std::function<void(CKParam&)>& fill = {});
    void AnswerWith(short request, short reply, tagFields fields);
    void Silence(short request) { m_answers.erase(request); }
    // Connections accepted from now on are silent.
    bool silent = false;

    int PeerCount() const { return static_cast<int>(m_peers.size()); }
    CTestConnection& Peer(int i) { return *m_peers.at(static_cast<size_t>(i)); }
    CTestConnection& LastPeer() { return *m_peers.back(); }
    // Every packet with that command from any peer, in arrival order per peer.
    std::vector<CPacketCopy> Received(short command) const;
    // The last packet of a command from any peer; false when there is none.
    bool Last(short command, CKParam& packet) const;
    // Waits (running the event loop) for the n-th packet of a command from any peer.
    bool WaitFor(short command, int count = 1,
                 std::chrono::milliseconds limit = std::chrono::seconds(5));
    bool WaitForPeers(int count, std::chrono::milliseconds limit = std::chrono::seconds(5));

protected:
    void OnAccept(int error) override;

private:
    void OnPacket(CTestConnection& peer, CKParam& packet);

    tagFrameFormat m_format;
    unsigned m_port = 0;
    Script m_responder;
    std::map<short, Script> m_answers;
    std::vector<std::unique_ptr<CTestConnection>> m_peers;
};

// A real HTTP server on 127.0.0.1 serving documents from memory; any other path is 404.
class CDocumentServer : public QAbstractHttpServer {
public:
    bool Start();
    QString Url(const QString& path) const;
    void Put(const QString& path, const QByteArray& body,
             const QByteArray& contentType = QByteArrayLiteral("text/xml"));
    // How many times a path was asked for.
    int Hits(const QString& path) const;

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    quint16 m_port = 0;
    std::map<QString, std::pair<QByteArray, QByteArray>> m_documents;
    std::map<QString, int> m_hits;
};

}  // namespace tavotest
