// The command line of velmora-cli: which command, with which options. Parsing
// only reads the arguments; files, zones and ports are checked by the commands.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "RowsConvention.h"

namespace velmora::cli {

enum class Command { None, Show, Make, Check, Send, Delete, Ports, History };

// Exit codes, relied upon by scripts.
enum ExitCode : int {
    kExitDone = 0,
    kExitUsageOrFile = 1,
    kExitPortUnavailable = 2,
    kExitNoReply = 3,
    kExitCommunicationError = 4,
    kExitTableDiffers = 5,  // check: a row differs from the time zone
};

// A port named by --port: a COM port number 1..8, or else a device path.
struct PortChoice {
    int number = 0;    // 1..8, or 0 for a path
    std::string path;  // the device path when number is 0
    // "COM3" or the path, as progress and outcome lines name the port.
    std::string Name() const { return number > 0 ? "COM" + std::to_string(number) : path; }
    bool operator==(const PortChoice&) const = default;
};

struct Options {
    Command command = Command::None;
    bool help = false;     // --help: print HelpText(command) and nothing else
    bool version = false;  // --version alone: print the version and nothing else
    bool json = false;     // --json: one JSON document on standard output

    std::string file;         // show, check, send
    bool monthFirst = false;  // show, check

    std::string zone;  // make, check
    RowsConvention rows = RowsConvention::Calendar;
    int firstYear = 0;  // make
    std::string output;
    bool force = false;

    // send, delete: the ports in the order given, one exchange on each at the
    // same time; none given: the port of Velmora.ini. Unset values come from
    // Velmora.ini.
    std::vector<PortChoice> ports;
    std::optional<int> timeoutMs;
    std::optional<int> earlyGapMs;  // set when --early was given
    bool trace = false;             // --trace

    // history: --port (then one in `ports`) and --since as given.
    std::string since;
    bool watch = false;  // ports --watch: follow the devices until interrupted
};

struct ParseResult {
    std::optional<Options> options;  // empty on error
    std::string error;               // one line, without a trailing line feed
    // On error: the command named, and whether its arguments ask for --json
    // (the error is then told as a JSON document too).
    Command command = Command::None;
    bool json = false;
};

// `args` are the arguments after the program name.
ParseResult ParseArguments(const std::vector<std::string>& args);

// The command's name on the command line ("show"); empty for Command::None.
std::string CommandName(Command command);

// The help of the program (Command::None) or of one command.
std::string HelpText(Command command);

}  // namespace velmora::cli
