// Command-line parsing, compare's, grab --expect's, grab --every's and watch's included; the
// options' effects are shown by the end-to-end tests.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "cli/cli_options.h"
#include "cli/command_words.h"
#include "cli/escape_decoder.h"
#include "cli/help_text.h"
#include "cli/numbered_file_name.h"
#include "cli/value_parsing.h"
#include "sim/sim_port_spec.h"
#include "sim/simulated_phone.h"

namespace panelgrab::cli {
namespace {

using Args = std::vector<std::string>;

// The options of a command line written as typed; the defaults, and a failure, when it is refused.
CliOptions Parsed(const std::string& commandLine) {
    const ParseOutcome outcome = ParseArguments(test::Words(commandLine));
    EXPECT_TRUE(outcome.options.has_value()) << commandLine << ": " << outcome.error;
    return outcome.options.value_or(CliOptions{});
}

TEST(CliArguments, OptionsAnywhereDashTextValuesAndHelp) {
    const CliOptions send = Parsed("--trace --baud 9600 --port COM1 send -- -x\\r");
    EXPECT_EQ(std::tie(send.command, send.text, send.baud, send.port, send.trace),
              std::tuple(Command::Send, std::string("-x\r"), 9600, std::string("COM1"), true));
    EXPECT_EQ(Parsed("checksum --region 1,2,65535,4 --port=sim").region, (DisplayRegion{1, 2, 65535, 4}));
    const CliOptions keys = Parsed("--port sim keys 123# --press 250 --pause 99");
    EXPECT_EQ(std::tie(keys.pressMs, keys.pauseMs), std::tuple(250, 99));
    // Help and version win, even over an incomplete command line; a command's help is its own.
    const struct {
        const char* commandLine;
        Command command;
        std::optional<Command> topic;
    } helps[] = {
        {"grab --help", Command::Help, Command::Grab},
        {"help grab", Command::Help, Command::Grab},
        {"--port sim help keys extra", Command::Help, Command::Keys},
        {"-h", Command::Help, std::nullopt},
        {"help", Command::Help, std::nullopt},
        {"--version", Command::Version, std::nullopt},
        {"grab --help --version", Command::Version, std::nullopt},
    };
    for (const auto& help : helps) {
        const CliOptions options = Parsed(help.commandLine);
        EXPECT_EQ(std::tie(options.command, options.helpTopic), std::tie(help.command, help.topic))
            << help.commandLine;
    }
    // A command option may stand before the command too.
    EXPECT_EQ(Parsed("--display 1 --port sim grab").display, 1);
    // grab's file formats, in any letter case; every rate a serial port can be set to.
    for (const char* grab : {"-o x.BMP", "-o d.d/x.png", "-o -", "--every 1 -o s-%03d.png", "--baud 50",
                             "--baud 4000000", "--baud 250000"}) {
        Parsed(std::string("--port sim grab ") + grab);
    }
    // What grab and watch take when not told, and their seconds.
    EXPECT_EQ(Parsed("--port sim grab").output, kDefaultGrabFile);
    EXPECT_EQ(Parsed("--port sim grab --every 0.5 -o s-%03d.png").compare.every, 0.5);
    const CliOptions watch = Parsed("--port sim watch --display 1 --full-every 2.5");
    EXPECT_EQ(std::tie(watch.display, watch.fullEvery, watch.output),
              std::tuple(1, std::optional<double>(2.5), std::string()))
        << "watch writes no picture unless asked";
}

TEST(CliArguments, UsageErrorsNameTheProblem) {
    const struct {
        Args args;
        const char* expected; // part of the error text
    } cases[] = {
        {{}, "no command"},
        {{"frobnicate"}, "unknown command"},
        {{"help", "frobnicate"}, "unknown command 'frobnicate'"},
        {{"frobnicate", "--help"}, "unknown command 'frobnicate'"},
        {{"--port", "sim", "send", "--", "-x", "--", "y"}, "exactly one TEXT"},
        {{"--port", "sim", "grab", "--colour"}, "unknown option --colour"},
        {{"model"}, "needs --port"},
        {{"--port"}, "--port needs a value"},
        {{"--port", "sim", "--baud", "fast", "model"}, "--baud"},
        {{"--port", "sim", "--baud", "0", "model"}, "--baud"},
        {{"--port", "sim", "model", "extra"}, "takes no argument"},
        {{"--port", "sim", "send"}, "exactly one TEXT"},
        {{"--port", "sim", "send", "AT\\q"}, "unknown escape \\q"},
        {{"--port", "sim", "checksum"}, "needs --region"},
        {{"--port", "sim", "checksum", "--region", "1,2,3"}, "four numbers"},
        {{"--port", "sim", "model", "--region", "0,0,1,1"}, "--region does not apply to model"},
        {{"--port", "sim", "grab", "--count", "3"}, "--count and --seconds only with --every"},
        {{"--port", "sim", "keys", "1", "--press", "100"}, "go together"},
        {{"--port", "sim", "keys", "1", "--press", "-5", "--pause", "1"}, "--press"},
        {{"--port", "sim", "listen", "--count", "0"}, "--count"},
        {{"--port", "sim", "listen", "--seconds", "0"}, "--seconds"},
        {{"--port", "sim", "grab", "--display", "70000"}, "--display"},
        {{"--port", "sim", "grab", "-o", "-", "--region-checksum", "0,0,1,1"}, "stdout"},
        {{"--port", "sim", "--trace=yes", "model"}, "takes no value"},
        {{"--port", "sim", "keys", ""}, "at least one key"},
        {{"--port", "sim", "grab", "-o", "capture"}, "grab writes .bmp and .png files"},
        {{"--port", "sim", "grab", "--every", "1", "-o", "s%d.gif"}, "grab writes .bmp and .png files"},
        {{"--port", "sim", "--baud", "7", "model"}, "--baud 7: a serial port cannot run slower than 50 baud"},
        {{"--port", "sim", "--baud", "4000001", "model"}, "cannot run faster than 4000000 baud"},
        {{"--port", "sim", "--baud", "Auto", "model"}, "--baud"},
        {{"--port", "sim", "grab", "--record", "f.png"}, "--record does not apply to grab"},
        {{"--port", "sim", "watch", "--record", "-"}, "--record needs a file name"},
        {{"--port", "sim", "watch", "--scale", "2"}, "--scale enlarges what --record records"},
        {{"--port", "sim", "watch", "--record", "f.png", "--scale", "9"},
         "--scale needs a whole number from 1 to 8"},
        {{"--port", "sim", "model", "--record-session="}, "--record-session needs a file name"},
        // compare, grab --expect, grab --every and watch
        {{"compare", "a.png"}, "two picture files"},
        {{"compare", "a.png", "b.png", "c.png"}, "two picture files"},
        {{"compare", "a.png", "b.png", "--tolerance", "256"}, "--tolerance"},
        {{"compare", "a.png", "b.png", "--max-diff-pixels", "x"}, "--max-diff-pixels"},
        {{"compare", "a.png", "b.png", "--ignore", "5,5,4,4"}, "--ignore: region is empty"},
        {{"compare", "a.png", "b.png", "--region", "1,2,3"}, "--region: a region is four numbers"},
        {{"compare", "a.png", "b.png", "--diff", "-"}, "--diff needs a file name"},
        {{"compare", "a.png", "b.png", "--diff", "b.png"}, "would overwrite"},
        {{"compare", "a.png", "b.png", "--expect", "c.png"}, "--expect does not apply to compare"},
        {{"--port", "sim", "checksum", "--region", "0,0,1,1", "--region", "0,0,2,2"}, "one --region"},
        {{"--port", "sim", "grab", "--ignore", "0,0,1,1"}, "tune a comparison"},
        {{"--port", "sim", "grab", "--tolerance", "3", "-o", "x.png"}, "tune a comparison"},
        {{"--port", "sim", "grab", "--diff", "d.png"}, "--diff goes with --expect"},
        {{"--port", "sim", "grab", "--expect", "r.png", "--diff", "r.png"}, "overwrite the reference"},
        {{"--port", "sim", "grab", "--expect", "r.png", "-o", "-"}, "stdout"},
        {{"--port", "sim", "grab", "--expect", "r.png", "--every", "1", "-o", "s%d.png"}, "--every"},
        {{"--port", "sim", "grab", "--changed-only", "-o", "s%d.png"}, "--changed-only goes with --every"},
        {{"--port", "sim", "grab", "--every", "1"}, "needs -o with a numbered file name"},
        {{"--port", "sim", "grab", "--every", "1", "-o", "shot.png"}, "exactly one number conversion"},
        {{"--port", "sim", "grab", "--every", "1", "-o", "-"}, "exactly one number conversion"},
        {{"--port", "sim", "grab", "--every", "soon", "-o", "s%d.png"}, "--every needs a number of seconds"},
        {{"--port", "sim", "grab", "--every", "1", "--background", "-o", "s%d.png"}, "--background"},
        {{"--port", "sim", "model", "--every", "1"}, "--every does not apply to model"},
        {{"watch"}, "needs --port"},
        {{"--port", "sim", "watch", "--changed-only"}, "give -o"},
        {{"--port", "sim", "watch", "-o", "live.png"}, "-o live.png:"},
        {{"--port", "sim", "watch", "-o", "-"}, "not -"},
        {{"--port", "sim", "watch", "--full-every", "3000000"}, "--full-every"},
        {{"--port", "sim", "watch", "--ignore", "0,0,1,1"}, "tune --changed-only"},
        {{"--port", "sim", "watch", "--diff", "d.png"}, "--diff does not apply to watch"},
        {{"--port", "sim", "watch", "--every", "1"}, "--every does not apply to watch"},
        {{"--port", "sim", "grab", "--full-every", "1"}, "--full-every does not apply to grab"},
        {{"--port", "sim", "watch", "extra"}, "takes no argument"},
    };
    for (const auto& c : cases) {
        const ParseOutcome outcome = ParseArguments(c.args);
        EXPECT_FALSE(outcome.options.has_value()) << ::testing::PrintToString(c.args);
        EXPECT_NE(outcome.error.find(c.expected), std::string::npos) << outcome.error;
    }
}

TEST(NumberedFileName, OneNumberConversionExactly) {
    const struct {
        const char* pattern;
        int64_t number;
        const char* name; // nullptr: refused
        const char* errorPart;
    } cases[] = {
        {"shot-%03d.png", 7, "shot-007.png", ""},
        {"shot-%03d.png", 12345, "shot-12345.png", ""},
        {"%d", 1, "1", ""},
        {"run%3d.bmp", 42, "run 42.bmp", ""},
        {"100%%-%d.png", 2, "100%-2.png", ""},
        {"%%d-%d%%.png", 3, "%d-3%.png", ""},
        {"dir/%05d", 99, "dir/00099", ""},
        {"shot.png", 1, nullptr, "it has 0"},
        {"%d-%d.png", 1, nullptr, "it has 2"},
        {"%%d.png", 1, nullptr, "it has 0"},
        {"shot-%s.png", 1, nullptr, "'%s' is not a number conversion"},
        {"shot-%x.png", 1, nullptr, "'%x'"},
        {"shot-%-3d.png", 1, nullptr, "'%-'"},
        {"shot-%.png", 1, nullptr, "'%.'"},
        {"shot-%", 1, nullptr, "'%'"},
        {"shot-%03", 1, nullptr, "'%03'"},
        {"shot-%999999999999d", 1, nullptr, "is not a number conversion"},
    };
    for (const auto& c : cases) {
        std::string error;
        const std::optional<NumberedFileName> name = NumberedFileName::Parse(c.pattern, error);
        if (c.name == nullptr) {
            EXPECT_FALSE(name.has_value()) << c.pattern;
            EXPECT_NE(error.find(c.errorPart), std::string::npos) << c.pattern << ": " << error;
            continue;
        }
        ASSERT_TRUE(name.has_value()) << c.pattern << ": " << error;
        EXPECT_EQ(name->For(c.number), c.name) << c.pattern;
    }
}

TEST(CliArguments, EscapeDecoding) {
    const struct {
        const char* typed;
        std::optional<std::string> decoded;
    } cases[] = {
        {"AT\\r\\n", std::string("AT\r\n")},
        {"say \\\"hi\\\"", std::string("say \"hi\"")},
        {"a\\\\b", std::string("a\\b")},
        {"\\t\\'", std::string("\t'")},
        {"AT+CMGS\\x1a", std::string("AT+CMGS\x1a")},
        {"\\x7", std::string("\x07")},
        {"\\x41BC", std::string("ABC")},    // at most two digits
        {"\\xe9", std::string("\xC3\xA9")}, // U+00E9, so the wire gets the byte E9
        {"", std::string("")},
        {"AT\\", std::nullopt},  // lone trailing backslash
        {"\\q", std::nullopt},   // unknown escape
        {"\\x", std::nullopt},   // no digits
        {"\\xg1", std::nullopt}, // no digits
        {"\\x00", std::nullopt}, // NUL cannot travel in a command
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_EQ(DecodeEscapes(c.typed, error), c.decoded) << c.typed;
        EXPECT_EQ(error.empty(), c.decoded.has_value()) << c.typed << ": " << error;
    }
}

TEST(CliArguments, NumbersAndRegionsAtTheirBounds) {
    EXPECT_EQ(ParseInteger("-3", -5, 5), -3);
    EXPECT_EQ(ParseInteger("100", 0, 100), 100);
    for (const char* bad : {"", "+1", "1x", " 1", "1 ", "101", "0x10", "99999999999999999999"}) {
        EXPECT_FALSE(ParseInteger(bad, 0, 100).has_value()) << bad;
    }
    EXPECT_DOUBLE_EQ(ParseSeconds("1.25").value_or(0), 1.25);
    for (const char* bad : {"", "-1", "+1", "1e3", "nan", "inf", "1s"}) {
        EXPECT_FALSE(ParseSeconds(bad).has_value()) << bad;
    }
    std::string error;
    EXPECT_TRUE(ParseRegion("3,3,3,3", error).has_value()); // one pixel
    for (const char* bad : {"1,2,3,4,5", "1,,3,4", "0,0,65536,1", "-1,0,1,1", "0,5,1,4", "a,b,c,d"}) {
        error.clear();
        EXPECT_FALSE(ParseRegion(bad, error).has_value()) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST(CliArguments, SimulatedPortNames) {
    EXPECT_EQ(sim::SimArgumentsOf("sim:"), std::optional<Args>(Args{}));
    // That a comma not followed by "--" belongs to the value: the listen case of
    // CliCommands.CommandLinesEndPromptlyWithTheirCodeOutputAndWords.
    for (const char* other : {"simulator", "/dev/sim", "SIM"}) {
        EXPECT_FALSE(sim::SimArgumentsOf(other).has_value()) << other;
    }
    // The help's own example must be one the simulated phone accepts.
    const std::string help = HelpText();
    const std::size_t at = help.find("--port sim:--");
    ASSERT_NE(at, std::string::npos);
    const std::size_t start = help.find("sim:", at);
    const std::string example = help.substr(start, help.find('\n', start) - start);
    const std::optional<Args> simArgs = sim::SimArgumentsOf(example);
    ASSERT_TRUE(simArgs.has_value()) << example;
    sim::SimOptions simOptions;
    std::string error;
    EXPECT_TRUE(sim::ParseSimOptions(*simArgs, simOptions, error)) << example << ": " << error;
}

} // namespace
} // namespace panelgrab::cli
