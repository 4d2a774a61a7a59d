#include "protocol/SocketClient.h"

#include "platform/Clock.h"
#include "platform/Prompt.h"
#include "protocol/Commands.h"

#include <QThread>

void CSocketWindow::OnTimer(unsigned id) {
    m_client->OnTimer(id);
}

intptr_t CSocketWindow::OnMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) {
    switch (msg) {
        case WM_SOCKET_DESTROY:
            DestroyMessageWindow();
            return 0;
        case WM_SOCKET_SEND_FAILED:
            // The generation tells a stale report from one about the current connection.
            if (static_cast<unsigned>(wParam) == m_client->m_generation.load() &&
                m_client->m_created) {
                m_client->CloseAndNotify();
            }
            return 0;
        default:
            return 0;
    }
}

CSocketClient::CSocketClient() : CSocketClient(kTcpFrame) {}

CSocketClient::CSocketClient(const tagFrameFormat& format)
    : m_format(format), m_assembler(format) {}

CSocketClient::~CSocketClient() {
    KClose();
    m_window.DestroyMessageWindow();
}

QString CSocketClient::WindowName() const {
    return QStringLiteral("Zel Socket Notification Sink");
}

bool CSocketClient::OnOwnerThread() const {
    return m_ownerThread == nullptr || m_ownerThread == QThread::currentThread();
}

int CSocketClient::KCreate() {
    return m_send.With([&](tagSendState& send) {
        m_bytesReceived = 0;
        m_bytesSent = 0;
        if (m_created) {
            return -1;
        }
        if (!Create(0, FD_ALL_EVENTS)) {
            return -1;
        }
        m_ownerThread = QThread::currentThread();
        m_created = true;
        m_sequenceMisses = 0;
        send.sequence = 0;
        send.serverClock = 0;
        send.localSecondsAtClock = 0;
        return 0;
    });
}

int CSocketClient::KConnect(const QString& host, int port) {
    if (!m_created) {
        return -1;
    }
    if (Connect(host, static_cast<unsigned>(port)) || GetLastError() == WSAEWOULDBLOCK) {
        return 0;
    }
    KClose();
    return -1;
}

void CSocketClient::OnConnect(int error) {
    m_send.With([](tagSendState& send) {
        send.serverClock = 0;
        send.localSecondsAtClock = 0;
    });
    if (error != 0) {
        CloseAndNotify();
        return;
    }
    OnKConnect(0);
    m_connected = true;
    SetAccepted();
}

void CSocketClient::SetAccepted(bool ownTimers) {
    m_ownerThread = QThread::currentThread();
    m_created = true;
    m_connected = true;
    m_lastReceiveTime = CClock::Get().Now();
    if (m_window.IsWindow()) {
        m_window.DestroyMessageWindow();
    }
    if (!m_window.CreateMessageWindow(WindowName())) {
        MessageBox(QStringLiteral("创建消息窗口失败"));
        return;
    }
    if (ownTimers) {
        m_window.SetTimer(TIMER_KEEPALIVE, kKeepAliveMs);
        m_window.SetTimer(TIMER_SILENCE, kSilenceCheckMs);
    }
    SetBufferSizes(kSocketBuffer, kSocketBuffer);
}

void CSocketClient::OnTimer(unsigned id) {
    if (!m_connected) {
        return;
    }
    if (id == TIMER_KEEPALIVE) {
        CKParam keepAlive;
        keepAlive.SetShortInt(KEY_COMMAND, CMD_KEEPALIVE);
        SendPacket(keepAlive);
    } else if (id == TIMER_SILENCE) {
        const int64_t silent = CClock::Get().Now() - m_lastReceiveTime;
        if (silent > kSilenceLimitSeconds) {
            CloseAndNotify();
        }
    }
}

void CSocketClient::CloseAndNotify() {
    KClose();
    OnKClose();
}

