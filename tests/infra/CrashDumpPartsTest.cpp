// The pieces of the dump writer, each through its own operations: the handler's command line,
// the memory map, the listing, the dump container, holding a live process and walking it.

#include "ChildRun.h"
#include "MinidumpFile.h"

#include "platform/crash/CrashDump.h"
#include "platform/crash/CrashRequest.h"
#include "platform/crash/MinidumpWriter.h"
#include "platform/crash/ProcessMaps.h"
#include "platform/crash/ProcessReader.h"
#include "platform/crash/StackLog.h"
#include "platform/crash/StackWalker.h"
#include "platform/crash/SymbolTable.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace {

// ---- the handler's command line ----

int Parse(std::vector<const char*> args, tagCrashRequest& request) {
    args.insert(args.begin(), "tavo-crashdump");
    return ParseCrashRequest(int(args.size()), args.data(), request);
}

TEST(CrashRequest, ReadsEveryValueTheHandlerSends) {
    tagCrashRequest request;
    ASSERT_EQ(
        Parse({"--pid", "4242", "--tid", "4250", "--signal", "11", "--code", "-6", "--address",
               "0xdeadbeef00", "--context", "0x7ffc12345678", "--time", "1325237415"},
              request),
        0);
    EXPECT_EQ(request.pid, 4242);
    EXPECT_EQ(request.tid, 4250);
    EXPECT_EQ(request.signo, 11);
    EXPECT_EQ(request.code, -6);
    EXPECT_EQ(request.faultAddr, 0xdeadbeef00u);
    EXPECT_EQ(request.contextAddr, 0x7ffc12345678u);
    EXPECT_EQ(request.crashTime, 1325237415);
}

TEST(CrashRequest, RefusesAnythingButOneOfEachOption) {
    const std::vector<const char*> good = {"--pid",     "1",      "--tid",  "2",         "--signal",
                                           "6",         "--code", "0",      "--address", "0",
                                           "--context", "0x10",   "--time", "0"};
    const std::vector<std::vector<const char*>> bad = {
        {},
        {"--pid", "1", "--tid", "2", "--signal", "6", "--code", "0", "--address", "0", "--context",
         "0x10"},   // no time
        {"--pid"},  // no value
        {"--pid", "0", "--tid", "2", "--signal", "6", "--code", "0", "--address", "0", "--context",
         "0x10", "--time", "0"},  // pid 0
        {"--pid", "-5", "--tid", "2", "--signal", "6", "--code", "0", "--address", "0", "--context",
         "0x10", "--time", "0"},  // negative pid
        {"--pid", "1", "--tid", "2", "--signal", "65", "--code", "0", "--address", "0", "--context",
         "0x10", "--time", "0"},  // no such signal
        {"--pid", "1x", "--tid", "2", "--signal", "6", "--code", "0", "--address", "0", "--context",
         "0x10", "--time", "0"},  // trailing junk
        {"--pid", "1", "--tid", "2", "--signal", "6", "--code", "0", "--address", "0x", "--context",
         "0x10", "--time", "0"},  // empty hex
        {"--pid", "1", "--tid", "2", "--signal", "6", "--code", "0", "--address",
         "0x10000000000000000", "--context", "0x10", "--time", "0"},  // too wide
        {"--pid", "1", "--pid", "1", "--tid", "2", "--signal", "6", "--code", "0", "--address", "0",
         "--context", "0x10", "--time", "0"},  // twice
        {"--pid", "1", "--tid", "2", "--signal", "6", "--code", "0", "--address", "0", "--context",
         "0x10", "--time", "0", "--core", "1"},  // unknown
    };
    tagCrashRequest request;
    ASSERT_EQ(Parse(good, request), 0);
    for (const auto& args : bad) {
        tagCrashRequest untouched = request;
        EXPECT_EQ(Parse(args, untouched), -1) << args.size();
        EXPECT_EQ(untouched.pid, 1);  // a refused line changes nothing
        EXPECT_EQ(untouched.contextAddr, 0x10u);
    }
}

