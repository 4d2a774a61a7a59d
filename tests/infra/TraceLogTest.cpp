// The trace log through its public operations: files in a private working folder, settings in
// a private profile folder, the time from a manual clock.

#include "infra/TraceLog.h"
#include "platform/Clock.h"
#include "platform/Profile.h"
#include "tests/support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ctime>
#include <set>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

// 2023-01-05 03:04:05.123 in UTC, the time zone of the tests: one-digit month, day and hour
// show the widths of the time fields.
constexpr int64_t kClockMs = 1672887845123LL;
const QString kTimeField = "2023/01/05 03:04:05 ";
const QString kOpenCloseTime = "23-1- 5 3:04 ";
const QString kStars = "*********************************************************";

QString ProgramName() {
    QString name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    return name.left(name.indexOf(QLatin1Char('.')));
}

// The file of a log named base (without extension) when this program opens it.
QString LogFile(const QString& base, const QString& extension = ".LOG") {
    return base + QStringLiteral(" [") + ProgramName() + QStringLiteral("]") + extension;
}

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The lines of a log file (UTF-16 little-endian, "\r\n" ends), without their ends.
QStringList ReadLines(const QString& path) {
    const QByteArray bytes = ReadBytes(path);
    EXPECT_EQ(bytes.size() % 2, 0) << path.toStdString();
    const QString text =
        QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2);
    EXPECT_TRUE(text.isEmpty() || text.endsWith("\r\n")) << path.toStdString();
    QStringList lines = text.split("\r\n");
    lines.removeLast();
    return lines;
}

class TraceLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_work.isValid());
        m_oldDir = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(m_work.path()));
        m_oldZone = qgetenv("TZ");
        qputenv("TZ", "UTC");
        tzset();
    }
    void TearDown() override {
        QDir::setCurrent(m_oldDir);
        m_oldZone.isNull() ? qunsetenv("TZ") : qputenv("TZ", m_oldZone);
        tzset();
    }

    // Settings stored before the log opens under that name.
    static void Preset(const QString& name,
                       std::initializer_list<std::pair<const char*, int>> values) {
        for (const auto& [key, value] : values) {
            CProfileStore::Open(name).WriteInt("Common", QString::fromLatin1(key), value);
        }
    }
    static int Stored(const QString& name, const char* key) {
        return CProfileStore::Open(name).GetInt("Common", QString::fromLatin1(key), -99);
    }
    // Every "key=value" of the list is stored under its key in the log's profile.
    static void ExpectStored(const QString& name, const QString& list) {
        for (const QString& pair : list.split(QLatin1Char(' '))) {
            const QString key = pair.section(QLatin1Char('='), 0, 0);
            EXPECT_EQ(Stored(name, key.toLatin1().constData()),
                      pair.section(QLatin1Char('='), 1).toInt())
                << key.toStdString();
        }
    }

    tavotest::CTempConfig m_config;
    QTemporaryDir m_work;
    QString m_oldDir;
    QByteArray m_oldZone;
    CManualClock m_clock{kClockMs};
    CScopedClock m_clockScope{m_clock};
};

// Nothing is written before the log opens, where no file can be made, nor once it is closed;
// opening writes the banner and closing the footer, in UTF-16 without a byte-order mark.
TEST_F(TraceLogTest, WritesOnlyWhileOpenBetweenBannerAndFooter) {
    CTraceLog log;
    EXPECT_FALSE(log.Write(TRACE_NORMAL, "CVideoServer", "frame %d", 1));
    EXPECT_FALSE(log.CleanLog());
    EXPECT_FALSE(log.Open("no-such-folder/Trace", 100));
    EXPECT_FALSE(log.Write(TRACE_NORMAL, "M", "x"));
    EXPECT_TRUE(QDir().entryList(QDir::Files).isEmpty());

    ASSERT_TRUE(log.Open("Trace", 100));
    EXPECT_TRUE(log.IsOpen());
    EXPECT_FALSE(log.Open("Trace", 100));
    EXPECT_EQ(ReadBytes(LogFile("Trace")).left(4), QByteArray("N\0O\0", 4));
    log.Close();
    EXPECT_FALSE(log.IsOpen());
    EXPECT_FALSE(log.Write(TRACE_NORMAL, "M", "closed"));
    EXPECT_FALSE(log.CleanLog());
    // The profile name stays replaced after closing.
    EXPECT_EQ(CAppProfile::ProfileName(), "Trace");
    ASSERT_TRUE(log.Open("Trace", 100));
    const QString columns = QStringLiteral("NOMAL: TraceLog       ") + kTimeField;
    const QString open = columns + QStringLiteral("Open. ") + kOpenCloseTime;
    EXPECT_EQ(
        ReadLines(LogFile("Trace")),
        QStringList({columns + kStars, open, columns + QStringLiteral("Close. ") + kOpenCloseTime,
                     columns + kStars, columns + kStars, open}));
}

