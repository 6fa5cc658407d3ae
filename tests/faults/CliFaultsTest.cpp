// velmora-cli against a misbehaving device, port, file system and profile, run
// as a program: each case ends with the outcome line and exit code a script
// relies on, and the test process gets back every descriptor and thread.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <memory>
#include <sstream>

#include "DateFile.h"
#include "FaultSupport.h"
#include "SerialPorts.h"
#include "Subprocess.h"

using namespace velmora;
using namespace velmora::faults;
using namespace velmora::test;

namespace {

constexpr const char* kTimeout = "150";

std::size_t LineCount(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

void ExpectOutcome(const RunResult& run, const std::string& text, int exitCode) {
    EXPECT_EQ(run.LastOutLine(), text) << "stderr: " << run.err;
    EXPECT_EQ(run.exitCode, exitCode) << "stderr: " << run.err;
    EXPECT_EQ(run.err.find("Application Error"), std::string::npos) << run.err;
}

class CliFaults : public ::testing::Test {
  protected:
    void SetUp() override { m_before = Holdings::Now(); }

    void TearDown() override {
        EXPECT_TRUE(LeftoverTemporaries(m_dir.Path()).empty());
        EXPECT_TRUE(velmora::test::Eventually([&] { return Holdings::Now() == m_before; }))
            << "threads " << m_before.threads << " -> " << Holdings::Now().threads
            << ", descriptors " << m_before.descriptors << " -> " << Holdings::Now().descriptors;
    }

    RunResult Cli(const std::vector<std::string>& args) const {
        return RunProgram(VELMORA_CLI_PATH, args, m_dir.Path());
    }
    std::string File(const std::string& name) const { return m_dir.File(name); }

    // Europe/Berlin from 2027, as the table every upload here sends.
    // Written here rather than by velmora-cli make: the cases measure the
    // exchange, and the children's peak memory would count the child that
    // scanned the time-zone database (most of 64 MiB under AddressSanitizer).
    std::string MakeTable() const {
        std::vector<DstRow> rows;
        for (int year = 2027; year < 2027 + kMaxRows; ++year)
            rows.push_back({ComposeDateText(28, 3, year, 0), ComposeDateText(31, 10, year, 0)});
        EXPECT_TRUE(WriteDateFile(File("table.dst"), RowsToFileBytes(rows, 0)));
        return File("table.dst");
    }

    void MapCom1(const std::string& device) const {
        WriteVelmoraIni(File("Velmora.ini"), device, std::stoi(kTimeout));
    }

    TempDir m_dir;
    Holdings m_before;
};

TEST_F(CliFaults, HangupMidFifthAnswerIsNoReplyWithoutSpinningThenANewDeviceGetsDone) {
    const std::string table = MakeTable();
    double hungUpCpu = 0;
    {
        Simulator first({"--hangup-at", "4", "--log", File("first.log")});
        MapCom1(first.DevicePath());
        const double cpuBefore = CpuSeconds(RUSAGE_CHILDREN);
        const RunResult run = Cli({"send", table, "--timeout", "600"});
        hungUpCpu = CpuSeconds(RUSAGE_CHILDREN) - cpuBefore;
        ExpectOutcome(run, "No reply!", 3);
        EXPECT_EQ(LineCount(run.err), 5u) << run.err;
        EXPECT_EQ(LoggedFrameCount(File("first.log")), 5u);
    }
    Simulator second({"--log", File("second.log")});
    MapCom1(second.DevicePath());
    const double cpuBefore = CpuSeconds(RUSAGE_CHILDREN);
    ExpectOutcome(Cli({"send", table}), "Done!", 0);
    const double goodCpu = CpuSeconds(RUSAGE_CHILDREN) - cpuBefore;
    EXPECT_EQ(LoggedFrameCount(File("second.log")), 15u);
    // A worker spinning on the dead line would burn the whole last period,
    // 0.6 s, on top of what the program takes to start and upload, which a
    // good upload on the same machine shows.
    EXPECT_LT(hungUpCpu, goodCpu + 0.3)
        << "seconds of processor, against " << goodCpu << " for a good upload";
}

// A device whose answer to the first frame is wrong in one way, the command
// sent to it, and the outcome line and exit code it must end with.
struct WrongAnswer {
    const char* name;
    const char* device;  // the simulator's options
    const char* command;
    const char* timeout;
    const char* outcome;
    int exitCode;
};

TEST_F(CliFaults, WrongAnswerToTheFirstFrameEndsTheCommandInTimeWithBoundedMemory) {
    const WrongAnswer cases[] = {
        {"a flood of a mebibyte", "--flood 1048576 --fail-at 0", "send", "200", "No reply!", 3},
        // Fifteen bytes 14 ms apart: the last one comes about 196 ms after the
        // frame, late enough that a timer a little behind still judges before it.
        {"answer completed after the timer", "--slow-byte 14", "send", kTimeout, "No reply!", 3},
        // Thirty bytes are never a good answer.
        {"answer sent twice", "--fail-mode twice", "send", kTimeout, "No reply!", 3},
        {"answer sent twice", "--fail-mode twice", "delete", kTimeout, "Communication error!", 4},
    };
    const std::string table = MakeTable();
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const WrongAnswer& wrong = cases[i];
        SCOPED_TRACE(std::string(wrong.name) + ", " + wrong.command);
        const std::string log = File("frames" + std::to_string(i) + ".log");
        std::istringstream words(wrong.device);
        std::vector<std::string> options{std::istream_iterator<std::string>(words), {}};
        options.insert(options.end(), {"--log", log});
        Simulator device(options);
        std::vector<std::string> args = {wrong.command};
        if (args.front() == "send") args.push_back(table);
        args.insert(args.end(), {"--port", device.DevicePath(), "--timeout", wrong.timeout});
        const auto start = std::chrono::steady_clock::now();
        const RunResult run = Cli(args);
        const auto took = std::chrono::steady_clock::now() - start;
        ExpectOutcome(run, wrong.outcome, wrong.exitCode);
        EXPECT_EQ(LoggedFrameCount(log), 1u);
        // Judged when the timer expires, not when the bytes stop coming.
        EXPECT_LT(took, std::chrono::seconds(3));
        EXPECT_LT(ChildrenPeakRssKb(), 64 * 1024) << "KiB at the largest child's peak";
    }
}

TEST_F(CliFaults, BurstOfCommandsOnOnePortLeavesItReadyForAFullUpload) {
    const std::string table = MakeTable();
    const std::string log = File("frames.log");
    Simulator device({"--log", log});
    std::vector<std::unique_ptr<BackgroundProgram>> burst;
    for (int i = 0; i < 100; ++i) {
        std::vector<std::string> words = {VELMORA_CLI_PATH, i % 2 == 0 ? "send" : "delete"};
        if (i % 2 == 0) words.push_back(table);
        for (const char* word : {"--port", device.DevicePath().c_str(), "--timeout", kTimeout})
            words.emplace_back(word);
        burst.push_back(std::make_unique<BackgroundProgram>(words, m_dir.Path()));
    }
    int refused = 0;
    for (const auto& program : burst) {
        const int exitCode = program->Wait();
        // Each one either had the port to itself or was refused it; none crashed.
        EXPECT_TRUE(exitCode == 0 || exitCode == 2 || exitCode == 3 || exitCode == 4) << exitCode;
        refused += exitCode == 2 ? 1 : 0;
    }
    EXPECT_GT(refused, 0) << "the burst never contended for the port";

    AppendMark(log);
    ExpectOutcome(Cli({"send", table, "--port", device.DevicePath(), "--timeout", kTimeout}),
                  "Done!", 0);
    EXPECT_EQ(FramesAfterLastMark(log).size(), 15u);
}

TEST_F(CliFaults, PortsThatCannotBeOpenedExitTwoWithTheReasonWithoutAnErrorReport) {
    for (const RefusedPath& port : MakeRefusedPaths(m_dir.Path())) {
        const RunResult run = Cli({"delete", "--port", port.path, "--timeout", kTimeout});
        ExpectOutcome(run, "Unable to open serial port!", 2);
        const std::string reason =
            "velmora-cli: " + velmora::ShownPath(port.path) + ": " + port.reason;
        EXPECT_NE(run.err.find("\n" + reason), std::string::npos) << run.err;
    }
    EXPECT_EQ(ReadBytes(File("plain")), "not a terminal");

    // Another instance holds the device while it waits for its answer.
    const std::string log = File("frames.log");
    Simulator device({"--fail-mode", "silence", "--log", log});
    BackgroundProgram holder(
        {VELMORA_CLI_PATH, "delete", "--port", device.DevicePath(), "--timeout", "1500"},
        m_dir.Path());
    ASSERT_TRUE(velmora::test::Eventually([&] { return LoggedFrameCount(log) == 1; }));
    const RunResult run =
        Cli({"send", MakeTable(), "--port", device.DevicePath(), "--timeout", kTimeout});
    ExpectOutcome(run, "Unable to open serial port!", 2);
    EXPECT_NE(run.err.find("velmora-cli: " + device.DevicePath() +
                           ": held by another program: velmora-cli (pid " +
                           std::to_string(holder.Pid()) + ")\n"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(holder.Wait(), 4);  // its own silent device: "Communication error!"
    EXPECT_EQ(LoggedFrameCount(log), 1u);
}

TEST_F(CliFaults, MakeIntoAFullOrReadOnlyFileSystemKeepsTheOldFile) {
    if (const std::string why = WhyNoMounts(); !why.empty()) GTEST_SKIP() << why;
    for (const bool full : {true, false}) {
        const std::string folder = File(full ? "full" : "sealed");
        ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
        const SmallTmpfs fs(folder, 64);
        const std::string old = fs.HoldOldTable(full);
        const RunResult run = Cli({"make", "--zone", "Europe/Berlin", "--first-year", "2027",
                                   "--output", folder + "/table.dst", "--force"});
        EXPECT_EQ(run.exitCode, 1) << run.err;
        EXPECT_NE(run.err.find("cannot write"), std::string::npos) << run.err;
        EXPECT_EQ(ReadBytes(folder + "/table.dst"), old);
        EXPECT_TRUE(LeftoverTemporaries(folder).empty());
    }
}

TEST_F(CliFaults, ProfileThatIsNoProperFileStillLetsTheExchangeRun) {
    Simulator device;
    const std::string ini = File("Velmora.ini");
    // The exchange's length tells which timeout the program read.
    const auto expectDone = [&](const char* what, bool timeoutRead) {
        SCOPED_TRACE(what);
        const auto start = std::chrono::steady_clock::now();
        ExpectOutcome(Cli({"delete", "--port", device.DevicePath()}), "Done!", 0);
        const auto took = std::chrono::steady_clock::now() - start;
        if (timeoutRead)
            EXPECT_LT(took, std::chrono::milliseconds(900)) << "Timeout=150 was not read";
        else
            EXPECT_GE(took, std::chrono::milliseconds(1000)) << "the default is 1000 ms";
    };
    ASSERT_EQ(mkdir(ini.c_str(), 0755), 0);
    expectDone("a directory", false);
    ASSERT_EQ(rmdir(ini.c_str()), 0);
    ASSERT_EQ(mkfifo(ini.c_str(), 0644), 0);
    expectDone("a FIFO", false);
    ASSERT_EQ(unlink(ini.c_str()), 0);

    // Garbage around a readable section, and a head before ten megabytes.
    std::string garbage;
    for (int i = 0; i < 8192; ++i) garbage.push_back(static_cast<char>((i * 7919 + 13) & 0xFF));
    WriteBytes(ini, garbage + "\n[Settings]\nTimeout=150\n" + garbage);
    expectDone("binary garbage", true);
    std::string huge = "[Settings]\nTimeout=150\n";
    while (huge.size() < 10'000'000) huge += "; a long profile keeps going and going\n";
    WriteBytes(ini, huge);
    expectDone("ten megabytes", true);
    EXPECT_TRUE(ReadBytes(ini) == huge);
}

}  // namespace
