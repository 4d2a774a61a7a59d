#pragma once
// Wave input and wave output devices with the semantics the capture and playback code relies
// on: buffers are prepared, queued, filled or played strictly in queue order and reported
// one message per buffer; a reset hands every queued buffer back; a device with queued
// buffers refuses to close. Backends (PulseAudio, WAV files) only move bytes: they push what
// they captured, take what is written and say how much has been played.
//
// Reports (open, each finished buffer, close) are delivered in order on the device's own
// callback thread, never on the caller's or the sound system's, so a callback may call back
// into other devices without meeting a lock it already holds.

#include "platform/audio/WaveTypes.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <thread>

using WaveCallback = std::function<void(EWaveMsg msg, tagWaveHeader* header)>;

// Runs reports one after the other on a thread of its own.
class CWaveCallbackThread {
public:
    explicit CWaveCallbackThread(WaveCallback callback);
    ~CWaveCallbackThread();
    void Post(EWaveMsg msg, tagWaveHeader* header);
    // Delivers everything posted so far and ends the thread.
    void Finish();
    bool OnThisThread() const;

private:
    void Run();
    WaveCallback m_callback;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<std::pair<EWaveMsg, tagWaveHeader*>> m_queue;
    bool m_bFinish = false;
    std::thread m_thread;
};

// What recorders and players share: the format, the closed state under the device's lock,
// the headers' preparation and the report thread.
class CWaveDevice {
public:
    virtual ~CWaveDevice();
    CWaveDevice(const CWaveDevice&) = delete;
    CWaveDevice& operator=(const CWaveDevice&) = delete;

    int PrepareHeader(tagWaveHeader* header);
    int UnprepareHeader(tagWaveHeader* header);
    // Unprepares and clears the used headers in order, stopping at the first one still queued.
    void UnprepareHeaders(std::span<tagWaveHeader> headers);
    const tagWaveFormat& Format() const { return m_format; }

protected:
    CWaveDevice(const tagWaveFormat& format, WaveCallback callback);

    const tagWaveFormat m_format;
    mutable std::mutex m_mutex;
    bool m_bClosed = false;
    CWaveCallbackThread m_callbacks;
};

class CWaveInDevice : public CWaveDevice {
public:
    ~CWaveInDevice() override;

    int AddBuffer(tagWaveHeader* header);
    int Start();
    // Stops recording; the buffer being filled is handed back with what it holds.
    int Stop();
    // Stops and hands back every queued buffer, in order.
    int Reset();
    // WAVERR_STILLPLAYING while buffers are queued.
    int Close();

    size_t QueuedCount() const;

protected:
    CWaveInDevice(const tagWaveFormat& format, WaveCallback callback);

    // Backends call these from any thread. data nullptr means n bytes of silence. Returns the
    // bytes taken; the rest found no queued buffer (or the device is not started).
    size_t Captured(const char* data, size_t n);
    // Reports the opening (once, and once more where the platform does so).
    void ReportOpened();
    bool IsStarted() const;
    // Waits until a buffer is queued and the device started, or the time runs out; false on
    // time-out or close. Backends that produce as fast as they are asked use it.
    bool WaitForRoom(int ms);

    virtual int DoStart() = 0;
    virtual int DoStop() = 0;
    virtual void DoClose() = 0;

private:
    void Complete(std::unique_lock<std::mutex>& lock, tagWaveHeader* header);

    std::condition_variable m_room;
    std::deque<tagWaveHeader*> m_queue;
    bool m_bStarted = false;
};

class CWaveOutDevice : public CWaveDevice {
public:
    ~CWaveOutDevice() override;

    int Write(tagWaveHeader* header);
    // Drops what is queued and hands every written buffer back, in order.
    int Reset();
    int Close();

    size_t QueuedCount() const;

protected:
    CWaveOutDevice(const tagWaveFormat& format, WaveCallback callback);

    // Backends report the bytes played since the device opened (never going back).
    void Played(uint64_t total);
    void ReportOpened();
    uint64_t WrittenBytes() const;
    uint64_t PlayedBytes() const;

    // Takes (copies) the bytes of one written buffer.
    virtual int DoWrite(const char* data, size_t n) = 0;
    // Drops everything taken so far; from now on the played count starts at `written`.
    virtual void DoFlush(uint64_t written) = 0;
    virtual void DoClose() = 0;

private:
    struct tagQueued {
        tagWaveHeader* header;
        uint64_t end;
    };
    std::mutex m_writeMutex;  // one Write or Reset at a time, in order
    std::deque<tagQueued> m_queue;
    uint64_t m_nWritten = 0;
    uint64_t m_nPlayed = 0;
};
