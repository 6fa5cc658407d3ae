#include "Options.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <string_view>

#include "version.h"

namespace velmora {
namespace {

constexpr char kUsage[] =
    "Usage: velmora-devsim [options]\n"
    "Opens a pseudo-terminal, prints its device path on the first line of\n"
    "standard output and answers the frames written to it like a device.\n"
    "A frame is 12 bytes starting with 0x7E whose checksum over all 12 bytes\n"
    "is 0; other bytes are skipped. Each frame is answered with the frame, the\n"
    "bytes 'O' 'K' and 0x00 (15 bytes ending in 0x00) unless told otherwise.\n"
    "\n"
    "Options:\n"
    "  --fail-at K          answer frame K (0-based, counted since start) with\n"
    "                       the fault of --fail-mode (default last01)\n"
    "  --fail-mode MODE     the fault: last01 (15 bytes ending in 0x01),\n"
    "                       len12 (the frame echoed), len14 (14 bytes),\n"
    "                       len16 (16 bytes ending in 0x00), silence (nothing),\n"
    "                       twice (the good answer sent two times, 30 bytes);\n"
    "                       without --fail-at every frame gets it\n"
    "  --flood BYTES        a fault too: answer with BYTES bytes counting\n"
    "                       00 01 02 ... FF 00 ...; with --fail-at only frame K,\n"
    "                       otherwise every frame\n"
    "  --delay MS           wait MS milliseconds before answering\n"
    "  --slow-byte MS       wait MS milliseconds between answer bytes\n"
    "  --line-rate BAUD     pace what is read and what is written at ten bits a\n"
    "                       byte, as on a serial line of BAUD (8.33 ms a byte at\n"
    "                       1200): a frame is seen once its last byte has\n"
    "                       crossed the line, and each answer byte appears when\n"
    "                       it would have\n"
    "  --log FILE           append one line per frame received: milliseconds\n"
    "                       since start and the 12 bytes in hex\n"
    "  --hangup-at K        hang up while answering frame K (0-based): send the\n"
    "                       first bytes of its answer, then close the terminal\n"
    "                       and exit\n"
    "  --hangup-after N     bytes of that answer sent before the hangup (default 7)\n"
    "  --exit-after N       exit once N frames have been answered\n"
    "  --stdin-lifeline     exit when standard input is closed\n"
    "  --help               show this text\n"
    "  --version            show the version\n"
    "SIGTERM and SIGINT end the simulator cleanly.\n";

bool ParseCount(const char* text, long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && value >= 0;
}

}  // namespace

bool ParseOptions(int argc, char** argv, Options& options) {
    constexpr std::string_view kValueOptions[] = {
        "--fail-at", "--fail-mode", "--flood",        "--delay",      "--slow-byte",
        "--log",     "--hangup-at", "--hangup-after", "--exit-after", "--line-rate"};
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "--version") {
            std::fputs(arg == "--help" ? kUsage : VELMORA_VERSION_LINES("velmora-devsim"), stdout);
            // Nothing but this thread exists while the options are read.
            std::exit(0);  // NOLINT(concurrency-mt-unsafe)
        }
        if (arg == "--stdin-lifeline") {
            options.stdinLifeline = true;
            continue;
        }
        if (std::find(std::begin(kValueOptions), std::end(kValueOptions), arg) ==
            std::end(kValueOptions)) {
            std::fprintf(stderr, "velmora-devsim: unknown option %s (see --help)\n", argv[i]);
            return false;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "velmora-devsim: %s needs a value (see --help)\n", argv[i]);
            return false;
        }
        if ((arg == "--fail-mode" || arg == "--flood") && options.answers.fault.has_value()) {
            std::fputs("velmora-devsim: give only one of --fail-mode and --flood\n", stderr);
            return false;
        }
        const char* value = argv[++i];
        long number = 0;
        bool ok = arg == "--fail-mode" || arg == "--log" || ParseCount(value, number);
        if (arg == "--fail-mode") {
            const std::optional<Answer> mode = ParseAnswerMode(value);
            ok = mode.has_value();
            options.answers.fault = mode;
        } else if (arg == "--log") {
            options.logPath = value;
        } else if (arg == "--fail-at") {
            options.answers.failAt = number;
        } else if (arg == "--flood") {
            options.answers.fault = Answer::Flood;
            options.answers.floodBytes = number;
        } else if (arg == "--delay") {
            options.delayMs = number;
        } else if (arg == "--slow-byte") {
            options.slowByteMs = number;
        } else if (arg == "--line-rate") {
            ok = ok && number > 0;
            options.lineRate = number;
        } else if (arg == "--hangup-at") {
            options.answers.hangupAt = number;
        } else if (arg == "--hangup-after") {
            options.answers.hangupAfter = number;
        } else {
            options.exitAfter = number;
        }
        if (!ok) {
            std::fprintf(stderr, "velmora-devsim: bad value '%s' for %s (see --help)\n", value,
                         argv[i - 1]);
            return false;
        }
    }
    if (options.answers.failAt && !options.answers.fault) {
        options.answers.fault = Answer::Last01;
    }
    return true;
}

}  // namespace velmora
