// Progress of an exchange on standard error: a bar redrawn in place on a
// terminal, one line per frame otherwise (logs and pipes, and several ports at once).
#pragma once

#include <cstdio>
#include <string>
#include <utility>

namespace velmora::cli {

class ProgressReporter {
  public:
    // `prefix` begins each line ("COM3: "), for exchanges on several ports at once.
    ProgressReporter(std::FILE* out, bool bar, std::string prefix = {})
        : m_out(out), m_bar(bar), m_prefix(std::move(prefix)) {}

    // `answered` of `total` frames were answered well; the next one is in flight.
    void Show(int answered, int total);
    // Ends a bar's line so that what follows starts on a line of its own.
    void Finish();

  private:
    std::FILE* m_out;
    bool m_bar;
    std::string m_prefix;
    int m_lastFrame = 0;
    bool m_barDrawn = false;
};

}  // namespace velmora::cli
