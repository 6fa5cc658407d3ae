// Running velmora-cli, velmora-devsim and other programs as child processes,
// and reading the simulator's frame log.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "TempDir.h"

namespace velmora::test {

struct RunResult {
    int exitCode = -1;  // -1 when the child did not exit normally
    std::string out;
    std::string err;
    // The last line of standard output, without its line feed.
    std::string LastOutLine() const;
};

// Runs `program` with `args` in `directory` and waits for it (at most a minute).
// Programs started in a folder keep their state there: XDG_STATE_HOME is
// `directory`/state, so the record of uploads is `directory`/state/velmora/uploads.jsonl.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& directory);

// A device simulator on a pseudo-terminal for the lifetime of the object.
class Simulator {
  public:
    explicit Simulator(const std::vector<std::string>& args = {});
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    const std::string& DevicePath() const { return m_devicePath; }

  private:
    pid_t m_pid = -1;
    int m_stdin = -1;   // closing it ends the simulator (--stdin-lifeline)
    int m_stdout = -1;  // kept open so that the simulator never writes to a closed pipe
    std::string m_devicePath;
};

// A program left running in `directory` while the test goes on, its standard
// streams on /dev/null (standard output into `outputFile` when given); killed
// with the object unless waited for.
class BackgroundProgram {
  public:
    BackgroundProgram(const std::vector<std::string>& words, const std::string& directory,
                      const std::string& outputFile = {});
    ~BackgroundProgram();
    BackgroundProgram(const BackgroundProgram&) = delete;
    BackgroundProgram& operator=(const BackgroundProgram&) = delete;

    pid_t Pid() const { return m_pid; }
    // Its exit code; -1 when it did not exit normally.
    int Wait();

  private:
    pid_t m_pid = -1;
};

// The simulator's log (--log FILE) holds one line per frame received:
// "<ms> <12 bytes in hex>". A test may append a mark line of its own; both
// append whole lines, so the mark falls between two frames.
void AppendMark(const std::string& logPath);
// The frames logged after the last mark (all of them without one), as bytes.
std::vector<std::string> FramesAfterLastMark(const std::string& logPath);
std::size_t LoggedFrameCount(const std::string& logPath);

}  // namespace velmora::test
