// Voice on the whole road with real devices. A speaking client in this process records from a
// sound server, encodes and sends through room 1001 of the reference service; a console client
// in the same room, on the WAV-file devices, saves what its players play. What it saved must
// sound like what was spoken: about as loud, about as long, and alike sample for sample once
// aligned. The server is started as a desktop session starts it (its normal module set, with
// the policy modules that pause music for calls): the settings as they come, speech into the
// microphone, and music playing beside.

#include "audio/AudioFormats.h"
#include "audio/MyWaveIn.h"
#include "audio/RecordSource.h"
#include "audio/VoiceOwner.h"
#include "platform/audio/PulseMixer.h"
#include "platform/audio/PulseStereoMix.h"
#include "platform/audio/WavFile.h"
#include "platform/audio/WaveSystem.h"
#include "room/ChatText.h"
#include "room/MicOrder.h"
#include "room/RoomAudio.h"
#include "room/RoomDlg.h"
#include "tests/audio/AudioTestSupport.h"
#include "tests/support/ClientHarness.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>

using namespace std::chrono_literals;
using namespace tavotest;
using audiotest::Pactl;
using audiotest::PactlEntries;

namespace {

// The file the console client's busiest player wrote (the one of the room's quality).
bool LoudestRecording(const QString& folder, tagWavData& heard, QString* name) {
    bool found = false;
    for (const QString& file : QDir(folder).entryList({"heard*.wav"}, QDir::Files)) {
        tagWavData data;
        if (ReadWavFile(QDir(folder).filePath(file), data) &&
            (!found || data.samples.size() / data.channels >
                           heard.samples.size() / std::max(1, heard.channels))) {
            heard = std::move(data);
            *name = file;
            found = true;
        }
    }
    return found;
}

// A process of the test's that runs until the test ends.
struct CBackground : QProcess {
    ~CBackground() override {
        if (state() != QProcess::NotRunning) {
            terminate();
            waitForFinished(5000);
        }
    }
};

struct VoicePulseRoad : ::testing::Test {
    void SetUp() override {
        for (const char* program : {"pactl", "paplay", "pacat", "sox"}) {
            TAVO_NEED(HaveProgram(program), program);
        }
        speech = audiotest::MakeSpeech(dir.path(), 22050, 2);
        TAVO_NEED(!speech.samples.empty(), "sox");
        speechFile = dir.filePath("speech.wav");
        ASSERT_TRUE(WriteWavFile(speechFile, speech));
        CRecordSource::Get().SetMixer(nullptr);
        CRecordSource::Get().SetMixName(QString());
    }
    void TearDown() override {
        CRecordSource::Get().SetMixName(QString());
        CWaveSystem::Select("wav");
        SetAudioQuitting(false);
    }

    // A stream of zeros into a null sink: one fed only now and then jumps in its monitor's
    // timeline, where a sound card runs all the time.
    void KeepAwake(const QString& sink) {
        auto& p = *background.emplace_back(std::make_unique<CBackground>());
        p.start("pacat", {"-p", "-d", sink, "--raw", "--rate=44100", "--channels=2",
                          "--format=s16le", "/dev/zero"});
        ASSERT_TRUE(p.waitForStarted());
    }

    // The console client that listens in room 1001 until the speaker says it is done.
    void StartListener(const CServiceProcess& service) {
        QFile script(dir.filePath("listener.tavo"));
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(
            "enter 1001\nwait-line window open 30\nsay listener-ready\n"
            "wait-line voice-sent 90\nsleep 1\nleave\n");
        script.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TAVO_CONFIG_HOME", listenerConfig.path());
        env.insert("TAVO_AUDIO", "wav:pace=real,out=" + dir.filePath("heard%d.wav"));
        listener.setProcessEnvironment(env);
        listener.setProcessChannelMode(QProcess::MergedChannels);
        listener.start(QStringLiteral(TAVO_CLI),
                       {"--config-url", service.ConfigUrl(), "--server",
                        QStringLiteral("127.0.0.1:%1").arg(service.InfoPort()), "--program-folder",
                        QStringLiteral(TAVO_PROGRAM_DIR), "--script", script.fileName()});
        ASSERT_TRUE(listener.waitForStarted());
    }

