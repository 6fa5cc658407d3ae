// velmora-cli run as a program, in a folder of its own, against the simulator.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <thread>

#include "Files.h"
#include "Subprocess.h"
#include "version.h"

using namespace velmora::test;

namespace {

constexpr const char* kTimeout = "150";

std::size_t LineCount(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

class CliProgram : public ::testing::Test {
  protected:
    RunResult Cli(const std::vector<std::string>& args) const {
        return RunProgram(VELMORA_CLI_PATH, args, m_dir.Path());
    }
    std::string File(const std::string& name) const { return m_dir.File(name); }

    // A table of Europe/Berlin from 2027 in `name`.
    std::string MakeBerlin(const std::string& name = "berlin.dst") const {
        const RunResult made =
            Cli({"make", "--zone", "Europe/Berlin", "--first-year", "2027", "--output", name});
        EXPECT_EQ(made.exitCode, 0) << made.err;
        return File(name);
    }

    TempDir m_dir;
};

void ExpectOutcome(const RunResult& run, const std::string& text, int exitCode) {
    EXPECT_EQ(run.LastOutLine(), text) << "stderr: " << run.err;
    EXPECT_EQ(run.exitCode, exitCode) << "stderr: " << run.err;
}

QJsonObject Document(const RunResult& run) {
    QJsonParseError error{};
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromStdString(run.out), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << run.out;
    EXPECT_EQ(LineCount(run.out), 1u) << run.out;
    EXPECT_EQ(document.object().value("exitCode").toInt(-1), run.exitCode);
    return document.object();
}

}  // namespace

TEST_F(CliProgram, UsageErrorsExitOneWithOneLineAndHelpExitsZero) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, {"frobnicate"}, {"show"}, {"send", "x.dst", "--port", "12"}}) {
        const RunResult run = Cli(args);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(LineCount(run.err), 1u) << run.err;
        EXPECT_EQ(run.out, "");
    }
    EXPECT_NE(Cli({"frobnicate"}).err.find("show, make, check, send, delete"), std::string::npos);

    const RunResult help = Cli({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("delete"), std::string::npos);
    const RunResult makeHelp = Cli({"make", "--help"});
    EXPECT_EQ(makeHelp.exitCode, 0);
    EXPECT_NE(makeHelp.out.find("midnight"), std::string::npos);
    EXPECT_NE(Cli({"send", "--help"}).out.find("--early"), std::string::npos);
}

// The three programs say the project's version, and velmora does so without a display.
TEST_F(CliProgram, EveryProgramTellsItsVersion) {
    const std::string lines = VELMORA_VERSION "\n" VELMORA_COPYRIGHT "\n";
    const std::pair<const char*, const char*> programs[] = {
        {VELMORA_CLI_PATH, "velmora-cli "},
        {VELMORA_DEVSIM_PATH, "velmora-devsim "},
        {VELMORA_APP_PATH, "velmora "}};
    for (const auto& [path, name] : programs) {
        const RunResult run =
            RunProgram("/usr/bin/env", {"-u", "DISPLAY", "QT_QPA_PLATFORM=xcb", path, "--version"},
                       m_dir.Path());
        EXPECT_EQ(run.exitCode, 0) << path << ": " << run.err;
        EXPECT_EQ(run.out, name + lines);
    }
    EXPECT_EQ(Cli({"--version", "show"}).exitCode, 1);
}

