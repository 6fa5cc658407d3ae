// velmora-cli: show, make, check, send, delete and ports from scripts, judged by the same
// code as the window program.
#include <QCoreApplication>
#include <cstdio>
#include <string>
#include <vector>

#include "CliArgs.h"
#include "Commands.h"
#include "JsonOutput.h"
#include "Platform.h"
#include "version.h"

using namespace velmora::cli;

int main(int argc, char** argv) {
    PrintUtf8();
    const ParseResult parsed = ParseArguments(ProgramArguments(argc, argv));
    if (!parsed.options) {
        std::fprintf(stderr, "velmora-cli: %s\n", parsed.error.c_str());
        if (parsed.json) return PrintErrorDocument(parsed.command, parsed.error, kExitUsageOrFile);
        return kExitUsageOrFile;
    }
    const Options& options = *parsed.options;
    // The parser gives no command only together with --help or --version.
    if (options.version) {
        std::fputs(VELMORA_VERSION_LINES("velmora-cli"), stdout);
        return kExitDone;
    }
    if (options.help) {
        std::fputs(HelpText(options.command).c_str(), stdout);
        return kExitDone;
    }
    if (options.command == Command::Show) return RunShow(options);
    if (options.command == Command::Make) return RunMake(options);
    if (options.command == Command::Check) return RunCheck(options);
    if (options.command == Command::Ports) return RunPorts(options);
    if (options.command == Command::History) return RunHistory(options);
    // The C run-time's own argv, unchanged: on Windows Qt then reads the
    // UTF-16 command line itself, as ProgramArguments does.
    QCoreApplication app(argc, argv);
    return RunExchange(options);
}
