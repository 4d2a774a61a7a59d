#include "platform/AsyncSocket.h"

#include "platform/SocketPoll.h"

#include <QMetaObject>
#include <QSocketNotifier>
#include <QThread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <utility>

namespace {
thread_local int t_lastError = 0;

bool ToSockAddr(const QString& host, unsigned port, sockaddr_in* out) {
    *out = sockaddr_in{};
    out->sin_family = AF_INET;
    out->sin_port = htons(static_cast<uint16_t>(port));
    const QByteArray name = host.toUtf8();
    if (name.isEmpty()) {
        out->sin_addr.s_addr = htonl(INADDR_ANY);
        return true;
    }
    if (inet_pton(AF_INET, name.constData(), &out->sin_addr) == 1) {
        return true;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    if (getaddrinfo(name.constData(), nullptr, &hints, &result) != 0 || !result) {
        return false;
    }
    out->sin_addr = reinterpret_cast<sockaddr_in*>(result->ai_addr)->sin_addr;
    freeaddrinfo(result);
    return true;
}

bool NameOf(const sockaddr_in& addr, QString& address, unsigned& port) {
    char text[INET_ADDRSTRLEN] = {};
    if (!inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text)) {
        return false;
    }
    address = QString::fromLatin1(text);
    port = ntohs(addr.sin_port);
    return true;
}

}  // namespace

int WsaErrorFromErrno(int err) {
    switch (err) {
        case 0:
            return 0;
        case EAGAIN:
        case EINPROGRESS:
            return WSAEWOULDBLOCK;
        case EALREADY:
            return WSAEALREADY;
        case EBADF:
            return WSAEBADF;
        case EACCES:
        case EPERM:
            return WSAEACCES;
        case EINVAL:
            return WSAEINVAL;
        case EMFILE:
        case ENFILE:
            return WSAEMFILE;
        case ENOTSOCK:
            return WSAENOTSOCK;
        case EADDRINUSE:
            return WSAEADDRINUSE;
        case EADDRNOTAVAIL:
            return WSAEADDRNOTAVAIL;
        case ENETDOWN:
            return WSAENETDOWN;
        case ENETUNREACH:
            return WSAENETUNREACH;
        case ECONNABORTED:
            return WSAECONNABORTED;
        case ECONNRESET:
        case EPIPE:
            return WSAECONNRESET;
        case ENOBUFS:
        case ENOMEM:
            return WSAENOBUFS;
        case EISCONN:
            return WSAEISCONN;
        case ENOTCONN:
            return WSAENOTCONN;
        case ETIMEDOUT:
            return WSAETIMEDOUT;
        case ECONNREFUSED:
            return WSAECONNREFUSED;
        case EHOSTUNREACH:
            return WSAEHOSTUNREACH;
        default:
            return WSASYSCALLFAILURE;
    }
}

int CAsyncSocket::GetLastError() {
    return t_lastError;
}

void CAsyncSocket::SetLastError(int error) {
    t_lastError = error;
}

CAsyncSocket::CAsyncSocket() : m_alive(std::make_shared<bool>(true)) {}

CAsyncSocket::~CAsyncSocket() {
    *m_alive = false;
    Close();
}

bool CAsyncSocket::Create(unsigned port, long events, const QString& address) {
    if (m_fd >= 0) {
        SetLastError(WSAEINVAL);
        return false;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        SetLastError(WsaErrorFromErrno(errno));
        return false;
    }
    if (port != 0 || !address.isEmpty()) {
        const int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in addr{};
        if (!ToSockAddr(address, port, &addr) ||
            ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            SetLastError(WsaErrorFromErrno(errno));
            ::close(fd);
            return false;
        }
    }
    return Attach(fd, events);
}

