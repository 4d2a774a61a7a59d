// The PulseAudio backend against a real server: what the microphone hears arrives in the
// captured blocks, what the players play comes out of the sink, and the recording mixer's
// stereo mix is the microphone inside what the default output plays, built and taken down by
// us without touching the user's devices. Uses the test server's ci_mic (fed through
// ci_mic_feed) and ci_sink; skipped when no server answers.

#include "audio/AudioFormats.h"
#include "audio/RecordSource.h"
#include "audio/SoundConfigDlg.h"
#include "platform/audio/PulseMixer.h"
#include "platform/audio/PulseStereoMix.h"
#include "platform/audio/WaveSystem.h"
#include "tests/audio/AudioTestSupport.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include <unistd.h>

using namespace audiotest;
using namespace tavotest;

namespace {

bool HasSource(const QString& name) {
    return Pactl({"list", "short", "sources"}).contains(name);
}

class Pulse : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CWaveSystem::Select("pulse"));
        TAVO_NEED(WaveInGetNumDevs() > 0, "a PulseAudio server");
        TAVO_NEED(HaveProgram("pactl") && HasSource("ci_mic"), "the test sound server's ci_mic");
        UseTestDevices();
        CRecordSource::Get().SetMixer(nullptr);
        CRecordSource::Get().SetMixName(QString());
    }
    void TearDown() override {
        CRecordSource::Get().Release();
        for (const QString& module : m_modules) Pactl({"unload-module", module});
        if (HaveProgram("pactl") && HasSource("ci_mic")) {
            UseTestDevices();
        }
    }
    // The test server's devices are the defaults, unmuted and at full volume.
    static void UseTestDevices() {
        Pactl({"set-default-source", "ci_mic"});
        Pactl({"set-default-sink", "ci_sink"});
        Pactl({"set-source-mute", "ci_mic", "0"});
        Pactl({"set-source-volume", "ci_mic", "100%"});
        Pactl({"set-sink-volume", "ci_sink", "100%"});
    }
    // Loads a module for the test's length.
    QString Load(const QStringList& args) {
        QString index = Pactl(QStringList{"load-module"} + args);
        if (!index.isEmpty())
            m_modules << index;
        return index;
    }

    QTemporaryDir m_dir;
    QStringList m_modules;
};

// The modules of our own stereo mix on the server.
QStringList OurMixModules() {
    return PactlEntries("modules", {CPulseStereoMix::SinkName()});
}

// Once what the recorder still holds from before has come through (and new loopbacks have
// started), plays a second of each tone into its sink, all at once, and returns what the
// recorder took from then until a second after they ended.
std::vector<double> Heard(CCollectingWaveIn& engine, const QString& folder,
                          const std::vector<std::pair<QString, double>>& tones, int channels = 1) {
    const size_t settled = engine.Count() + 4;
    WaitUntil([&] { return engine.Count() >= settled; }, std::chrono::seconds(10));
    const size_t from = engine.Samples().size();
    std::vector<std::unique_ptr<QProcess>> players;
    for (const auto& [sink, freq] : tones) {
        const QString file = QDir(folder).filePath(QString("tone%1.wav").arg(freq));
        WriteWavFile(file, MakeSine(44100, 2, freq, 8000, 1.0));
        players.push_back(std::make_unique<QProcess>());
        players.back()->start("paplay", {"-d", sink, file});
    }
    for (auto& player : players) player->waitForFinished(10000);
    const size_t blocks = engine.Count();
    WaitUntil([&] { return engine.Count() >= blocks + 4; }, std::chrono::seconds(10));
    const std::vector<short> all = engine.Samples();
    return Channel(std::vector<short>(all.begin() + static_cast<long>(from), all.end()), channels,
                   0);
}

// The loudest a recording carries a tone over any eighth of a second: a tone mixed in is
// thousands, one that is not stays far below.
double Loudest(const std::vector<double>& x, double freq, int rate = 8000) {
    const size_t window = static_cast<size_t>(rate / 8);
    double loudest = 0;
    for (size_t at = 0; at + window <= x.size(); at += window)
        loudest = std::max(loudest, ToneLevel({x.begin() + static_cast<long>(at),
                                               x.begin() + static_cast<long>(at + window)},
                                              rate, freq));
    return loudest;
}
constexpr double kHeardTone = 2000;
constexpr double kNoTone = 500;

}  // namespace