    // Inside the client's run: enters the room with the listener, takes the microphone, lets
    // during() make the speech heard, gives the microphone back and sees the listener out.
    void Speak(CVoiceClient& client, CTavoClientDlg& hall, const CServiceProcess& service,
               const std::function<void(CMyWaveIn&)>& during) {
        ASSERT_TRUE(client.EnterRoom(hall, 1001, 30s));
        StartListener(service);
        ASSERT_TRUE(WaitUntil([&] { return client.HeardLine("listener-ready"); }, 60s))
            << QString::fromUtf8(listener.readAll()).toStdString();
        ASSERT_TRUE(client.TakeMic(20s));
        CMyWaveIn& capture = client.Audio().Capture();
        // The first blocks take a moment to arrive; quiet ones go out for the first seconds.
        ASSERT_TRUE(WaitUntil([&] { return client.Tap().Sent() >= 3; }, 20s));
        sentBefore = client.Tap().Sent();
        during(capture);
        // The tail: what the server still buffers, and the block being filled.
        const int played = client.Tap().Sent();
        ASSERT_TRUE(WaitUntil([&] { return client.Tap().Sent() >= played + 6; }, 10s));
        sentAfter = client.Tap().Sent();

        client.entry.Room().Mic().Release();
        EXPECT_TRUE(WaitUntil([&] { return !capture.IsCapturing(); }, 20s));
        client.entry.Room().Chat().SetTarget(QString());
        client.entry.Room().Chat().SendText(QStringLiteral("voice-sent"));
        WaitUntil([&] { return listener.state() == QProcess::NotRunning; }, 60s);
        listenerExit = listener.state() == QProcess::NotRunning ? listener.exitCode() : -2;
        listenerOutput = QString::fromUtf8(listener.readAll());
    }

    // Plays a file into a sink and waits for it to end.
    static bool Play(const QString& sink, const QString& file) {
        QProcess player;
        player.start("paplay", {"-d", sink, file});
        return WaitUntil([&] { return player.state() == QProcess::NotRunning; }, 30s) &&
               player.exitCode() == 0;
    }

    // What the listener saved against what was spoken. A path through loopbacks keeps its
    // latency by running a little fast or slow, so it is compared piece by piece.
    void ExpectHeard(bool loopbacks) {
        ASSERT_EQ(listenerExit, 0) << listenerOutput.toStdString();
        ASSERT_GT(sentAfter, sentBefore) << "no voice was sent while the speech played";
        tagWavData heard;
        QString heardName;
        ASSERT_TRUE(LoudestRecording(dir.path(), heard, &heardName))
            << "the listener saved nothing";
        // What was spoken, at the rate the listener's player plays.
        const QString reference = dir.filePath("reference.wav");
        ASSERT_TRUE(RunProgram(
            "sox", {speechFile, "-r", QString::number(heard.rate), "-c", "1", reference}));
        tagWavData sentAtRate;
        ASSERT_TRUE(ReadWavFile(reference, sentAtRate));
        const auto sent = audiotest::Channel(sentAtRate.samples, 1, 0);
        const auto got = audiotest::Channel(heard.samples, heard.channels, 0);
        const audiotest::tagRecordingComparison c =
            audiotest::CompareRecording(sent, got, heard.rate / 4, heard.rate);
        const double tracked =
            audiotest::TrackedCorrelation(sent, got, c.lag, heard.rate / 5, heard.rate / 50);
        std::printf(
            "%s at %d Hz: %.2f s heard of %.2f s spoken, %d packets; correlation %.3f at lag "
            "%ld, %.3f piece by piece, level ratio %.2f, duration ratio %.3f\n",
            qPrintable(heardName), heard.rate, static_cast<double>(got.size()) / heard.rate,
            static_cast<double>(sent.size()) / heard.rate, sentAfter - sentBefore, c.correlation,
            c.lag, tracked, c.levelRatio, c.durationRatio);
        // The loopbacks between the test server's stand-ins keep adjusting their rate; a
        // real device's clock drifts far less.
        if (loopbacks)
            EXPECT_GT(tracked, 0.7);
        else
            EXPECT_GT(c.correlation, 0.8);
        EXPECT_GT(c.levelRatio, 0.5);
        EXPECT_LT(c.levelRatio, 2.0);
        EXPECT_NEAR(c.durationRatio, 1.0, 0.1);
    }

