#include "tests/audio/AudioTestSupport.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>

namespace audiotest {

bool HaveProgram(const QString& program) {
    return !QStandardPaths::findExecutable(program).isEmpty();
}

bool Run(const QString& program, const QStringList& args, QByteArray* out, int timeoutMs) {
    if (!HaveProgram(program))
        return false;
    QProcess p;
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs))
        return false;
    if (out != nullptr)
        *out = p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

tagWavData MakeSpeech(const QString& folder, int rate, int channels) {
    const QString raw = QDir(folder).filePath("speech-raw.wav");
    const QString wav = QDir(folder).filePath(QString("speech-%1-%2.wav").arg(rate).arg(channels));
    bool made = false;
    if (HaveProgram("espeak-ng")) {
        made = Run("espeak-ng",
                   {"-v", "en", "-s", "150", "-w", raw,
                    "Every voice that the client sends starts here. The capture engine records "
                    "blocks of sound, sixteen in flight, and hands each one to the encoder."});
    }
    if (!made) {
        // A buzz through a formant-like band with a gliding pitch, cut into syllables.
        made = Run("sox", {"-n", "-r", "16000", "-c", "1", raw, "synth", "4", "sawtooth", "110-180",
                           "bandpass", "700", "400", "tremolo", "3", "90"});
    }
    tagWavData data;
    if (!made || !Run("sox", {raw, "-r", QString::number(rate), "-c", QString::number(channels),
                              "-b", "16", wav, "norm", "-3"}))
        return data;
    ReadWavFile(wav, data);
    return data;
}

tagWavData MakeSine(int rate, int channels, double freq, double amp, double seconds) {
    tagWavData data;
    data.rate = rate;
    data.channels = channels;
    const int frames = static_cast<int>(rate * seconds);
    data.samples.resize(static_cast<size_t>(frames) * channels);
    for (int i = 0; i < frames; ++i) {
        const short v = static_cast<short>(std::lrint(amp * std::sin(2 * M_PI * freq * i / rate)));
        for (int c = 0; c < channels; ++c) data.samples[static_cast<size_t>(i) * channels + c] = v;
    }
    return data;
}

std::vector<double> Channel(const std::vector<short>& samples, int channels, int channel) {
    std::vector<double> out;
    out.reserve(samples.size() / channels);
    for (size_t i = channel; i < samples.size(); i += channels) out.push_back(samples[i]);
    return out;
}

double BestCorrelation(const std::vector<double>& a, const std::vector<double>& b, int maxLag,
                       int* lagOut, size_t length) {
    double best = -2;
    int bestLag = 0;
    for (int lag = 0; lag <= maxLag; ++lag) {
        size_t n = std::min(a.size(), b.size() > static_cast<size_t>(lag) ? b.size() - lag : 0);
        if (length != 0)
            n = std::min(n, length);
        if (n < 100)
            break;
        double ab = 0, aa = 0, bb = 0;
        for (size_t i = 0; i < n; ++i) {
            ab += a[i] * b[i + lag];
            aa += a[i] * a[i];
            bb += b[i + lag] * b[i + lag];
        }
        const double c = (aa > 0 && bb > 0) ? ab / std::sqrt(aa * bb) : 0;
        if (c > best) {
            best = c;
            bestLag = lag;
        }
    }
    if (lagOut != nullptr)
        *lagOut = bestLag;
    return best;
}

double SnrDb(const std::vector<double>& ref, const std::vector<double>& test) {
    const size_t n = std::min(ref.size(), test.size());
    double signal = 0, noise = 0;
    for (size_t i = 0; i < n; ++i) {
        signal += ref[i] * ref[i];
        noise += (ref[i] - test[i]) * (ref[i] - test[i]);
    }
    return noise > 0 ? 10 * std::log10(signal / noise) : 200;
}

double Rms(const std::vector<double>& x) {
    double s = 0;
    for (double v : x) s += v * v;
    return x.empty() ? 0 : std::sqrt(s / x.size());
}

}  // namespace audiotest
