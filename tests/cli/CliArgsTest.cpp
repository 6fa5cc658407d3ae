#include <gtest/gtest.h>

#include "CliArgs.h"
#include "UploadSequence.h"

using namespace velmora::cli;

namespace {

Options Parsed(const std::vector<std::string>& args) {
    const ParseResult result = ParseArguments(args);
    EXPECT_TRUE(result.options.has_value()) << result.error;
    return result.options.value_or(Options{});
}

std::string ErrorOf(const std::vector<std::string>& args) {
    const ParseResult result = ParseArguments(args);
    EXPECT_FALSE(result.options.has_value());
    EXPECT_EQ(result.error.find_first_of("\r\n"), std::string::npos)
        << "one line: " << result.error;
    return result.error;
}

}  // namespace

TEST(CliArgs, MakeTakesValuesInEitherFormAndInAnyOrder) {
    const Options options = Parsed(
        {"make", "--output=t.dst", "--first-year", "2027", "--force", "--zone", "Europe/Berlin"});
    EXPECT_EQ(options.command, Command::Make);
    EXPECT_EQ(options.zone, "Europe/Berlin");
    EXPECT_EQ(options.firstYear, 2027);
    EXPECT_EQ(options.output, "t.dst");
    EXPECT_TRUE(options.force);
    EXPECT_FALSE(Parsed({"make", "--zone=X", "--first-year=2030", "--output=o"}).force);
    EXPECT_EQ(options.rows, velmora::RowsConvention::Calendar);

    const Options check =
        Parsed({"check", "t.dst", "--rows=period", "--zone", "Z", "--month-first"});
    EXPECT_EQ(check.command, Command::Check);
    EXPECT_EQ(check.file, "t.dst");
    EXPECT_EQ(check.rows, velmora::RowsConvention::Period);
    EXPECT_TRUE(check.monthFirst);
    EXPECT_NE(ErrorOf({"check", "t.dst"}).find("check needs --zone"), std::string::npos);
    EXPECT_NE(ErrorOf({"check", "", "--zone", "Z"}).find("not an empty name"), std::string::npos);
    EXPECT_NE(ErrorOf({"make", "--zone=X", "--first-year=2030", "--output=o", "--rows=year"})
                  .find("calendar or period"),
              std::string::npos);
}

TEST(CliArgs, PortsAreComNumbersOrDevicePathsInTheOrderGiven) {
    const Options several =
        Parsed({"send", "t.dst", "--port=/dev/pts/7", "--port", "3", "--port", "/dev/pts/8"});
    ASSERT_EQ(several.ports.size(), 3u);
    EXPECT_EQ(several.ports[0].path, "/dev/pts/7");
    EXPECT_EQ(several.ports[0].number, 0);
    EXPECT_EQ(several.ports[1].number, 3);
    EXPECT_EQ(several.ports[1].Name(), "COM3");
    EXPECT_EQ(several.ports[2].Name(), "/dev/pts/8");
    EXPECT_EQ(several.file, "t.dst");

    const Options fromProfile = Parsed({"delete"});
    EXPECT_TRUE(fromProfile.ports.empty());
    EXPECT_FALSE(fromProfile.timeoutMs.has_value());

    EXPECT_NE(ErrorOf({"delete", "--port", "0"}).find("1..8"), std::string::npos);
    EXPECT_NE(ErrorOf({"delete", "--port", "9"}).find("'9'"), std::string::npos);
    EXPECT_NE(
        ErrorOf({"delete", "--port", "3", "--port=/dev/x", "--port", "3"}).find("given twice"),
        std::string::npos);
    ErrorOf({"delete", "--port", "99999999999999999999"});
}

TEST(CliArgs, PortsTakesNothingAndTraceIsAFlagOfTheExchanges) {
    EXPECT_EQ(Parsed({"ports"}).command, Command::Ports);
    EXPECT_NE(ErrorOf({"ports", "/dev/ttyS0"}).find("unexpected argument"), std::string::npos);
    EXPECT_NE(ErrorOf({"ports", "--trace"}).find("unknown option"), std::string::npos);
    EXPECT_TRUE(Parsed({"delete", "--trace"}).trace);
    EXPECT_FALSE(Parsed({"send", "f"}).trace);
    EXPECT_NE(ErrorOf({"send", "f", "--trace=1"}).find("takes no value"), std::string::npos);
}

