// The pieces of the dump writer, each through its own operations: the handler's command line,
// the memory map, the listing, the dump container, holding a live process and walking it.

#include "ChildRun.h"

#include "platform/crash/CrashDump.h"
#include "platform/crash/CrashRequest.h"
#include "platform/crash/MinidumpWriter.h"
#include "platform/crash/ProcessMaps.h"
#include "platform/crash/StackLog.h"
#include "tests/support/TestSupport.h"

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

TEST(CrashRequest, ReadsEveryValueTheHandlerSendsAndRefusesAnythingButOneOfEachOption) {
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

    // Anything but one of each option is refused.
    const std::vector<const char*> good = {"--pid",     "1",      "--tid",  "2",         "--signal",
                                           "6",         "--code", "0",      "--address", "0",
                                           "--context", "0x10",   "--time", "0"};
    // The good line with the value at index `at` replaced.
    auto with = [&](size_t at, const char* value) {
        auto args = good;
        args[at] = value;
        return args;
    };
    auto plus = [&](std::vector<const char*> more) {
        auto args = good;
        args.insert(args.end(), more.begin(), more.end());
        return args;
    };
    const std::vector<std::vector<const char*>> bad = {
        {},
        {good.begin(), good.end() - 2},  // no time
        {"--pid"},                       // no value
        with(1, "0"),
        with(5, "65"),  // no such signal
        with(1, "1x"),  // trailing junk
        with(9, "0x"),  // empty hex
        with(9, "0x10000000000000000"),
        plus({"--pid", "1"}),   // twice
        plus({"--core", "1"}),  // unknown
    };
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

TEST(ProcessMaps, ReadsEveryWellFormedLineDropsTheRestAndGroupsModules) {
    CProcessMaps maps;
    maps.Parse(kMaps);
    EXPECT_EQ(maps.Text(), kMaps);
    // Start inclusive, end exclusive, nothing in the gaps nor in the lines that are not maps.
    const tagMapRegion* code = maps.Find(0x55d0a0002000);
    ASSERT_NE(code, nullptr);
    EXPECT_EQ(code->end, 0x55d0a0009000u);
    EXPECT_EQ(code->offset, 0x2000u);
    EXPECT_EQ(code->inode, 100u);
    EXPECT_TRUE(code->readable && code->executable && !code->writable);
    EXPECT_EQ(maps.Find(0x55d0a0001fff)->offset, 0u);
    EXPECT_EQ(maps.Find(0x7f0000010000)->path, "/usr/share/fonts/a font.ttf");
    EXPECT_EQ(maps.Find(0x7ffc00020fff)->path, "[stack]");
    EXPECT_EQ(maps.Find(0x55d0a000b000), nullptr);
    EXPECT_EQ(maps.Find(0x7f0000003000), nullptr);

    // Modules span their files' mappings, and only images count.
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

// ---- the listing ----

TEST(StackLog, EachCrashReplacesTheListingAndNamesAreCut) {
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
        log.AddFrame(tagSymbol{true, std::string(3000, 'x'), false, "", 0});
    }
    EXPECT_EQ(ReadWholeFile(path), "********* 12-30 00:00:00\nSymFromAdd failed!\nFunction : " +
                                       std::string(1024, 'x') + "\n");
    CStackLog nowhere;
    EXPECT_EQ(nowhere.Open(dir.path().toStdString() + "/missing/debug.log", when), 0);
    nowhere.AddFrame(tagSymbol{});  // harmless when the file could not be made
}

// ---- the dump's name ----

TEST(CrashDumpName, IsTheLocalTimeToTheSecond) {
    {
        tavotest::CScopedEnv zone("TZ", "CST-8");  // eight hours east of UTC
        tzset();
        EXPECT_EQ(CCrashDump::DumpFileName(1325237415), "Dump_20111230173015.dmp");
        EXPECT_EQ(CCrashDump::DumpFileName(1325260800), "Dump_20111231000000.dmp");
    }
    tzset();
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

TEST(MinidumpWriter, AFileIsReplacedWholeOrReportedMissingAndTheDebuggerReadsEverythingWritten) {
    QTemporaryDir replaced;
    const std::string file = replaced.path().toStdString() + "/Dump_20111230173015.dmp";
    CMinidumpWriter big;
    big.AddMemory(0x1000, std::vector<uint8_t>(100000, 1));
    ASSERT_EQ(big.WriteFile(file), 0);
    CMinidumpWriter small;
    ASSERT_EQ(small.WriteFile(file), 0);
    EXPECT_EQ(ReadWholeFile(file).size(), small.Build().size());
    EXPECT_EQ(small.WriteFile(replaced.path().toStdString() + "/no/such/folder/x.dmp"), -1);

    TAVO_NEED(tavotest::HaveProgram("lldb"), "lldb");
    CMinidumpWriter writer;
    writer.SetTime(1325237415);
    writer.SetProcessId(4242);
    std::vector<uint8_t> stack(512, 0xAB);
    writer.AddThread({4242, Registers(0x55d0a0002100, 0x7ffc00010000), 0x7ffc0000ff80, stack});
    writer.AddThread({4250, Registers(0x55d0a0002200, 0x7f1000000100), 0x7f1000000080, stack});
    writer.AddModule({0x55d0a0000000, 0xb000, "/opt/tavo/bin/tavo", {0xde, 0xad, 0xbe, 0xef}});
    writer.AddModule({0x7f0000030000, 0x5000, "/home/用户/lib😀.so", {}});
    // A stray continuation byte and a cut sequence become replacement characters.
    writer.AddModule({0x7f0000040000,
                      0x1000,
                      "/a\x80"
                      "b\xe4\xb8",
                      {}});
    writer.AddMemory(0x55d0a0002000, std::vector<uint8_t>(512, 0xCC));
    writer.SetException(
        {4250, SIGBUS, 2, 0x7f0000099000, Registers(0x55d0a0002200, 0x7f1000000100)});
    writer.SetLinuxMaps(kMaps);
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/Dump_20111230173015.dmp";
    ASSERT_EQ(writer.WriteFile(path), 0);

    const std::string out =
        Debugger(dir.path().toStdString(), path,
                 {"register read rip rsp rax", "memory read -c 4 0x55d0a0002000",
                  "memory read -c 4 0x7ffc0000ff80", "image list"});
    // The stopped thread's registers, and memory from the dump's own ranges and the stacks; the
    // thread list and each signal's stop reason are read from real crashes' dumps.
    EXPECT_NE(out.find("rip = 0x000055d0a0002200"), std::string::npos) << out;
    EXPECT_NE(out.find("rax = 0x1111222233334444"), std::string::npos) << out;
    EXPECT_NE(out.find("cc cc cc cc"), std::string::npos) << out;
    EXPECT_NE(out.find("ab ab ab ab"), std::string::npos) << out;
    EXPECT_NE(out.find("/opt/tavo/bin/tavo"), std::string::npos) << out;
    EXPECT_NE(out.find("/home/用户/lib😀.so"), std::string::npos) << out;
    EXPECT_NE(out.find("/a\uFFFDb\uFFFD"), std::string::npos) << out;
}

std::vector<uint8_t> Bytes(const std::string& hex) {
    const QByteArray bytes = QByteArray::fromHex(QByteArray::fromStdString(hex));
    return {bytes.begin(), bytes.end()};
}

// The module list shows each module's build id from the dump, which is how a debugger tells
// the file that crashed from a later build at the same path: a module whose file is gone still
// shows the id written for it. (Real modules' ids matching their files' notes are read from a
// real crash's dump.)
TEST(MinidumpWriter, TheDebuggerShowsTheBuildIdOfEachModule) {
    TAVO_NEED(tavotest::HaveProgram("lldb"), "lldb");
    CMinidumpWriter writer;
    writer.AddModule({0x7f0000400000, 0x5000, "/opt/tavo/lib/gone.so", Bytes("deadbeef01020304")});
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/Dump_20111230173015.dmp";
    ASSERT_EQ(writer.WriteFile(path), 0);
    const std::string out = Debugger(dir.path().toStdString(), path, {"image list"});
    EXPECT_NE(out.find(AsListed("deadbeef01020304")), std::string::npos) << out;
}

// ---- the dump writer program ----

// A bad command line, or a process that is gone: the program says so and writes nothing.
TEST(CrashDumpProgram, WritesNothingForABadCommandLineOrAProcessThatIsGone) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/run";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
    tagChildRun run = RunChild(folder, {CRASHDUMP_PATH, "--pid", "1", "--tid"});
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("usage"), std::string::npos);
    EXPECT_TRUE(QDir(QString::fromStdString(folder)).isEmpty());

    const pid_t gone = fork();
    ASSERT_GE(gone, 0);
    if (gone == 0) {
        _exit(0);
    }
    waitpid(gone, nullptr, 0);
    const std::string pid = std::to_string(gone);
    run = RunChild(folder,
                   {CRASHDUMP_PATH, "--pid", pid, "--tid", pid, "--signal", "11", "--code", "1",
                    "--address", "0x42", "--context", "0x7ffc00001000", "--time", "1325237415"});
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(QDir(QString::fromStdString(folder)).isEmpty());
}

}  // namespace