bool CAsyncSocket::Attach(int fd, long events) {
    m_fd = fd;
    m_listening = false;
    m_connecting = false;
    m_wantWrite = false;
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::weak_ptr<bool> alive = m_alive;
    if (auto poll = CSocketPoll::Current()) {
        m_poll = poll;
        m_pollId = poll->Add(fd, [this, alive](bool readable, bool writable) {
            const auto a = alive.lock();
            if (!a || !*a) {
                return;
            }
            if (readable) {
                Readable();
            }
            // Reading may have closed the socket or settled the write it waited for.
            if (writable && *a && m_fd >= 0 && WriteWatched()) {
                Writable();
            }
        });
        return AsyncSelect(events);
    }
    m_readNotifier = new QSocketNotifier(fd, QSocketNotifier::Read);
    m_writeNotifier = new QSocketNotifier(fd, QSocketNotifier::Write);
    QObject::connect(m_readNotifier, &QSocketNotifier::activated, m_readNotifier, [this, alive] {
        if (auto a = alive.lock(); a && *a) {
            Readable();
        }
    });
    QObject::connect(m_writeNotifier, &QSocketNotifier::activated, m_writeNotifier, [this, alive] {
        if (auto a = alive.lock(); a && *a) {
            Writable();
        }
    });
    return AsyncSelect(events);
}

bool CAsyncSocket::AsyncSelect(long events) {
    if (m_fd < 0) {
        SetLastError(WSAENOTSOCK);
        return false;
    }
    m_events = events;
    UpdateNotifiers();
    return true;
}

void CAsyncSocket::UpdateNotifiers() {
    SetWatch((m_events & (FD_READ | FD_ACCEPT | FD_CLOSE)) != 0, WriteWatched());
}

bool CAsyncSocket::WriteWatched() const {
    return m_connecting || (m_wantWrite && (m_events & FD_WRITE));
}

void CAsyncSocket::SetWatch(bool read, bool write) {
    if (m_poll) {
        m_poll->Watch(m_pollId, read, write);
    }
    if (m_readNotifier) {
        m_readNotifier->setEnabled(read);
    }
    if (m_writeNotifier) {
        m_writeNotifier->setEnabled(write);
    }
}

bool CAsyncSocket::Connect(const QString& host, unsigned port) {
    if (m_fd < 0) {
        SetLastError(WSAENOTSOCK);
        return false;
    }
    // An empty host means "any address" only to bind; as a destination the system refuses it
    // rather than reaching this machine.
    if (host.trimmed().isEmpty()) {
        SetLastError(WSAEADDRNOTAVAIL);
        return false;
    }
    sockaddr_in addr{};
    if (!ToSockAddr(host, port, &addr)) {
        SetLastError(WSAHOST_NOT_FOUND);
        return false;
    }
    const int rc = ::connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    const int err = rc == 0 ? 0 : errno;
    if (rc != 0 && err != EINPROGRESS) {
        SetLastError(WsaErrorFromErrno(err));
        return false;
    }
    // Completed or under way: either way the outcome is reported by a connect notification,
    // which the write readiness brings.
    m_connecting = true;
    UpdateNotifiers();
    if (rc == 0) {
        return true;
    }
    SetLastError(WSAEWOULDBLOCK);
    return false;
}

bool CAsyncSocket::Listen(int backlog) {
    if (m_fd < 0 || ::listen(m_fd, backlog) != 0) {
        SetLastError(m_fd < 0 ? WSAENOTSOCK : WsaErrorFromErrno(errno));
        return false;
    }
    m_listening = true;
    UpdateNotifiers();
    return true;
}

bool CAsyncSocket::Accept(CAsyncSocket& connected) {
    if (m_fd < 0 || connected.m_fd >= 0) {
        SetLastError(WSAEINVAL);
        return false;
    }
    const int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
        SetLastError(WsaErrorFromErrno(errno));
        return false;
    }
    return connected.Attach(fd, FD_ALL_EVENTS);
}

int CAsyncSocket::Receive(void* buffer, int length) {
    if (m_fd < 0) {
        SetLastError(WSAENOTSOCK);
        return -1;
    }
    const ssize_t n = ::recv(m_fd, buffer, static_cast<size_t>(length), MSG_DONTWAIT);
    if (n < 0) {
        SetLastError(WsaErrorFromErrno(errno));
        return -1;
    }
    return static_cast<int>(n);
}

