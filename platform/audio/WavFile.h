#pragma once
// Reading and writing WAV files for the file devices, through libsndfile; the reader converts
// whatever PCM the file holds to the format a recorder asks for (libsamplerate for the rate).

#include "platform/audio/WaveTypes.h"

#include <QString>

#include <memory>
#include <vector>

struct sf_private_tag;
struct SRC_STATE_tag;

class CWavSource {
public:
    // nullptr when the file cannot be read as audio.
    static std::unique_ptr<CWavSource> Open(const QString& path, const tagWaveFormat& format);
    ~CWavSource();

    // Reads up to frames frames in the target format; fewer at the end of the file.
    int Read(short* out, int frames);
    void Rewind();
    int FileRate() const { return m_nFileRate; }
    int FileChannels() const { return m_nFileChannels; }

private:
    CWavSource() = default;
    int ReadFileFrames(float* out, int frames);

    sf_private_tag* m_pFile = nullptr;
    SRC_STATE_tag* m_pResampler = nullptr;
    tagWaveFormat m_format;
    int m_nFileRate = 0;
    int m_nFileChannels = 0;
    bool m_bEnd = false;
    std::vector<float> m_in;  // file frames in the target channel count
    size_t m_nInUsed = 0;     // frames of m_in already consumed
    std::vector<float> m_out;
};

class CWavSink {
public:
    static std::unique_ptr<CWavSink> Create(const QString& path, const tagWaveFormat& format);
    ~CWavSink();
    bool Write(const char* data, size_t n);
    void Close();

private:
    CWavSink() = default;
    sf_private_tag* m_pFile = nullptr;
    int m_nBlockAlign = 0;
};

// The whole of a WAV file as 16-bit samples, for tools and tests.
struct tagWavData {
    int rate = 0;
    int channels = 0;
    std::vector<short> samples;  // interleaved
};
bool ReadWavFile(const QString& path, tagWavData& data);
bool WriteWavFile(const QString& path, const tagWavData& data);
