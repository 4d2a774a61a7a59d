#include "audio/WaveOut.h"

#include "audio/AudioFormats.h"
#include "platform/System.h"
#include "platform/audio/WaveSystem.h"

#include <QFile>

#include <algorithm>
#include <cstring>

void WriteAudioLog(const char* format, int code) {
    QFile file(StateFolder() + QStringLiteral("/audio.log"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    file.write(QString::asprintf(format, code).toLatin1());
}

CWaveOut::CWaveOut() : m_decodeBuffer(kDecodeBytes, 0) {}

CWaveOut::~CWaveOut() {
    StopWaveOut();
}

void CWaveOut::SetFormat(int format) {
    m_nFormat = format;
    if (format >= 1 && format <= 3)
        m_format = PlaybackFormat(format);
}

int CWaveOut::BufferBytes() const {
    return PlaybackBufferBytes(m_nFormat);
}

int CWaveOut::Open() {
    return InitWaveOut() == 0 ? 1 : 0;
}

int CWaveOut::Close() {
    StopWaveOut();
    return 0;
}

int CWaveOut::InitWaveOut() {
    m_nOpen = 0;
    if (m_pDevice)
        StopWaveOut();
    // A player with no format of its own opens nothing: it could only play the wrong rate.
    if (m_nFormat < 1 || m_nFormat > 3) {
        WriteAudioLog("waveOutOpen error,%d\n", WAVERR_BADFORMAT);
        return -1;
    }
    int error = 0;
    m_pDevice = WaveOutOpen(
        m_format, [this](EWaveMsg msg, tagWaveHeader*) { OnDeviceMessage(msg); }, &error);
    if (!m_pDevice) {
        WriteAudioLog("waveOutOpen error,%d\n", error);
        return -1;
    }
    m_nWriteCounter = 0;
    const int bytes = BufferBytes();
    for (int i = 0; i < kHeaders; ++i) {
        m_buffers[i].assign(bytes, 0);
        tagWaveHeader& h = m_headers[i];
        h = tagWaveHeader{};
        h.lpData = m_buffers[i].data();
        h.dwBufferLength = static_cast<uint32_t>(bytes);
        if (const int result = m_pDevice->PrepareHeader(&h); result != MMSYSERR_NOERROR) {
            WriteAudioLog("waveOutPrepareHeader error,%d\n", result);
            StopWaveOut();
            return -1;
        }
    }
    m_nPending = 0;
    m_nOpen = 1;
    return 0;
}

void CWaveOut::StopWaveOut() {
    m_nOpen = 0;
    if (!m_pDevice)
        return;
    m_pDevice->Reset();
    m_pDevice->UnprepareHeaders(m_headers);
    // Closing waits for the device's callbacks, so none reaches a player that is gone.
    m_pDevice->Close();
    m_pDevice.reset();
    for (auto& buffer : m_buffers) {
        buffer.clear();
        buffer.shrink_to_fit();
    }
}

void CWaveOut::OnDeviceMessage(EWaveMsg msg) {
    if (msg != EWaveMsg::Done)
        return;
    const int was = m_nPending.fetch_sub(1);
    if (was == 1 && m_nOpen != 0)
        OnBufferPlayOver();
}

int CWaveOut::Play(const char* data, int length) {
    return GuestPublicWave(data, length);
}

int CWaveOut::GuestPublicWave(const char* data, int length) {
    if (!m_pDevice || data == nullptr || length <= 0)
        return 0;
    const int index = m_nWriteCounter % kHeaders;
    tagWaveHeader& h = m_headers[index];
    // Never touch a buffer the device still holds; the write below is refused for it.
    if (!(h.dwFlags & WHDR_INQUEUE)) {
        const int n = std::min(length, static_cast<int>(m_buffers[index].size()));
        std::memcpy(h.lpData, data, static_cast<size_t>(n));
        h.dwBufferLength = static_cast<uint32_t>(n);
    }
    // Counted before the write: a fast device may report the buffer played before Write returns.
    ++m_nPending;
    if (m_pDevice->Write(&h) != MMSYSERR_NOERROR)
        --m_nPending;
    ++m_nWriteCounter;
    return 0;
}

int CWaveOut::PlayMP3(const char* data, int length) {
    if (data == nullptr || length <= 0)
        return -1;
    const size_t total =
        m_decoder.Decode(reinterpret_cast<const unsigned char*>(data), static_cast<size_t>(length),
                         m_decodeBuffer.data(), m_decodeBuffer.size());
    if (total < 1)
        return -1;
    Play(reinterpret_cast<const char*>(m_decodeBuffer.data()), static_cast<int>(total));
    return 0;
}
