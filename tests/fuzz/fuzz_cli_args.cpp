// Any argument list for velmora-cli (the input cut at zero bytes, so an
// argument may hold line feeds): the parser gives either options or a
// one-line error, and options it accepts are within their documented ranges.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "CliArgs.h"
#include "FuzzSupport.h"

using namespace velmora::cli;

namespace {

// The word that selects each command; a switch, so that a new command that is
// not named here fails the build (-Wswitch) instead of the fuzz run.
const char* CommandWord(Command command) {
    switch (command) {
        case Command::None:
            return "";
        case Command::Show:
            return "show";
        case Command::Make:
            return "make";
        case Command::Check:
            return "check";
        case Command::Send:
            return "send";
        case Command::Delete:
            return "delete";
        case Command::Ports:
            return "ports";
        case Command::History:
            return "history";
    }
    return "";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> args;
    while (!input.empty()) {
        const std::size_t zero = input.find('\0');
        args.emplace_back(input.substr(0, zero));
        input.remove_prefix(zero == std::string_view::npos ? input.size() : zero + 1);
    }

    const ParseResult result = ParseArguments(args);
    if (!result.options) {
        FUZZ_CHECK(!result.error.empty());
        FUZZ_CHECK(result.error.find_first_of("\r\n") == std::string::npos);
        // An error told as JSON names the command it belongs to.
        if (result.json) FUZZ_CHECK(args.front() == CommandWord(result.command));
        return 0;
    }
    FUZZ_CHECK(result.error.empty());
    const Options& options = *result.options;
    static_cast<void>(HelpText(options.command));
    if (options.help) return 0;
    if (options.version) {
        FUZZ_CHECK(args.size() == 1 && args.front() == "--version");
        return 0;
    }

    FUZZ_CHECK(options.command != Command::None);
    FUZZ_CHECK(args.front() == CommandWord(options.command));
    FUZZ_CHECK(CommandName(options.command) == CommandWord(options.command));
    if (options.command == Command::Make) {
        FUZZ_CHECK(!options.zone.empty() && !options.output.empty());
    }
    if (options.command == Command::Check) {
        FUZZ_CHECK(!options.zone.empty() && !options.file.empty());
    }
    for (std::size_t i = 0; i < options.ports.size(); ++i) {
        const PortChoice& port = options.ports[i];
        FUZZ_CHECK(port.number >= 0 && port.number <= 8);
        FUZZ_CHECK((port.number == 0) != port.path.empty());
        for (std::size_t j = 0; j < i; ++j) FUZZ_CHECK(!(options.ports[j] == port));
    }
    if (options.timeoutMs) FUZZ_CHECK(*options.timeoutMs >= 1);
    if (options.earlyGapMs) FUZZ_CHECK(*options.earlyGapMs >= 1);
    return 0;
}
