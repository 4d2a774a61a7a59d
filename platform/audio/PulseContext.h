#pragma once
// One connection to the sound server with its threaded main loop, shared by every stream and
// by the mixer of the PulseAudio backend.

#include <pulse/pulseaudio.h>

#include <memory>

class CPulseContext {
public:
    // A ready connection, or nullptr when no server answers.
    static std::shared_ptr<CPulseContext> Connect();
    ~CPulseContext();
    CPulseContext(const CPulseContext&) = delete;
    CPulseContext& operator=(const CPulseContext&) = delete;

    // The media role of every stream and loopback of ours. Policy modules act on roles: a
    // "phone" stream makes desktops pause or duck the user's music, "music" and "video"
    // streams are the ones paused. A room's voice is neither.
    static constexpr const char* kStreamRole = "production";

    pa_threaded_mainloop* Loop() const { return m_pLoop; }
    pa_context* Context() const { return m_pContext; }
    bool IsReady() const;

    // Holds the main loop's lock (never on the loop's own thread).
    class CLock {
    public:
        explicit CLock(const CPulseContext& c) : m_pLoop(c.m_pLoop) {
            pa_threaded_mainloop_lock(m_pLoop);
        }
        ~CLock() { pa_threaded_mainloop_unlock(m_pLoop); }
        CLock(const CLock&) = delete;
        CLock& operator=(const CLock&) = delete;

    private:
        pa_threaded_mainloop* m_pLoop;
    };

    // With the lock held: waits until the operation ends; false when it failed to start.
    bool Wait(pa_operation* op) const;
    // With the lock held: waits until the stream is ready; false when it failed.
    bool WaitReady(pa_stream* stream) const;
    // A callback that only wakes the waiters (userdata: the main loop).
    static void Signal(pa_threaded_mainloop* loop) { pa_threaded_mainloop_signal(loop, 0); }

private:
    CPulseContext() = default;
    pa_threaded_mainloop* m_pLoop = nullptr;
    pa_context* m_pContext = nullptr;
};