TEST_F(CliProgram, MakeThenShowGivesTheRowsTheWindowWouldOpen) {
    const std::string path = MakeBerlin();
    EXPECT_EQ(std::filesystem::file_size(path), 75u);

    const RunResult dayFirst = Cli({"show", path});
    EXPECT_EQ(dayFirst.exitCode, 0) << dayFirst.err;
    EXPECT_EQ(LineCount(dayFirst.out), 15u);
    EXPECT_EQ(dayFirst.out.substr(0, dayFirst.out.find('\n')),
              "28/03/2027 31/10/2027 1C 03 1F 0A 1B");
    EXPECT_EQ(dayFirst.LastOutLine(), "31/03/2041 27/10/2041 1F 03 1B 0A 29");

    const RunResult monthFirst = Cli({"show", path, "--month-first"});
    EXPECT_EQ(monthFirst.out.substr(0, monthFirst.out.find('\n')),
              "03/28/2027 10/31/2027 1C 03 1F 0A 1B");

    // Sydney's calendar row 2027 holds the end of the period that began in
    // 2026 and the start of the one that begins in 2027.
    ASSERT_EQ(
        Cli({"make", "--zone=Australia/Sydney", "--first-year=2027", "--output=s.dst"}).exitCode,
        0);
    const RunResult sydney = Cli({"show", "s.dst"});
    EXPECT_EQ(sydney.out.substr(0, sydney.out.find('\n')), "03/10/2027 04/04/2027 03 0A 04 04 1B");
}

TEST_F(CliProgram, ShowRendersOddBytesAsTheWindowDoesAndRefusesShortFiles) {
    std::string bytes(75, '\0');
    const std::string odd = {'\x00', '\x03', '\x1D', '\x0A', '\xFF'};   // day 0, year byte 255
    const std::string late = {'\x05', '\x83', '\x1D', '\x0A', '\x7F'};  // month 131, year 127
    bytes.replace(0, 5, odd);
    bytes.replace(5, 5, late);
    WriteBytes(File("odd.dst"), bytes + "trailing bytes are ignored");
    const RunResult run = Cli({"show", "odd.dst"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(LineCount(run.out), 15u);
    EXPECT_EQ(run.out.substr(0, run.out.find('\n')), "/03/1999 29/10/1999 00 03 1D 0A FF");
    EXPECT_NE(run.out.find("05//2127 29/10/2127 05 83 1D 0A 7F\n"), std::string::npos);

    WriteBytes(File("short.dst"), std::string(74, '\x01'));
    for (const std::string name : {"short.dst", "missing.dst"}) {
        const RunResult refused = Cli({"show", name});
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_EQ(refused.out, "");
        EXPECT_NE(refused.err.find(name), std::string::npos);
    }
}

TEST_F(CliProgram, MakeRefusesWithoutWritingAndOverwritesOnlyWithForce) {
    const std::vector<std::vector<std::string>> refused = {
        {"make", "--zone", "Asia/Tokyo", "--first-year", "2027", "--output", "t.dst"},
        {"make", "--zone", "Europe/Berlin", "--first-year", "1999", "--output", "t.dst"},
        {"make", "--zone", "Europe/Berlin", "--first-year", "2086", "--output", "t.dst"},
        {"make", "--zone", "Mars/Olympus", "--first-year", "2027", "--output", "t.dst"},
        {"make", "--zone", "../../etc/passwd", "--first-year", "2027", "--output", "t.dst"}};
    for (const auto& args : refused) {
        const RunResult run = Cli(args);
        EXPECT_EQ(run.exitCode, 1) << args[2] << " " << args[4];
        EXPECT_NE(run.err.find(args[4] == "2027" ? args[2] : args[4]), std::string::npos)
            << run.err;
        EXPECT_FALSE(std::filesystem::exists(File("t.dst")));
    }
    EXPECT_TRUE(std::filesystem::is_empty(m_dir.Path())) << "no temporary file left behind";

    WriteBytes(File("keep.dst"), "precious");
    const RunResult kept =
        Cli({"make", "--zone", "Europe/Berlin", "--first-year", "2027", "--output", "keep.dst"});
    EXPECT_EQ(kept.exitCode, 1);
    EXPECT_NE(kept.err.find("--force"), std::string::npos);
    EXPECT_EQ(ReadBytes(File("keep.dst")), "precious");

    const RunResult forced = Cli({"make", "--zone", "Europe/Berlin", "--first-year", "2027",
                                  "--output", "keep.dst", "--force"});
    EXPECT_EQ(forced.exitCode, 0) << forced.err;
    EXPECT_EQ(ReadBytes(File("keep.dst")), ReadBytes(MakeBerlin()));

    // Not even --force replaces a read-only file.
    WriteBytes(File("locked.dst"), "precious");
    std::filesystem::permissions(File("locked.dst"), std::filesystem::perms::owner_read);
    const RunResult locked = Cli({"make", "--zone", "Europe/Berlin", "--first-year", "2027",
                                  "--output", "locked.dst", "--force"});
    EXPECT_EQ(locked.exitCode, 1);
    EXPECT_NE(locked.err.find("locked.dst is read-only"), std::string::npos) << locked.err;
    EXPECT_EQ(ReadBytes(File("locked.dst")), "precious");
}

TEST_F(CliProgram, CheckComparesEveryRowWithTheZone) {
    ASSERT_EQ(
        Cli({"make", "--zone=Australia/Sydney", "--first-year=2027", "--output=s.dst"}).exitCode,
        0);
    const RunResult same = Cli({"check", "s.dst", "--zone", "Australia/Sydney"});
    EXPECT_EQ(same.exitCode, 0) << same.err;
    EXPECT_EQ(same.out, "all 15 rows match Australia/Sydney (calendar rows)\n");

    std::string bytes = ReadBytes(File("s.dst"));
    bytes[3 * 5 + 1] = 11;  // row 4 (2030) begins in November
    WriteBytes(File("changed.dst"), bytes);
    const RunResult changed =
        Cli({"check", "changed.dst", "--zone=Australia/Sydney", "--month-first"});
    EXPECT_EQ(changed.exitCode, 5);
    EXPECT_EQ(changed.out,
              "row 4 (2030): file 11/06/2030 04/07/2030, Australia/Sydney 10/06/2030 04/07/2030\n"
              "1 of 15 rows differ from Australia/Sydney (calendar rows)\n");

    WriteBytes(File("short.dst"), bytes.substr(0, 74));
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"check", "short.dst", "--zone", "Australia/Sydney"},
             {"check", "s.dst", "--zone", "Mars/Olympus"},
             {"check", "s.dst", "--zone", std::string("Europe/Berlin\x1b[2J")}}) {
        const RunResult refused = Cli(args);
        EXPECT_EQ(refused.exitCode, 1) << args[1] << " " << args[3];
        EXPECT_EQ(refused.out, "");
        EXPECT_EQ(LineCount(refused.err), 1u) << refused.err;
        EXPECT_EQ(refused.err.find('\x1b'), std::string::npos);
    }
}

