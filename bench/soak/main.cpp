// A soak of many exchanges in one process, run by hand (never as a test):
//
//   1. exchanges through the exchange controller against velmora-devsim,
//      rotating the device's behaviour (a good answer; answers of 12, 14 and 16
//      bytes; silence; a last byte that is not zero; bytes spaced slowly; a
//      hang-up in the middle of an answer; the device vanishing and coming back;
//      a second command taking over a running one), uploads and DST Deletes,
//      with and without early judgement;
//   2. four ports at once, each with its own exchange controller and devices,
//      the behaviours above (the hang-up included) rotating on each port
//      independently, uploads and DST Deletes, with and without early judgement;
//   3. uploads from the main window (offscreen) by clicks on Send, each box
//      closed with Return, the rows reloaded from a file now and then.
//
// Every verdict is compared with what the device did: a good answer is exactly
// 15 bytes ending in 0x00; an upload calls every other length "No reply!" and
// 15 bytes ending otherwise "Communication error!"; DST Delete calls only 12
// bytes "No reply!" and every other bad answer "Communication error!". A port
// that cannot be opened must say which device and why. Every 50 exchanges the
// process's descriptors, threads and resident memory are sampled; the end is
// one table.
//
//   soak [--exchanges N] [--port-exchanges N] [--window-uploads N] [--timeout MS] [--list]

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "ControllerSoak.h"
#include "PortsSoak.h"
#include "SoakFigures.h"
#include "WindowSoak.h"

using namespace velmora::soak;

namespace {

struct Arguments {
    int exchanges = 1000;
    int portExchanges = 250;  // on each of the four ports
    int windowUploads = 200;
    int timeoutMs = 100;
};

// The arguments, or none (after a message) when one is not understood.
std::optional<Arguments> ParseArguments(int argc, char** argv) {
    Arguments arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--list") {
            ListEachSample(true);
            continue;
        }
        int* value = name == "--exchanges"        ? &arguments.exchanges
                     : name == "--port-exchanges" ? &arguments.portExchanges
                     : name == "--window-uploads" ? &arguments.windowUploads
                     : name == "--timeout"        ? &arguments.timeoutMs
                                                  : nullptr;
        char* end = nullptr;
        const long number = value && i + 1 < argc ? std::strtol(argv[i + 1], &end, 10) : -1;
        if (!value || end == argv[i + 1] || *end != '\0' || number < 0 || number > 1000000 ||
            (value == &arguments.timeoutMs && number < 20)) {
            std::fprintf(stderr,
                         "soak: cannot use \"%s%s%s\"\nusage: soak [--exchanges N] "
                         "[--port-exchanges N] [--window-uploads N] [--timeout MS (20 or "
                         "more)] [--list]\n",
                         argv[i], value && i + 1 < argc ? " " : "",
                         value && i + 1 < argc ? argv[i + 1] : "");
            return std::nullopt;
        }
        *value = static_cast<int>(number);
        ++i;
    }
    return arguments;
}

int Run(int argc, char** argv) {
    const std::optional<Arguments> arguments = ParseArguments(argc, argv);
    if (!arguments) return 2;
    const int exchanges = arguments->exchanges;
    const int windowUploads = arguments->windowUploads;
    const int timeoutMs = arguments->timeoutMs;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    std::vector<Figures> parts(1);
    parts[0].name = "exchange controller";
    const int linkErrors = RunControllerSoak(timeoutMs, exchanges, parts[0]);
    if (arguments->portExchanges > 0) {
        parts.emplace_back().name = "four ports at once";
        RunPortsSoak(timeoutMs, arguments->portExchanges, parts.back());
    }
    if (windowUploads > 0) {
        parts.emplace_back().name = "window, Send clicked";
        RunWindowSoak(timeoutMs, windowUploads, parts.back());
    }
    PrintTable(parts);
    std::printf("Link errors shown (hang-ups): %d\n", linkErrors);
    int wrong = 0;
    for (const Figures& f : parts) wrong += f.wrongVerdicts;
    return wrong == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "soak: %s\n", error.what());
        return 2;
    }
}
