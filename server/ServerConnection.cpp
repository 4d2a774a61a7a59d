#include "server/ServerConnection.h"

#include "platform/Clock.h"
#include "protocol/Commands.h"
#include "server/Listener.h"
#include "server/SendPool.h"

#include <algorithm>
#include <atomic>

namespace {
std::atomic<uint64_t> g_nextPeerId{1};
}

CServerConnection::CServerConnection(CListener& listener, const tagFrameFormat& format,
                                     const tagServerLimits& limits)
    : CSocketClient(format),
      m_listener(listener),
      m_frame(format),
      m_limits(limits),
      m_id(g_nextPeerId++) {}

CServerConnection::~CServerConnection() = default;

void CServerConnection::Adopt() {
    unsigned port = 0;
    GetPeerName(m_address, port);
    m_tokens = m_limits.requestBurst;
    m_tokensAt = CClock::Get().UptimeMs();
    // The listener keeps the time of all its connections with one timer.
    SetAccepted(false);
}

int CServerConnection::QueuedBytes() const {
    return m_channel ? static_cast<int>(m_channel->QueuedBytes()) : m_queuedBytes;
}

int CServerConnection::Admit(bool droppable) {
    if (!IsOpen()) {
        return -1;
    }
    if (m_channel && m_channel->Failed()) {
        Drop();
        return -1;
    }
    if (droppable && QueuedBytes() > m_limits.sendQueueSoftBytes) {
        ++m_droppedPackets;
        return 1;
    }
    return 0;
}

int CServerConnection::Send(const CKParam& packet, bool droppable) {
    if (const int admitted = Admit(droppable); admitted != 0) {
        return admitted;
    }
    CKParam copy;
    if (copy.SetBufferPtr(packet.GetBufferPtr(), packet.GetLength()) != 0) {
        return -1;
    }
    const auto now = static_cast<int>(CClock::Get().Now());
    copy.SetInt(KEY_SEQUENCE, ++m_sendSequence);
    if (UsesClockField()) {
        copy.SetInt(KEY_CLOCK, now);
    }
    // A packet the receiver would refuse is not sent at all.
    if (copy.GetLength() < m_frame.minLength || copy.GetLength() > m_frame.maxLength) {
        --m_sendSequence;
        return -1;
    }
    tagOutFrame frame;
    frame.middle =
        BuildFrame(m_frame, static_cast<uint32_t>(now), copy.GetBufferPtr(), copy.GetLength());
    return Queue(std::move(frame));
}

int CServerConnection::SendShared(const CSharedPacket& packet, bool droppable) {
    // Written by the event loop, a frame is copied into the queue anyway.
    if (!m_channel) {
        return Send(packet.Packet(), droppable);
    }
    if (const int admitted = Admit(droppable); admitted != 0) {
        return admitted;
    }
    tagOutFrame frame;
    const auto now = static_cast<uint32_t>(CClock::Get().Now());
    if (!packet.Frame(m_frame, now, m_sendSequence + 1, frame)) {
        return -1;
    }
    ++m_sendSequence;
    return Queue(std::move(frame));
}

int CServerConnection::Queue(tagOutFrame frame) {
    if (m_channel) {
        m_pool->Push(m_channel, std::move(frame));
    } else {
        m_queuedBytes += frame.Size();
        m_queue.push_back(std::move(frame.middle));
        if (!Flush()) {
            Drop();
            return -1;
        }
    }
    if (QueuedBytes() > m_limits.sendQueueHardBytes) {
        // A receiver this far behind will not catch up; keeping its queue only costs memory.
        Drop();
        return -1;
    }
    return 0;
}

void CServerConnection::WriteOnThread(CSendPool& pool, IServerPeer* with) {
    if (m_channel || !IsOpen()) {
        return;
    }
    auto* other = dynamic_cast<CServerConnection*>(with);
    m_channel = pool.Open(Handle(), other ? other->m_channel : nullptr);
    if (!m_channel) {
        return;
    }
    m_pool = &pool;
    // The thread closes the socket once it has written what it was given before the close.
    HandOverClose([pool = m_pool, channel = m_channel](int) { pool->Close(channel); });
    // What the socket has not taken yet goes first, in its order.
    for (QByteArray& bytes : m_queue) {
        tagOutFrame rest;
        rest.middle = m_frontOffset ? bytes.mid(m_frontOffset) : std::move(bytes);
        m_frontOffset = 0;
        m_pool->Push(m_channel, std::move(rest));
    }
    m_queue.clear();
    m_queuedBytes = 0;
}

bool CServerConnection::Flush() {
    while (!m_queue.empty()) {
        const QByteArray& front = m_queue.front();
        const int left = static_cast<int>(front.size()) - m_frontOffset;
        const int n = CAsyncSocket::Send(front.constData() + m_frontOffset, left);
        if (n < 0) {
            // Would-block arms the write notification; the rest goes out from OnKSend.
            return GetLastError() == WSAEWOULDBLOCK;
        }
        m_queuedBytes -= n;
        if (n < left) {
            m_frontOffset += n;
            continue;
        }
        m_queue.pop_front();
        m_frontOffset = 0;
    }
    return true;
}

int CServerConnection::OnKSend(int error) {
    if (IsOpen() && !m_channel && !Flush()) {
        Drop();
    }
    return 0;
}

void CServerConnection::Drop() {
    if (m_dropped) {
        return;
    }
    m_dropped = true;
    KClose();
    Closed();
}

int CServerConnection::OnKClose() {
    m_dropped = true;
    Closed();
    return 0;
}

void CServerConnection::Closed() {
    m_queue.clear();
    m_queuedBytes = 0;
    if (!m_reported) {
        m_reported = true;
        m_listener.ScheduleReap(*this);
    }
}

bool CServerConnection::Strike() {
    if (++m_strikes > m_limits.maxStrikes) {
        Drop();
        return true;
    }
    return false;
}

bool CServerConnection::TakeRequestToken() {
    const int64_t now = CClock::Get().UptimeMs();
    const int64_t elapsed = std::max<int64_t>(0, now - m_tokensAt);
    m_tokensAt = now;
    m_tokens = std::min<double>(m_limits.requestBurst,
                                m_tokens + elapsed * m_limits.requestsPerSecond / 1000.0);
    if (m_tokens < 1.0) {
        return false;
    }
    m_tokens -= 1.0;
    return true;
}

int CServerConnection::OnKReceive(CKParam& packet) {
    if (!IsOpen()) {
        return 0;
    }
    if (packet.Command() == CMD_KEEPALIVE) {
        return 0;
    }
    if (!TakeRequestToken()) {
        Drop();
        return 0;
    }
    m_listener.m_handler.OnPeerPacket(*this, packet);
    return 0;
}
