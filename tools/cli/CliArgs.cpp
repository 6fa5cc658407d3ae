#include "CliArgs.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <string_view>

namespace velmora::cli {
namespace {

enum class Arity { Flag, Value, OptionalValue };

struct OptionSpec {
    std::string_view name;
    Arity arity;
};

struct CommandGrammar {
    std::string_view name;
    Command command;
    std::vector<OptionSpec> options;
    std::string_view positional;  // the one positional argument, or empty for none
};

const std::vector<OptionSpec> kLinkOptions = {{"--port", Arity::Value},
                                              {"--timeout", Arity::Value},
                                              {"--early", Arity::OptionalValue},
                                              {"--trace", Arity::Flag}};

const std::vector<CommandGrammar>& Commands() {
    static const std::vector<CommandGrammar> commands = {
        {"show", Command::Show, {{"--month-first", Arity::Flag}}, "FILE"},
        {"make",
         Command::Make,
         {{"--zone", Arity::Value},
          {"--first-year", Arity::Value},
          {"--output", Arity::Value},
          {"--force", Arity::Flag}},
         {}},
        {"send", Command::Send, kLinkOptions, "FILE"},
        {"delete", Command::Delete, kLinkOptions, {}},
        {"ports", Command::Ports, {}, {}},
    };
    return commands;
}

constexpr std::string_view kCommandList = "commands: show, make, send, delete, ports";
constexpr int kMaxComPort = 8;

ParseResult Fail(std::string message) { return {std::nullopt, std::move(message)}; }

// An argument as an error message quotes it: control characters are written as
// escapes, so that an argument holding a line feed cannot break the message,
// which is one line, in two.
std::string Shown(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n') {
            shown += "\\n";
        } else if (c == '\r') {
            shown += "\\r";
        } else if (c == '\t') {
            shown += "\\t";
        } else if (byte < 0x20 || byte == 0x7f) {
            shown.append("\\x").append(1, kHex[byte >> 4]).append(1, kHex[byte & 0xf]);
        } else {
            shown += c;
        }
    }
    return shown;
}

bool IsHelp(std::string_view arg) { return arg == "--help" || arg == "-h"; }

// The whole text must be a decimal integer that fits an int.
std::optional<int> ParseInt(std::string_view text) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

bool AllDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](char c) { return c >= '0' && c <= '9'; });
}

// Option name -> its value; a flag or an optional value left out maps to nullopt.
using OptionValues = std::map<std::string, std::optional<std::string>, std::less<>>;

std::optional<std::string> PositiveMs(const OptionValues& values, std::string_view name,
                                      std::optional<int>& out) {
    const auto it = values.find(name);
    if (it == values.end() || !it->second) return std::nullopt;
    const std::optional<int> ms = ParseInt(*it->second);
    if (!ms || *ms < 1)
        return std::string(name) + " needs a number of milliseconds of at least 1, not '" +
               Shown(*it->second) + "'";
    out = *ms;
    return std::nullopt;
}

std::optional<std::string> ReadLinkOptions(const OptionValues& values, Options& options) {
    if (const auto it = values.find("--port"); it != values.end()) {
        const std::string& port = *it->second;
        if (AllDigits(port)) {
            const std::optional<int> number = ParseInt(port);
            if (!number || *number < 1 || *number > kMaxComPort)
                return "--port takes a COM port number 1..8 or a device path, not '" +
                       Shown(port) + "'";
            options.portNumber = number;
        } else {
            options.portPath = port;
        }
    }
    if (auto error = PositiveMs(values, "--timeout", options.timeoutMs)) return error;
    options.trace = values.contains("--trace");
    if (const auto it = values.find("--early"); it != values.end()) {
        options.earlyGapMs = kDefaultEarlyGapMs;
        if (auto error = PositiveMs(values, "--early", options.earlyGapMs)) return error;
    }
    return std::nullopt;
}

std::optional<std::string> ReadMakeOptions(const OptionValues& values, Options& options) {
    for (std::string_view required : {"--zone", "--first-year", "--output"})
        if (!values.contains(required)) return "make needs " + std::string(required);
    options.zone = *values.find("--zone")->second;
    options.output = *values.find("--output")->second;
    options.force = values.contains("--force");
    const std::string& year = *values.find("--first-year")->second;
    const std::optional<int> number = ParseInt(year);
    if (!number) return "--first-year needs a year, not '" + Shown(year) + "'";
    options.firstYear = *number;
    return std::nullopt;
}

}  // namespace

