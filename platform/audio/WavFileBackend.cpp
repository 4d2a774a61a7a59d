#include "platform/audio/WavFileBackend.h"

#include "platform/ThreadSignals.h"
#include "platform/audio/WavFile.h"
#include "platform/audio/WaveSystem.h"

#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct tagWavOptions {
    QString in;
    QString out;
    bool fast = false;
    bool hold = false;
    bool loop = false;
    QStringList lines;
};

tagWavOptions ParseOptions(const QString& options) {
    tagWavOptions o;
    for (const QString& part : options.split(',', Qt::SkipEmptyParts)) {
        const int eq = part.indexOf('=');
        const QString key = (eq < 0 ? part : part.left(eq)).trimmed();
        const QString value = eq < 0 ? QString() : part.mid(eq + 1).trimmed();
        if (key == "in")
            o.in = value;
        else if (key == "out")
            o.out = value;
        else if (key == "pace") {
            o.fast = value == "fast";
            o.hold = value == "hold";
        } else if (key == "loop")
            o.loop = value == "1" || value == "true";
        else if (key == "lines")
            o.lines = value.split('|', Qt::SkipEmptyParts);
    }
    return o;
}

std::mutex g_filesMutex;
std::vector<tagWavOutputFile> g_files;

// The recording mixer of the file devices: a microphone and the configured lines. A muted
// microphone records silence.
class CFileMixer : public IAudioMixer {
public:
    explicit CFileMixer(const QStringList& lines) {
        m_control.items.push_back({QStringLiteral("Microphone"), QStringLiteral("mic"),
                                   MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, true, false});
        for (const QString& line : lines)
            m_control.items.push_back(
                {line, line, MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, false, false});
    }
    bool IsAvailable() override { return true; }
    bool GetListControl(tagListControl& control) override {
        std::lock_guard<std::mutex> guard(m_mutex);
        control = m_control;
        return true;
    }
    bool SetListControl(const tagListControl& control) override {
        std::lock_guard<std::mutex> guard(m_mutex);
        int set = 0;
        for (const tagMixerItem& item : control.items) set += item.value ? 1 : 0;
        if (m_control.singleSelect && set > 1)
            return false;
        for (tagMixerItem& mine : m_control.items)
            for (const tagMixerItem& item : control.items)
                if (item.id == mine.id)
                    mine.value = item.value;
        return true;
    }
    bool SetMicMute(bool mute) override {
        m_bMute = mute;
        return true;
    }
    bool GetMicMute(bool& mute) override {
        mute = m_bMute;
        return true;
    }
    bool GetMicVolume(std::vector<unsigned>& channels) override {
        channels.assign(2, m_nVolume.load());
        return true;
    }
    bool SetMicVolume(unsigned value) override {
        m_nVolume = std::min(value, 65535u);
        return true;
    }
    bool MicVolumeRange(unsigned& minimum, unsigned& maximum) override {
        minimum = 0;
        maximum = 65535;
        return true;
    }
    bool GetSpeakerVolume(std::vector<unsigned>& channels) override {
        channels.assign(2, m_nSpeakers.load());
        return true;
    }
    bool SetSpeakerVolume(unsigned value) override {
        m_nSpeakers = std::min(value, 65535u);
        return true;
    }
    bool MicMuted() const { return m_bMute; }

private:
    std::mutex m_mutex;
    tagListControl m_control;
    std::atomic<bool> m_bMute{false};
    std::atomic<unsigned> m_nVolume{65535};
    std::atomic<unsigned> m_nSpeakers{65535};
};

class CWavFileIn : public CWaveInDevice {
public:
    CWavFileIn(const tagWaveFormat& format, WaveCallback callback, const tagWavOptions& options,
               std::unique_ptr<CWavSource> source, CFileMixer& mixer)
        : CWaveInDevice(format, std::move(callback)),
          m_options(options),
          m_source(std::move(source)),
          m_mixer(mixer) {
        ReportOpened();
        m_thread = StartThread([this] { Run(); });
    }
    ~CWavFileIn() override {
        Reset();
        Close();
        Stop_();
    }

protected:
    int DoStart() override { return MMSYSERR_NOERROR; }
    int DoStop() override { return MMSYSERR_NOERROR; }
    void DoClose() override { Stop_(); }

private:
    void Stop_() {
        m_bQuit = true;
        if (m_thread.joinable())
            m_thread.join();
    }

