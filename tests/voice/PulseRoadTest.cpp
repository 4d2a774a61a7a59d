// Voice on the whole road with real devices. Speech is played into a sink of the test's sound
// server; a speaking client in this process records that sink's monitor as its stereo mix,
// encodes it and sends it through room 1001 of the reference service; a console client in the
// same room, on the WAV-file devices, saves what its players play. What it saved must sound
// like what was played: about as loud, about as long, and alike sample for sample once
// aligned. Skipped when no sound server answers.

#include "audio/AudioFormats.h"
#include "audio/MyWaveIn.h"
#include "audio/RecordSource.h"
#include "audio/VoiceOwner.h"
#include "platform/audio/WavFile.h"
#include "platform/audio/WaveSystem.h"
#include "room/ChatText.h"
#include "room/MicOrder.h"
#include "room/RoomAudio.h"
#include "room/RoomDlg.h"
#include "tests/audio/AudioTestSupport.h"
#include "tests/voice/VoiceHarness.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>

using namespace std::chrono_literals;
using namespace voicetest;

namespace {

const QString kSink = QStringLiteral("tavo_voice_road");
const QString kSinkName = QStringLiteral("TavoVoiceRoad");

QString Pactl(const QStringList& args) {
    QByteArray out;
    audiotest::Run("pactl", args, &out);
    return QString::fromUtf8(out).trimmed();
}

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

struct VoicePulseRoad : ::testing::Test {
    void SetUp() override {
        for (const char* program : {"pactl", "paplay", "pacat", "sox"}) {
            if (!audiotest::HaveProgram(program))
                GTEST_SKIP() << program << " is not installed";
        }
        if (!CWaveSystem::Select("pulse") || WaveInGetNumDevs() == 0)
            GTEST_SKIP() << "no PulseAudio server reachable";
        speech = audiotest::MakeSpeech(dir.path(), 22050, 2);
        if (speech.samples.empty())
            GTEST_SKIP() << "no test speech (neither espeak-ng nor sox)";
        speechFile = dir.filePath("speech.wav");
        ASSERT_TRUE(WriteWavFile(speechFile, speech));
        // A sink of our own, named so that its monitor is found by that name alone.
        previousSource = Pactl({"get-default-source"});
        module = Pactl({"load-module", "module-null-sink", "sink_name=" + kSink,
                        "sink_properties=device.description=" + kSinkName});
        ASSERT_FALSE(module.isEmpty()) << "the sound server refused a null sink";
        CRecordSource::Get().SetMixer(nullptr);
        CRecordSource::Get().SetMixName(QString());
    }
    void TearDown() override {
        if (keepAwake.state() != QProcess::NotRunning) {
            keepAwake.terminate();
            keepAwake.waitForFinished(5000);
        }
        if (!module.isEmpty()) {
            Pactl({"unload-module", module});
        }
        if (!previousSource.isEmpty()) {
            Pactl({"set-default-source", previousSource});
        }
        CRecordSource::Get().SetMixName(QString());
        CWaveSystem::Select("wav");
        SetAudioQuitting(false);
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

    QTemporaryDir dir;
    QTemporaryDir listenerConfig;
    tagWavData speech;
    QString speechFile;
    QString module;
    QString previousSource;
    QProcess keepAwake;
    QProcess listener;
};

}  // namespace

TEST_F(VoicePulseRoad, SpeechPlayedIntoTheStereoMixIsHeardByAnotherMember) {
    CServiceProcess service(QStringLiteral(TAVO_SERVERD));
    ASSERT_TRUE(service.Running()) << service.Output().toStdString();
    CVoiceClient client(QStringLiteral(TAVO_PROGRAM_DIR));
    // Speaking records the stereo mix, the line the user chose by its name.
    tagMixSettings mix;
    mix.isOpenMix = 1;
    mix.isMicMute = 0;
    mix.mixName = "Monitor of " + kSinkName;
    mix.Save();
    CVoiceTap& tap = client.Tap();

    int listenerExit = -1;
    QString listenerOutput;
    int sentBefore = 0;
    int sentAfter = 0;
    client.Run(service, [&](CTavoClientDlg& hall) {
        ASSERT_TRUE(client.EnterRoom(hall, 1001, 30s));
        StartListener(service);
        ASSERT_TRUE(WaitFor([&] { return client.HeardLine("listener-ready"); }, 60s))
            << QString::fromUtf8(listener.readAll()).toStdString();

        // A null sink that wakes from idle jumps in its monitor's timeline; a stream of zeros
        // keeps it running while we record.
        keepAwake.start("pacat", {"-p", "-d", kSink, "--raw", "--rate=44100", "--channels=2",
                                  "--format=s16le", "/dev/zero"});
        ASSERT_TRUE(keepAwake.waitForStarted());
        ASSERT_TRUE(client.TakeMic(20s));
        EXPECT_EQ(Pactl({"get-default-source"}), kSink + ".monitor")
            << "speaking did not select the stereo mix";
        EXPECT_EQ(CRecordSource::Get().MixName(), "Monitor of " + kSinkName);
        CMyWaveIn& capture = client.Audio().Capture();
        // The first blocks take a moment to arrive.
        ASSERT_TRUE(WaitFor([&] { return capture.CompletedCount() >= 3; }, 20s));
        sentBefore = tap.Sent();

        QProcess player;
        player.start("paplay", {"-d", kSink, speechFile});
        ASSERT_TRUE(WaitFor([&] { return player.state() == QProcess::NotRunning; }, 30s));
        ASSERT_EQ(player.exitCode(), 0);
        // The tail: what the server still buffers, and the block being filled.
        const int completed = capture.CompletedCount();
        ASSERT_TRUE(WaitFor([&] { return capture.CompletedCount() >= completed + 6; }, 10s));
        sentAfter = tap.Sent();

        client.Entry().Room().Mic().Release();
        EXPECT_TRUE(WaitFor([&] { return !capture.IsCapturing(); }, 20s));
        client.Entry().Room().Chat().SetTarget(QString());
        client.Entry().Room().Chat().SendText(QStringLiteral("voice-sent"));
        WaitFor([&] { return listener.state() == QProcess::NotRunning; }, 60s);
        listenerExit = listener.state() == QProcess::NotRunning ? listener.exitCode() : -2;
        listenerOutput = QString::fromUtf8(listener.readAll());
    });
    ASSERT_EQ(listenerExit, 0) << listenerOutput.toStdString();
    ASSERT_GT(sentAfter, sentBefore) << "no voice was sent while the speech played";

    tagWavData heard;
    QString heardName;
    ASSERT_TRUE(LoudestRecording(dir.path(), heard, &heardName)) << "the listener saved nothing";
    // What was played, at the rate the listener's player plays.
    const QString reference = dir.filePath("reference.wav");
    ASSERT_TRUE(audiotest::Run(
        "sox", {speechFile, "-r", QString::number(heard.rate), "-c", "1", reference}));
    tagWavData sentAtRate;
    ASSERT_TRUE(ReadWavFile(reference, sentAtRate));
    const auto sent = audiotest::Channel(sentAtRate.samples, 1, 0);
    const auto got = audiotest::Channel(heard.samples, heard.channels, 0);
    const audiotest::tagRecordingComparison c =
        audiotest::CompareRecording(sent, got, heard.rate / 4, heard.rate);
    std::printf(
        "%s at %d Hz: %.2f s heard of %.2f s played, %d packets; correlation %.3f at lag %ld, "
        "level ratio %.2f, duration ratio %.3f\n",
        qPrintable(heardName), heard.rate, static_cast<double>(got.size()) / heard.rate,
        static_cast<double>(sent.size()) / heard.rate, sentAfter - sentBefore, c.correlation, c.lag,
        c.levelRatio, c.durationRatio);
    EXPECT_GT(c.correlation, 0.8);
    EXPECT_GT(c.levelRatio, 0.5);
    EXPECT_LT(c.levelRatio, 2.0);
    EXPECT_NEAR(c.durationRatio, 1.0, 0.1);
}
