#pragma once
// A second, independent trace channel: log lines sent to a remote log server over a TCP
// connection, as command 1100 packets. It is off until enabled (SetMute(false)).

#include "protocol/SocketClient.h"
#include "protocol/keys/LogKeys.h"

#include <atomic>
#include <cstdarg>

class CLogClient : public CSocketClient {
public:
    CLogClient() = default;

    // true: off; false: on.
    virtual void SetMute(bool mute);
    bool IsEnabled() const { return m_enabled.load(std::memory_order_relaxed); }

    // Sends "<tag>:<message>" in the ANSI code page with the code. The result of the send
    // (0 sent, 1 dropped because the socket would block, -1 failure); -1 when off.
    int Log(int code, const char* tag, const char* format, ...)
        __attribute__((format(printf, 4, 5)));
    int LogV(int code, const char* tag, const char* format, va_list args)
        __attribute__((format(printf, 4, 0)));

protected:
    int OnKReceive(CKParam& packet) override;
    int SendPacket(CKParam& packet) override { return KSend(packet); }

private:
    std::atomic<bool> m_enabled{false};
    // The number in key 9999 of the next log packet; the connection appends its own sequence
    // field after it.
    std::atomic<int> m_number{0};
};