// ---- the memory map ----

const char kMaps[] =
    "55d0a0000000-55d0a0002000 r--p 00000000 fe:00 100 /opt/tavo/bin/tavo\n"
    "55d0a0002000-55d0a0009000 r-xp 00002000 fe:00 100 /opt/tavo/bin/tavo\n"
    "55d0a0009000-55d0a000b000 rw-p 00009000 fe:00 100 /opt/tavo/bin/tavo\n"
    "55d0a1000000-55d0a1021000 rw-p 00000000 00:00 0 [heap]\n"
    "not a mapping at all\n"
    "7f0000005000-7f0000001000 r--p 00000000 fe:00 7 /backwards\n"
    "7f0000010000-7f0000020000 r--p 00000000 fe:00 200 /usr/share/fonts/a font.ttf\n"
    "7f0000030000-7f0000031000 r--p 00000000 fe:00 300 /usr/lib/libx.so (deleted)\n"
    "7f0000031000-7f0000035000 r-xp 00001000 fe:00 300 /usr/lib/libx.so (deleted)\n"
    "7f0000040000-7f0000041000 r--p 00003000 fe:00 400 /usr/lib/libtail.so\n"
    "7ffc00000000-7ffc00021000 rw-p 00000000 00:00 0                          [stack]\n"
    "7ffc00100000-7ffc00102000 r-xp 00000000 00:00 0 [vdso]";

TEST(ProcessMaps, ReadsEveryWellFormedLineAndDropsTheRest) {
    CProcessMaps maps;
    maps.Parse(kMaps);
    ASSERT_EQ(maps.Regions().size(), 10u);
    const tagMapRegion& code = maps.Regions()[1];
    EXPECT_EQ(code.start, 0x55d0a0002000u);
    EXPECT_EQ(code.end, 0x55d0a0009000u);
    EXPECT_EQ(code.offset, 0x2000u);
    EXPECT_EQ(code.inode, 100u);
    EXPECT_TRUE(code.readable && code.executable && !code.writable);
    EXPECT_EQ(maps.Regions()[4].path, "/usr/share/fonts/a font.ttf");
    EXPECT_EQ(maps.Regions()[8].path, "[stack]");
    EXPECT_EQ(maps.Text(), kMaps);

    // Start inclusive, end exclusive, nothing in the gaps.
    EXPECT_EQ(maps.Find(0x55d0a0002000)->offset, 0x2000u);
    EXPECT_EQ(maps.Find(0x55d0a0001fff)->offset, 0u);
    EXPECT_EQ(maps.Find(0x55d0a000b000), nullptr);
    EXPECT_EQ(maps.Find(0x10), nullptr);
    EXPECT_EQ(maps.Find(0x7ffc00020fff)->path, "[stack]");
}

TEST(ProcessMaps, ModulesSpanTheirFilesMappingsAndOnlyImagesCount) {
    CProcessMaps maps;
    maps.Parse(kMaps);
    std::vector<tagModule> all = maps.Modules();
    ASSERT_EQ(all.size(), 3u);  // no heap, stack, vdso, nor a file not mapped from its start
    EXPECT_EQ(all[0].path, "/opt/tavo/bin/tavo");
    EXPECT_EQ(all[0].base, 0x55d0a0000000u);
    EXPECT_EQ(all[0].size, 0xb000u);
    EXPECT_EQ(all[2].path, "/usr/lib/libx.so (deleted)");
    EXPECT_EQ(all[2].size, 0x5000u);

    std::vector<tagModule> images =
        maps.Modules([](uint64_t base) { return base != 0x7f0000010000u; });
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[1].path, "/usr/lib/libx.so (deleted)");
}

__attribute__((noinline)) int FunctionOfThisProgram(int n) {
    return n * 3 + 1;
}

