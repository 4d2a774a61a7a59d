// Crashes a real program (crash_child) on its main thread and on workers, and holds the files
// it leaves against what the program said it did.

#include "ChildRun.h"
#include "StackListing.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <fstream>
#include <regex>

namespace {

const char kSentence[] = "对不起，由于应用程序异常，需要退出，请重新启动！";

// The line of crash_child.cpp that carries a "crash site" mark.
unsigned MarkedLine(const std::string& mark) {
    std::ifstream source(CRASH_CHILD_SOURCE);
    std::string line;
    for (unsigned number = 1; std::getline(source, line); ++number) {
        if (line.find("// crash site: " + mark) != std::string::npos) {
            return number;
        }
    }
    return 0;
}

int NumberAfter(const std::string& text, const std::string& label) {
    std::smatch match;
    if (!std::regex_search(text, match, std::regex(label + " (\\d+)"))) {
        return -1;
    }
    return std::stoi(match[1]);
}

class CrashCapture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_folder = m_dir.path().toStdString() + "/run";
        ASSERT_TRUE(QDir().mkpath(QString::fromStdString(m_folder)));
        m_dumps = m_folder;
    }

    // The files go to the working folder unless a dump folder is given (and m_dumps is it).
    tagChildRun Crash(const std::string& mode) {
        std::vector<std::string> args{CRASH_CHILD_PATH, mode};
        if (m_dumps != m_folder) {
            args.insert(args.end(), {"--dump-folder", m_dumps});
        }
        tagChildRun run = RunChild(m_folder, args);
        EXPECT_TRUE(run.started);
        return run;
    }

    std::vector<std::string> Dumps() const {
        std::vector<std::string> names;
        for (const QString& name :
             QDir(QString::fromStdString(m_dumps)).entryList({"Dump_*"}, QDir::Files)) {
            names.push_back(name.toStdString());
        }
        return names;
    }

    std::string Path(const std::string& name) const { return m_dumps + "/" + name; }

    tagStackListing Listing(const std::string& name) {
        tagStackListing listing;
        std::string error;
        const std::string text = ReadWholeFile(Path(name));
        EXPECT_TRUE(listing.Parse(text, &error)) << error << "\n" << text;
        return listing;
    }

    // What the debugger makes of a dump the crash left.
    std::string Debug(const std::string& name, const std::vector<std::string>& commands) {
        const std::string folder = m_dir.path().toStdString() + "/lldb";
        QDir().mkpath(QString::fromStdString(folder));
        return Debugger(folder, Path(name), commands);
    }

    // The frame is the named function of crash_child, at the marked line when one is given.
    static void ExpectChildFrame(const tagStackListing& listing, size_t index,
                                 const std::string& function, const std::string& mark = {}) {
        ASSERT_LT(index, listing.frames.size());
        const tagListedFrame& frame = listing.frames[index];
        EXPECT_TRUE(frame.found);
        EXPECT_NE(frame.name.find(function), std::string::npos) << frame.name;
        ASSERT_TRUE(frame.hasLine) << frame.name;
        EXPECT_TRUE(frame.file.ends_with("crash_child.cpp")) << frame.file;
        if (!mark.empty()) {
            EXPECT_EQ(frame.line, MarkedLine(mark)) << function;
        }
    }

    QTemporaryDir m_dir;
    std::string m_folder;
    std::string m_dumps;
};

