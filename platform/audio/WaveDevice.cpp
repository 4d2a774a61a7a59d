#include "platform/audio/WaveDevice.h"

#include "platform/ThreadSignals.h"
#include "platform/audio/WaveSystem.h"

#include <algorithm>
#include <cstring>

// ---- callback thread ----

CWaveCallbackThread::CWaveCallbackThread(WaveCallback callback)
    : m_callback(std::move(callback)), m_thread(StartThread([this] { Run(); })) {}

CWaveCallbackThread::~CWaveCallbackThread() {
    Finish();
}

void CWaveCallbackThread::Post(EWaveMsg msg, tagWaveHeader* header) {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_bFinish)
            return;
        m_queue.emplace_back(msg, header);
    }
    m_cv.notify_one();
}

void CWaveCallbackThread::Finish() {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_bFinish = true;
    }
    m_cv.notify_one();
    if (m_thread.joinable()) {
        // A callback that closes its own device cannot wait for itself.
        if (OnThisThread())
            m_thread.detach();
        else
            m_thread.join();
    }
}

bool CWaveCallbackThread::OnThisThread() const {
    return std::this_thread::get_id() == m_thread.get_id();
}

void CWaveCallbackThread::Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_cv.wait(lock, [this] { return m_bFinish || !m_queue.empty(); });
        if (m_queue.empty())
            return;
        auto [msg, header] = m_queue.front();
        m_queue.pop_front();
        lock.unlock();
        if (m_callback)
            m_callback(msg, header);
        lock.lock();
    }
}

// ---- both directions ----

CWaveDevice::CWaveDevice(const tagWaveFormat& format, WaveCallback callback)
    : m_format(format), m_callbacks(std::move(callback)) {}

CWaveDevice::~CWaveDevice() {
    m_callbacks.Finish();
}

int CWaveDevice::PrepareHeader(tagWaveHeader* header) {
    if (header == nullptr || header->lpData == nullptr || header->dwBufferLength == 0)
        return MMSYSERR_INVALPARAM;
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_bClosed)
        return MMSYSERR_INVALHANDLE;
    header->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

int CWaveDevice::UnprepareHeader(tagWaveHeader* header) {
    if (header == nullptr)
        return MMSYSERR_INVALPARAM;
    std::lock_guard<std::mutex> guard(m_mutex);
    if (header->dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    header->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

void CWaveDevice::UnprepareHeaders(std::span<tagWaveHeader> headers) {
    for (tagWaveHeader& h : headers) {
        if (h.lpData == nullptr)
            continue;
        if (UnprepareHeader(&h) != MMSYSERR_NOERROR)
            break;
        h = tagWaveHeader{};
    }
}

// ---- input ----

CWaveInDevice::CWaveInDevice(const tagWaveFormat& format, WaveCallback callback)
    : CWaveDevice(format, std::move(callback)) {}

// Reports still on their way may queue buffers again: they must find the queue alive.
CWaveInDevice::~CWaveInDevice() {
    m_callbacks.Finish();
}

int CWaveInDevice::AddBuffer(tagWaveHeader* header) {
    if (header == nullptr || header->lpData == nullptr || header->dwBufferLength == 0)
        return MMSYSERR_INVALPARAM;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_bClosed)
            return MMSYSERR_INVALHANDLE;
        if (!(header->dwFlags & WHDR_PREPARED))
            return WAVERR_UNPREPARED;
        if (header->dwFlags & WHDR_INQUEUE)
            return WAVERR_STILLPLAYING;
        header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
        header->dwBytesRecorded = 0;
        m_queue.push_back(header);
    }
    m_room.notify_all();
    return MMSYSERR_NOERROR;
}

int CWaveInDevice::Start() {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_bClosed)
            return MMSYSERR_INVALHANDLE;
        m_bStarted = true;
    }
    m_room.notify_all();
    return DoStart();
}

int CWaveInDevice::Stop() {
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_bClosed)
            return MMSYSERR_INVALHANDLE;
        m_bStarted = false;
    }
    // The backend is stopped without our lock: its thread may be inside Captured().
    const int result = DoStop();
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_queue.empty() && m_queue.front()->dwBytesRecorded > 0) {
        tagWaveHeader* header = m_queue.front();
        m_queue.pop_front();
        Complete(lock, header);
    }
    return result;
}

int CWaveInDevice::Reset() {
    if (const int result = Stop(); result != MMSYSERR_NOERROR)
        return result;
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_queue.empty()) {
        tagWaveHeader* header = m_queue.front();
        m_queue.pop_front();
        Complete(lock, header);
    }
    return MMSYSERR_NOERROR;
}

int CWaveInDevice::Close() {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_bClosed)
            return MMSYSERR_INVALHANDLE;
        if (!m_queue.empty())
            return WAVERR_STILLPLAYING;
        m_bClosed = true;
        m_bStarted = false;
    }
    m_room.notify_all();
    DoClose();
    m_callbacks.Post(EWaveMsg::Close, nullptr);
    m_callbacks.Finish();
    return MMSYSERR_NOERROR;
}