TEST(ProcessMaps, LoadsALiveProcess) {
    CProcessMaps maps;
    ASSERT_EQ(maps.Load(getpid()), 0);
    const auto code = reinterpret_cast<uint64_t>(&FunctionOfThisProgram);
    const tagMapRegion* region = maps.Find(code);
    ASSERT_NE(region, nullptr);
    EXPECT_TRUE(region->executable);
    char self[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
    EXPECT_EQ(region->path, self);
    EXPECT_EQ(CProcessMaps().Load(-1), -1);
}

// ---- the listing ----

TEST(StackLog, WritesTheListingsLines) {
    tm when = {};
    when.tm_mon = 0;
    when.tm_mday = 5;
    when.tm_hour = 7;
    when.tm_min = 8;
    when.tm_sec = 9;
    EXPECT_EQ(CStackLog::TimeLine(when), "********* 01-05 07:08:09\n");

    tagSymbol withLine{true, "CRoomDlg::OnKReceive(CKParam*)", true, "/src/room/RoomDlg.cpp", 88};
    EXPECT_EQ(CStackLog::FrameLines(withLine),
              "Function : CRoomDlg::OnKReceive(CKParam*)\n"
              "[Source File : /src/room/RoomDlg.cpp]\n"
              "[Source Line : 88]\n");
    tagSymbol nameOnly{true, "memcpy", false, "", 0};
    EXPECT_EQ(CStackLog::FrameLines(nameOnly), "Function : memcpy\n");
    EXPECT_EQ(CStackLog::FrameLines(tagSymbol{}), "SymFromAdd failed!\n");

    tagSymbol longName{true, std::string(3000, 'x'), false, "", 0};
    EXPECT_EQ(CStackLog::FrameLines(longName), "Function : " + std::string(1024, 'x') + "\n");
}

TEST(StackLog, EachCrashReplacesTheListing) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/debug.log";
    tm when = {};
    when.tm_mon = 11;
    when.tm_mday = 30;
    {
        CStackLog log;
        ASSERT_EQ(log.Open(path, when), 1);
        log.AddFrame(tagSymbol{true, "first", false, "", 0});
        log.AddFrame(tagSymbol{true, "second", false, "", 0});
    }
    {
        CStackLog log;
        ASSERT_EQ(log.Open(path, when), 1);
        log.AddFrame(tagSymbol{});
    }
    EXPECT_EQ(ReadWholeFile(path), "********* 12-30 00:00:00\nSymFromAdd failed!\n");
    CStackLog nowhere;
    EXPECT_EQ(nowhere.Open(dir.path().toStdString() + "/missing/debug.log", when), 0);
    nowhere.AddFrame(tagSymbol{});  // harmless when the file could not be made
}

// ---- the dump's name ----