TEST_F(CrashCapture, MainThreadCrashLeavesBothFilesShowsTheMessageAndEnds) {
    const tagChildRun run = Crash("main-segv");
    const int mainTid = NumberAfter(run.out, "main-tid");
    ASSERT_GT(mainTid, 0) << run.out << run.err;

    // The process ends by the signal that crashed it, after the user saw the sentence in a
    // topmost box captioned "Warning".
    EXPECT_FALSE(run.exited);
    EXPECT_EQ(run.signal, SIGSEGV);
    EXPECT_NE(run.out.find(std::string("message box [Warning] flags=0x40000: ") + kSentence),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.err.find(kSentence), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("not reached"), std::string::npos);

    const std::vector<std::string> dumps = Dumps();
    ASSERT_EQ(dumps.size(), 1u);
    std::smatch name;
    ASSERT_TRUE(std::regex_match(dumps[0], name,
                                 std::regex(R"(Dump_(\d{4})(\d\d)(\d\d)(\d\d)(\d\d)(\d\d)\.dmp)")));

    // The listing starts at the faulting line and walks out through the callers to main.
    const tagStackListing listing = Listing("debug.log");
    ExpectChildFrame(listing, 0, "WriteThroughBadPointer", "bad pointer");
    const int caller = listing.Find("CrashOnMainThread");
    const int top = listing.Find("main");
    EXPECT_EQ(caller, 1);
    EXPECT_GT(top, caller);
    // Both files carry the time of the same crash.
    EXPECT_EQ(listing.stamp, std::string(name[2]) + "-" + std::string(name[3]) + " " +
                                 std::string(name[4]) + ":" + std::string(name[5]) + ":" +
                                 std::string(name[6]));

    // The debugger finds the crashed thread stopped by the signal, walks its stack (the dump
    // holds the stack memory) into the program's own functions, and lists the program among
    // the modules.
    TAVO_NEED(tavotest::HaveProgram("lldb"), "lldb");
    const std::string lldb = Debug(dumps[0], {"thread list", "bt", "image list"});
    EXPECT_NE(lldb.find("tid = " + std::to_string(mainTid)), std::string::npos) << lldb;
    EXPECT_NE(lldb.find("stop reason = signal SIGSEGV"), std::string::npos) << lldb;
    EXPECT_NE(lldb.find("WriteThroughBadPointer"), std::string::npos) << lldb;
    EXPECT_NE(lldb.find("CrashOnMainThread"), std::string::npos) << lldb;
    EXPECT_NE(lldb.find("/crash_child"), std::string::npos) << lldb;
    // Each module is the file on disk by its build id: the id the dump gives it is the one in
    // the file's own note (a wrong one would leave the debugger an empty stand-in).
    const std::regex module(R"(\[ *\d+\] ([0-9A-F-]*) +0x[0-9a-f]+ (/\S+))");
    int modules = 0;
    for (std::sregex_iterator it(lldb.begin(), lldb.end(), module), end; it != end; ++it) {
        const std::string file = (*it)[2];
        EXPECT_EQ((*it)[1], AsListed(BuildIdOf(file))) << file;
        ++modules;
    }
    EXPECT_GT(modules, 3) << lldb;
}

TEST_F(CrashCapture, WorkerCrashEndsOnlyThatThreadWithoutAMessageAndFillsAChosenDumpFolder) {
    m_dumps = m_dir.path().toStdString() + "/dumps";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(m_dumps)));
    const tagChildRun run = Crash("worker-segv");
    // The chosen folder takes both files, the working folder neither.
    EXPECT_TRUE(QDir(QString::fromStdString(m_folder)).isEmpty()) << run.out << run.err;
    const int mainTid = NumberAfter(run.out, "main-tid");
    const int workerTid = NumberAfter(run.out, "worker-tid");
    ASSERT_GT(workerTid, 0) << run.out << run.err;
    EXPECT_NE(workerTid, mainTid);

    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out.find("not reached"), std::string::npos);
    EXPECT_EQ(run.out.find("message box"), std::string::npos) << run.out;
    // The thread ended the ordinary way before the join returned: its thread-specific data and
    // thread-locals were released, and a later thread starts without them.
    const size_t released = run.out.find("thread data released");
    const size_t destroyed = run.out.find("thread-local destroyed");
    const size_t goesOn = run.out.find("main thread still running");
    ASSERT_NE(goesOn, std::string::npos) << run.out;
    EXPECT_LT(released, goesOn) << run.out;
    EXPECT_LT(destroyed, goesOn) << run.out;
    EXPECT_NE(run.out.find("new thread data: none"), std::string::npos) << run.out;
    EXPECT_EQ(run.err.find(kSentence), std::string::npos) << run.err;

    const std::vector<std::string> dumps = Dumps();
    ASSERT_EQ(dumps.size(), 1u);
    const tagStackListing listing = Listing("debug.log");
    ExpectChildFrame(listing, 0, "WriteThroughBadPointer", "bad pointer");
    EXPECT_EQ(listing.Find("CrashOnWorker"), 1);
    EXPECT_EQ(listing.Find("CrashOnMainThread"), -1);

    // Every thread is in the dump, the main thread too; the worker is the one stopped.
    TAVO_NEED(tavotest::HaveProgram("lldb"), "lldb");
    const std::string lldb = Debug(dumps[0], {"thread list"});
    EXPECT_NE(lldb.find("tid = " + std::to_string(mainTid)), std::string::npos) << lldb;
    const size_t worker = lldb.find("tid = " + std::to_string(workerTid));
    ASSERT_NE(worker, std::string::npos) << lldb;
    EXPECT_NE(lldb.substr(worker, lldb.find('\n', worker) - worker).find("stop reason = signal"),
              std::string::npos)
        << lldb;
}

