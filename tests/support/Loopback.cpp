#include "tests/support/Loopback.h"

#include "protocol/Commands.h"
#include "tests/support/TestSupport.h"

#include <QHostAddress>
#include <QHttpServerRequest>
#include <QHttpServerResponder>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace tavotest {

short CPacketCopy::Command() const {
    return Loaded().Command();
}

void CPacketCopy::Load(CKParam& packet) const {
    packet.SetBufferPtr(bytes.constData(), static_cast<int>(bytes.size()));
}

QString TextOf(const CPacketCopy& copy, short key) {
    return copy.Loaded().TextOr(key, QStringLiteral("<missing>"));
}

CKParam CPacketCopy::Loaded() const {
    CKParam packet;
    Load(packet);
    return packet;
}

int IntOf(const CPacketCopy& copy, short key, int def) {
    return copy.Loaded().IntOr(key, def);
}

QByteArray BytesOf(const CPacketCopy& copy, short key) {
    CKParam p = copy.Loaded();
    char* data = nullptr;
    unsigned short n = 0;
    return p.GetCharNC(key, &data, n) == 0 ? QByteArray(data, n) : QByteArray("<missing>");
}

CKParam Packet(short command, tagFields fields) {
    CKParam p;
    p.SetShortInt(KEY_COMMAND, command);
    SetFields(p, fields);
    return p;
}

void SetFields(CKParam& packet, tagFields fields) {
    for (const tagField& f : fields) {
        if (const int* i = std::get_if<int>(&f.value)) {
            packet.SetInt(f.key, *i);
        } else if (const short* s = std::get_if<short>(&f.value)) {
            packet.SetShortInt(f.key, *s);
        } else if (const bool* b = std::get_if<bool>(&f.value)) {
            packet.SetBoolean(f.key, *b);
        } else {
            packet.SetCString(f.key, std::get<QString>(f.value));
        }
    }
}

CKParam With(CKParam packet, tagFields fields) {
    SetFields(packet, fields);
    return packet;
}

CKParam Reply(short command, int result, int refusal) {
    CKParam p = Packet(command);
    p.SetInt(KEY_RESULT, result);
    if (refusal != 0) {
        p.SetInt(KEY_REFUSAL, refusal);
    }
    return p;
}

CTestConnection::CTestConnection(const tagFrameFormat& format, Script script)
    : CSocketClient(format), m_script(std::move(script)) {}

