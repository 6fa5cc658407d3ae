// velmora-devsim's command line.
#pragma once

#include <string>

#include "DeviceAnswer.h"

namespace velmora {

struct Options {
    AnswerPlan answers;
    long delayMs = 0;
    long slowByteMs = 0;
    long lineRate = 0;  // baud; 0: bytes cross at once
    std::string logPath;
    long exitAfter = 0;  // 0: never
    bool stdinLifeline = false;
};

// Reads the command line into `options`. --help and --version print their text
// and end the program. Returns false (after a message) when the command line
// cannot be used.
bool ParseOptions(int argc, char** argv, Options& options);

}  // namespace velmora