int CAsyncSocket::Send(const void* data, int length) {
    const int fd = m_fd;
    if (fd < 0) {
        SetLastError(WSAENOTSOCK);
        return -1;
    }
    const ssize_t n = ::send(fd, data, static_cast<size_t>(length), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0) {
        const int err = WsaErrorFromErrno(errno);
        SetLastError(err);
        if (err == WSAEWOULDBLOCK) {
            WantWrite();
        }
        return -1;
    }
    return static_cast<int>(n);
}

void CAsyncSocket::WantWrite() {
    // The notifiers belong to the socket's own thread; a sender on another thread asks it.
    QObject* context = m_poll ? m_poll->Context() : m_writeNotifier;
    if (context && context->thread() != QThread::currentThread()) {
        std::weak_ptr<bool> alive = m_alive;
        QMetaObject::invokeMethod(
            context,
            [this, alive] {
                if (auto a = alive.lock(); a && *a) {
                    WantWrite();
                }
            },
            Qt::QueuedConnection);
        return;
    }
    m_wantWrite = true;
    UpdateNotifiers();
}

void CAsyncSocket::Close() {
    if (m_poll) {
        m_poll->Remove(m_pollId);
        m_poll.reset();
        m_pollId = 0;
    }
    if (m_readNotifier) {
        m_readNotifier->setEnabled(false);
        m_readNotifier->deleteLater();
        m_readNotifier = nullptr;
    }
    if (m_writeNotifier) {
        m_writeNotifier->setEnabled(false);
        m_writeNotifier->deleteLater();
        m_writeNotifier = nullptr;
    }
    if (m_fd >= 0) {
        if (m_closer) {
            std::exchange(m_closer, nullptr)(m_fd);
        } else {
            ::close(m_fd);
        }
        m_fd = -1;
    }
    m_listening = false;
    m_connecting = false;
    m_wantWrite = false;
}

bool CAsyncSocket::SetBufferSizes(int sendBytes, int receiveBytes) {
    if (m_fd < 0) {
        return false;
    }
    return ::setsockopt(m_fd, SOL_SOCKET, SO_SNDBUF, &sendBytes, sizeof sendBytes) == 0 &&
           ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receiveBytes, sizeof receiveBytes) == 0;
}

bool CAsyncSocket::GetSockName(QString& address, unsigned& port) const {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (m_fd < 0 || ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        return false;
    }
    return NameOf(addr, address, port);
}

bool CAsyncSocket::GetPeerName(QString& address, unsigned& port) const {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (m_fd < 0 || ::getpeername(m_fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        return false;
    }
    return NameOf(addr, address, port);
}

void CAsyncSocket::Readable() {
    // A failed connect makes the socket readable too, and reading would consume the error the
    // connect notification must report.
    if (m_connecting) {
        Writable();
        return;
    }
    if (m_listening) {
        if (m_events & FD_ACCEPT) {
            OnAccept(0);
        }
        return;
    }
    char probe;
    const ssize_t n = ::recv(m_fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n > 0) {
        if (m_events & FD_READ) {
            OnReceive(0);
        }
        return;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        return;
    }
    // The peer closed (n == 0) or the connection failed: report it once.
    const int err = n == 0 ? 0 : WsaErrorFromErrno(errno);
    SetWatch(false, WriteWatched());
    if (m_events & FD_CLOSE) {
        OnClose(err);
    }
}

void CAsyncSocket::Writable() {
    if (m_connecting) {
        int err = 0;
        socklen_t len = sizeof err;
        ::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &err, &len);
        m_connecting = false;
        UpdateNotifiers();
        if (m_events & FD_CONNECT) {
            OnConnect(WsaErrorFromErrno(err));
        }
        return;
    }
    m_wantWrite = false;
    UpdateNotifiers();
    if (m_events & FD_WRITE) {
        OnSend(0);
    }
}
