#pragma once
// Signals and measurements for the audio tests: test speech from espeak-ng (or a synthetic
// voice from sox when it is missing), outside tools run as programs, and comparisons that
// tolerate a codec's delay.

#include "platform/audio/WavFile.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace audiotest {

// Runs a program; false when it is missing or fails. Output goes to *out when given.
bool Run(const QString& program, const QStringList& args, QByteArray* out = nullptr,
         int timeoutMs = 60000);
bool HaveProgram(const QString& program);

// About `seconds` of speech-like sound at rate and channels, 16-bit. From espeak-ng when it
// is installed, else from sox (a vowel-like buzz with a varying pitch and pauses).
tagWavData MakeSpeech(const QString& folder, int rate, int channels);
// A sine of freq Hz at amplitude amp in every channel.
tagWavData MakeSine(int rate, int channels, double freq, double amp, double seconds);

// One channel of interleaved samples.
std::vector<double> Channel(const std::vector<short>& samples, int channels, int channel);
// The largest normalised cross-correlation of b against a over lags 0..maxLag (b delayed),
// with the lag found.
double BestCorrelation(const std::vector<double>& a, const std::vector<double>& b, int maxLag,
                       int* lagOut = nullptr, size_t length = 0);
// Signal-to-noise ratio in dB of `test` against `ref` (same length, aligned).
double SnrDb(const std::vector<double>& ref, const std::vector<double>& test);
double Rms(const std::vector<double>& x);

// Where the sound starts, and how long it lasts: from the first to the last sample above a
// tenth of the loudest.
size_t Onset(const std::vector<double>& x);
size_t ActiveLength(const std::vector<double>& x);

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

}  // namespace audiotest