    QTemporaryDir dir;
    QTemporaryDir listenerConfig;
    tagWavData speech;
    QString speechFile;
    std::vector<std::unique_ptr<CBackground>> background;
    QProcess listener;
    int listenerExit = -1;
    QString listenerOutput;
    int sentBefore = 0;
    int sentAfter = 0;
};

}  // namespace

TEST_F(VoicePulseRoad, OnADesktopTheMicrophoneIsHeardAndTheMusicPlaysOn) {
    audiotest::CSoundServer server(audiotest::CSoundServer::EModules::Desktop);
    TAVO_NEED(server.IsRunning(),
              "a sound server of the test's own: " + server.Log().toStdString());
    server.Use();
    // Speakers, and a microphone that hears what is played into its feed.
    for (const QStringList& module :
         {QStringList{"module-null-sink", "sink_name=speakers"},
          QStringList{"module-null-sink", "sink_name=mic_feed"},
          QStringList{"module-remap-source", "source_name=mic", "master=mic_feed.monitor"}})
        ASSERT_FALSE(Pactl(QStringList{"load-module"} + module).isEmpty())
            << module.join(' ').toStdString();
    Pactl({"set-default-sink", "speakers"});
    Pactl({"set-default-source", "mic"});
    ASSERT_TRUE(CWaveSystem::Select("pulse"));
    ASSERT_EQ(WaveInGetNumDevs(), 1) << "the microphone is the one input";
    KeepAwake("mic_feed");
    // The user's music, quiet enough to leave the speech the loudest thing in the mix.
    const QString musicFile = dir.filePath("music.wav");
    ASSERT_TRUE(WriteWavFile(musicFile, audiotest::MakeSine(22050, 1, 330, 600, 60)));
    CBackground music;
    music.start("paplay", {"-d", "speakers", "--property=media.role=music", musicFile});
    ASSERT_TRUE(music.waitForStarted());
    const auto musicPlays = [] {
        const QStringList streams = PactlEntries("sink-inputs", {"media.role = \"music\""});
        return streams.size() == 1 && streams[0].contains("Corked: no") &&
               streams[0].contains("Mute: no");
    };
    ASSERT_TRUE(WaitUntil(musicPlays, 10s));

    CServiceProcess service(QStringLiteral(TAVO_SERVERD));
    ASSERT_TRUE(service.Running()) << service.Output().toStdString();
    CVoiceClient client(QStringLiteral(TAVO_PROGRAM_DIR));
    client.Tap();
    bool musicWhileSpeaking = false;
    client.Run(service, [&](CTavoClientDlg& hall) {
        Speak(client, hall, service, [&](CMyWaveIn&) {
            EXPECT_EQ(CRecordSource::Get().MixName().toStdString(), CPulseMixer::kStereoMix);
            EXPECT_EQ(PactlEntries("modules", {CPulseStereoMix::SinkName()}).size(), 3);
            ASSERT_TRUE(Play("mic_feed", speechFile));
            musicWhileSpeaking = musicPlays();
        });
        EXPECT_EQ(Pactl({"get-source-mute", "mic"}).toStdString(), "Mute: no")
            << "giving the microphone back leaves the device as it was";
    });
    EXPECT_TRUE(musicWhileSpeaking) << PactlEntries("sink-inputs").join('\n').toStdString();
    EXPECT_TRUE(PactlEntries("modules", {CPulseStereoMix::kSinkPrefix}).isEmpty())
        << "nothing of ours stays on the server";
    ExpectHeard(true);
}
