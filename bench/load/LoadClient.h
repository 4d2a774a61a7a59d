#pragma once
// A member of the load room as plain sockets speaking the protocol: the handshake on blocking
// sockets, then the connections handed to whoever reads them.

#include "bench/load/LoadService.h"
#include "protocol/FrameCodec.h"
#include "protocol/KParam.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>

namespace loadbench {

// The kernel stamps each arriving segment with the wall clock; the speaker stamps its packets
// with the same clock, so the receiving thread's own delays stay out of the latency.
int64_t RealtimeNs();
int64_t MonotonicNs();

struct tagConn {
    int fd = -1;
    bool timed = false;  // a listener's second connection: its voice is timed
    int sequence = 0;
    CFrameAssembler assembler{kTcpFrame};
    std::deque<QByteArray> inbox;
};

bool Connect(tagConn& c, unsigned port);
// The packet with the connection's next sequence number.
bool Send(tagConn& c, CKParam& packet);
// Bytes read from the connection, split into its inbox.
void Feed(tagConn& c, const char* data, int n);
// Waits (blocking) for a packet with this command; other packets are dropped.
std::optional<QByteArray> Await(tagConn& c, short command, int timeoutMs = 10000);
int IntField(const QByteArray& bytes, short key);
QString TextField(const QByteArray& bytes, short key);

struct tagMember {
    tagConn main;
    tagConn second;
    QString id;
};

struct tagAccountLogin {
    QString user;
    QString password;
};

// Where a member joins: the hall and a room; a room port of 0 is asked of the hall (32).
struct tagTarget {
    unsigned hall = 0;
    unsigned room = 0;
    int number = kLoadRoom;
};

// A visitor name from the hall, or an account's login when one is given, then 122, 120, 110
// and 650: a member with both connections. In the load room of the service here unless told
// otherwise; null, with the reason on stderr, when a step failed.
std::unique_ptr<tagMember> Join(int index, const tagAccountLogin* account = nullptr,
                                std::optional<tagTarget> where = std::nullopt);

}  // namespace loadbench