class ScopedZone {
public:
    explicit ScopedZone(const char* zone) {
        if (const char* old = getenv("TZ")) {
            m_old = old;
            m_had = true;
        }
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedZone() {
        if (m_had) {
            setenv("TZ", m_old.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    std::string m_old;
    bool m_had = false;
};

TEST(CrashDumpName, IsTheLocalTimeToTheSecond) {
    ScopedZone zone("CST-8");  // eight hours east of UTC
    EXPECT_EQ(CCrashDump::DumpFileName(1325237415), "Dump_20111230173015.dmp");
    EXPECT_EQ(CCrashDump::DumpFileName(1325237415), CCrashDump::DumpFileName(1325237415));
    EXPECT_EQ(CCrashDump::DumpFileName(1325237416), "Dump_20111230173016.dmp");
    EXPECT_EQ(CCrashDump::DumpFileName(1325260800), "Dump_20111231000000.dmp");
}

// ---- the dump container ----

tagCpuState Registers(uint64_t rip, uint64_t rsp) {
    tagCpuState cpu;
    cpu.rip = rip;
    cpu.rsp = rsp;
    cpu.rbp = rsp + 0x40;
    cpu.rax = 0x1111222233334444;
    cpu.hasFloat = true;
    const uint32_t mxcsr = 0x1f80;
    memcpy(cpu.fxsave + 24, &mxcsr, 4);
    return cpu;
}

TEST(MinidumpWriter, EverythingWrittenReadsBack) {
    CMinidumpWriter writer;
    writer.SetTime(1325237415);
    writer.SetProcessId(4242);
    std::vector<uint8_t> stack1(4096), stack2(512);
    for (size_t i = 0; i < stack1.size(); ++i) {
        stack1[i] = uint8_t(i * 7);
    }
    stack2.assign(stack2.size(), 0xAB);
    writer.AddThread({4242, Registers(0x55d0a0002100, 0x7ffc00010000), 0x7ffc0000ff80, stack1});
    writer.AddThread({4250, Registers(0x55d0a0002200, 0x7f1000000100), 0x7f1000000080, stack2});
    writer.AddModule({0x55d0a0000000, 0xb000, "/opt/tavo/bin/tavo", {0xde, 0xad, 0xbe, 0xef}});
    writer.AddModule({0x7f0000030000, 0x5000, "/home/用户/lib😀.so", {}});
    writer.AddMemory(0x55d0a0002000, std::vector<uint8_t>(512, 0xCC));
    writer.SetException(
        {4250, SIGBUS, 2, 0x7f0000099000, Registers(0x55d0a0002200, 0x7f1000000100)});
    writer.SetLinuxMaps(kMaps);

    CMinidumpFile dump;
    std::string error;
    ASSERT_TRUE(dump.Parse(writer.Build(), &error)) << error;
    EXPECT_EQ(dump.version & 0xFFFF, 0xA793u);
    EXPECT_EQ(dump.timeStamp, 1325237415u);
    EXPECT_EQ(dump.processId, 4242u);
    EXPECT_EQ(dump.architecture, 9);
    EXPECT_EQ(dump.platform, 0x8201u);
    EXPECT_EQ(dump.linuxMaps, kMaps);

    ASSERT_EQ(dump.threads.size(), 2u);
    EXPECT_EQ(dump.threads[0].tid, 4242u);
    EXPECT_EQ(dump.threads[0].context.rip, 0x55d0a0002100u);
    EXPECT_EQ(dump.threads[0].context.rsp, 0x7ffc00010000u);
    EXPECT_EQ(dump.threads[0].context.rbp, 0x7ffc00010040u);
    EXPECT_EQ(dump.threads[0].context.rax, 0x1111222233334444u);
    EXPECT_EQ(dump.threads[0].context.mxcsr, 0x1f80u);
    EXPECT_EQ(dump.threads[0].context.flags, 0x0010000Fu);  // control, integer, segments, float
    EXPECT_EQ(dump.ReadMemory(0x7ffc0000ff80, stack1.size()), stack1);
    EXPECT_EQ(dump.ReadMemory(0x7f1000000080, 512), stack2);
    EXPECT_EQ(dump.ReadMemory(0x55d0a0002000, 512), std::vector<uint8_t>(512, 0xCC));
    EXPECT_TRUE(dump.ReadMemory(0x55d0a0002000, 513).empty());

    ASSERT_EQ(dump.modules.size(), 2u);
    EXPECT_EQ(dump.modules[0].name, "/opt/tavo/bin/tavo");
    EXPECT_EQ(dump.modules[0].buildId, (std::vector<uint8_t>{0xde, 0xad, 0xbe, 0xef}));
    EXPECT_EQ(dump.modules[1].name, "/home/用户/lib😀.so");
    EXPECT_TRUE(dump.modules[1].buildId.empty());
    EXPECT_EQ(dump.ModuleAt(0x55d0a0002100)->size, 0xb000u);

    ASSERT_TRUE(dump.exception.has_value());
    EXPECT_EQ(dump.exception->tid, 4250u);
    EXPECT_EQ(dump.exception->code, uint32_t(SIGBUS));
    EXPECT_EQ(dump.exception->flags, 2u);
    EXPECT_EQ(dump.exception->address, 0x7f0000099000u);
    EXPECT_EQ(dump.exception->context.rip, 0x55d0a0002200u);
}

TEST(MinidumpWriter, AnExceptionOnAnUnlistedThreadKeepsItsOwnContext) {
    CMinidumpWriter writer;
    writer.SetException({77, SIGSEGV, 1, 0x42, Registers(0x1234, 0x5678)});
    CMinidumpFile dump;
    std::string error;
    ASSERT_TRUE(dump.Parse(writer.Build(), &error)) << error;
    EXPECT_TRUE(dump.threads.empty());
    ASSERT_TRUE(dump.exception.has_value());
    EXPECT_EQ(dump.exception->context.rip, 0x1234u);
    EXPECT_EQ(dump.exception->context.rsp, 0x5678u);
}

TEST(MinidumpWriter, BrokenUtf8InAPathBecomesReplacementCharacters) {
    CMinidumpWriter writer;
    // A stray continuation byte, a cut sequence, an overlong slash, a surrogate.
    writer.AddModule({0x1000,
                      0x1000,
                      "/a\x80"
                      "b\xe4\xb8"
                      "\xc0\xaf"
                      "\xed\xa0\x80",
                      {}});
    CMinidumpFile dump;
    std::string error;
    ASSERT_TRUE(dump.Parse(writer.Build(), &error)) << error;
    ASSERT_EQ(dump.modules.size(), 1u);
    EXPECT_EQ(dump.modules[0].name, "/a\uFFFDb\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD");
}

TEST(MinidumpWriter, AFileIsReplacedWholeOrReportedMissing) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/Dump_20111230173015.dmp";
    CMinidumpWriter big;
    big.AddMemory(0x1000, std::vector<uint8_t>(100000, 1));
    ASSERT_EQ(big.WriteFile(path), 0);
    CMinidumpWriter small;
    ASSERT_EQ(small.WriteFile(path), 0);
    EXPECT_EQ(ReadWholeFile(path).size(), small.Build().size());
    EXPECT_EQ(small.WriteFile(dir.path().toStdString() + "/no/such/folder/x.dmp"), -1);
}

// ---- holding and walking a live process ----

unsigned char g_pattern[64];

// Runs in a forked copy of this program: waits at the gate, then leaves with a known code.
__attribute__((noinline)) void ChildWaitsAtTheGate(int gate) {
    char go = 0;
    while (read(gate, &go, 1) < 0 && errno == EINTR) {
    }
    _exit(go == 'g' ? 7 : 8);
}

class HeldChild : public ::testing::Test {
protected:
    void SetUp() override {
        for (size_t i = 0; i < sizeof g_pattern; ++i) {
            g_pattern[i] = uint8_t(0xA0 + i);
        }
        int gate[2];
        ASSERT_EQ(pipe(gate), 0);
        m_child = fork();
        ASSERT_GE(m_child, 0);
        if (m_child == 0) {
            close(gate[1]);
            ChildWaitsAtTheGate(gate[0]);
        }
        close(gate[0]);
        m_gate = gate[1];
        memset(g_pattern, 0, sizeof g_pattern);  // only the child keeps the pattern
    }
    void TearDown() override {
        if (m_gate >= 0) {
            close(m_gate);
        }
        if (m_child > 0) {
            kill(m_child, SIGKILL);
            waitpid(m_child, nullptr, 0);
        }
    }
    // Opens the gate and returns how the child ended.
    int Release() {
        EXPECT_EQ(write(m_gate, "g", 1), 1);
        int status = 0;
        EXPECT_EQ(waitpid(m_child, &status, 0), m_child);
        m_child = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    pid_t m_child = -1;
    int m_gate = -1;
};

TEST_F(HeldChild, ReaderStopsReadsAndLetsTheProcessGoOn) {
    // The child may not have reached its read yet; holding it anywhere is fine.
    CProcessReader reader;
    ASSERT_EQ(reader.Attach(m_child), 1);
    ASSERT_EQ(reader.Threads().size(), 1u);
    EXPECT_EQ(reader.Threads()[0].tid, m_child);
    EXPECT_NE(reader.Thread(m_child), nullptr);
    EXPECT_EQ(reader.Thread(m_child + 100000), nullptr);

    unsigned char seen[sizeof g_pattern] = {};
    ASSERT_TRUE(reader.ReadExact(reinterpret_cast<uint64_t>(g_pattern), seen, sizeof seen));
    EXPECT_EQ(seen[0], 0xA0);
    EXPECT_EQ(seen[63], 0xA0 + 63);
    EXPECT_FALSE(reader.ReadExact(0x10, seen, 8));
    EXPECT_EQ(reader.Read(UINT64_MAX - 4, seen, 8), 0u);

    reader.Detach();
    EXPECT_EQ(Release(), 7);
}

TEST_F(HeldChild, WalkerAndSymbolsNameTheFunctionsOnAHeldStack) {
    // Let the child settle in its read, where its stack is known ("S": sleeping).
    for (int i = 0; i < 400; ++i) {
        const std::string stat = ReadWholeFile("/proc/" + std::to_string(m_child) + "/stat");
        const size_t state = stat.rfind(") ");
        if (state != std::string::npos && stat.compare(state + 2, 1, "S") == 0) {
            break;
        }
        usleep(5000);
    }
    CProcessReader reader;
    ASSERT_EQ(reader.Attach(m_child), 1);
    const tagThreadRegs* thread = reader.Thread(m_child);
    ASSERT_NE(thread, nullptr);
    CSymbolTable symbols;
    ASSERT_EQ(symbols.Open(m_child), 0);

    const std::vector<tagStackFrame> frames =
        CStackWalker::Walk(m_child, CpuStateFromRegs(thread->regs, &thread->fpregs), 64);
    ASSERT_GE(frames.size(), 3u);
    EXPECT_TRUE(frames[0].exact);
    bool sawGate = false, sawSetUp = false;
    for (const tagStackFrame& frame : frames) {
        const tagSymbol symbol = symbols.Lookup(frame.exact ? frame.pc : frame.pc - 1);
        sawGate |= symbol.found && symbol.name.find("ChildWaitsAtTheGate") != std::string::npos &&
                   symbol.hasLine &&
                   symbol.file.find("CrashDumpPartsTest.cpp") != std::string::npos;
        sawSetUp |= symbol.found && symbol.name.find("HeldChild::SetUp") != std::string::npos;
    }
    EXPECT_TRUE(sawGate);
    EXPECT_TRUE(sawSetUp);
    // The walk is capped.
    EXPECT_EQ(CStackWalker::Walk(m_child, CpuStateFromRegs(thread->regs, nullptr), 2).size(), 2u);
    // Nothing is known about an address no module covers.
    const tagSymbol nothing = symbols.Lookup(0x10);
    EXPECT_FALSE(nothing.found);
    EXPECT_FALSE(nothing.hasLine);
    EXPECT_EQ(symbols.Close(), 0);
    EXPECT_EQ(symbols.Close(), -1);

    reader.Detach();
    EXPECT_EQ(Release(), 7);
}

// ---- the dump writer program ----

TEST(CrashDumpProgram, RefusesABadCommandLineAndWritesNothing) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/run";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
    const tagChildRun run = RunChild(folder, {CRASHDUMP_PATH, "--pid", "1", "--tid"});
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("usage"), std::string::npos);
    EXPECT_TRUE(QDir(QString::fromStdString(folder)).isEmpty());
}

TEST(CrashDumpProgram, WritesNothingForAProcessThatIsGone) {
    const pid_t gone = fork();
    ASSERT_GE(gone, 0);
    if (gone == 0) {
        _exit(0);
    }
    waitpid(gone, nullptr, 0);
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/run";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
    const std::string pid = std::to_string(gone);
    const tagChildRun run = RunChild(
        folder, {CRASHDUMP_PATH, "--pid", pid, "--tid", pid, "--signal", "11", "--code", "1",
                 "--address", "0x42", "--context", "0x7ffc00001000", "--time", "1325237415"});
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(QDir(QString::fromStdString(folder)).isEmpty());
}

}  // namespace