TEST_F(Pulse, PlaybackComesOutOfTheSink) {
    TAVO_NEED(HaveProgram("parec") && HaveProgram("pacat"), "parec and pacat");
    // Hi-fi format, listened to at the sink's own rate: the only conversion on the way is
    // the server's doubling of 22050 Hz.
    tagWavData speech = MakeSpeech(m_dir.path(), 22050, 2);
    TAVO_NEED(!speech.samples.empty(), "sox");
    const int rate = 44100;
    // A null sink that wakes from idle jumps in its monitor's timeline; a stream of zeros
    // keeps it running steadily while we listen.
    QProcess keepAwake;
    keepAwake.start("pacat",
                    {"-p", "--raw", "--rate=44100", "--channels=2", "--format=s16le", "/dev/zero"});
    ASSERT_TRUE(keepAwake.waitForStarted());
    Spin(std::chrono::milliseconds(500));
    // Raw samples on its output: nothing depends on how it finishes a file when stopped.
    QProcess recorder;
    recorder.start("parec",
                   {"-d", "ci_sink.monitor", "--rate=44100", "--channels=1", "--format=s16le"});
    ASSERT_TRUE(recorder.waitForStarted());
    Spin(std::chrono::milliseconds(1500));

    CCountingWaveOut player;
    player.SetFormat(1);
    ASSERT_EQ(player.Open(), 1);
    const size_t perBlock = kMp3BlockBytes / 2;
    const size_t blocks = std::min<size_t>(speech.samples.size() / perBlock, 16);
    for (size_t b = 0; b < blocks; ++b)
        player.Play(reinterpret_cast<const char*>(speech.samples.data() + b * perBlock),
                    kMp3BlockBytes);
    EXPECT_GT(player.Pending(), 0);
    ASSERT_TRUE(WaitUntil([&] { return player.playOver >= 1; }, std::chrono::seconds(20)));
    EXPECT_EQ(player.Pending(), 0);
    Spin(std::chrono::milliseconds(700));
    player.Close();
    const QByteArray raw = recorder.readAllStandardOutput();
    recorder.terminate();
    keepAwake.terminate();
    ASSERT_TRUE(recorder.waitForFinished(5000));
    keepAwake.waitForFinished(5000);

    std::vector<short> heard(reinterpret_cast<const short*>(raw.constData()),
                             reinterpret_cast<const short*>(raw.constData()) + raw.size() / 2);
    // What was played, brought to the sink's rate by an outside tool.
    tagWavData played;
    played.rate = 22050;
    played.channels = 2;
    played.samples.assign(speech.samples.begin(), speech.samples.begin() + blocks * perBlock);
    const QString in = QDir(m_dir.path()).filePath("played.wav");
    const QString up = QDir(m_dir.path()).filePath("played44.wav");
    ASSERT_TRUE(WriteWavFile(in, played));
    ASSERT_TRUE(RunProgram("sox", {in, "-r", QString::number(rate), "-c", "1", up}));
    tagWavData reference;
    ASSERT_TRUE(ReadWavFile(up, reference));
    const tagRecordingComparison c =
        CompareRecording(Channel(reference.samples, 1, 0), Channel(heard, 1, 0), rate / 4, 16000);
    const double levelDb = 20 * std::log10(c.levelRatio);
    std::printf("playback: correlation %.3f, level %+.1f dB, duration ratio %.3f\n", c.correlation,
                levelDb, c.durationRatio);
    EXPECT_GT(c.correlation, 0.9);
    EXPECT_NEAR(levelDb, 0.0, 3.0);
    EXPECT_NEAR(c.durationRatio, 1.0, 0.05);
}