int CSocketClient::KClose() {
    m_send.With([&](tagSendState& send) {
        if (m_created) {
            m_created = false;
            m_connected = false;
            ++m_generation;
            Close();
            if (m_window.IsWindow()) {
                m_window.SendMessage(WM_SOCKET_DESTROY);
            }
            m_sequenceMisses = 0;
            send.sequence = 0;
            send.serverClock = 0;
            send.localSecondsAtClock = 0;
        }
        send.unsent.clear();
        m_assembler.Reset();
        m_lastSequence = 0;
        m_bytesReceived = 0;
        m_bytesSent = 0;
    });
    return 0;
}

void CSocketClient::OnReceive(int error) {
    m_lastReceiveLocal = QDateTime::currentDateTime();
    if (error != 0) {
        if (error == WSAENETDOWN) {
            CloseAndNotify();
        }
        return;
    }
    m_lastReceiveTime = CClock::Get().Now();
    QByteArray own;
    const bool reentered = m_gathering;
    QByteArray& gathered = reentered ? own : m_gathered;
    gathered.truncate(0);
    m_gathering = true;
    bool peerClosed = false;
    bool failed = false;
    const int64_t startMs = CClock::Get().UptimeMs();
    // The second route stops gathering after 100000 bytes or 5 seconds.
    const bool bounded = !UsesClockField();
    for (;;) {
        const qsizetype at = gathered.size();
        gathered.resize(at + kReadChunk);
        const int n = Receive(gathered.data() + at, kReadChunk);
        if (n <= 0) {
            gathered.resize(at);
            peerClosed = n == 0;
            failed = n < 0 && GetLastError() != WSAEWOULDBLOCK;
            break;
        }
        gathered.resize(at + n);
        m_bytesReceived += n;
        if (bounded &&
            (gathered.size() >= kReadChunk || CClock::Get().UptimeMs() - startMs >= 5000)) {
            break;
        }
    }
    // Bytes that arrived just before the peer closed are still delivered: a server may say why
    // it drops a connection and close it in the same breath.
    const unsigned generation = m_generation;
    if (!gathered.isEmpty()) {
        OnReceiveData(gathered.constData(), static_cast<int>(gathered.size()));
    }
    if (!reentered) {
        m_gathering = false;
        // A burst does not keep its memory.
        if (m_gathered.capacity() > 2 * kReadChunk) {
            m_gathered = QByteArray();
        }
    }
    if (peerClosed || failed) {
        if (generation == m_generation && m_created) {
            CloseAndNotify();
        }
        return;
    }
    if (m_created) {
        AsyncSelect(FD_READ | FD_WRITE | FD_CLOSE);
    }
}

int CSocketClient::OnReceiveData(const char* data, int n) {
    return m_assembler.Feed(
        data, n, [this](const char* packet, int length) { return Deliver(packet, length); });
}

CFrameAssembler::EVerdict CSocketClient::Deliver(const char* bytes, int length) {
    std::unique_ptr<CKParam> held;
    if (length > kSmallSpareBytes && m_largeSpare) {
        held = std::move(m_largeSpare);
    } else if (length <= kSmallSpareBytes && !m_spare.empty()) {
        held = std::move(m_spare.back());
        m_spare.pop_back();
    } else {
        held = std::make_unique<CKParam>();
    }
    CKParam& packet = *held;
    if (packet.SetBufferPtr(bytes, length) != 0) {
        return CFrameAssembler::EVerdict::DiscardRest;
    }
    if (UsesClockField()) {
        m_send.With([&](tagSendState& send) {
            if (send.serverClock == 0) {
                packet.GetInt(KEY_CLOCK, send.serverClock);
                send.localSecondsAtClock = CClock::Get().UptimeSeconds();
            }
        });
    }
    int sequence = 0;
    packet.GetInt(KEY_SEQUENCE, sequence);
    if (sequence == m_lastSequence + 1) {
        m_sequenceMisses = 0;
    } else if (++m_sequenceMisses > kMaxSequenceMisses) {
        m_sequenceMisses = 0;
        return CFrameAssembler::EVerdict::DiscardRest;
    }
    m_lastSequence = sequence;
    const unsigned generation = m_generation;
    OnKReceive(packet);
    // Keep a few packets (and their buffers) for the frames to come.
    if (length <= kSmallSpareBytes) {
        if (m_spare.size() < 4) {
            m_spare.push_back(std::move(held));
        }
    } else if (length <= kLargeSpareBytes && !m_largeSpare) {
        m_largeSpare = std::move(held);
    }
    // A handler that closed the connection ends the delivery of what that connection sent.
    return generation == m_generation ? CFrameAssembler::EVerdict::Continue
                                      : CFrameAssembler::EVerdict::Stop;
}

