// Live video on the whole road: the reference service in a process of its own, a console
// client that sends the test-pattern camera on video 1 and another that saves every picture
// it decodes. What arrives is the pattern: each saved picture against the pattern's picture of
// the same frame number.

#include "tests/support/ServiceProcess.h"
#include "tests/support/TestSupport.h"
#include "tests/video/VideoTestSupport.h"
#include "video/Picture.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace tavotest;

namespace {

// Room 1001 is a hi-fi room: the service gives it 8 frames a second, and the camera runs at
// that rate so that every picture it takes is sent.
constexpr int kRoomFps = 8;

struct CConsoleClient {
    QProcess process;
    QTemporaryDir config;

    void Start(const CServiceProcess& service, const QString& script, const QString& camera) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TAVO_CONFIG_HOME", config.path());
        GiveLinkAddress(env);
        env.insert("TAVO_AUDIO", "wav:pace=real,out=" + config.filePath("heard%d.wav"));
        if (camera.isEmpty()) {
            env.remove("TAVO_VIDEO_SOURCE");
        } else {
            env.insert("TAVO_VIDEO_SOURCE", camera);
        }
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral(TAVO_CLI),
                      {"--config-url", service.ConfigUrl(), "--server",
                       QStringLiteral("127.0.0.1:%1").arg(service.InfoPort()), "--program-folder",
                       QStringLiteral(TAVO_PROGRAM_DIR), "--script", script});
    }
    int Finish() {
        WaitUntil([&] { return process.state() == QProcess::NotRunning; },
                  std::chrono::seconds(60));
        return process.state() == QProcess::NotRunning ? process.exitCode() : -2;
    }
};

QString WriteScript(const QTemporaryDir& dir, const QString& name, const QString& text) {
    QFile file(dir.filePath(name));
    if (file.open(QIODevice::WriteOnly)) {
        file.write(text.toUtf8());
    }
    return file.fileName();
}

}  // namespace

TEST(VideoRoad, PicturesSentOnVideoOneArriveAsThePatternAtTheSameFrameNumber) {
    CServiceProcess service(QStringLiteral(TAVO_SERVERD));
    ASSERT_TRUE(service.Running()) << service.Output().toStdString();
    QTemporaryDir dir;
    const QString frames = dir.filePath(QStringLiteral("frames"));

    CConsoleClient bob;
    bob.Start(service,
              WriteScript(dir, "bob.tavo",
                          "login bob bob123\nwait-line 登陆成功 15\nenter 1001\n"
                          "wait-line window open 30\nsave-frames " +
                              frames +
                              "\nwait-line video 1 picture 40\nsleep 4\n"
                              "video-status\nleave\n"),
              QString());
    ASSERT_TRUE(bob.process.waitForStarted());
    CConsoleClient alice;
    alice.Start(service,
                WriteScript(dir, "alice.tavo",
                            "login alice alice123\nwait-line 登陆成功 15\nenter 1001\n"
                            "wait-line window open 30\nmic\nvideo on\n"
                            "wait-line own video open 15\nsleep 12\nleave\n"),
                PatternSource().replace(QStringLiteral("%1/1").arg(kPatternFps),
                                        QStringLiteral("%1/1").arg(kRoomFps)));
    ASSERT_TRUE(alice.process.waitForStarted());
    const int bobExit = bob.Finish();
    const int aliceExit = alice.Finish();
    const QString bobLog = QString::fromUtf8(bob.process.readAll());
    const QString aliceLog = QString::fromUtf8(alice.process.readAll());
    ASSERT_EQ(bobExit, 0) << bobLog.toStdString() << aliceLog.toStdString();
    ASSERT_EQ(aliceExit, 0) << aliceLog.toStdString();

    const QStringList saved =
        QDir(frames).entryList({QStringLiteral("video1-*.bmp")}, QDir::Files, QDir::Name);
    ASSERT_GE(saved.size(), 2 * kRoomFps) << bobLog.toStdString();
    static const QRegularExpression kNumber(QStringLiteral("video1-(\\d+)\\.bmp"));
    std::vector<std::pair<int, tagVideoPicture>> pictures;
    int highest = 0;
    for (const QString& name : saved) {
        tagVideoPicture p;
        ASSERT_TRUE(ReadBmpFile(QDir(frames).filePath(name), p)) << name.toStdString();
        const int number = kNumber.match(name).captured(1).toInt();
        highest = std::max(highest, number);
        pictures.emplace_back(number, p);
    }
    // The camera's first picture may come before the small stream is switched on; which
    // picture frame 1 is, is settled once, by the first frame received.
    const auto pattern = PatternPictures(highest + 2, 176, 144);
    ASSERT_EQ(static_cast<int>(pattern.size()), highest + 2);
    const auto& [first, firstPicture] = pictures.front();
    const int offset =
        Psnr(firstPicture, pattern[size_t(first)]) > Psnr(firstPicture, pattern[size_t(first - 1)])
            ? 1
            : 0;
    for (const auto& [number, picture] : pictures) {
        EXPECT_GE(Psnr(picture, pattern[size_t(number - 1 + offset)]), 30.0) << "frame " << number;
    }
    // Nothing was dropped on the way: the numbers run without a gap from the first.
    EXPECT_EQ(pictures.back().first - first + 1, static_cast<int>(pictures.size()));
}