    // One chunk of 20 ms in the device format; false when the source has run dry.
    bool Produce(std::vector<char>& chunk) {
        const int frames = static_cast<int>(Format().nSamplesPerSec / 50);
        chunk.assign(static_cast<size_t>(frames) * Format().nBlockAlign, 0);
        auto* samples = reinterpret_cast<short*>(chunk.data());
        int got = m_bDry ? 0 : m_source->Read(samples, frames);
        if (got < frames && !m_bDry && m_options.loop) {
            m_source->Rewind();
            got += m_source->Read(samples + got * Format().nChannels, frames - got);
        }
        if (got < frames && !m_options.loop)
            m_bDry = true;
        if (m_bDry && got == 0 && m_options.fast)
            return false;
        if (m_options.fast && got < frames)
            chunk.resize(static_cast<size_t>(got) * Format().nBlockAlign);
        if (m_mixer.MicMuted())
            std::fill(chunk.begin(), chunk.end(), 0);
        return true;
    }

    void Run() {
        std::vector<char> chunk;
        size_t offset = 0;  // what a full recorder has not taken yet (fast pace only)
        auto next = Clock::now();
        while (!m_bQuit) {
            if (m_options.fast) {
                if (!WaitForRoom(50))
                    continue;
                if (offset >= chunk.size()) {
                    offset = 0;
                    if (!Produce(chunk)) {
                        chunk.clear();
                        std::this_thread::sleep_for(std::chrono::milliseconds(20));
                        continue;
                    }
                }
                offset += Captured(chunk.data() + offset, chunk.size() - offset);
                continue;
            }
            next += std::chrono::milliseconds(20);
            std::this_thread::sleep_until(next);
            // A recorder that is not started keeps its place in the file.
            if (!IsStarted())
                continue;
            Produce(chunk);
            Captured(chunk.data(), chunk.size());
        }
    }

    tagWavOptions m_options;
    std::unique_ptr<CWavSource> m_source;
    CFileMixer& m_mixer;
    std::atomic<bool> m_bQuit{false};
    bool m_bDry = false;
    std::thread m_thread;
};

class CWavFileOut : public CWaveOutDevice {
public:
    CWavFileOut(const tagWaveFormat& format, WaveCallback callback, bool fast, bool hold,
                std::unique_ptr<CWavSink> sink)
        : CWaveOutDevice(format, std::move(callback)),
          m_bFast(fast),
          m_bHold(hold),
          m_sink(std::move(sink)) {
        ReportOpened();
        if (!m_bFast && !m_bHold)
            m_thread = StartThread([this] { Run(); });
    }
    ~CWavFileOut() override {
        Reset();
        Close();
        Stop_();
    }

protected:
    int DoWrite(const char* data, size_t n) override {
        if (!m_sink->Write(data, n))
            return MMSYSERR_ERROR;
        if (m_bHold)
            return MMSYSERR_NOERROR;
        if (m_bFast) {
            Played(WrittenBytes());
        } else {
            std::lock_guard<std::mutex> guard(m_mutex);
            if (!m_bRunning) {
                // Playing resumes with the first buffer after the device ran dry.
                m_bRunning = true;
                m_start = Clock::now();
                m_startBytes = m_played;
                m_wake.notify_one();
            }
        }
        return MMSYSERR_NOERROR;
    }
    void DoFlush(uint64_t written) override {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_played = written;
        m_bRunning = false;
    }
    void DoClose() override {
        Stop_();
        m_sink->Close();
    }

private:
    void Stop_() {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_bQuit = true;
        }
        m_wake.notify_one();
        if (m_thread.joinable())
            m_thread.join();
    }

    void Run() {
        const double bytesPerSecond = Format().nAvgBytesPerSec;
        for (;;) {
            {
                // A player with nothing to play sleeps until it is written to.
                std::unique_lock<std::mutex> lock(m_mutex);
                m_wake.wait(lock, [this] { return m_bQuit || m_bRunning; });
                if (m_bQuit)
                    return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            uint64_t played = 0;
            {
                std::lock_guard<std::mutex> guard(m_mutex);
                if (!m_bRunning)
                    continue;
                const double seconds =
                    std::chrono::duration<double>(Clock::now() - m_start).count();
                uint64_t at = m_startBytes + static_cast<uint64_t>(seconds * bytesPerSecond);
                const uint64_t written = WrittenBytes();
                if (at >= written) {
                    at = written;
                    m_bRunning = false;
                }
                m_played = std::max(m_played, at);
                played = m_played;
            }
            Played(played);
        }
    }

    const bool m_bFast;
    const bool m_bHold;
    std::unique_ptr<CWavSink> m_sink;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_bRunning = false;
    Clock::time_point m_start;
    uint64_t m_startBytes = 0;
    uint64_t m_played = 0;
    bool m_bQuit = false;
    std::thread m_thread;
};

