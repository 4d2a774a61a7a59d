#pragma once
// The capture engine: records PCM from the default input device in fixed-size blocks, sixteen
// in flight, and hands each completed block, copied, to OnWaveData on its own capture thread.

#include "platform/audio/WaveDevice.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// An event that counts its signals, so a block completing while the thread is busy is never
// lost: one wait consumes one signal.
class CWaveEvent {
public:
    void Set();
    void Wait();
    // Signals not yet consumed.
    int Pending() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    int m_nCount = 0;
};

class CWaveIn {
public:
    static constexpr int kHeaders = 16;

    CWaveIn();
    virtual ~CWaveIn();
    CWaveIn(const CWaveIn&) = delete;
    CWaveIn& operator=(const CWaveIn&) = delete;

    // 1 and 2: 22050 Hz stereo; 3: 8000 Hz mono; anything else leaves the format as it is.
    void SetFormat(int quality);
    // 1 on success, 0 on failure.
    int Open();
    int Start();
    int Stop();
    int Close();

    // Called on the capture thread with a private copy of one completed block.
    virtual int OnWaveData(char* data, int length, tagWaveHeader* header) { return 0; }

    // The capture thread's step for one completed block.
    void ChangeRecordBuf();

    const tagWaveFormat& Format() const { return m_format; }
    bool IsOpened() const { return m_bOpened; }
    bool IsStarted() const { return m_bStarted; }

protected:
    std::atomic<int> m_nQuality{0};
    std::atomic<bool> m_bOpened{false};

private:
    int InitWaveIn();
    void EndPublicRecord();
    void ThreadMain();
    int BlockBytes() const;

    std::unique_ptr<CWaveInDevice> m_pDevice;
    std::array<tagWaveHeader, kHeaders> m_headers{};
    std::array<std::vector<char>, kHeaders> m_buffers;
    tagWaveFormat m_format = tagWaveFormat::Pcm16(22050, 2);
    std::thread m_thread;
    std::shared_ptr<CWaveEvent> m_pEvent;
    std::atomic<bool> m_bStarted{false};
    bool m_bNT = true;
    bool m_bDeviceRunning = false;
    std::atomic<int> m_nCompleted{0};
    std::vector<char> m_copy;
};