TEST_F(CliProgram, SendUploadsTheFileRowsInOrderAndEndsWithDone) {
    const std::string table = MakeBerlin();
    Simulator device({"--log", File("frames.log")});
    const RunResult run =
        Cli({"send", table, "--port", device.DevicePath(), "--timeout", kTimeout});
    ExpectOutcome(run, "Done!", 0);
    EXPECT_EQ(run.out, "Done!\n");
    // Progress on a pipe: one plain line per frame.
    EXPECT_EQ(LineCount(run.err), 15u) << run.err;
    EXPECT_NE(run.err.find("frame 1/15\n"), std::string::npos);
    EXPECT_NE(run.err.find("frame 15/15\n"), std::string::npos);

    const std::string log = ReadBytes(File("frames.log"));
    EXPECT_EQ(LineCount(log), 15u) << log;
    // The records travel straight from the file: row 0 to slot 101, row 14 to slot 115.
    EXPECT_NE(log.find("7E 0C 2B 00 65 1C 03 1F 0A 1B 00"), std::string::npos) << log;
    EXPECT_NE(log.find("7E 0C 2B 00 73 1F 03 1B 0A 29 00"), std::string::npos) << log;
}

TEST_F(CliProgram, SendStopsAtTheFirstBadAnswer) {
    const std::string table = MakeBerlin();
    {
        Simulator device({"--fail-at", "3", "--fail-mode", "last01", "--log", File("a.log")});
        const RunResult run =
            Cli({"send", table, "--port", device.DevicePath(), "--timeout", kTimeout});
        ExpectOutcome(run, "Communication error!", 4);
        EXPECT_EQ(LineCount(ReadBytes(File("a.log"))), 4u);
        EXPECT_EQ(run.err, "frame 1/15\nframe 2/15\nframe 3/15\nframe 4/15\n");
    }
    for (const std::string mode : {"len14", "len16", "silence"}) {
        Simulator device({"--fail-at", "0", "--fail-mode", mode});
        ExpectOutcome(Cli({"send", table, "--port", device.DevicePath(), "--timeout", kTimeout}),
                      "No reply!", 3);
    }
}

