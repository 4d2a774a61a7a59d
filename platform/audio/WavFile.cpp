#include "platform/audio/WavFile.h"

#include <samplerate.h>
#include <sndfile.h>

#include <QFile>

#include <algorithm>
#include <cmath>

namespace {

SNDFILE* OpenForReading(const QString& path, SF_INFO& info) {
    info = SF_INFO{};
    return sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
}

}  // namespace

std::unique_ptr<CWavSource> CWavSource::Open(const QString& path, const tagWaveFormat& format) {
    if (!format.IsPlayable())
        return nullptr;
    SF_INFO info;
    SNDFILE* file = OpenForReading(path, info);
    if (file == nullptr)
        return nullptr;
    if (info.channels < 1 || info.channels > 64 || info.samplerate < 1000 ||
        info.samplerate > 384000) {
        sf_close(file);
        return nullptr;
    }
    std::unique_ptr<CWavSource> source(new CWavSource);
    source->m_pFile = file;
    source->m_format = format;
    source->m_nFileRate = info.samplerate;
    source->m_nFileChannels = info.channels;
    if (info.samplerate != static_cast<int>(format.nSamplesPerSec)) {
        int error = 0;
        source->m_pResampler = src_new(SRC_SINC_FASTEST, format.nChannels, &error);
        if (source->m_pResampler == nullptr)
            return nullptr;
    }
    return source;
}

CWavSource::~CWavSource() {
    if (m_pResampler != nullptr)
        src_delete(m_pResampler);
    if (m_pFile != nullptr)
        sf_close(m_pFile);
}

void CWavSource::Rewind() {
    sf_seek(m_pFile, 0, SEEK_SET);
    if (m_pResampler != nullptr)
        src_reset(m_pResampler);
    m_bEnd = false;
    m_in.clear();
    m_nInUsed = 0;
}

// Frames of the file mapped to the target channels: mono spreads to both sides, more channels
// fold into the first (or the first two).
int CWavSource::ReadFileFrames(float* out, int frames) {
    std::vector<float> raw(static_cast<size_t>(frames) * m_nFileChannels);
    const sf_count_t got = sf_readf_float(m_pFile, raw.data(), frames);
    const int channels = m_format.nChannels;
    for (sf_count_t f = 0; f < got; ++f) {
        const float* in = raw.data() + f * m_nFileChannels;
        if (channels == 1) {
            float sum = 0;
            for (int c = 0; c < m_nFileChannels; ++c) sum += in[c];
            out[f] = sum / static_cast<float>(m_nFileChannels);
        } else {
            out[2 * f] = in[0];
            out[2 * f + 1] = m_nFileChannels > 1 ? in[1] : in[0];
        }
    }
    return static_cast<int>(got);
}

int CWavSource::Read(short* out, int frames) {
    const int channels = m_format.nChannels;
    m_out.assign(static_cast<size_t>(frames) * channels, 0.0f);
    int produced = 0;
    if (m_pResampler == nullptr) {
        produced = ReadFileFrames(m_out.data(), frames);
    } else {
        const double ratio = static_cast<double>(m_format.nSamplesPerSec) / m_nFileRate;
        while (produced < frames) {
            if (m_nInUsed * channels >= m_in.size() && !m_bEnd) {
                const int want = std::max(256, static_cast<int>((frames - produced) / ratio) + 16);
                m_in.assign(static_cast<size_t>(want) * channels, 0.0f);
                const int got = ReadFileFrames(m_in.data(), want);
                m_in.resize(static_cast<size_t>(got) * channels);
                m_nInUsed = 0;
                if (got < want)
                    m_bEnd = true;
            }
            SRC_DATA data{};
            data.data_in = m_in.data() + m_nInUsed * channels;
            data.input_frames = static_cast<long>(m_in.size() / channels - m_nInUsed);
            data.data_out = m_out.data() + static_cast<size_t>(produced) * channels;
            data.output_frames = frames - produced;
            data.src_ratio = ratio;
            data.end_of_input = m_bEnd ? 1 : 0;
            if (src_process(m_pResampler, &data) != 0)
                break;
            m_nInUsed += static_cast<size_t>(data.input_frames_used);
            produced += static_cast<int>(data.output_frames_gen);
            if (data.output_frames_gen == 0 && data.input_frames_used == 0 && m_bEnd)
                break;
        }
    }
    for (int i = 0; i < produced * channels; ++i) {
        const float v = std::clamp(m_out[static_cast<size_t>(i)] * 32768.0f, -32768.0f, 32767.0f);
        out[i] = static_cast<short>(std::lrint(v));
    }
    return produced;
}

std::unique_ptr<CWavSink> CWavSink::Create(const QString& path, const tagWaveFormat& format) {
    if (!format.IsPlayable())
        return nullptr;
    SF_INFO info{};
    info.samplerate = static_cast<int>(format.nSamplesPerSec);
    info.channels = format.nChannels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (file == nullptr)
        return nullptr;
    // The header is kept true after every write, so a file is whole even if we never close.
    sf_command(file, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
    std::unique_ptr<CWavSink> sink(new CWavSink);
    sink->m_pFile = file;
    sink->m_nBlockAlign = format.nBlockAlign;
    return sink;
}

CWavSink::~CWavSink() {
    Close();
}

bool CWavSink::Write(const char* data, size_t n) {
    if (m_pFile == nullptr)
        return false;
    const sf_count_t frames = static_cast<sf_count_t>(n / m_nBlockAlign);
    return sf_writef_short(m_pFile, reinterpret_cast<const short*>(data), frames) == frames;
}

void CWavSink::Close() {
    if (m_pFile != nullptr) {
        sf_close(m_pFile);
        m_pFile = nullptr;
    }
}

bool ReadWavFile(const QString& path, tagWavData& data) {
    SF_INFO info;
    SNDFILE* file = OpenForReading(path, info);
    if (file == nullptr)
        return false;
    data.rate = info.samplerate;
    data.channels = info.channels;
    data.samples.assign(static_cast<size_t>(info.frames) * info.channels, 0);
    const sf_count_t got = sf_readf_short(file, data.samples.data(), info.frames);
    data.samples.resize(static_cast<size_t>(std::max<sf_count_t>(got, 0)) * info.channels);
    sf_close(file);
    return true;
}

bool WriteWavFile(const QString& path, const tagWavData& data) {
    if (data.channels < 1 || data.channels > 2)
        return false;
    auto sink = CWavSink::Create(path, tagWaveFormat::Pcm16(data.rate, data.channels));
    if (!sink)
        return false;
    return sink->Write(reinterpret_cast<const char*>(data.samples.data()),
                       data.samples.size() * sizeof(short));
}
