#include "CliArgs.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <string_view>

#include "Platform.h"
#include "UploadSequence.h"

namespace velmora::cli {
namespace {

enum class Arity { Flag, Value, OptionalValue };

struct OptionSpec {
    std::string_view name;
    Arity arity;
    bool repeats = false;  // may be given more than once
};

struct CommandGrammar {
    std::string_view name;
    Command command;
    std::vector<OptionSpec> options;
    std::string_view positional;  // the one positional argument, or empty for none
};

const std::vector<OptionSpec> kLinkOptions = {{"--port", Arity::Value, true},
                                              {"--timeout", Arity::Value},
                                              {"--early", Arity::OptionalValue},
                                              {"--trace", Arity::Flag},
                                              {"--json", Arity::Flag}};

const std::vector<CommandGrammar>& Commands() {
    static const std::vector<CommandGrammar> commands = {
        {"show", Command::Show, {{"--month-first", Arity::Flag}, {"--json", Arity::Flag}}, "FILE"},
        {"make",
         Command::Make,
         {{"--zone", Arity::Value},
          {"--first-year", Arity::Value},
          {"--output", Arity::Value},
          {"--force", Arity::Flag},
          {"--rows", Arity::Value},
          {"--json", Arity::Flag}},
         {}},
        {"check",
         Command::Check,
         {{"--zone", Arity::Value},
          {"--rows", Arity::Value},
          {"--month-first", Arity::Flag},
          {"--json", Arity::Flag}},
         "FILE"},
        {"send", Command::Send, kLinkOptions, "FILE"},
        {"delete", Command::Delete, kLinkOptions, {}},
        {"ports", Command::Ports, {{"--watch", Arity::Flag}, {"--json", Arity::Flag}}, {}},
        {"history",
         Command::History,
         {{"--port", Arity::Value}, {"--since", Arity::Value}, {"--json", Arity::Flag}},
         {}},
    };
    return commands;
}

constexpr std::string_view kCommandList =
    "commands: show, make, check, send, delete, ports, history";
constexpr int kMaxComPort = 8;

ParseResult Fail(std::string message) {
    return {std::nullopt, std::move(message)};
}

// Whether the arguments of a command ask for --json: an argument "--json"
// before "--" that is not the value of an option. Read before the arguments
// are judged, so that every usage error of such a command line is told as JSON.
bool AsksForJson(const CommandGrammar& grammar, const std::vector<std::string>& args) {
    for (std::size_t i = 1; i < args.size() && args[i] != "--"; ++i) {
        if (args[i] == "--json") return true;
        const auto option = std::find_if(grammar.options.begin(), grammar.options.end(),
                                         [&](const OptionSpec& o) { return o.name == args[i]; });
        if (option != grammar.options.end() && option->arity == Arity::Value) ++i;
    }
    return false;
}

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

bool IsHelp(std::string_view arg) {
    return arg == "--help" || arg == "-h";
}

// The whole text must be a decimal integer that fits an int.
std::optional<int> ParseInt(std::string_view text) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

bool AllDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Option name -> its value, in the order given; a flag or an optional value
// left out maps to nullopt.
using OptionValues = std::multimap<std::string, std::optional<std::string>, std::less<>>;

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

// Every --port in the order given: a COM port number or else a device path.
std::optional<std::string> ReadPorts(const OptionValues& values, Options& options) {
    const auto [first, last] = values.equal_range("--port");
    for (auto it = first; it != last; ++it) {
        const std::string& port = *it->second;
        PortChoice choice;
        if (AllDigits(port)) {
            const std::optional<int> number = ParseInt(port);
            if (!number || *number < 1 || *number > kMaxComPort)
                return "--port takes a COM port number 1..8 or a device path, not '" + Shown(port) +
                       "'";
            choice.number = *number;
        } else {
            choice.path = port;
        }
        if (std::find(options.ports.begin(), options.ports.end(), choice) != options.ports.end())
            return "--port " + Shown(port) + " given twice";
        options.ports.push_back(std::move(choice));
    }
    return std::nullopt;
}

std::optional<std::string> ReadLinkOptions(const OptionValues& values, Options& options) {
    if (auto error = ReadPorts(values, options)) return error;
    if (auto error = PositiveMs(values, "--timeout", options.timeoutMs)) return error;
    options.trace = values.contains("--trace");
    if (const auto it = values.find("--early"); it != values.end()) {
        options.earlyGapMs = kDefaultQuietGapMs;
        if (auto error = PositiveMs(values, "--early", options.earlyGapMs)) return error;
    }
    return std::nullopt;
}

// --zone (required) and --rows of make and check.
std::optional<std::string> ReadZoneOptions(const OptionValues& values, Options& options,
                                           std::string_view command) {
    const auto zone = values.find("--zone");
    if (zone == values.end()) return std::string(command) + " needs --zone";
    options.zone = *zone->second;
    if (const auto rows = values.find("--rows"); rows != values.end()) {
        const std::optional<RowsConvention> convention = ParseRowsConvention(*rows->second);
        if (!convention)
            return "--rows takes calendar or period, not '" + Shown(*rows->second) + "'";
        options.rows = *convention;
    }
    return std::nullopt;
}

std::optional<std::string> ReadMakeOptions(const OptionValues& values, Options& options) {
    if (auto error = ReadZoneOptions(values, options, "make")) return error;
    for (std::string_view required : {"--first-year", "--output"})
        if (!values.contains(required)) return "make needs " + std::string(required);
    options.output = *values.find("--output")->second;
    options.force = values.contains("--force");
    const std::string& year = *values.find("--first-year")->second;
    const std::optional<int> number = ParseInt(year);
    if (!number) return "--first-year needs a year, not '" + Shown(year) + "'";
    options.firstYear = *number;
    return std::nullopt;
}

}  // namespace

namespace {

ParseResult ParseCommand(const std::vector<std::string>& args) {
    if (args.empty()) return Fail("no command given; " + std::string(kCommandList));
    Options options;
    if (IsHelp(args[0])) {
        options.help = true;
        return {options, {}};
    }
    if (args[0] == "--version") {
        if (args.size() > 1) return Fail("--version takes nothing after it");
        options.version = true;
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
        if (!option->repeats && values.contains(name)) return Fail(name + " given twice");

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
        return Fail("unexpected argument '" + Shown(positionals[wanted]) + "' for " + commandName);
    if (positionals.size() < wanted)
        return Fail(commandName + " needs " + std::string(grammar->positional));
    if (wanted == 1 && positionals[0].empty())
        return Fail(commandName + " needs " + std::string(grammar->positional) +
                    ", not an empty name");
    if (wanted == 1) options.file = positionals[0];

    std::optional<std::string> error;
    switch (options.command) {
        case Command::Show:
            options.monthFirst = values.contains("--month-first");
            break;
        case Command::Make:
            error = ReadMakeOptions(values, options);
            break;
        case Command::Check:
            options.monthFirst = values.contains("--month-first");
            error = ReadZoneOptions(values, options, "check");
            break;
        case Command::Send:
        case Command::Delete:
            error = ReadLinkOptions(values, options);
            break;
        case Command::History:
            error = ReadPorts(values, options);
            if (const auto since = values.find("--since"); since != values.end())
                options.since = *since->second;
            break;
        case Command::Ports:
            options.watch = values.contains("--watch");
            break;
        case Command::None:
            break;
    }
    if (error) return Fail(*error);
    options.json = values.contains("--json");
    return {options, {}};
}

}  // namespace

ParseResult ParseArguments(const std::vector<std::string>& args) {
    ParseResult result = ParseCommand(args);
    if (result.options || args.empty()) return result;
    const auto& commands = Commands();
    const auto grammar = std::find_if(commands.begin(), commands.end(),
                                      [&](const CommandGrammar& c) { return c.name == args[0]; });
    if (grammar == commands.end()) return result;
    result.command = grammar->command;
    result.json = AsksForJson(*grammar, args);
    return result;
}

std::string CommandName(Command command) {
    for (const CommandGrammar& grammar : Commands())
        if (grammar.command == command) return std::string(grammar.name);
    return {};
}

}  // namespace velmora::cli
