#include "audio/WaveIn.h"

#include "audio/AudioFormats.h"
#include "platform/ThreadSignals.h"
#include "platform/audio/WaveSystem.h"

#include <cstring>

void CWaveEvent::Set() {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        ++m_nCount;
    }
    m_cv.notify_one();
}

void CWaveEvent::Wait() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cv.wait(lock, [this] { return m_nCount > 0; });
    --m_nCount;
}

int CWaveEvent::Pending() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_nCount;
}

CWaveIn::CWaveIn() = default;

CWaveIn::~CWaveIn() {
    // A subclass's OnWaveData is gone by now; Close in the subclass's destructor comes first.
    Close();
}

void CWaveIn::SetFormat(int quality) {
    if (quality == AUDIO_QUALITY_HIFI || quality == AUDIO_QUALITY_SINGING)
        m_format = tagWaveFormat::Pcm16(22050, 2);
    else if (quality == AUDIO_QUALITY_SPEECH)
        m_format = tagWaveFormat::Pcm16(8000, 1);
}

int CWaveIn::Open() {
    return InitWaveIn() == 0 ? 1 : 0;
}

int CWaveIn::Start() {
    m_bStarted = true;
    // The recorder runs from the first start on. Started any earlier, a recorder that fills
    // blocks faster than real time (a file) would complete blocks the thread must ignore,
    // or end the thread before the engine counts as opened.
    if (m_pDevice && !m_bDeviceRunning) {
        m_bDeviceRunning = true;
        m_pDevice->Start();
    }
    return 0;
}

int CWaveIn::Stop() {
    m_bStarted = false;
    return 0;
}

int CWaveIn::Close() {
    if (m_bOpened || m_thread.joinable() || m_pDevice)
        EndPublicRecord();
    return 0;
}

int CWaveIn::BlockBytes() const {
    return m_nQuality == AUDIO_QUALITY_SPEECH ? kSpeechBlockBytes : kMp3BlockBytes;
}

int CWaveIn::InitWaveIn() {
    m_bOpened = false;
    m_bStarted = false;
    if (WaveInGetNumDevs() <= 0)
        return -1;
    m_nCompleted = 0;
    m_bNT = CWaveSystem::NtFamily();
    m_pEvent = std::make_shared<CWaveEvent>();
    m_copy.assign(kMp3BlockBytes, 0);
    m_thread = StartThread([this] { ThreadMain(); });

    std::weak_ptr<CWaveEvent> event = m_pEvent;
    int error = 0;
    m_pDevice = WaveInOpen(
        m_format,
        [event](EWaveMsg, tagWaveHeader*) {
            if (auto e = event.lock())
                e->Set();
        },
        &error);
    // A failed open leaves nothing behind: the caller's Close only tears down an opened
    // engine, so a waiting thread would never end.
    const auto fail = [this] {
        EndPublicRecord();
        return -1;
    };
    if (!m_pDevice)
        return fail();
    const int bytes = BlockBytes();
    for (int i = 0; i < kHeaders; ++i) {
        m_buffers[i].assign(bytes, 0);
        tagWaveHeader& h = m_headers[i];
        h = tagWaveHeader{};
        h.lpData = m_buffers[i].data();
        h.dwBufferLength = static_cast<uint32_t>(bytes);
        if (m_pDevice->PrepareHeader(&h) != MMSYSERR_NOERROR ||
            m_pDevice->AddBuffer(&h) != MMSYSERR_NOERROR)
            return fail();
    }
    m_bDeviceRunning = false;
    m_bOpened = true;
    return 0;
}

void CWaveIn::ThreadMain() {
    std::shared_ptr<CWaveEvent> event = m_pEvent;
    // The signals the device raises as it opens (two on the NT family).
    event->Wait();
    if (m_bNT)
        event->Wait();
    for (;;) {
        event->Wait();
        if (m_bStarted) {
            ChangeRecordBuf();
            continue;
        }
        if (!m_bOpened)
            break;
    }
}

void CWaveIn::ChangeRecordBuf() {
    if (!m_bStarted || !m_pDevice)
        return;
    const int index = m_nCompleted % kHeaders;
    tagWaveHeader& h = m_headers[index];
    const int recorded = h.dwBytesRecorded;
    // A device that honours the buffer length never reports such a count; the header is
    // left out of the rotation.
    if (recorded < 0 || recorded > BlockBytes())
        return;
    std::memcpy(m_copy.data(), h.lpData, static_cast<size_t>(recorded));
    OnWaveData(m_copy.data(), recorded, &h);
    if (m_pDevice->AddBuffer(&h) == MMSYSERR_NOERROR)
        ++m_nCompleted;
}

void CWaveIn::EndPublicRecord() {
    m_bOpened = false;
    m_bStarted = false;
    if (m_thread.joinable()) {
        // Enough signals to get the thread past its opening waits and out of its loop.
        for (int i = 0; i < 3; ++i) m_pEvent->Set();
        m_thread.join();
    }
    if (m_pDevice) {
        m_pDevice->Stop();
        m_pDevice->Reset();
        m_pDevice->UnprepareHeaders(m_headers);
        m_pDevice->Close();
        m_pDevice.reset();
    }
    m_bDeviceRunning = false;
    for (auto& buffer : m_buffers) {
        buffer.clear();
        buffer.shrink_to_fit();
    }
    m_pEvent.reset();
}
