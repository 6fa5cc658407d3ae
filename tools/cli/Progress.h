// Progress of an exchange on standard error: a bar redrawn in place on a
// terminal, one line per frame otherwise (logs and pipes).
#pragma once

#include <cstdio>

namespace velmora::cli {

class ProgressReporter {
  public:
    ProgressReporter(std::FILE* out, bool bar) : m_out(out), m_bar(bar) {}

    // `answered` of `total` frames were answered well; the next one is in flight.
    void Show(int answered, int total);
    // Ends a bar's line so that what follows starts on a line of its own.
    void Finish();

  private:
    std::FILE* m_out;
    bool m_bar;
    int m_lastFrame = 0;
    bool m_barDrawn = false;
};

}  // namespace velmora::cli