TEST(CliArgs, EarlyHasAnOptionalGapAndTimeoutsMustBePositive) {
    EXPECT_FALSE(Parsed({"delete"}).earlyGapMs.has_value());
    EXPECT_EQ(Parsed({"delete", "--early"}).earlyGapMs, velmora::kDefaultQuietGapMs);
    EXPECT_EQ(Parsed({"delete", "--early=5"}).earlyGapMs, 5);
    EXPECT_EQ(Parsed({"send", "f", "--timeout", "150"}).timeoutMs, 150);

    ErrorOf({"delete", "--early=0"});
    ErrorOf({"delete", "--early=fast"});
    ErrorOf({"delete", "--timeout", "0"});
    ErrorOf({"delete", "--timeout", "-5"});
    ErrorOf({"delete", "--timeout", "12ms"});
    // --early takes its gap only after '=': a separate word is an argument.
    EXPECT_NE(ErrorOf({"send", "f", "--early", "50"}).find("'50'"), std::string::npos);
}

TEST(CliArgs, MalformedCommandLinesAreRefusedWithOneLine) {
    EXPECT_NE(ErrorOf({}).find("show, make, check, send, delete"), std::string::npos);
    const std::string unknown = ErrorOf({"upload", "t.dst"});
    EXPECT_NE(unknown.find("'upload'"), std::string::npos);
    EXPECT_NE(unknown.find("show, make, check, send, delete"), std::string::npos);

    EXPECT_NE(ErrorOf({"show"}).find("FILE"), std::string::npos);
    ErrorOf({"show", "a.dst", "b.dst"});
    ErrorOf({"delete", "stray"});
    EXPECT_NE(ErrorOf({"make", "--zone", "X", "--output", "o"}).find("--first-year"),
              std::string::npos);
    ErrorOf({"make", "--zone", "X", "--first-year", "twenty", "--output", "o"});
    ErrorOf({"make", "--zone"});
    ErrorOf({"make", "--zone=", "--first-year=2030", "--output=o"});
    EXPECT_NE(ErrorOf({"show", "f", "--zone", "X"}).find("--zone"), std::string::npos);
    EXPECT_NE(ErrorOf({"show", "f", "--month-first=yes"}).find("no value"), std::string::npos);
    EXPECT_NE(ErrorOf({"delete", "--early", "--early=5"}).find("twice"), std::string::npos);
}

TEST(CliArgs, ControlCharactersOfAnArgumentAreEscapedInItsMessage) {
    EXPECT_NE(ErrorOf({"\n"}).find("'\\n'"), std::string::npos);
    EXPECT_NE(ErrorOf({"show", "a", "b\r\nc"}).find("'b\\r\\nc'"), std::string::npos);
    EXPECT_NE(ErrorOf({"show", "f", "--x\ty"}).find("--x\\ty"), std::string::npos);
    EXPECT_NE(ErrorOf({"delete", "--timeout", std::string("1\0\x1f", 3)}).find("'1\\x00\\x1f'"),
              std::string::npos);
    EXPECT_NE(ErrorOf({"make", "--zone=X", "--output=o", "--first-year=20\n27"}).find("'20\\n27'"),
              std::string::npos);
    // Only the message is escaped: a file name keeps its bytes.
    EXPECT_EQ(Parsed({"show", "a\nb"}).file, "a\nb");
}

TEST(CliArgs, HelpWinsAndDoubleDashEndsTheOptions) {
    const Options program = Parsed({"--help"});
    EXPECT_TRUE(program.help);
    EXPECT_EQ(program.command, Command::None);

    // Options are read in order: an unknown one before --help is still refused.
    ErrorOf({"send", "--bogus", "--help"});
    const Options sendHelp = Parsed({"send", "-h", "--bogus"});
    EXPECT_TRUE(sendHelp.help);
    EXPECT_EQ(sendHelp.command, Command::Send);

    EXPECT_EQ(Parsed({"show", "--", "--odd.dst"}).file, "--odd.dst");
    EXPECT_EQ(Parsed({"show", "-"}).file, "-");
    EXPECT_TRUE(Parsed({"show", "f", "--month-first"}).monthFirst);
}

// --json is an option of every command; a usage error of a command line that
// asks for it says so, but not when "--json" is the value of another option.
TEST(CliArgs, JsonIsAskedForByTheOptionNotByAValue) {
    EXPECT_TRUE(Parsed({"ports", "--json"}).json);
    EXPECT_FALSE(Parsed({"make", "--zone=X", "--first-year=2030", "--output", "--json"}).json);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"send", "t.dst", "--port", "12", "--json"}, {"show", "--json", "a", "b"}}) {
        const ParseResult result = ParseArguments(args);
        EXPECT_FALSE(result.options.has_value());
        EXPECT_TRUE(result.json) << args[0];
        EXPECT_EQ(result.command, args[0] == "send" ? Command::Send : Command::Show);
    }
    EXPECT_FALSE(ParseArguments({"make", "--zone", "X", "--output", "--json"}).json);
    EXPECT_FALSE(ParseArguments({"show", "--", "--json"}).options->json);
    EXPECT_FALSE(ParseArguments({"frobnicate", "--json"}).json);
}
