#pragma once
// The one request discipline of the room: a request code may have one request on its way; a
// few operations keep a minimum interval between attempts; every request gets a timer whose id
// is its code (20 s, 40 s for the private-chat request) and the standard waiting, success,
// failure and time-out lines. Every room feature sends its requests through here.

#include "protocol/KParam.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <map>

class CMessageWindow;
class CChatPanes;

class CRequestDiscipline {
public:
    static constexpr unsigned kTimeoutMs = 20000;
    static constexpr unsigned kLongTimeoutMs = 40000;
    static constexpr int kMaxCode = 4096;

    using FSend = std::function<int(CKParam&)>;

    // Timers run on the room window; lines go to its chat panes; packets leave through send.
    CRequestDiscipline(CMessageWindow& window, CChatPanes& panes, FSend send);

    // The operation's display name (waiting, success, failure and time-out lines).
    static QString OperationName(short code);
    // Seconds between attempts of a rate-limited operation; 0 when it has no limit.
    static int IntervalSeconds(short code);

    // Step 1: refuses with "之前请求还没返,请稍候再试." while a request of the code is out.
    bool CheckPending(short code);
    // Step 2: refuses with the interval line while the operation's interval has not passed.
    bool CheckInterval(short code);
    // Step 3: the user confirmed the operation now.
    void RecordAttempt(short code);
    // Steps 4 and 5: adds the configuration keys where the code needs them, sends, and marks
    // the request pending with its timer and waiting line (or writes the failure line).
    // nameExtra follows the operation's name in those lines ("组织活动" "开始"). Returns the
    // send result: 0 sent, otherwise failed.
    int Send(short code, CKParam& packet, const QString& nameExtra = QString());
    // The whole discipline for an operation without local checks or input of its own.
    int Request(short code, CKParam& packet);
    // Steps 3 to 5, once the feature's own checks passed: records the attempt and sends the
    // request, its command set and its keys filled by keys.
    int SendAttempt(short code, const std::function<void(CKParam&)>& keys = {});
    // An answer to the server that nothing replies to (613): the configuration keys where the
    // code needs them, then the packet; no pending flag, timer or line. 0 sent.
    int Answer(short code, CKParam& packet);

    // The generic reply to request R; returns false when the room window is gone.
    bool OnReply(short requestCode, CKParam& reply);
    // A timer fired: true when it was a request timer.
    bool OnTimer(unsigned id);

    bool IsPending(short code) const;
    void ClearPending(short code);
    // A window whose operations have names of their own (the private room's "拿麦放歌" for the
    // microphone request): those names replace the table's in every line.
    void SetOperationNames(std::map<short, int> names) { m_names = std::move(names); }
    // What a feature that ends its own request does when the request's timer fires.
    void OnTimeout(short code, std::function<void()> handler) {
        m_timeouts[code] = std::move(handler);
    }
    // Forgets every pending request and timer (leaving the room).
    void Reset();

private:
    // Rate-limited operations that share one last-attempt time.
    static short IntervalGroup(short code);
    void AddConfigKeys(short code, CKParam& packet) const;
    void Line(short code, int suffix, const QString& extra = QString());
    // The string id of the operation's name in this window; 0 for none.
    int Title(short code) const;

    CMessageWindow& m_window;
    CChatPanes& m_panes;
    FSend m_send;
    std::array<uint8_t, kMaxCode> m_pending{};
    std::map<short, int64_t> m_lastAttempt;  // seconds since 1970
    std::map<short, int> m_names;
    std::map<short, std::function<void()>> m_timeouts;
};