TEST_F(Pulse, APlayerWithNothingToPlayLetsTheSinkSleep) {
    const auto sinkState = [] {
        for (const QString& line : Pactl({"list", "short", "sinks"}).split('\n'))
            if (line.section('\t', 1, 1) == "ci_sink")
                return line.section('\t', 4, 4);
        return QString();
    };
    CCountingWaveOut player;
    player.SetFormat(3);
    ASSERT_EQ(player.Open(), 1);
    // Open and silent: nothing keeps the sound card mixing.
    Spin(std::chrono::milliseconds(300));
    EXPECT_EQ(sinkState().toStdString(), "IDLE");
    // Each block is played, and once it is out the sink rests again.
    const std::vector<char> block(kSpeechBlockBytes, 0);
    for (int round = 1; round <= 2; ++round) {
        player.Play(block.data(), static_cast<int>(block.size()));
        ASSERT_TRUE(WaitUntil([&] { return sinkState() == "RUNNING"; }, std::chrono::seconds(5)));
        ASSERT_TRUE(WaitUntil([&] { return player.playOver == round; }, std::chrono::seconds(5)));
        EXPECT_TRUE(WaitUntil([&] { return sinkState() == "IDLE"; }, std::chrono::seconds(2)))
            << "round " << round;
    }
}

TEST_F(Pulse, OurMixGoesWithTheRoomACrashedRunsAtTheNextStartAndAChosenLineIsFoundAgain) {
    QProcess gone;
    gone.start("true");
    ASSERT_TRUE(gone.waitForStarted());
    const qint64 dead = gone.processId();
    gone.waitForFinished();
    const QString crashed = QString("%1%2").arg(CPulseStereoMix::kSinkPrefix).arg(dead);
    const QString running = QString("%1%2").arg(CPulseStereoMix::kSinkPrefix).arg(::getppid());
    ASSERT_FALSE(Load({"module-null-sink", "sink_name=" + crashed}).isEmpty());
    ASSERT_FALSE(Load({"module-loopback", "source=ci_mic", "sink=" + crashed}).isEmpty());
    ASSERT_FALSE(Load({"module-null-sink", "sink_name=" + running}).isEmpty());

    // The next start: what the gone process left goes, a running one's mix stays.
    ASSERT_TRUE(CWaveSystem::Select("pulse"));
    OpenMixers();
    EXPECT_TRUE(PactlEntries("modules", {crashed}).isEmpty());
    EXPECT_EQ(PactlEntries("modules", {running}).size(), 1);
    EXPECT_TRUE(PactlEntries("sink-inputs", {"ci_mic"}).isEmpty());

    ASSERT_TRUE(SelectRecordSource(RECORD_SOURCE_MIX, true));
    EXPECT_EQ(OurMixModules().size(), 3);
    // The room closes.
    CRecordSource::Get().Release();
    EXPECT_TRUE(OurMixModules().isEmpty());

    // A chosen line is found again after its label changed.
    CTempConfig config;
    CScriptedUi ui;
    QString line = Load({"module-null-sink", "sink_name=tavo_test_line",
                         "sink_properties=device.description=Before"});
    ASSERT_FALSE(line.isEmpty());
    SelectRecordSource(RECORD_SOURCE_MIX, false);
    const QString label = CRecordSource::Get().LineLabel("tavo_test_line.monitor");
    ASSERT_NE(label.toStdString(), "tavo_test_line.monitor");
    // The user picks the line by what it is called now.
    ui.dialogs.Script(CSoundConfigDlg::IDD, [&](CDialogModel& model) {
        auto& d = static_cast<CSoundConfigDlg&>(model);
        d.SelectMix(label);
        d.OnOK();
    });
    CSoundConfigDlg dialog;
    ASSERT_EQ(dialog.DoModal(), IDOK);
    // Another language, another profile of the card: the same device is called otherwise.
    Pactl({"unload-module", line});
    ASSERT_FALSE(Load({"module-null-sink", "sink_name=tavo_test_line",
                       "sink_properties=device.description=After"})
                     .isEmpty());
    CRecordSource::Get().SetMixName(tagMixSettings::Load().mixName);
    ASSERT_TRUE(SelectRecordSource(RECORD_SOURCE_MIX, true));
    tagListControl control;
    ASSERT_TRUE(CurrentMixer().GetListControl(control));
    const auto selected = std::find_if(control.items.begin(), control.items.end(),
                                       [](const tagMixerItem& i) { return i.value; });
    ASSERT_NE(selected, control.items.end());
    EXPECT_EQ(selected->id.toStdString(), "tavo_test_line.monitor");
    EXPECT_TRUE(selected->name.contains("After")) << selected->name.toStdString();
}

