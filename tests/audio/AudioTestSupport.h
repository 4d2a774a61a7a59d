#pragma once
// Signals and measurements for the audio tests: test speech from espeak-ng (or a synthetic
// voice from sox when it is missing), and comparisons that tolerate a codec's delay.

#include "audio/WaveIn.h"
#include "audio/WaveOut.h"
#include "platform/audio/WavFile.h"
#include "tests/support/TestSupport.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <atomic>
#include <mutex>
#include <optional>
#include <vector>

namespace audiotest {

// pactl's answer, trimmed; empty when it failed.
QString Pactl(const QStringList& args);
// The entries of "pactl list WHAT" (sinks, sink-inputs, modules ...) that contain every one
// of the texts, each entry whole.
QStringList PactlEntries(const QString& what, const QStringList& containing = {});

// A sound server of the test's own, in a runtime folder of its own, started as a person's
// session starts it (the distribution's default.pa). Use() points this process, and every
// program it starts, at it until the server is destroyed.
class CSoundServer {
public:
    CSoundServer();
    ~CSoundServer();
    CSoundServer(const CSoundServer&) = delete;
    CSoundServer& operator=(const CSoundServer&) = delete;

    bool IsRunning() const { return m_bRunning; }
    // Why it did not start.
    QString Log() const;
    void Use();

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_address;
    bool m_bRunning = false;
    std::optional<tavotest::CScopedEnv> m_use;
};

// About `seconds` of speech-like sound at rate and channels, 16-bit. From espeak-ng when it
// is installed, else from sox (a vowel-like buzz with a varying pitch and pauses).
tagWavData MakeSpeech(const QString& folder, int rate, int channels);
// A sine of freq Hz at amplitude amp in every channel.
tagWavData MakeSine(int rate, int channels, double freq, double amp, double seconds);

// One channel of interleaved samples.
std::vector<double> Channel(const std::vector<short>& samples, int channels, int channel);
double Rms(const std::vector<double>& x);
// The amplitude of the component at freq Hz (one bin of a DFT over the whole signal).
double ToneLevel(const std::vector<double>& x, int rate, double freq);

struct tagRecordingComparison {
    double correlation = 0;  // 0 when the recording is too short to compare
    double levelRatio = 0;   // RMS heard / RMS sent, once aligned
    double durationRatio = 0;
    long lag = 0;  // where the best alignment lies, from onset to onset
};
// Aligns what was heard to what was sent around their onsets (maxLag samples either way),
// correlating `window` samples from the onset, and compares the two from there on.
tagRecordingComparison CompareRecording(const std::vector<double>& sent,
                                        const std::vector<double>& got, long maxLag, long window);

// The capture engine with its hook keeping every block it is given, and the header it came in.
class CCollectingWaveIn : public CWaveIn {
public:
    explicit CCollectingWaveIn(int quality) { m_nQuality = quality; }
    ~CCollectingWaveIn() override { Close(); }
    int OnWaveData(char* data, int length, tagWaveHeader* header) override;
    size_t Count() const;
    std::vector<std::vector<char>> Blocks() const;
    std::vector<tagWaveHeader*> Headers() const;
    // Every block's samples, one after the other.
    std::vector<short> Samples() const;

private:
    mutable std::mutex m_mutex;
    std::vector<std::vector<char>> m_blocks;
    std::vector<tagWaveHeader*> m_headers;
};

// A player that counts its play-over reports.
class CCountingWaveOut : public CWaveOut {
public:
    ~CCountingWaveOut() override { Close(); }
    int OnBufferPlayOver() override {
        ++playOver;
        return 0;
    }
    std::atomic<int> playOver{0};
};

}  // namespace audiotest
