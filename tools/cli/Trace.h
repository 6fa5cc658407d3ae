// --trace: every frame written and every run of bytes received, in hex, with
// the milliseconds since the command started, one line each.
#pragma once

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>

#include "DeviceFrame.h"

namespace velmora::cli {

class ExchangeTrace {
  public:
    using Clock = std::chrono::steady_clock;
    // Bytes that follow each other within this gap are one run: two byte
    // times at 1200 baud, so a device that answers at line speed makes one line.
    static constexpr std::chrono::milliseconds kRunGap{20};

    // `prefix` begins each line: the port's name when several ports run at once.
    explicit ExchangeTrace(std::FILE* out, Clock::time_point start = Clock::now(),
                           std::string prefix = {})
        : m_out(out), m_start(start), m_prefix(std::move(prefix)) {}

    void Sent(const ByteString& bytes, Clock::time_point at = Clock::now());
    void Received(unsigned char byte, Clock::time_point at = Clock::now());
    // Prints the run in progress, if any.
    void EndRun();
    bool RunPending() const { return m_runStart.has_value(); }

  private:
    void Line(Clock::time_point at, const char* what, const ByteString& bytes);

    std::FILE* m_out;
    Clock::time_point m_start;
    std::string m_prefix;
    ByteString m_run;
    std::optional<Clock::time_point> m_runStart;
};

}  // namespace velmora::cli
