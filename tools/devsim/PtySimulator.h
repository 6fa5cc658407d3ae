// The device on a pseudo-terminal: it reads what is written to the terminal,
// finds the frames in it and answers each as the options say, pacing the line
// when told to. SIGTERM and SIGINT end it cleanly.
#pragma once

#include <poll.h>

#include <chrono>
#include <cstdio>

#include "DeviceFrame.h"
#include "Options.h"

namespace velmora {

// Makes SIGTERM and SIGINT stop every simulator's waits and SIGPIPE harmless.
// False (after a message) when it cannot.
bool InstallStopSignals();

class PtySimulator {
  public:
    explicit PtySimulator(const Options& options) : m_options(options) {}
    ~PtySimulator();
    PtySimulator(const PtySimulator&) = delete;
    PtySimulator& operator=(const PtySimulator&) = delete;

    // Opens the pseudo-terminal and prints its path. False after a message.
    bool Open();

    // Answers frames until stopped. Returns the process's exit status.
    int Run();

  private:
    using Clock = std::chrono::steady_clock;

    bool Respond(const ByteString& frame);
    void Log(const ByteString& frame);
    bool WriteAll(const char* data, std::size_t count);
    static bool Wait(long ms);
    static bool WaitUntil(Clock::time_point until);
    // Waits for a stop request, `events` on the terminal or the lifeline's
    // input; poll's result, with what each one had in `fds`.
    int PollWith(short events, pollfd (&fds)[3]) const;
    bool WaitForRoom() const;
    static bool StdinAlive();
    void WaitUntilDelivered() const;
    static bool Fail(const char* what);

    const Options& m_options;
    const Clock::time_point m_start = Clock::now();
    // Ten bits a byte at the line rate; zero when the line is not paced.
    const Clock::duration m_byteTime = m_options.lineRate > 0
                                           ? std::chrono::duration_cast<Clock::duration>(
                                                 std::chrono::nanoseconds(10'000'000'000LL /
                                                                          m_options.lineRate))
                                           : Clock::duration::zero();
    Clock::time_point m_lineFreeAt;  // when the last byte read has crossed the line
    int m_master = -1;
    int m_slave = -1;
    std::FILE* m_log = nullptr;
    long m_framesSeen = 0;
    int m_status = 0;
};

}  // namespace velmora