TEST_F(CrashCapture, EverySignalIsRecordedAndTheProgramGoesOn) {
    const tagChildRun run = Crash("worker-signals");
    ASSERT_TRUE(run.exited) << run.out << run.err;
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("main thread still running"), std::string::npos) << run.out;
    for (const char* name : {"ill", "fpe", "bus", "abrt"}) {
        EXPECT_NE(run.out.find(std::string("kept ") + name + ": log dump"), std::string::npos)
            << run.out;
    }

    // Code in anonymous memory has no symbol and no line.
    const tagStackListing ill = Listing("debug-ill.log");
    ASSERT_FALSE(ill.frames.empty());
    EXPECT_FALSE(ill.frames[0].found);
    EXPECT_FALSE(ill.frames[0].hasLine);

    const tagStackListing fpe = Listing("debug-fpe.log");
    ExpectChildFrame(fpe, 0, "DivideByZero", "divide");

    const tagStackListing bus = Listing("debug-bus.log");
    ExpectChildFrame(bus, 0, "ReadPastEndOfFile", "bus");

    // The walk goes out of the C library's abort back into the program.
    const tagStackListing abrt = Listing("debug-abrt.log");
    const int abortFrame = abrt.Find("abort");
    const int caller = abrt.Find("CrashByAbort");
    EXPECT_GE(abortFrame, 0);
    ASSERT_GT(caller, abortFrame);
    ExpectChildFrame(abrt, size_t(caller), "CrashByAbort", "abort");

    // Each dump's stop reason is the signal the crash's own request carried, one path for all.
    TAVO_NEED(tavotest::HaveProgram("lldb"), "lldb");
    EXPECT_NE(Debug("dump-bus.dmp", {"thread list"}).find("signal SIGBUS"), std::string::npos);
}

// Every thread that runs our code has its alternate stack without asking for it: a thread we
// started (the one that reports a wave device's buffers) and one a library started and calls
// us on (libpulse's main loop). An overflow there still leaves both files and ends only that
// thread.
TEST_F(CrashCapture, StackOverflowOnAnyThreadIsCaughtAndTheWalkStopsAt2002Frames) {
    for (const std::string mode : {"callback-overflow", "sound-server-overflow"}) {
        SCOPED_TRACE(mode);
        ASSERT_TRUE(QDir(QString::fromStdString(m_folder)).removeRecursively());
        ASSERT_TRUE(QDir().mkpath(QString::fromStdString(m_folder)));
        const tagChildRun run = Crash(mode);
        if (run.exited && run.exitCode == 5) {
            TAVO_NEED(false, "a sound server");
        }
        ASSERT_TRUE(run.exited) << run.out << run.err;
        EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
        EXPECT_NE(NumberAfter(run.out, "worker-tid"), NumberAfter(run.out, "main-tid"));
        EXPECT_NE(run.out.find("thread ended"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("main thread still running"), std::string::npos) << run.out;

        ASSERT_EQ(Dumps().size(), 1u);
        const tagStackListing listing = Listing("debug.log");
        ASSERT_EQ(listing.frames.size(), 2002u);
        for (const tagListedFrame& frame : listing.frames) {
            ASSERT_NE(frame.name.find("Recurse"), std::string::npos) << frame.name;
        }
        EXPECT_EQ(listing.frames[1].line, MarkedLine("recursion"));
    }
}

}  // namespace