TEST_F(CliProgram, DeleteJudgesItsOneAnswerByTheDeleteRules) {
    struct Case {
        std::vector<std::string> simulator;
        std::string outcome;
        int exitCode;
    };
    const std::vector<Case> cases = {
        {{}, "Done!", 0},
        {{"--fail-mode", "len12"}, "No reply!", 3},
        {{"--fail-mode", "len14"}, "Communication error!", 4},
        {{"--fail-mode", "silence"}, "Communication error!", 4},
        {{"--fail-mode", "last01"}, "Communication error!", 4},
    };
    for (const Case& c : cases) {
        Simulator device(c.simulator);
        ExpectOutcome(Cli({"delete", "--port", device.DevicePath(), "--timeout", kTimeout}),
                      c.outcome, c.exitCode);
    }
}

// Its exit hangs up the line: the answer must have been read before.
TEST_F(CliProgram, ASimulatorThatExitsAfterAnsweringHasItsAnswerRead) {
    for (int run = 0; run < 3; ++run) {
        Simulator device({"--exit-after", "1"});
        ExpectOutcome(Cli({"delete", "--port", device.DevicePath(), "--timeout", kTimeout}),
                      "Done!", 0);
    }
}

TEST_F(CliProgram, PortsThatCannotBeOpenedExitTwo) {
    const std::string table = MakeBerlin();
    ExpectOutcome(Cli({"send", table, "--port", "/dev/velmora-no-such-port"}),
                  "Unable to open serial port!", 2);

    Simulator device({"--log", File("frames.log")});
    const int holder = open(device.DevicePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    ExpectOutcome(Cli({"delete", "--port", device.DevicePath(), "--timeout", kTimeout}),
                  "Unable to open serial port!", 2);
    close(holder);
    EXPECT_EQ(ReadBytes(File("frames.log")), "") << "nothing reached the held port";
}

// Three devices at once, one of them silent; then the record of uploads tells
// each exchange, for a person and as JSON.
TEST_F(CliProgram, SeveralPortsAtOnceThenTheHistoryTellsEach) {
    const std::string table = MakeBerlin();
    Simulator first;
    Simulator silent({"--fail-mode", "silence"});
    Simulator third;
    WriteBytes(File("Velmora.ini"), "[Settings]\nTimeout=" + std::string(kTimeout) +
                                        "\n[Ports]\nCOM3=" + third.DevicePath() + "\n");
    const RunResult sent = Cli({"send", "berlin.dst", "--port", first.DevicePath(), "--port",
                                silent.DevicePath(), "--port", "3"});
    EXPECT_EQ(sent.exitCode, 3) << sent.err;
    EXPECT_EQ(sent.out, first.DevicePath() + ": Done!\n" + silent.DevicePath() +
                            ": No reply!\nCOM3: Done!\n");
    EXPECT_NE(sent.err.find("COM3: frame 15/15\n"), std::string::npos) << sent.err;
    EXPECT_NE(sent.err.find(silent.DevicePath() + ": frame 1/15\n"), std::string::npos);
    ExpectOutcome(Cli({"delete", "--port", "/dev/velmora-no-such-port"}),
                  "Unable to open serial port!", 2);
    const RunResult twice = Cli({"delete", "--port", "3", "--port", third.DevicePath()});
    EXPECT_EQ(twice.exitCode, 1);
    EXPECT_NE(twice.err.find("are the same device"), std::string::npos) << twice.err;

    const QJsonArray uploads = Document(Cli({"history", "--json"})).value("uploads").toArray();
    ASSERT_EQ(uploads.size(), 4) << Cli({"history", "--json"}).out;
    const QString tableHex = QByteArray::fromStdString(ReadBytes(table)).left(75).toHex().toUpper();
    const struct {
        std::string device;
        const char* outcome;
        int exitCode, frames;
    } expected[] = {{first.DevicePath(), "Done!", 0, 15},
                    {silent.DevicePath(), "No reply!", 3, 0},
                    {third.DevicePath(), "Done!", 0, 15},
                    {"/dev/velmora-no-such-port", "Unable to open serial port!", 2, 0}};
    for (int i = 0; i < 4; ++i) {
        const QJsonObject upload = uploads[i].toObject();
        EXPECT_EQ(upload.value("devicePath").toString().toStdString(), expected[i].device);
        EXPECT_EQ(upload.value("outcome").toString(), expected[i].outcome);
        EXPECT_EQ(upload.value("exitCode").toInt(-1), expected[i].exitCode);
        EXPECT_EQ(upload.value("framesAnswered").toInt(-1), expected[i].frames);
        EXPECT_EQ(upload.value("program").toString(), "velmora-cli");
        EXPECT_EQ(upload.value("version").toString(), VELMORA_VERSION);
    }
    EXPECT_EQ(uploads[0].toObject().value("bytes").toString(), tableHex);
    EXPECT_EQ(uploads[0].toObject().value("file").toString(), "berlin.dst");
    EXPECT_EQ(uploads[2].toObject().value("port").toInt(), 3);
    // DST Delete's one frame of twelve bytes carries five 0xFE.
    const QString deleteHex = uploads[3].toObject().value("bytes").toString();
    EXPECT_EQ(deleteHex.size(), 24);
    EXPECT_TRUE(deleteHex.contains("FEFEFEFEFE")) << deleteHex.toStdString();
    EXPECT_FALSE(uploads[3].toObject().contains("file"));

    const RunResult byPort = Cli({"history", "--port", "3"});
    EXPECT_EQ(byPort.exitCode, 0) << byPort.err;
    ASSERT_EQ(LineCount(byPort.out), 2u) << byPort.out;
    EXPECT_TRUE(std::regex_search(byPort.out,
                                  std::regex("\n[0-9-]{10} [0-9:]{8} +COM3 +" + third.DevicePath() +
                                             " +- +Send +2027-2041 +Done!\n$")))
        << byPort.out;
    EXPECT_EQ(LineCount(Cli({"history", "--since", "2000-01-01"}).out), 5u);
    EXPECT_EQ(Cli({"history", "--since", "2999-01-01"}).out, "");

    // Turned off in Velmora.ini: nothing more is added.
    WriteBytes(File("Velmora.ini"), "[Settings]\nRecord Uploads=0\n");
    ExpectOutcome(Cli({"delete", "--port", first.DevicePath(), "--timeout", kTimeout}), "Done!", 0);
    EXPECT_EQ(LineCount(Cli({"history"}).out), 5u);

    // A record that cannot be written: the upload's outcome stands, with a warning.
    WriteBytes(File("Velmora.ini"), "");
    WriteBytes(File("blocked"), "a file where the folder should be");
    const RunResult blocked =
        RunProgram("/usr/bin/env",
                   {"XDG_STATE_HOME=" + File("blocked"), VELMORA_CLI_PATH, "send", table, "--port",
                    first.DevicePath(), "--timeout", kTimeout},
                   m_dir.Path());
    ExpectOutcome(blocked, "Done!", 0);
    EXPECT_NE(blocked.err.find("velmora-cli: warning: not added to the record of uploads " +
                               File("blocked") + "/velmora/uploads.jsonl: Not a directory\n"),
              std::string::npos)
        << blocked.err;
}

TEST_F(CliProgram, PortAndTimeoutComeFromVelmoraIniInTheCurrentFolder) {
    Simulator device;
    WriteBytes(File("Velmora.ini"), "[Settings]\nPort=3\nTimeout=" + std::string(kTimeout) +
                                        "\n[Ports]\nCOM3=" + device.DevicePath() + "\n");
    ExpectOutcome(Cli({"delete"}), "Done!", 0);
    ExpectOutcome(Cli({"delete", "--port", "3"}), "Done!", 0);
    // COM2 has no key: /dev/ttyS1, which is no terminal of ours.
    ExpectOutcome(Cli({"delete", "--port", "2"}), "Unable to open serial port!", 2);

    WriteBytes(File("Velmora.ini"), "[Settings]\nTimeout=0\n");
    const RunResult zero = Cli({"delete", "--port", device.DevicePath()});
    EXPECT_EQ(zero.exitCode, 1);
    EXPECT_NE(zero.err.find("--timeout"), std::string::npos);
}

TEST_F(CliProgram, EarlyJudgementKeepsTheRules) {
    const std::string table = MakeBerlin();
    {
        Simulator device;
        ExpectOutcome(
            Cli({"send", table, "--port", device.DevicePath(), "--timeout", kTimeout, "--early"}),
            "Done!", 0);
    }
    {
        // The sixteenth byte follows 5 ms after the fifteenth, within the gap:
        // the answer to frame 2 is 16 bytes long and the upload stops there.
        Simulator device({"--fail-at", "2", "--fail-mode", "len16", "--slow-byte", "5", "--log",
                          File("frames.log")});
        ExpectOutcome(Cli({"send", table, "--port", device.DevicePath(), "--timeout", kTimeout,
                           "--early=40"}),
                      "No reply!", 3);
        EXPECT_EQ(LineCount(ReadBytes(File("frames.log"))), 3u);
    }
    {
        Simulator device({"--fail-mode", "len12"});
        ExpectOutcome(
            Cli({"delete", "--port", device.DevicePath(), "--timeout", kTimeout, "--early"}),
            "No reply!", 3);
    }
    {
        // A steady but slow device: its sixteenth byte comes 40 ms after the
        // fifteenth, later than the 30 ms gap, and must still be waited for.
        Simulator device({"--fail-mode", "len16", "--slow-byte", "40", "--log", File("slow.log")});
        ExpectOutcome(
            Cli({"send", table, "--port", device.DevicePath(), "--timeout", "1000", "--early"}),
            "No reply!", 3);
        EXPECT_EQ(LineCount(ReadBytes(File("slow.log"))), 1u);
    }
}

TEST_F(CliProgram, PortsShowsWhereEachComPortLeads) {
    Simulator device;
    WriteBytes(File("Velmora.ini"), "[Ports]\nCOM1=" + device.DevicePath() +
                                        " ; the simulator\nCOM2=" + File("absent") + "\n");
    const RunResult run = Cli({"ports"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.rfind("Serial devices:\n", 0), 0u) << run.out;
    for (const std::string& line :
         {"COM ports of " + File("Velmora.ini") + ":\n",
          "  COM1  " + device.DevicePath() + "  ([Ports]) present\n",
          "  COM2  " + File("absent") + "  ([Ports]) not present: no such device",
          std::string("  COM3  /dev/ttyS2  (default) ")}) {
        EXPECT_NE(run.out.find(line), std::string::npos) << line << " in\n" << run.out;
    }
}

// ports --watch --json on a made-up /dev: a line for the device present, one
// for a node made while it runs, and a last line with exit code 0 on SIGINT.
TEST_F(CliProgram, PortsWatchTellsADeviceArrivingAndEndsWellOnInterrupt) {
    const std::filesystem::path root = File("root");
    std::filesystem::create_directories(root / "dev/serial/by-id");
    WriteBytes((root / "dev/ttyUSB0").string(), "");
    // The child takes the environment as it is when started; no other thread
    // of this test reads it.
    setenv("VELMORA_DEVICE_ROOT", root.c_str(), 1);  // NOLINT(concurrency-mt-unsafe)
    BackgroundProgram watch({VELMORA_CLI_PATH, "ports", "--watch", "--json"}, m_dir.Path(),
                            File("out.jsonl"));
    unsetenv("VELMORA_DEVICE_ROOT");  // NOLINT(concurrency-mt-unsafe)
    const auto awaitLines = [&](std::size_t count) {
        for (int tries = 0; tries < 500 && LineCount(ReadBytes(File("out.jsonl"))) < count; ++tries)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return ReadBytes(File("out.jsonl"));
    };
    ASSERT_EQ(LineCount(awaitLines(1)), 1u);
    WriteBytes((root / "dev/ttyACM3").string(), "");
    const std::string out = awaitLines(2);
    ASSERT_EQ(LineCount(out), 2u) << out;
    kill(watch.Pid(), SIGINT);
    EXPECT_EQ(watch.Wait(), 0);
    const std::string prefix = R"({"command":"ports","formatVersion":1,"event":)";
    EXPECT_EQ(ReadBytes(File("out.jsonl")),
              prefix + R"("present","path":")" + (root / "dev/ttyUSB0").string() +
                  R"(","description":""})" + "\n" + prefix + R"("arrived","path":")" +
                  (root / "dev/ttyACM3").string() + R"(","description":""})" + "\n" + prefix +
                  R"("stopped","exitCode":0})" + "\n");
}

