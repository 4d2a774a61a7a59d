#pragma once
// A non-blocking TCP socket that reports readiness through virtual notifications on the
// thread that created it: data to read, room to write, a connect that completed (with its
// error), a connection closed by the peer (with its error), a connection waiting to be
// accepted. Error codes keep the numbers the system tests: 10035 would-block, 10050 network
// down.

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class CSocketPoll;
class QSocketNotifier;

enum : int {
    WSAEBADF = 10009,
    WSAEACCES = 10013,
    WSAEINVAL = 10022,
    WSAEMFILE = 10024,
    WSAEWOULDBLOCK = 10035,
    WSAEALREADY = 10037,
    WSAENOTSOCK = 10038,
    WSAEADDRINUSE = 10048,
    WSAEADDRNOTAVAIL = 10049,
    WSAENETDOWN = 10050,
    WSAENETUNREACH = 10051,
    WSAECONNABORTED = 10053,
    WSAECONNRESET = 10054,
    WSAENOBUFS = 10055,
    WSAEISCONN = 10056,
    WSAENOTCONN = 10057,
    WSAETIMEDOUT = 10060,
    WSAECONNREFUSED = 10061,
    WSAEHOSTUNREACH = 10065,
    WSASYSCALLFAILURE = 10107,
    WSAHOST_NOT_FOUND = 11001,
};

enum : long {
    FD_READ = 0x01,
    FD_WRITE = 0x02,
    FD_OOB = 0x04,
    FD_ACCEPT = 0x08,
    FD_CONNECT = 0x10,
    FD_CLOSE = 0x20,
    FD_ALL_EVENTS = 0x3F,
};

// The error number of the system for a POSIX errno.
int WsaErrorFromErrno(int err);

class CAsyncSocket {
public:
    CAsyncSocket();
    virtual ~CAsyncSocket();
    CAsyncSocket(const CAsyncSocket&) = delete;
    CAsyncSocket& operator=(const CAsyncSocket&) = delete;

    // Makes a TCP socket bound to the port (0: any) and address (empty: all), with
    // notifications for the events.
    bool Create(unsigned port = 0, long events = FD_ALL_EVENTS, const QString& address = QString());
    // Starts connecting to a dotted IPv4 address or a host name. An attempt under way returns
    // false with GetLastError() == WSAEWOULDBLOCK, as the connection classes expect; the
    // outcome arrives as OnConnect.
    bool Connect(const QString& host, unsigned port);
    bool Listen(int backlog = 64);
    // Takes a waiting connection into an unopened socket object.
    bool Accept(CAsyncSocket& connected);

    // Bytes read, 0 when the peer closed, -1 on error (GetLastError()).
    int Receive(void* buffer, int length);
    // Bytes written, -1 on error. May be called from any thread.
    int Send(const void* data, int length);
    void Close();

    // Chooses the notifications again (re-arms them).
    bool AsyncSelect(long events = FD_ALL_EVENTS);
    bool SetBufferSizes(int sendBytes, int receiveBytes);
    bool GetSockName(QString& address, unsigned& port) const;
    bool GetPeerName(QString& address, unsigned& port) const;
    int Handle() const { return m_fd; }
    // Hands the closing of the descriptor to whoever still writes it from another thread: when
    // the socket closes, the closer is given the descriptor instead, and closes it once done,
    // so its number is not reused under that writer's feet.
    void HandOverClose(std::function<void(int fd)> closer) { m_closer = std::move(closer); }

    // The error of the calling thread's last failed socket call.
    static int GetLastError();
    static void SetLastError(int error);

protected:
    virtual void OnReceive(int error) {}
    virtual void OnSend(int error) {}
    virtual void OnOutOfBandData(int error) {}
    virtual void OnAccept(int error) {}
    virtual void OnConnect(int error) {}
    virtual void OnClose(int error) {}

private:
    bool Attach(int fd, long events);
    void Readable();
    void Writable();
    void WantWrite();
    void UpdateNotifiers();
    bool WriteWatched() const;
    void SetWatch(bool read, bool write);

    int m_fd = -1;
    long m_events = 0;
    bool m_listening = false;
    bool m_connecting = false;
    bool m_wantWrite = false;
    QSocketNotifier* m_readNotifier = nullptr;
    QSocketNotifier* m_writeNotifier = nullptr;
    // Instead of the notifiers, when the thread keeps one epoll set for its sockets.
    std::shared_ptr<CSocketPoll> m_poll;
    uint64_t m_pollId = 0;
    // Lets a notification tell whether the object survived its own callback.
    std::shared_ptr<bool> m_alive;
    std::function<void(int fd)> m_closer;
};