bool CTestConnection::Open(unsigned port, const QString& from) {
    connected = false;
    closed = false;
    if (KCreate() != 0) {
        return false;
    }
    if (!from.isEmpty()) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        if (::inet_pton(AF_INET, from.toLatin1().constData(), &local.sin_addr) != 1 ||
            ::bind(Handle(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
            return false;
        }
    }
    if (KConnect(QStringLiteral("127.0.0.1"), static_cast<int>(port)) != 0) {
        return false;
    }
    return WaitUntil([&] { return connected || closed; }) && connected;
}

std::optional<CPacketCopy> CTestConnection::Request(CKParam& packet, short replyCommand) {
    const int before = Count(replyCommand);
    if (Send(packet) != 0 || !WaitFor(replyCommand, before + 1)) {
        return std::nullopt;
    }
    return All(replyCommand)[static_cast<size_t>(before)];
}

bool CTestConnection::WaitFor(short command, int count, std::chrono::milliseconds limit) {
    return WaitUntil([&] { return Count(command) >= count; }, limit);
}

bool CTestConnection::WaitClosed(std::chrono::milliseconds limit) {
    return WaitUntil([&] { return closed; }, limit);
}

int CTestConnection::Count(short command) const {
    return static_cast<int>(All(command).size());
}

std::vector<CPacketCopy> CTestConnection::All(short command) const {
    std::vector<CPacketCopy> out;
    for (const auto& p : received) {
        if (p.Command() == command) {
            out.push_back(p);
        }
    }
    return out;
}

int CTestConnection::OnKConnect(int error) {
    ++connects;
    connected = error == 0;
    return 0;
}

int CTestConnection::OnKReceive(CKParam& packet) {
    if (m_keep) {
        received.push_back({QByteArray(packet.GetBufferPtr(), packet.GetLength())});
    }
    if (packet.Command() != CMD_KEEPALIVE && m_script) {
        m_script(*this, packet);
    }
    return 0;
}

int CTestConnection::OnKClose() {
    ++closes;
    closed = true;
    return 0;
}

int CTestConnection::SendPacket(CKParam& packet) {
    return silent ? 0 : KSend(packet);
}

bool CRawClient::Open(unsigned port) {
    if (!Create() || (!Connect("127.0.0.1", port) && GetLastError() != WSAEWOULDBLOCK)) {
        return false;
    }
    return WaitUntil([&] { return m_connected || closed; }) && m_connected;
}

void CRawClient::Write(const QByteArray& bytes) {
    for (qsizetype at = 0; at < bytes.size() && !closed;) {
        const int n = Send(bytes.constData() + at, static_cast<int>(bytes.size() - at));
        if (n > 0) {
            at += n;
        } else if (GetLastError() == WSAEWOULDBLOCK) {
            Spin(std::chrono::milliseconds(1));
        } else {
            return;
        }
    }
}

void CRawClient::OnReceive(int) {
    char buffer[4096];
    int n = 0;
    while ((n = Receive(buffer, sizeof buffer)) > 0) {
        received.append(buffer, n);
    }
}

CLoopbackServer::CLoopbackServer(const tagFrameFormat& format) : m_format(format) {}

CLoopbackServer::~CLoopbackServer() {
    Close();
}

bool CLoopbackServer::Start() {
    if (!Create(0, FD_ACCEPT, QStringLiteral("127.0.0.1")) || !Listen()) {
        return false;
    }
    QString address;
    return GetSockName(address, m_port);
}

void CLoopbackServer::AnswerWith(short request, short reply,
                                 const std::function<void(CKParam&)>& fill) {
    m_answers[request] = [reply, fill](CTestConnection& peer, CKParam&) {
        CKParam packet = Reply(reply);
        if (fill) {
            fill(packet);
        }
        peer.KSend(packet);
    };
}

void CLoopbackServer::AnswerWith(short request, short reply, tagFields fields) {
    AnswerWith(request, reply, [fields](CKParam& packet) { SetFields(packet, fields); });
}

void CLoopbackServer::OnAccept(int error) {
    auto peer = std::make_unique<CTestConnection>(
        m_format, [this](CTestConnection& self, CKParam& packet) { OnPacket(self, packet); });
    peer->silent = silent;
    if (Accept(*peer)) {
        peer->SetAccepted();
        peer->connected = true;
        m_peers.push_back(std::move(peer));
    }
}

void CLoopbackServer::OnPacket(CTestConnection& peer, CKParam& packet) {
    auto it = m_answers.find(packet.Command());
    if (it != m_answers.end()) {
        it->second(peer, packet);
    } else if (m_responder) {
        m_responder(peer, packet);
    }
}

std::vector<CPacketCopy> CLoopbackServer::Received(short command) const {
    std::vector<CPacketCopy> out;
    for (const auto& peer : m_peers) {
        for (auto& p : peer->All(command)) {
            out.push_back(std::move(p));
        }
    }
    return out;
}

bool CLoopbackServer::Last(short command, CKParam& packet) const {
    const auto all = Received(command);
    if (all.empty()) {
        return false;
    }
    all.back().Load(packet);
    return true;
}

bool CLoopbackServer::WaitFor(short command, int count, std::chrono::milliseconds limit) {
    return WaitUntil([&] { return static_cast<int>(Received(command).size()) >= count; }, limit);
}

bool CLoopbackServer::WaitForPeers(int count, std::chrono::milliseconds limit) {
    return WaitUntil([&] { return PeerCount() >= count; }, limit);
}

bool CDocumentServer::Start() {
    m_port = listen(QHostAddress::LocalHost, 0);
    return m_port != 0;
}

QString CDocumentServer::Url(const QString& path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
}

void CDocumentServer::Put(const QString& path, const QByteArray& body,
                          const QByteArray& contentType) {
    m_documents[path] = {body, contentType};
}

int CDocumentServer::Hits(const QString& path) const {
    auto it = m_hits.find(path);
    return it == m_hits.end() ? 0 : it->second;
}

bool CDocumentServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    const QString path = request.url().path();
    ++m_hits[path];
    auto it = m_documents.find(path);
    if (it == m_documents.end()) {
        return false;
    }
    makeResponder(request, socket).write(it->second.first, it->second.second);
    return true;
}

void CDocumentServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
}

}  // namespace tavotest