// The settings live in the log's profile: opening stores the missing ones (hasTime counts only
// as 1, Debug as anything but 0, a stored -1 as missing), SetFormat fills zero widths and
// stores them all, and the lines follow them.
TEST_F(TraceLogTest, SettingsComeFromTheLogsProfileSetFormatStoresThemAndLinesFollowThem) {
    Preset("Read", {{"hasTime", 2}, {"Debug", 5}, {"WidthFrom", -1}});
    CTraceLog log;
    ASSERT_TRUE(log.Open("Read", 100));
    tagFormat format{};
    EXPECT_TRUE(log.GetFormat(&format));
    EXPECT_EQ(format.widthType, 7);
    EXPECT_EQ(format.widthFrom, 15);
    EXPECT_FALSE(format.hasTime);
    ExpectStored("Read",
                 "bOutputToVC_Wnd=0 WidthType=7 WidthFrom=15 hasTime=2 hasProcessID=0 "
                 "hasThreadID=0 hasMillisecond=0 Debug=5");
    ASSERT_TRUE(log.Write(TRACE_DEBUG, "CAviRecord", "key frame"));
    EXPECT_EQ(ReadLines(LogFile("Read")).last(), "DEBUG: CAviRecord     key frame");

    tagFormat set{0, 0, false, true, false, true};
    log.SetFormat(&set);
    EXPECT_EQ(set.widthType, 7);
    EXPECT_EQ(set.widthFrom, 9);
    tagFormat read{};
    ASSERT_TRUE(log.GetFormat(&read));
    EXPECT_EQ(std::tuple(read.widthType, read.widthFrom, read.hasTime, read.hasProcessID,
                         read.hasThreadID, read.hasMillisecond),
              std::tuple(7, 9, false, true, false, true));
    ExpectStored("Read",
                 "bOutputToVC_Wnd=0 WidthType=7 WidthFrom=9 hasTime=0 hasProcessID=1 hasThreadID=0 "
                 "hasMillisecond=1 Debug=1");
    ASSERT_TRUE(log.Write(TRACE_NORMAL, "CVideoServer", "x"));
    EXPECT_EQ(ReadLines(LogFile("Read")).last(),
              QStringLiteral("NOMAL: CVideoSe ") +
                  QString::asprintf("%05X ", static_cast<unsigned>(getpid())) +
                  QStringLiteral("x"));

    // Every optional field, in columns of the stored widths.
    Preset("Fields", {{"WidthType", 4},
                      {"WidthFrom", 6},
                      {"hasMillisecond", 1},
                      {"hasProcessID", 1},
                      {"hasThreadID", 1}});
    CTraceLog fields;
    ASSERT_TRUE(fields.Open("Fields", 100));
    ASSERT_TRUE(fields.Write(TRACE_ALARM, "CVideoServer", "sent %d of %s", 3, "视频"));
    const QStringList lines = ReadLines(LogFile("Fields"));
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[2], QStringLiteral("ALA CVide ") + kTimeField + QStringLiteral("123 ") +
                            QString::asprintf("%05X %05X ", static_cast<unsigned>(getpid()),
                                              static_cast<unsigned>(gettid())) +
                            QStringLiteral("sent 3 of 视频"));
}