// On a server started as a desktop session starts it, with the policy modules that pause music
// for calls: the stereo mix is the microphone inside what the default output plays, recorded
// in hi-fi, and neither our mix, our recorder nor our players pause the user's music.
TEST(PulseOnADesktop, TheStereoMixIsTheMicrophoneInsideWhatTheDefaultOutputPlays) {
    CSoundServer server;
    TAVO_NEED(server.IsRunning(),
              "a sound server of the test's own: " + server.Log().toStdString());
    TAVO_NEED(HaveProgram("paplay") && HaveProgram("pacat"), "paplay and pacat");
    server.Use();
    // A microphone that hears a steady tone, and a default output that is not the first
    // monitor on the server's list.
    const double mic = 440, output = 1000, otherOutput = 700;
    for (const QStringList& module :
         {QStringList{"module-null-sink", "sink_name=other"},
          QStringList{"module-null-sink", "sink_name=speakers"},
          QStringList{"module-sine-source", "source_name=tavo_test_mic", "frequency=440"}})
        ASSERT_FALSE(Pactl(QStringList{"load-module"} + module).isEmpty())
            << module.join(' ').toStdString();
    Pactl({"set-default-sink", "speakers"});
    Pactl({"set-default-source", "tavo_test_mic"});
    // The user's music, quiet and below every tone listened for; and, as a sound card's output
    // runs all the time while a null sink fed only now and then jumps in its monitor's
    // timeline, a stream of zeros that keeps the speakers even.
    QTemporaryDir dir;
    const QString musicFile = QDir(dir.path()).filePath("music.wav");
    ASSERT_TRUE(WriteWavFile(musicFile, MakeSine(22050, 1, 330, 300, 60)));
    QProcess music, keepAwake;
    music.start("paplay", {"-d", "speakers", "--property=media.role=music", musicFile});
    keepAwake.start("pacat", {"-p", "-d", "speakers", "--raw", "--rate=44100", "--channels=2",
                              "--format=s16le", "/dev/zero"});
    ASSERT_TRUE(music.waitForStarted() && keepAwake.waitForStarted());
    const auto musicPlays = [] {
        const QStringList streams = PactlEntries("sink-inputs", {"media.role = \"music\""});
        return streams.size() == 1 && streams[0].contains("Corked: no") &&
               streams[0].contains("Mute: no");
    };
    ASSERT_TRUE(WaitUntil(musicPlays, std::chrono::seconds(10)));

    CTempConfig config;
    CRecordSource::Get().SetMixer(nullptr);
    CRecordSource::Get().SetMixName(QString());
    ASSERT_TRUE(CWaveSystem::Select("pulse"));
    ASSERT_EQ(WaveInGetNumDevs(), 1) << "the microphone is the one input";
    CCollectingWaveIn engine(AUDIO_QUALITY_HIFI);
    engine.SetFormat(AUDIO_QUALITY_HIFI);
    ASSERT_EQ(engine.Open(), 1);
    engine.Start();
    ASSERT_TRUE(WaitUntil([&] { return engine.Count() >= 2; }, std::chrono::seconds(15)));
    const auto loudest = [](const std::vector<double>& heard, double freq) {
        return Loudest(heard, freq, 22050);
    };

    // Speaking with the settings as they come: the stereo mix, no line chosen yet; and a
    // player busy with the room's voice all the while.
    ASSERT_TRUE(tagMixSettings::Load().isOpenMix);
    ASSERT_TRUE(SelectRecordSource(RECORD_SOURCE_MIX, true));
    EXPECT_EQ(CRecordSource::Get().MixName().toStdString(), CPulseMixer::kStereoMix);
    EXPECT_EQ(OurMixModules().size(), 3) << "a sink and two loopbacks";
    CCountingWaveOut player;
    player.SetFormat(AUDIO_QUALITY_HIFI);
    ASSERT_EQ(player.Open(), 1);
    const std::vector<char> silence(kMp3BlockBytes, 0);
    for (int i = 0; i < 16; ++i) player.Play(silence.data(), kMp3BlockBytes);
    std::vector<double> heard =
        Heard(engine, dir.path(), {{"speakers", output}, {"other", otherOutput}}, 2);
    EXPECT_GT(player.Pending(), 0);
    EXPECT_TRUE(musicPlays()) << PactlEntries("sink-inputs").join('\n').toStdString();
    EXPECT_GT(loudest(heard, mic), kHeardTone) << "the microphone is in the mix";
    EXPECT_GT(loudest(heard, output), kHeardTone) << "what the default output plays is";
    EXPECT_LT(loudest(heard, otherOutput), kNoTone) << "another output is not";
    player.Close();

    // The microphone's line is ours: muting it or turning it down leaves the device alone.
    ASSERT_TRUE(SetMicLineMute(true));
    heard = Heard(engine, dir.path(), {{"speakers", output}}, 2);
    EXPECT_LT(loudest(heard, mic), kNoTone);
    EXPECT_GT(loudest(heard, output), kHeardTone);
    EXPECT_EQ(Pactl({"get-source-mute", "tavo_test_mic"}).toStdString(), "Mute: no");
    ASSERT_TRUE(SetMicLineMute(false));
    SetMicVolume(32768);
    EXPECT_NEAR(GetMicVolume(), 32768, 2);
    const QStringList line = PactlEntries("sink-inputs", {"tavo.line = \"microphone\""});
    ASSERT_EQ(line.size(), 1);
    EXPECT_TRUE(line[0].contains("/  50% /")) << line[0].toStdString();
    EXPECT_TRUE(line[0].contains("Mute: no"));
    EXPECT_TRUE(Pactl({"get-source-volume", "tavo_test_mic"}).contains("/ 100% /"));

    // The microphone alone: the mix goes, the recorder moves to the device and records it
    // through the same line.
    ASSERT_TRUE(SelectRecordSource(RECORD_SOURCE_MIC, true));
    EXPECT_TRUE(OurMixModules().isEmpty());
    SetMicVolume(65535);
    heard = Heard(engine, dir.path(), {{"speakers", output}}, 2);
    EXPECT_GT(loudest(heard, mic), kHeardTone);
    EXPECT_LT(loudest(heard, output), kNoTone);
    ASSERT_TRUE(SetMicLineMute(true));
    // Just after a move the server's recording buffer still holds more than a second of what
    // the line carried before.
    const size_t drained = engine.Count() + 4;
    WaitUntil([&] { return engine.Count() >= drained; }, std::chrono::seconds(10));
    heard = Heard(engine, dir.path(), {}, 2);
    EXPECT_LT(loudest(heard, mic), kNoTone);
    EXPECT_EQ(Pactl({"get-source-mute", "tavo_test_mic"}).toStdString(), "Mute: no");
    engine.Close();
    CRecordSource::Get().Release();
    music.kill();
    keepAwake.kill();
    music.waitForFinished(5000);
    keepAwake.waitForFinished(5000);
}

TEST(PulseWithoutDevices, NoServerMeansNoDevicesAndNothingOpens) {
    CScopedEnv noServer("PULSE_SERVER", "unix:/nonexistent/tavo-no-server");
    ASSERT_TRUE(CWaveSystem::Select("pulse"));
    EXPECT_EQ(WaveInGetNumDevs(), 0);
    EXPECT_EQ(WaveOutGetNumDevs(), 0);
    CRecordSource::Get().SetMixer(nullptr);
    EXPECT_FALSE(SelectRecordSource(RECORD_SOURCE_MIX, true));
    EXPECT_FALSE(SetMicLineMute(true));
    EXPECT_EQ(GetMicVolume(), -1);
    CWaveOut player;
    player.SetFormat(2);
    EXPECT_EQ(player.Open(), 0);
    CCollectingWaveIn engine(AUDIO_QUALITY_SPEECH);
    EXPECT_EQ(engine.Open(), 0);
}