size_t CWaveInDevice::QueuedCount() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_queue.size();
}

void CWaveInDevice::Complete(std::unique_lock<std::mutex>& lock, tagWaveHeader* header) {
    header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    m_callbacks.Post(EWaveMsg::Data, header);
}

size_t CWaveInDevice::Captured(const char* data, size_t n) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_bStarted || m_bClosed)
        return 0;
    const size_t offered = n;
    // Whole frames only; a backend never splits one, but a torn frame would shift channels.
    while (n > 0 && !m_queue.empty()) {
        tagWaveHeader* header = m_queue.front();
        const size_t have = static_cast<size_t>(header->dwBytesRecorded);
        const size_t take = std::min(n, header->dwBufferLength - have);
        if (data != nullptr) {
            std::memcpy(header->lpData + have, data, take);
            data += take;
        } else {
            std::memset(header->lpData + have, 0, take);
        }
        header->dwBytesRecorded = static_cast<int32_t>(have + take);
        n -= take;
        if (static_cast<uint32_t>(header->dwBytesRecorded) == header->dwBufferLength) {
            m_queue.pop_front();
            Complete(lock, header);
        }
    }
    // With no buffer queued the sound is lost, as on any recorder that is not kept fed.
    return offered - n;
}

void CWaveInDevice::ReportOpened() {
    m_callbacks.Post(EWaveMsg::Open, nullptr);
    // The NT family signals a recorder's opening twice; capture threads expect as much.
    if (CWaveSystem::NtFamily())
        m_callbacks.Post(EWaveMsg::Open, nullptr);
}

bool CWaveInDevice::IsStarted() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_bStarted;
}

bool CWaveInDevice::WaitForRoom(int ms) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_room.wait_for(lock, std::chrono::milliseconds(ms), [this] {
        return m_bClosed || (m_bStarted && !m_queue.empty());
    }) && !m_bClosed;
}

// ---- output ----

CWaveOutDevice::CWaveOutDevice(const tagWaveFormat& format, WaveCallback callback)
    : CWaveDevice(format, std::move(callback)) {}

// Likewise a report may write the next buffer.
CWaveOutDevice::~CWaveOutDevice() {
    m_callbacks.Finish();
}

int CWaveOutDevice::Write(tagWaveHeader* header) {
    if (header == nullptr || header->lpData == nullptr)
        return MMSYSERR_INVALPARAM;
    std::lock_guard<std::mutex> order(m_writeMutex);
    const size_t n = header->dwBufferLength - header->dwBufferLength % m_format.nBlockAlign;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_bClosed)
            return MMSYSERR_INVALHANDLE;
        if (!(header->dwFlags & WHDR_PREPARED))
            return WAVERR_UNPREPARED;
        if (header->dwFlags & WHDR_INQUEUE)
            return WAVERR_STILLPLAYING;
        header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
        m_nWritten += n;
        m_queue.push_back({header, m_nWritten});
    }
    // Outside our lock: a backend may report progress from its own thread meanwhile.
    const int result = n > 0 ? DoWrite(header->lpData, n) : MMSYSERR_NOERROR;
    if (n == 0)
        Played(PlayedBytes());
    return result;
}

int CWaveOutDevice::Reset() {
    std::lock_guard<std::mutex> order(m_writeMutex);
    uint64_t written = 0;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_bClosed)
            return MMSYSERR_INVALHANDLE;
        written = m_nWritten;
    }
    DoFlush(written);
    std::lock_guard<std::mutex> guard(m_mutex);
    while (!m_queue.empty()) {
        tagWaveHeader* header = m_queue.front().header;
        m_queue.pop_front();
        header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
        m_callbacks.Post(EWaveMsg::Done, header);
    }
    return MMSYSERR_NOERROR;
}

int CWaveOutDevice::Close() {
    std::lock_guard<std::mutex> order(m_writeMutex);
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_bClosed)
            return MMSYSERR_INVALHANDLE;
        if (!m_queue.empty())
            return WAVERR_STILLPLAYING;
        m_bClosed = true;
    }
    DoClose();
    m_callbacks.Post(EWaveMsg::Close, nullptr);
    m_callbacks.Finish();
    return MMSYSERR_NOERROR;
}

size_t CWaveOutDevice::QueuedCount() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_queue.size();
}

void CWaveOutDevice::Played(uint64_t total) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_nPlayed = std::max(m_nPlayed, total);
    while (!m_queue.empty() && m_queue.front().end <= total) {
        tagWaveHeader* header = m_queue.front().header;
        m_queue.pop_front();
        header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
        m_callbacks.Post(EWaveMsg::Done, header);
    }
}

void CWaveOutDevice::ReportOpened() {
    m_callbacks.Post(EWaveMsg::Open, nullptr);
}

uint64_t CWaveOutDevice::PlayedBytes() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_nPlayed;
}

uint64_t CWaveOutDevice::WrittenBytes() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_nWritten;
}