// Each frame sent and each answer, in hex, in the order they crossed the line,
// with times that never go back.
TEST_F(CliProgram, TraceShowsEveryFrameAndEveryAnswer) {
    const auto traceOf = [](const RunResult& run) {
        static const std::regex kLine(R"( *(\d+\.\d) ms  (sent 12|recv 15):((?: [0-9A-F]{2})*))");
        std::vector<std::string> lines;
        double last = 0;
        std::istringstream err(run.err);
        for (std::string line; std::getline(err, line);) {
            std::smatch parts;
            if (!std::regex_match(line, parts, kLine)) continue;
            EXPECT_GE(std::stod(parts[1]), last);
            last = std::stod(parts[1]);
            lines.push_back(parts[2].str() + parts[3].str());
        }
        return lines;
    };
    Simulator device;
    const RunResult deleted =
        Cli({"delete", "--port", device.DevicePath(), "--timeout", kTimeout, "--trace"});
    ExpectOutcome(deleted, "Done!", 0);
    const std::vector<std::string> lines = traceOf(deleted);
    ASSERT_EQ(lines.size(), 2u) << deleted.err;
    EXPECT_EQ(lines[0], "sent 12 7E 0C 2B 00 65 FE FE FE FE FE 00 F7");
    EXPECT_EQ(lines[1].size(), 7 + 15 * 3u);
    EXPECT_EQ(lines[1].substr(lines[1].size() - 3), " 00");

    const RunResult sent = Cli({"send", MakeBerlin(), "--port", device.DevicePath(), "--timeout",
                                kTimeout, "--early", "--trace"});
    ExpectOutcome(sent, "Done!", 0);
    const std::vector<std::string> upload = traceOf(sent);
    ASSERT_EQ(upload.size(), 30u) << sent.err;
    for (std::size_t i = 0; i < upload.size(); ++i) {
        EXPECT_EQ(upload[i].substr(0, 4), i % 2 == 0 ? "sent" : "recv") << i;
    }
    EXPECT_EQ(upload[28].substr(0, 22), "sent 12 7E 0C 2B 00 73");  // slot 115, the last row
}

