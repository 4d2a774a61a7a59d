#pragma once
// The one TCP connection class of the protocol. It connects to a server (or adopts a socket a
// listener accepted), cuts the incoming stream into frames, checks them and hands each packet
// to its subclass; it frames and sends packets, sends a keep-alive every 15 seconds and drops
// a connection that has been silent for more than 40 seconds.
//
// Everything runs on the thread that created the socket (the GUI thread), except KSend, which
// a capture thread may call: the socket and the send state are reached only through the
// connection's lock, so KSend and KClose are serialised, and a send failure seen off the GUI
// thread closes the connection on the GUI thread. A frame goes out whole or not at all: the
// rest of one the socket took only part of goes out first, on the next send or when the
// socket is writable again.

#include "platform/AsyncSocket.h"
#include "platform/Locked.h"
#include "platform/MessageWindow.h"
#include "protocol/FrameCodec.h"
#include "protocol/KParam.h"

#include <QDateTime>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

class QThread;
class CSocketClient;

// Window message numbers of the connection's hidden window.
enum : unsigned {
    WM_SOCKET_DESTROY = 0x155C,
    // Ours: a send failure seen on another thread, to be handled on the window's thread.
    WM_SOCKET_SEND_FAILED = 0x155D,
};

// Carries the connection's timers and its close request.
class CSocketWindow : public CMessageWindow {
public:
    explicit CSocketWindow(CSocketClient* client) : m_client(client) {}

protected:
    void OnTimer(unsigned id) override;
    intptr_t OnMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) override;

private:
    CSocketClient* m_client;
};

class CSocketClient : public CAsyncSocket {
public:
    // Timer ids of the connection's window.
    enum : unsigned { TIMER_KEEPALIVE = 10, TIMER_SILENCE = 20 };
    static constexpr unsigned kKeepAliveMs = 15000;
    static constexpr unsigned kSilenceCheckMs = 3000;
    static constexpr int kSilenceLimitSeconds = 40;
    static constexpr int kReadChunk = 100000;
    static constexpr int kSocketBuffer = 65535;
    static constexpr int kMaxSequenceMisses = 5;
    static constexpr int kSmallSpareBytes = 4096;
    static constexpr int kLargeSpareBytes = 64 * 1024;

    CSocketClient();
    ~CSocketClient() override;

    int KCreate();
    // host: a dotted IPv4 address or a name.
    int KConnect(const QString& host, int port);
    // 0 sent (or begun: the rest goes out before any other frame), 1 dropped whole because
    // the socket would block, -1 failure.
    int KSend(CKParam& packet);
    int KSend(const char* data, int n);
    int KClose();
    // ownTimers false: the keep-alive and the silence check are left to the owner, which calls
    // OnTimer itself (a listener keeping the time of thousands of connections with one timer).
    void SetAccepted(bool ownTimers = true);
    bool IsConnect() const { return m_connected; }
    bool IsCreated() const { return m_created; }
    void OnTimer(unsigned id);

    int GetAllRecvCount() const { return m_bytesReceived; }
    int GetAllSendCount() const { return m_bytesSent; }
    void ResetAllRecvCount() { m_bytesReceived = 0; }
    void ResetAllSendCount() { m_bytesSent = 0; }

    int ServerClock() const;
    int64_t LastReceiveTime() const { return m_lastReceiveTime; }
    QDateTime LastReceiveLocalTime() const { return m_lastReceiveLocal; }
    QDateTime LastSendLocalTime() const;

protected:
    // A connection with another framing (the second route to the hall).
    explicit CSocketClient(const tagFrameFormat& format);

    virtual int OnKConnect(int error) { return 0; }
    virtual int OnKReceive(CKParam& packet) { return 0; }
    virtual int OnKSend(int error) { return 0; }
    virtual int OnKClose() { return 0; }
    // Every subclass sends through here; the keep-alive does too, so a subclass may route it.
    virtual int SendPacket(CKParam& packet) = 0;

    void OnReceive(int error) override;
    void OnSend(int error) override;
    void OnConnect(int error) override;
    void OnClose(int error) override;

    // The name of the hidden window; the second route numbers its windows.
    virtual QString WindowName() const;
    // Whether sent packets carry the clock field and received ones set the server clock.
    bool UsesClockField() const { return m_format.headerSize == 8; }

private:
    friend class CSocketWindow;
    int OnReceiveData(const char* data, int n);
    CFrameAssembler::EVerdict Deliver(const char* packet, int length);
    void CloseAndNotify();
    bool OnOwnerThread() const;

    // What a send reads and writes. The capture thread sends on the second room connection
    // while the GUI thread receives on it, sends and closes it; the socket's own calls are made
    // under the same lock.
    struct tagSendState {
        int sequence = 0;  // of the last packet sent
        // The server's clock in the first packet received, and our uptime in seconds then;
        // sent packets carry the server's clock moved on by our own.
        int serverClock = 0;
        int localSecondsAtClock = 0;
        QDateTime lastSendLocal;
        // The rest of a frame the socket took only part of; it goes out before any other.
        QByteArray unsent;
    };
    // These run under the connection's lock. The first three give KSend's results; SendSome
    // writes what the socket takes now and gives the bytes written, or -1 on a failure.
    int SendFrame(tagSendState& send, const QByteArray& frame, bool& closeNow);
    int FinishUnsent(tagSendState& send, bool& closeNow);
    int SendFailed(tagSendState& send, bool& closeNow);
    int SendSome(const char* data, int n);

    tagFrameFormat m_format;
    CFrameAssembler m_assembler;
    CSocketWindow m_window{this};
    CLocked<tagSendState> m_send;
    QThread* m_ownerThread = nullptr;

    std::atomic<bool> m_created{false};
    std::atomic<bool> m_connected{false};
    int m_lastSequence = 0;
    int m_sequenceMisses = 0;
    std::atomic<int64_t> m_lastReceiveTime{0};
    std::atomic<int> m_bytesReceived{0};
    std::atomic<int> m_bytesSent{0};
    // Bumped by every close, so a delivery loop can tell that its connection went away.
    std::atomic<unsigned> m_generation{0};
    // Packets kept for delivering frames; a handler that runs a nested event loop may be
    // re-entered with the next frame, so each delivery takes its own. A few small ones, and one
    // of up to kLargeSpareBytes for the large frames of a stream (video, a file's chunks),
    // which would otherwise take a new buffer each.
    std::vector<std::unique_ptr<CKParam>> m_spare;
    std::unique_ptr<CKParam> m_largeSpare;
    // What a read gathers, kept for the next; a read re-entered from a handler gathers into a
    // buffer of its own.
    QByteArray m_gathered;
    bool m_gathering = false;
    QDateTime m_lastReceiveLocal;
};