// Each write is one line: its level's tag, the module cut to its column, the message cut to
// the buffer; or nothing, for a debug line without "Debug" or while the output goes elsewhere.
TEST_F(TraceLogTest, EachWriteIsOneLineInFixedColumnsOrNone) {
    Preset("Lines", {{"hasTime", 0}});
    CTraceLog log;
    ASSERT_TRUE(log.Open("Lines", 100));
    EXPECT_TRUE(log.Write(TRACE_NORMAL, "A", "n"));
    EXPECT_TRUE(log.Write(TRACE_ALARM, "A", "a"));
    EXPECT_TRUE(log.Write(TRACE_ERROR, "A", "e"));
    // Dropped lines still count as written.
    EXPECT_TRUE(log.Write(TRACE_DEBUG, "A", "d"));
    log.SetOutput(5);
    EXPECT_EQ(Stored("Lines", "bOutputToVC_Wnd"), 1);
    EXPECT_TRUE(log.Write(TRACE_ERROR, "A", "dropped"));
    log.SetOutput(0);
    EXPECT_EQ(Stored("Lines", "bOutputToVC_Wnd"), 0);
    for (int level : {4, -1}) {
        EXPECT_TRUE(log.Write(level, "A", "%d", level));
    }
    EXPECT_TRUE(log.Write(TRACE_NORMAL, "CAVeryLongModuleName", "cut"));
    EXPECT_TRUE(log.Write(TRACE_NORMAL, nullptr, "no module"));
    const QByteArray ascii(3000, 'x');
    const QByteArray wide = QString(2000, QChar(0x4E2D)).toUtf8();
    const QByteArray exact(1023, 'y');
    for (const QByteArray* message : {&ascii, &wide, &exact}) {
        ASSERT_TRUE(log.Write(TRACE_NORMAL, "M", "%s", message->constData()));
    }
    const QString columns = "NOMAL: M              ";
    EXPECT_EQ(ReadLines(LogFile("Lines")).mid(2), QStringList({
                                                      "NOMAL: A              n",
                                                      "ALARM: A              a",
                                                      "ERROR: A              e",
                                                      "UNREG: A              4",
                                                      "UNREG: A              -1",
                                                      "NOMAL: CAVeryLongModu cut",
                                                      "NOMAL:                no module",
                                                      columns + QString(1023, QLatin1Char('x')),
                                                      columns + QString(1023, QChar(0x4E2D)),
                                                      columns + QString::fromLatin1(exact),
                                                  }));
}

TEST_F(TraceLogTest, NameRulesForExtensionAndProgram) {
    {
        CTraceLog log;
        ASSERT_TRUE(log.Open("My.Trace.txt", 100));
        log.Close();
    }
    EXPECT_TRUE(QFile::exists(LogFile("My", ".Trace.txt")));
    {
        // No name: the application's, which is the program's own, so no suffix.
        CTraceLog log;
        ASSERT_TRUE(log.Open(QString(), 100));
        EXPECT_EQ(CAppProfile::ProfileName(), QCoreApplication::applicationName());
        log.Close();
    }
    EXPECT_TRUE(QFile::exists(ProgramName() + QStringLiteral(".LOG")));
}

TEST_F(TraceLogTest, HeldFileGivesTheNumberedNameAndBackup) {
    // A log named after the program keeps its plain name.
    const QString name = ProgramName();
    const QByteArray held = QFile::encodeName(name + QStringLiteral(".LOG"));
    const int fd = ::open(held.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);

    CTraceLog log;
    ASSERT_TRUE(log.Open(name, 100));
    ASSERT_TRUE(log.Write(TRACE_ERROR, "CAviRecord", "held"));
    const QString numbered = name + QStringLiteral("[0].LOG");
    EXPECT_EQ(ReadLines(numbered).size(), 3);
    // A second log of the same name in this process finds [0] taken as well.
    CTraceLog second;
    ASSERT_TRUE(second.Open(name, 100));
    EXPECT_TRUE(QFile::exists(name + QStringLiteral("[1].LOG")));
    ::close(fd);

    ASSERT_TRUE(log.CleanLog());
    EXPECT_EQ(ReadLines(name + QStringLiteral("[0].OLD.LOG")).size(), 3);
    EXPECT_EQ(QFileInfo(numbered).size(), 0);
    EXPECT_EQ(QFileInfo(QString::fromLocal8Bit(held)).size(), 0);
}