// send and delete with --json: one document on standard output with the
// exchange's figures, progress on standard error, the usual exit codes.
TEST_F(CliProgram, ExchangesAsJsonKeepProgressOnStandardError) {
    const std::string table = MakeBerlin();
    Simulator device;
    const RunResult sent =
        Cli({"send", table, "--port", device.DevicePath(), "--timeout", kTimeout, "--json"});
    EXPECT_EQ(sent.exitCode, 0) << sent.err;
    const QJsonObject done = Document(sent);
    EXPECT_EQ(done.value("outcome").toString(), "Done!");
    EXPECT_EQ(done.value("file").toString().toStdString(), table);
    EXPECT_EQ(done.value("devicePath").toString().toStdString(), device.DevicePath());
    EXPECT_EQ(done.value("framesAnswered").toInt(), 15);
    EXPECT_GT(done.value("durationMs").toInt(), 0);
    EXPECT_FALSE(done.contains("error"));
    EXPECT_EQ(LineCount(sent.err), 15u) << sent.err;
    EXPECT_EQ(sent.out.find("frame 1/15"), std::string::npos);
    const RunResult deleted =
        Cli({"delete", "--port", device.DevicePath(), "--timeout", kTimeout, "--json"});
    EXPECT_EQ(Document(deleted).value("framesAnswered").toInt(), 1) << deleted.out;

    Simulator halfAnswer({"--fail-mode", "len12"});
    WriteBytes(File("Velmora.ini"),
               "[Settings]\nPort=3\n[Ports]\nCOM3=" + halfAnswer.DevicePath() + "\n");
    const RunResult halfDeleted = Cli({"delete", "--json", "--timeout", kTimeout, "--early"});
    EXPECT_EQ(halfDeleted.exitCode, 3);
    const QJsonObject noReply = Document(halfDeleted);
    EXPECT_EQ(noReply.value("outcome").toString(), "No reply!");
    EXPECT_EQ(noReply.value("port").toInt(), 3);
    EXPECT_EQ(noReply.value("earlyGapMs").toInt(), 30);
    EXPECT_EQ(noReply.value("error").toObject().value("message").toString(), "No reply!");

    // Two ports: each in "ports", in the order given; the first that failed speaks.
    const RunResult both = Cli(
        {"delete", "--json", "--timeout", kTimeout, "--port", device.DevicePath(), "--port", "3"});
    EXPECT_EQ(both.exitCode, 3);
    const QJsonObject two = Document(both);
    const QJsonArray ports = two.value("ports").toArray();
    ASSERT_EQ(ports.size(), 2) << both.out;
    EXPECT_EQ(ports[0].toObject().value("outcome").toString(), "Done!");
    EXPECT_EQ(ports[1].toObject().value("port").toInt(), 3);
    EXPECT_EQ(ports[1].toObject().value("exitCode").toInt(), 3);
    EXPECT_EQ(two.value("outcome").toString(), "No reply!");
    EXPECT_EQ(two.value("error").toObject().value("message").toString(), "COM3: No reply!");

    const RunResult unopened =
        Cli({"send", table, "--port", "/dev/velmora-no-such-port", "--json"});
    EXPECT_EQ(unopened.exitCode, 2);
    const QJsonObject unable = Document(unopened);
    EXPECT_EQ(unable.value("outcome").toString(), "Unable to open serial port!");
    EXPECT_TRUE(unable.value("error").toObject().value("message").toString().contains(
        "/dev/velmora-no-such-port"))
        << unopened.out;
}
