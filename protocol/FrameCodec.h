#pragma once
// Frames on the wire and their reassembly from a byte stream. Two framings exist:
//   TCP connection: marker 01 02 03 04, 4-byte send time, packet (L bytes), check value (2)
//   second route:   marker 01 02 03 04, packet (L bytes), check value (2)
// The packet's own first word is L. Reassembly keeps an unfinished frame for the next read,
// skips to the next marker after garbage and drops the rest of a read after a bad frame.

#include <QByteArray>

#include <cstdint>
#include <functional>

constexpr uint32_t kFrameMarker = 0x04030201;

struct tagFrameFormat {
    int headerSize;      // bytes before the packet: 8 with the time field, 4 without
    int minLength;       // smallest L accepted
    int maxLength;       // largest L accepted
    int leftoverLimit;   // an unfinished frame is kept while shorter than this
    bool refuseIsFatal;  // an L out of bounds ends reassembly with -1 (else with 0)
};

// The room, hall and peer connections.
constexpr tagFrameFormat kTcpFrame{8, 11, 29999, 30000, true};
// The second route to the hall: no time field, any non-zero 16-bit length.
constexpr tagFrameFormat kRouteFrame{4, 1, 0xFFFF, 300000, false};

// Builds one frame around a packet's bytes.
QByteArray BuildFrame(const tagFrameFormat& format, uint32_t sendTime, const char* packet,
                      int length);

class CFrameAssembler {
public:
    enum class EVerdict {
        Continue,     // go on with the next frame
        DiscardRest,  // drop the rest of this read; the result is -1
        Stop,         // the connection went away: drop everything, keep no leftover
    };
    // Receives each packet whose check value matched.
    using Deliver = std::function<EVerdict(const char* packet, int length)>;

    explicit CFrameAssembler(const tagFrameFormat& format) : m_format(format) {}

    // Reassembles the bytes of one read. Returns 0, or -1 for a fatal framing error.
    int Feed(const char* data, int n, const Deliver& deliver);
    void Reset() { m_leftover.clear(); }

private:
    enum class EOutcome { Done, Discarded, Fatal, Stopped };
    EOutcome Run(const char* buf, int size, const Deliver& deliver);
    EOutcome KeepTail(const char* buf, int size);
    static int Result(EOutcome outcome) { return outcome == EOutcome::Fatal ? -1 : 0; }

    tagFrameFormat m_format;
    QByteArray m_leftover;
};