TEST_F(TraceLogTest, LineWrittenAtTheLimitIsFollowedByTheBackup) {
    Preset("Limit", {{"hasTime", 0}});
    CTraceLog log;
    ASSERT_TRUE(log.Open("Limit", 1));
    const QString file = LogFile("Limit");
    const QString backup = LogFile("Limit", ".OLD.LOG");
    int i = 0;
    qint64 before = 0;
    do {
        before = QFileInfo(file).size();
        ASSERT_LT(before, 1000 + 200) << "no backup happened";
        ASSERT_FALSE(QFile::exists(backup));
        ASSERT_TRUE(log.Write(TRACE_NORMAL, "M", "line %d", i++));
    } while (before < 1000);
    EXPECT_EQ(QFileInfo(file).size(), 0);
    const QStringList saved = ReadLines(backup);
    EXPECT_EQ(ReadBytes(backup).size(), before + (22 + 5 + QString::number(i - 1).size() + 2) * 2);
    EXPECT_EQ(saved.last(), QStringLiteral("NOMAL: M              line %1").arg(i - 1));
    EXPECT_EQ(saved.size(), 2 + i);

    // The next line starts the log again; the next backup replaces the previous one.
    ASSERT_TRUE(log.Write(TRACE_NORMAL, "M", "after"));
    EXPECT_EQ(ReadLines(file), QStringList("NOMAL: M              after"));
    ASSERT_TRUE(log.CleanLog());
    EXPECT_EQ(ReadLines(backup), QStringList("NOMAL: M              after"));
}

// Writers on several threads, with backups going on under them: every line in the log and its
// backup is whole, and without backups every line arrives exactly once.
TEST_F(TraceLogTest, ConcurrentWritersKeepLinesWhole) {
    Preset("Threads", {{"hasTime", 1}, {"hasMillisecond", 1}, {"hasThreadID", 1}});
    const QRegularExpression shape(QStringLiteral(
        R"(^NOMAL: Worker         \d{4}/\d\d/\d\d \d\d:\d\d:\d\d \d{3} [0-9A-F]{5,} t=(\d) n=(\d+) (x*)$)"));
    constexpr int kThreads = 4;
    constexpr int kLines = 1500;
    for (const unsigned limit : {100000u, 4u}) {
        CTraceLog log;
        ASSERT_TRUE(log.Open("Threads", limit));
        std::vector<std::thread> threads;
        threads.reserve(kThreads);
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&log, t] {
                for (int n = 0; n < kLines; ++n) {
                    const QByteArray pad(n % 97, 'x');
                    log.Write(TRACE_NORMAL, "Worker", "t=%d n=%d %s", t, n, pad.constData());
                }
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
        log.Close();
        QStringList lines = ReadLines(LogFile("Threads"));
        lines += ReadLines(LogFile("Threads", ".OLD.LOG"));
        std::set<std::pair<int, int>> seen;
        for (const QString& line : lines) {
            if (line.contains("TraceLog")) {
                continue;
            }
            const auto match = shape.match(line);
            ASSERT_TRUE(match.hasMatch()) << line.toStdString();
            const int n = match.captured(2).toInt();
            EXPECT_EQ(match.captured(3).size(), n % 97);
            EXPECT_TRUE(seen.insert({match.captured(1).toInt(), n}).second) << line.toStdString();
        }
        if (limit == 100000u) {
            EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kLines));
        } else {
            EXPECT_FALSE(seen.empty());
        }
        QFile::remove(LogFile("Threads"));
        QFile::remove(LogFile("Threads", ".OLD.LOG"));
    }
}

}  // namespace
