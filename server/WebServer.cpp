#include "server/WebServer.h"

#include "platform/Clock.h"

#include <QUrl>
#include <QUrlQuery>

#include <sys/socket.h>

#include <algorithm>

namespace {

constexpr unsigned TIMER_TICK = 1;
constexpr unsigned WM_REAP = 0x0401;
// After a refusal the connection lingers a little, reading and dropping what the client still
// sends, so that the answer is not lost to a reset; it never reads more than this.
constexpr int64_t kLingerMs = 2000;
constexpr int kLingerBytes = 64 * 1024;

QByteArray Reason(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 413:
            return "Content Too Large";
        case 431:
            return "Request Header Fields Too Large";
        default:
            return "Error";
    }
}

// One request head, read as far as the answer needs it.
struct tagWebRequest {
    int refusal = 0;  // an HTTP status when the request is refused whole
    bool head = false;
    bool keepAlive = true;
    QByteArray target;
};

tagWebRequest ParseHead(const QList<QByteArray>& lines) {
    tagWebRequest r;
    const QList<QByteArray> first = lines.front().split(' ');
    if (first.size() != 3 || !first[1].startsWith('/') ||
        (first[2] != "HTTP/1.1" && first[2] != "HTTP/1.0")) {
        r.refusal = 400;
        return r;
    }
    r.keepAlive = first[2] == "HTTP/1.1";
    r.target = first[1];
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon <= 0) {
            r.refusal = 400;
            return r;
        }
        const QByteArray name = lines[i].left(colon).trimmed().toLower();
        const QByteArray value = lines[i].mid(colon + 1).trimmed().toLower();
        if (name == "content-length") {
            bool ok = false;
            const qlonglong length = value.toLongLong(&ok);
            if (!ok || length < 0) {
                r.refusal = 400;
                return r;
            }
            // The documents are only read: a request that brings a body is refused before
            // a byte of the body is taken.
            if (length > 0) {
                r.refusal = 413;
            }
        } else if (name == "transfer-encoding") {
            r.refusal = 413;
        } else if (name == "connection") {
            if (value.contains("close")) {
                r.keepAlive = false;
            } else if (value.contains("keep-alive")) {
                r.keepAlive = true;
            }
        }
    }
    if (r.refusal == 0 && first[0] != "GET" && first[0] != "HEAD") {
        r.refusal = 405;
    }
    r.head = first[0] == "HEAD";
    return r;
}

}  // namespace

class CWebServer::CWebConnection : public CAsyncSocket {
public:
    CWebConnection(CWebServer& server, uint64_t id) : m_server(server), m_id(id) {}

    uint64_t Id() const { return m_id; }
    const QString& Address() const { return m_address; }

    void Adopt(const QString& address) {
        m_address = address;
        Await();
    }

    void CheckTime(int64_t nowMs) {
        if (m_state != EState::Ended && nowMs >= m_deadline) {
            End();
        }
    }

protected:
    void OnReceive(int) override {
        if (m_state == EState::Lingering) {
            char dropped[4096];
            int n = 0;
            while ((n = Receive(dropped, sizeof dropped)) > 0) {
                m_lingerBytes += n;
                if (m_lingerBytes > kLingerBytes) {
                    End();
                    return;
                }
            }
            if (n == 0) {
                End();
            }
            return;
        }
        if (m_state != EState::Reading) {
            return;
        }
        const int room = m_server.m_limits.webHeadBytes - static_cast<int>(m_in.size());
        if (room > 0) {
            const qsizetype had = m_in.size();
            m_in.resize(had + room);
            const int n = Receive(m_in.data() + had, room);
            m_in.resize(had + std::max(n, 0));
            if (n == 0 || (n < 0 && GetLastError() != WSAEWOULDBLOCK)) {
                End();
                return;
            }
        }
        Serve();
    }

    void OnSend(int) override { Flush(); }
    void OnClose(int) override { End(); }

private:
    enum class EState { Reading, Writing, Lingering, Ended };

    // Waits for the next request, which must be whole within the time limit.
    void Await() {
        m_state = EState::Reading;
        m_deadline = CClock::Get().UptimeMs() + m_server.m_limits.webRequestSeconds * 1000LL;
        AsyncSelect(FD_READ | FD_CLOSE);
    }

    // Answers every whole request the bytes read so far hold, one at a time.
    void Serve() {
        while (m_state == EState::Reading) {
            QList<QByteArray> lines;
            const qsizetype end = HeadEnd(lines);
            if (end < 0) {
                if (m_in.size() >= m_server.m_limits.webHeadBytes) {
                    Respond(431, {}, false, false);
                }
                return;
            }
            m_in.remove(0, end);
            const tagWebRequest request = ParseHead(lines);
            if (request.refusal != 0) {
                Respond(request.refusal, {}, false, false);
                return;
            }
            Respond(0, m_server.Render(request.target), request.head, request.keepAlive);
        }
    }