ParseResult ParseArguments(const std::vector<std::string>& args) {
    if (args.empty()) return Fail("no command given; " + std::string(kCommandList));
    Options options;
    if (IsHelp(args[0])) {
        options.help = true;
        return {options, {}};
    }
    const auto& commands = Commands();
    const auto grammar = std::find_if(commands.begin(), commands.end(),
                                   [&](const CommandGrammar& c) { return c.name == args[0]; });
    if (grammar == commands.end())
        return Fail("unknown command '" + Shown(args[0]) + "'; " + std::string(kCommandList));
    options.command = grammar->command;
    const std::string commandName(grammar->name);

    OptionValues values;
    std::vector<std::string> positionals;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        // "-" alone is a name like any other; "--" ends the options.
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            positionals.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (IsHelp(arg)) {
            options.help = true;
            return {options, {}};
        }
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        const auto option = std::find_if(grammar->options.begin(), grammar->options.end(),
                                         [&](const OptionSpec& o) { return o.name == name; });
        if (option == grammar->options.end()) {
            // The message is built once, as the loop is left.
            // NOLINTBEGIN(performance-inefficient-string-concatenation)
            return Fail("unknown option " + Shown(name) + " for " + commandName +
                        "; see velmora-cli " + commandName + " --help");
            // NOLINTEND(performance-inefficient-string-concatenation)
        }
        if (values.contains(name)) return Fail(name + " given twice");

        std::optional<std::string> value;
        if (equals != std::string::npos) {
            if (option->arity == Arity::Flag) return Fail(name + " takes no value");
            value = arg.substr(equals + 1);
        } else if (option->arity == Arity::Value) {
            if (i + 1 >= args.size()) return Fail(name + " needs a value");
            value = args[++i];
        }
        if (value && value->empty()) return Fail(name + " needs a value");
        values.emplace(name, std::move(value));
    }

    const std::size_t wanted = grammar->positional.empty() ? 0 : 1;
    if (positionals.size() > wanted)
        return Fail("unexpected argument '" + Shown(positionals[wanted]) + "' for " +
                    commandName);
    if (positionals.size() < wanted)
        return Fail(commandName + " needs " + std::string(grammar->positional));
    if (wanted == 1) options.file = positionals[0];

    std::optional<std::string> error;
    switch (options.command) {
        case Command::Show:
            options.monthFirst = values.contains("--month-first");
            break;
        case Command::Make:
            error = ReadMakeOptions(values, options);
            break;
        case Command::Send:
        case Command::Delete:
            error = ReadLinkOptions(values, options);
            break;
        case Command::Ports:
        case Command::None:
            break;
    }
    if (error) return Fail(*error);
    return {options, {}};
}

std::string HelpText(Command command) {
    static const std::string kLinkHelp =
        "  --port P          COM port number 1..8 (its device comes from section \"Ports\",\n"
        "                    keys \"COM1\"..\"COM8\" of Velmora.ini, else /dev/ttyS0..7)\n"
        "                    or a device path; default: \"Port\" of section \"Settings\"\n"
        "                    of Velmora.ini in the current directory, else 1\n"
        "  --timeout MS      reply time per frame; default: \"Timeout\" of Velmora.ini,\n"
        "                    else 1000\n"
        "  --early[=GAP_MS]  judge an answer as soon as it has 15 bytes and no further\n"
        "                    byte came for GAP_MS (default 30); the timeout stays the\n"
        "                    upper bound\n"
        "  --trace           every frame sent and every run of bytes received, in hex,\n"
        "                    with the milliseconds since the start, on standard error\n"
        "Progress goes to standard error; the last line of standard output is the\n"
        "outcome. Exit codes: 0 \"Done!\", 1 usage or file error, 2 \"Unable to open\n"
        "serial port!\", 3 \"No reply!\", 4 \"Communication error!\".\n";
    switch (command) {
        case Command::Show:
            return "usage: velmora-cli show FILE [--month-first]\n"
                   "Prints the fifteen rows of a .dst file as the window shows them after\n"
                   "Open, one a line: begin date, end date, then the five record bytes in\n"
                   "hex (begin day, begin month, end day, end month, year - 2000).\n"
                   "  --month-first     dates as MM/dd/yyyy instead of dd/MM/yyyy\n";
        case Command::Make:
            return "usage: velmora-cli make --zone ZONE --first-year YEAR --output FILE [--force]\n"
                   "Builds fifteen rows from the system's time-zone database: row i holds the\n"
                   "daylight-saving period that ends in YEAR + i. The period begins where the\n"
                   "zone's UTC offset rises and ends where it falls again, so southern zones\n"
                   "begin in the year before. Each date is the zone's local date just after\n"
                   "the change: a clock put forward at midnight gives that day, a clock put\n"
                   "back at midnight gives the day before (the clock shows 23:00 then).\n"
                   "  --zone ZONE       time-zone name, e.g. Europe/Berlin\n"
                   "  --first-year YEAR 2001..2085 (the last row ends in YEAR + 14)\n"
                   "  --output FILE     the .dst file to write (75 bytes)\n"
                   "  --force           overwrite FILE if it exists\n";
        case Command::Send:
            return "usage: velmora-cli send FILE [--port P] [--timeout MS] [--early[=GAP_MS]] "
                   "[--trace]\n"
                   "Uploads the fifteen rows of a .dst file to the device.\n" +
                   kLinkHelp;
        case Command::Delete:
            return "usage: velmora-cli delete [--port P] [--timeout MS] [--early[=GAP_MS]] "
                   "[--trace]\n"
                   "Sends the DST Delete frame to the device.\n" +
                   kLinkHelp;
        case Command::Ports:
            return "usage: velmora-cli ports\n"
                   "Lists the serial devices present (stable names of /dev/serial/by-id first,\n"
                   "then /dev/ttyUSB*, /dev/ttyACM* and the real /dev/ttyS*) with what the\n"
                   "system knows of each, then the device of COM1 to COM8 by Velmora.ini in\n"
                   "the current directory and whether it can be opened.\n";
        case Command::None:
            break;
    }
    return "usage: velmora-cli COMMAND ...\n"
           "Commands:\n"
           "  show FILE       print the rows of a .dst file\n"
           "  make ...        build a .dst file from the time-zone database\n"
           "  send FILE ...   upload a .dst file to the device\n"
           "  delete ...      send the DST Delete frame to the device\n"
           "  ports           list the serial devices and the COM port mapping\n"
           "Run velmora-cli COMMAND --help for the options of a command.\n"
           "Exit codes:\n"
           "  0  done (\"Done!\" for send and delete)\n"
           "  1  usage or file error\n"
           "  2  \"Unable to open serial port!\"\n"
           "  3  \"No reply!\"\n"
           "  4  \"Communication error!\"\n";
}

}  // namespace velmora::cli