QString OutputPath(const QString& pattern, int ordinal) {
    if (pattern.contains("%d"))
        return QString(pattern).replace("%d", QString::number(ordinal));
    if (ordinal == 0)
        return pattern;
    const QFileInfo info(pattern);
    const QString suffix = info.suffix();
    QString stem = pattern;
    if (!suffix.isEmpty())
        stem.chop(suffix.size() + 1);
    return stem + "." + QString::number(ordinal) + (suffix.isEmpty() ? "" : "." + suffix);
}

class CWavFileBackend : public IWaveBackend {
public:
    explicit CWavFileBackend(const QString& options)
        : m_options(ParseOptions(options)), m_mixer(m_options.lines) {}

    QString Name() const override { return QStringLiteral("wav"); }
    int InputDeviceCount() override {
        return !m_options.in.isEmpty() && QFileInfo(m_options.in).isReadable() ? 1 : 0;
    }
    int OutputDeviceCount() override { return m_options.out.isEmpty() ? 0 : 1; }

    std::unique_ptr<CWaveInDevice> OpenInput(const tagWaveFormat& format, WaveCallback callback,
                                             int& e) override {
        if (m_options.in.isEmpty()) {
            e = MMSYSERR_BADDEVICEID;
            return nullptr;
        }
        auto source = CWavSource::Open(m_options.in, format);
        if (!source) {
            e = MMSYSERR_NODRIVER;
            return nullptr;
        }
        e = MMSYSERR_NOERROR;
        return std::make_unique<CWavFileIn>(format, std::move(callback), m_options,
                                            std::move(source), m_mixer);
    }

    std::unique_ptr<CWaveOutDevice> OpenOutput(const tagWaveFormat& format, WaveCallback callback,
                                               int& e) override {
        if (m_options.out.isEmpty()) {
            e = MMSYSERR_BADDEVICEID;
            return nullptr;
        }
        const QString path = OutputPath(m_options.out, m_nOrdinal);
        auto sink = CWavSink::Create(path, format);
        if (!sink) {
            e = MMSYSERR_NODRIVER;
            return nullptr;
        }
        ++m_nOrdinal;
        {
            std::lock_guard<std::mutex> guard(g_filesMutex);
            g_files.push_back({path, format});
        }
        e = MMSYSERR_NOERROR;
        return std::make_unique<CWavFileOut>(format, std::move(callback), m_options.fast,
                                             m_options.hold, std::move(sink));
    }

    IAudioMixer& Mixer() override { return m_mixer; }

private:
    tagWavOptions m_options;
    CFileMixer m_mixer;
    std::atomic<int> m_nOrdinal{0};
};

}  // namespace

void RegisterWavFileBackend() {
    CWaveSystem::Register(QStringLiteral("wav"), [](const QString& options) {
        return std::make_unique<CWavFileBackend>(options);
    });
}

std::vector<tagWavOutputFile> WavOutputFiles() {
    std::lock_guard<std::mutex> guard(g_filesMutex);
    return g_files;
}