    // Where the head ends (past its empty line), with its lines; -1 while it is not whole.
    qsizetype HeadEnd(QList<QByteArray>& lines) const {
        qsizetype at = 0;
        while (at < m_in.size()) {
            const qsizetype newline = m_in.indexOf('\n', at);
            if (newline < 0) {
                return -1;
            }
            QByteArray line = m_in.mid(at, newline - at);
            if (line.endsWith('\r')) {
                line.chop(1);
            }
            at = newline + 1;
            if (!line.isEmpty()) {
                lines.push_back(line);
            } else if (!lines.isEmpty()) {
                return at;
            }
        }
        return -1;
    }

    // status 0: the document's own; otherwise a refusal, whose connection ends after it.
    void Respond(int status, const tagWebDocument& doc, bool headOnly, bool keepAlive) {
        const int code = status != 0 ? status : doc.status;
        QByteArray out = "HTTP/1.1 " + QByteArray::number(code) + ' ' + Reason(code) + "\r\n";
        if (!doc.mimeType.isEmpty()) {
            out += "Content-Type: " + doc.mimeType + "\r\n";
        }
        out += "Content-Length: " + QByteArray::number(doc.body.size()) + "\r\n";
        out += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
        if (!headOnly) {
            out += doc.body;
        }
        m_out = out;
        m_sent = 0;
        m_keepAlive = keepAlive;
        m_state = EState::Writing;
        // Nothing more is read until the answer is out; a client that does not take it has
        // the same time to do so as to send a request.
        m_deadline = CClock::Get().UptimeMs() + m_server.m_limits.webRequestSeconds * 1000LL;
        AsyncSelect(FD_WRITE);
        Flush();
    }

    void Flush() {
        if (m_state != EState::Writing) {
            return;
        }
        while (m_sent < m_out.size()) {
            const int n = Send(m_out.constData() + m_sent, static_cast<int>(m_out.size() - m_sent));
            if (n < 0) {
                if (GetLastError() != WSAEWOULDBLOCK) {
                    End();
                }
                return;
            }
            m_sent += n;
        }
        m_out.clear();
        if (m_keepAlive) {
            Await();
            return;
        }
        ::shutdown(Handle(), SHUT_WR);
        m_state = EState::Lingering;
        m_deadline = CClock::Get().UptimeMs() + kLingerMs;
        AsyncSelect(FD_READ | FD_CLOSE);
    }

    void End() {
        if (m_state == EState::Ended) {
            return;
        }
        m_state = EState::Ended;
        Close();
        m_in.clear();
        m_out.clear();
        m_server.Ended(*this);
    }

    CWebServer& m_server;
    uint64_t m_id;
    QString m_address;
    EState m_state = EState::Reading;
    int64_t m_deadline = 0;
    QByteArray m_in;
    QByteArray m_out;
    qsizetype m_sent = 0;
    bool m_keepAlive = true;
    int m_lingerBytes = 0;
};

CWebServer::CWebServer(CStore& store, const IRoomDirectory& rooms, const tagServerConfig& config)
    : m_documents(store, rooms, config), m_limits(config.limits), m_admission(config.limits) {}

CWebServer::~CWebServer() {
    DestroyMessageWindow();
    m_connections.clear();
    Close();
}

unsigned CWebServer::Start(const QString& address, unsigned port) {
    QString bound;
    unsigned got = 0;
    if (!Create(port, FD_ACCEPT, address) || !Listen(256) || !GetSockName(bound, got)) {
        return 0;
    }
    CreateMessageWindow(QStringLiteral("web"));
    SetTimer(TIMER_TICK, 1000);
    return got;
}

void CWebServer::OnAccept(int) {
    m_admission.AcceptAll(
        *this, [&] { return std::make_unique<CWebConnection>(*this, m_nextId); },
        [&](std::unique_ptr<CWebConnection> connection, const QString& address) {
            ++m_nextId;
            CWebConnection& adopted = *connection;
            m_connections.emplace(adopted.Id(), std::move(connection));
            adopted.Adopt(address);
        });
}

tagWebDocument CWebServer::Render(const QByteArray& target) {
    const QUrl url = QUrl::fromEncoded(target);
    if (!url.isValid()) {
        return {400, "text/plain", "bad address\n"};
    }
    return m_documents.Render(url.path(), QUrlQuery(url));
}

void CWebServer::Ended(CWebConnection& connection) {
    m_ended.push_back(connection.Id());
    if (!m_reapPosted) {
        m_reapPosted = PostMessage(WM_REAP);
    }
}

void CWebServer::Reap() {
    m_reapPosted = false;
    std::vector<uint64_t> ended;
    ended.swap(m_ended);
    for (uint64_t id : ended) {
        auto it = m_connections.find(id);
        if (it != m_connections.end()) {
            m_admission.Release(it->second->Address());
            m_connections.erase(it);
        }
    }
}

void CWebServer::OnTimer(unsigned id) {
    if (id != TIMER_TICK) {
        return;
    }
    const int64_t now = CClock::Get().UptimeMs();
    for (auto& [number, connection] : m_connections) {
        connection->CheckTime(now);
    }
}

intptr_t CWebServer::OnMessage(unsigned msg, uintptr_t, intptr_t) {
    if (msg == WM_REAP) {
        Reap();
    }
    return 0;
}