int CSocketClient::KSend(CKParam& packet) {
    bool closeNow = false;
    const int result = m_send.With([&](tagSendState& send) {
        const auto t = static_cast<uint32_t>(CClock::Get().Now());
        packet.SetInt(KEY_SEQUENCE, ++send.sequence);
        if (UsesClockField()) {
            packet.SetInt(KEY_CLOCK, CClock::Get().UptimeSeconds() + send.serverClock -
                                         send.localSecondsAtClock);
        }
        if (packet.GetLength() < 1) {
            send.lastSendLocal = QDateTime::currentDateTime();
            return -1;
        }
        return SendFrame(send, BuildFrame(m_format, t, packet.GetBufferPtr(), packet.GetLength()),
                         closeNow);
    });
    // Closing tells the subclass, which may show a message; never do that holding the lock.
    if (closeNow) {
        CloseAndNotify();
    }
    return result;
}

int CSocketClient::KSend(const char* data, int n) {
    bool closeNow = false;
    const int result = m_send.With(
        [&](tagSendState& send) { return SendFrame(send, QByteArray(data, n), closeNow); });
    if (closeNow) {
        CloseAndNotify();
    }
    return result;
}

// A frame goes out whole or not at all: one the socket took only part of is finished before any
// other starts, or the peer would read the start of one frame run into the next and lose its
// place in the stream. A frame that cannot start is dropped (1), as when the socket would block.
int CSocketClient::SendFrame(tagSendState& send, const QByteArray& frame, bool& closeNow) {
    send.lastSendLocal = QDateTime::currentDateTime();
    const int before = FinishUnsent(send, closeNow);
    if (before != 0) {
        return before;
    }
    const int written = SendSome(frame.constData(), static_cast<int>(frame.size()));
    if (written < 0) {
        return SendFailed(send, closeNow);
    }
    if (written == 0) {
        return 1;
    }
    if (written < frame.size()) {
        // Begun, so it counts as sent: the rest goes when the socket is writable again.
        send.unsent = frame.mid(written);
    }
    return 0;
}

int CSocketClient::FinishUnsent(tagSendState& send, bool& closeNow) {
    if (send.unsent.isEmpty()) {
        return 0;
    }
    const int written = SendSome(send.unsent.constData(), static_cast<int>(send.unsent.size()));
    if (written < 0) {
        return SendFailed(send, closeNow);
    }
    send.unsent.remove(0, written);
    return send.unsent.isEmpty() ? 0 : 1;
}

int CSocketClient::SendSome(const char* data, int n) {
    int written = 0;
    while (written < n) {
        // A send that would block asks for the socket's next send notification.
        const int sent = Send(data + written, n - written);
        if (sent <= 0) {
            return sent < 0 && GetLastError() != WSAEWOULDBLOCK ? -1 : written;
        }
        written += sent;
        m_bytesSent += sent;
    }
    return written;
}

int CSocketClient::SendFailed(tagSendState& send, bool& closeNow) {
    send.unsent.clear();
    if (OnOwnerThread()) {
        closeNow = true;
    } else {
        m_window.PostMessage(WM_SOCKET_SEND_FAILED, m_generation);
    }
    return -1;
}

int CSocketClient::ServerClock() const {
    return m_send.With([](const tagSendState& send) { return send.serverClock; });
}

QDateTime CSocketClient::LastSendLocalTime() const {
    return m_send.With([](const tagSendState& send) { return send.lastSendLocal; });
}

void CSocketClient::OnSend(int error) {
    bool closeNow = false;
    m_send.With([&](tagSendState& send) { FinishUnsent(send, closeNow); });
    if (closeNow) {
        CloseAndNotify();
        return;
    }
    OnKSend(error);
}

void CSocketClient::OnClose(int error) {
    CloseAndNotify();
}
