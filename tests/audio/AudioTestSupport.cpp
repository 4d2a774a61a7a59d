#include "tests/audio/AudioTestSupport.h"

#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace audiotest {

QString Pactl(const QStringList& args) {
    QByteArray out;
    if (!tavotest::RunProgram("pactl", args, &out))
        return QString();
    return QString::fromUtf8(out).trimmed();
}

QStringList PactlEntries(const QString& what, const QStringList& containing) {
    QStringList found;
    // Entries start with a line that does not start with white space ("Sink Input #7").
    static const QRegularExpression start(QStringLiteral("\\n(?=\\S)"));
    for (const QString& entry : Pactl({"list", what}).split(start, Qt::SkipEmptyParts)) {
        if (std::all_of(containing.begin(), containing.end(),
                        [&](const QString& part) { return entry.contains(part); }))
            found << entry;
    }
    return found;
}

CSoundServer::CSoundServer() {
    if (!tavotest::HaveProgram("pulseaudio") || !tavotest::HaveProgram("pactl") || !m_dir.isValid())
        return;
    const QString run = m_dir.filePath("run");
    QDir().mkpath(run);
    QFile::setPermissions(run,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QDir().mkpath(m_dir.filePath("home"));
    m_address = "unix:" + run + "/pulse/native";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", run);
    env.insert("HOME", m_dir.filePath("home"));
    env.remove("PULSE_SERVER");
    env.remove("PULSE_RUNTIME_PATH");
    m_process.setProcessEnvironment(env);
    m_process.setStandardOutputFile(m_dir.filePath("pulse.log"));
    m_process.setStandardErrorFile(m_dir.filePath("pulse.log"), QIODevice::Append);
    const QStringList args{"--daemonize=no", "--exit-idle-time=-1", "--log-target=stderr"};
    m_process.start("pulseaudio", args);
    if (!m_process.waitForStarted())
        return;
    for (int i = 0; i < 100 && !m_bRunning; ++i) {
        m_bRunning = tavotest::RunProgram("pactl", {"-s", m_address, "info"});
        if (!m_bRunning && m_process.waitForFinished(100))
            break;
    }
}

CSoundServer::~CSoundServer() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString CSoundServer::Log() const {
    QFile log(m_dir.filePath("pulse.log"));
    return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
}

void CSoundServer::Use() {
    if (!m_use) {
        m_use.emplace("PULSE_SERVER", m_address.toUtf8());
    }
}

tagWavData MakeSpeech(const QString& folder, int rate, int channels) {
    const QString raw = QDir(folder).filePath("speech-raw.wav");
    const QString wav = QDir(folder).filePath(QString("speech-%1-%2.wav").arg(rate).arg(channels));
    bool made = false;
    if (tavotest::HaveProgram("espeak-ng")) {
        made = tavotest::RunProgram("espeak-ng", {"-v", "en", "-s", "150", "-w", raw,
                                                  "Every voice the client sends starts here."});
    }
    if (!made) {
        // A buzz through a formant-like band with a gliding pitch, cut into syllables.
        made = tavotest::RunProgram(
            "sox", {"-n", "-r", "16000", "-c", "1", raw, "synth", "4", "sawtooth", "110-180",
                    "bandpass", "700", "400", "tremolo", "3", "90"});
    }
    tagWavData data;
    if (!made ||
        !tavotest::RunProgram("sox", {raw, "-r", QString::number(rate), "-c",
                                      QString::number(channels), "-b", "16", wav, "norm", "-3"}))
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

double Rms(const std::vector<double>& x) {
    double s = 0;
    for (double v : x) s += v * v;
    return x.empty() ? 0 : std::sqrt(s / x.size());
}

double ToneLevel(const std::vector<double>& x, int rate, double freq) {
    if (x.empty())
        return 0;
    double re = 0;
    double im = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        const double phase = 2 * M_PI * freq * static_cast<double>(i) / rate;
        re += x[i] * std::cos(phase);
        im -= x[i] * std::sin(phase);
    }
    return 2 * std::hypot(re, im) / static_cast<double>(x.size());
}

namespace {

// Where the sound starts, and how long it lasts: from the first to the last sample above a
// tenth of the loudest.
size_t Onset(const std::vector<double>& x) {
    double peak = 0;
    for (double v : x) peak = std::max(peak, std::abs(v));
    for (size_t i = 0; i < x.size(); ++i)
        if (std::abs(x[i]) > peak / 10)
            return i;
    return 0;
}

size_t ActiveLength(const std::vector<double>& x) {
    double peak = 0;
    for (double v : x) peak = std::max(peak, std::abs(v));
    size_t last = 0;
    for (size_t i = 0; i < x.size(); ++i)
        if (std::abs(x[i]) > peak / 10)
            last = i;
    return last - std::min(last, Onset(x));
}

}  // namespace

tagRecordingComparison CompareRecording(const std::vector<double>& sent,
                                        const std::vector<double>& got, long maxLag, long window) {
    tagRecordingComparison c;
    const long s0 = static_cast<long>(Onset(sent));
    const long g0 = static_cast<long>(Onset(got));
    window = std::min<long>(window, static_cast<long>(sent.size()) - s0);
    if (window < 1000 || got.size() < static_cast<size_t>(window / 2))
        return c;
    long bestAt = -1;
    for (long lag = -maxLag; lag <= maxLag; ++lag) {
        const long from = g0 + lag;
        if (from < 0 || from + window > static_cast<long>(got.size()))
            continue;
        double ab = 0, aa = 0, bb = 0;
        for (long i = 0; i < window; ++i) {
            const double x = sent[s0 + i];
            const double y = got[from + i];
            ab += x * y;
            aa += x * x;
            bb += y * y;
        }
        const double r = (aa > 0 && bb > 0) ? ab / std::sqrt(aa * bb) : 0;
        if (r > c.correlation) {
            c.correlation = r;
            bestAt = from;
        }
    }
    if (bestAt < 0)
        return c;
    c.lag = bestAt - g0;
    const size_t n = std::min(sent.size() - s0, got.size() - bestAt);
    const std::vector<double> ref(sent.begin() + s0, sent.begin() + s0 + n);
    const std::vector<double> aligned(got.begin() + bestAt, got.begin() + bestAt + n);
    c.levelRatio = Rms(aligned) / Rms(ref);
    c.durationRatio = static_cast<double>(ActiveLength(got)) / ActiveLength(sent);
    return c;
}

int CCollectingWaveIn::OnWaveData(char* data, int length, tagWaveHeader* header) {
    std::lock_guard<std::mutex> g(m_mutex);
    m_blocks.emplace_back(data, data + length);
    m_headers.push_back(header);
    return 0;
}

size_t CCollectingWaveIn::Count() const {
    std::lock_guard<std::mutex> g(m_mutex);
    return m_blocks.size();
}

std::vector<std::vector<char>> CCollectingWaveIn::Blocks() const {
    std::lock_guard<std::mutex> g(m_mutex);
    return m_blocks;
}

std::vector<tagWaveHeader*> CCollectingWaveIn::Headers() const {
    std::lock_guard<std::mutex> g(m_mutex);
    return m_headers;
}

std::vector<short> CCollectingWaveIn::Samples() const {
    std::lock_guard<std::mutex> g(m_mutex);
    std::vector<short> samples;
    for (const auto& block : m_blocks) {
        const short* s = reinterpret_cast<const short*>(block.data());
        samples.insert(samples.end(), s, s + block.size() / 2);
    }
    return samples;
}

}  // namespace audiotest
