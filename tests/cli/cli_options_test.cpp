#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/escape_decoder.h"
#include "cli/sim_port_spec.h"
#include "cli/value_parsing.h"

namespace panelgrab::cli {
namespace {

using Args = std::vector<std::string>;

CliOptions ParseOk(const Args& args) {
    ParseOutcome outcome = ParseArguments(args);
    EXPECT_TRUE(outcome.options.has_value()) << outcome.error;
    return outcome.options.value_or(CliOptions{});
}

TEST(CliArguments, AcceptedCommandLines) {
    CliOptions grab = ParseOk({"--port", "/dev/pts/3", "grab", "-o", "x.png", "--display=1"});
    EXPECT_EQ(grab.command, Command::Grab);
    EXPECT_EQ(grab.port, "/dev/pts/3");
    EXPECT_EQ(grab.baud, kDefaultBaud);
    EXPECT_EQ(grab.output, "x.png");
    EXPECT_EQ(grab.display, 1);
    EXPECT_FALSE(grab.background);

    CliOptions defaults = ParseOk({"grab", "--port=sim", "--background"});
    EXPECT_EQ(defaults.output, kDefaultGrabFile);
    EXPECT_TRUE(defaults.background);

    CliOptions toStdout = ParseOk({"--port", "sim", "grab", "-o", "-"});
    EXPECT_EQ(toStdout.output, "-");

    CliOptions send = ParseOk({"--trace", "--baud", "9600", "--port", "COM1", "send", "AT+CGMM\\r"});
    EXPECT_EQ(send.command, Command::Send);
    EXPECT_EQ(send.text, "AT+CGMM\r");
    EXPECT_EQ(send.baud, 9600);
    EXPECT_TRUE(send.trace);

    CliOptions dashText = ParseOk({"--port", "sim", "send", "--", "-x\\r"});
    EXPECT_EQ(dashText.text, "-x\r");

    CliOptions keys = ParseOk({"--port", "sim", "keys", "123#", "--press", "250", "--pause", "99"});
    EXPECT_EQ(keys.text, "123#");
    EXPECT_EQ(keys.pressMs, 250);
    EXPECT_EQ(keys.pauseMs, 99);

    CliOptions listen = ParseOk({"listen", "--count", "4", "--seconds", "0.5", "--port", "sim"});
    EXPECT_EQ(listen.count, 4);
    EXPECT_DOUBLE_EQ(listen.seconds.value_or(0), 0.5);

    CliOptions checksum = ParseOk({"--port", "sim", "checksum", "--region", "0,0,127,159", "--display", "1"});
    ASSERT_TRUE(checksum.region.has_value());
    EXPECT_EQ(checksum.region->right, 127);
    EXPECT_EQ(checksum.region->bottom, 159);
    EXPECT_EQ(checksum.display, 1);

    EXPECT_EQ(ParseOk({"ports"}).command, Command::Ports);
    EXPECT_EQ(ParseOk({"grab", "--help"}).command, Command::Help); // help wins, even if incomplete
    EXPECT_EQ(ParseOk({"-h"}).command, Command::Help);
}

TEST(CliArguments, UsageErrorsNameTheProblem) {
    struct Case {
        Args args;
        const char* expected; // part of the error text
    };
    const std::vector<Case> cases = {
        {{}, "no command"},
        {{"frobnicate"}, "unknown command"},
        {{"--port", "sim", "grab", "--colour"}, "unknown option --colour"},
        {{"model"}, "needs --port"},
        {{"--port"}, "--port needs a value"},
        {{"--port", "sim", "--baud", "fast", "model"}, "--baud"},
        {{"--port", "sim", "--baud", "0", "model"}, "--baud"},
        {{"--port", "sim", "model", "extra"}, "takes no argument"},
        {{"--port", "sim", "send"}, "exactly one TEXT"},
        {{"--port", "sim", "send", "AT", "AT"}, "exactly one TEXT"},
        {{"--port", "sim", "send", "AT\\q"}, "unknown escape \\q"},
        {{"--port", "sim", "checksum"}, "needs --region"},
        {{"--port", "sim", "checksum", "--region", "1,2,3"}, "four numbers"},
        {{"--port", "sim", "checksum", "--region", "5,0,4,0"}, "empty"},
        {{"--port", "sim", "model", "--region", "0,0,1,1"}, "--region does not apply to model"},
        {{"--port", "sim", "grab", "--count", "3"}, "--count does not apply to grab"},
        {{"--port", "sim", "keys", "1", "--press", "100"}, "go together"},
        {{"--port", "sim", "keys", "1", "--press", "-5", "--pause", "1"}, "--press"},
        {{"--port", "sim", "listen", "--count", "0"}, "--count"},
        {{"--port", "sim", "listen", "--seconds", "0"}, "--seconds"},
        {{"--port", "sim", "listen", "--seconds", "-1"}, "--seconds"},
        {{"--port", "sim", "grab", "--display", "70000"}, "--display"},
        {{"--port", "sim", "grab", "-o", "-", "--region-checksum", "0,0,1,1"}, "stdout"},
        {{"--port", "sim", "--trace=yes", "model"}, "takes no value"},
        {{"--port", "sim", "keys", ""}, "at least one key"},
    };
    for (const Case& c : cases) {
        ParseOutcome outcome = ParseArguments(c.args);
        std::string line;
        for (const std::string& a : c.args) {
            line += a + " ";
        }
        EXPECT_FALSE(outcome.options.has_value()) << line;
        EXPECT_NE(outcome.error.find(c.expected), std::string::npos) << line << "-> " << outcome.error;
    }
}

TEST(CliArguments, EscapeDecoding) {
    struct Case {
        const char* typed;
        std::optional<std::string> decoded;
    };
    const std::vector<Case> cases = {
        {"AT\\r", std::string("AT\r")},
        {"AT\\r\\n", std::string("AT\r\n")},
        {"say \\\"hi\\\"", std::string("say \"hi\"")},
        {"a\\\\b", std::string("a\\b")},
        {"\\t\\'", std::string("\t'")},
        {"AT+CMGS\\x1a", std::string("AT+CMGS\x1a")},
        {"\\x7", std::string("\x07")},
        {"\\x41BC", std::string("ABC")},    // at most two digits
        {"\\xe9", std::string("\xC3\xA9")}, // U+00E9, so the wire gets the byte E9
        {"plain text", std::string("plain text")},
        {"", std::string("")},
        {"AT\\", std::nullopt},  // lone trailing backslash
        {"\\q", std::nullopt},   // unknown escape
        {"\\x", std::nullopt},   // no digits
        {"\\xg1", std::nullopt}, // no digits
        {"\\x00", std::nullopt}, // NUL cannot travel in a command
    };
    for (const Case& c : cases) {
        std::string error;
        std::optional<std::string> decoded = DecodeEscapes(c.typed, error);
        EXPECT_EQ(decoded, c.decoded) << c.typed;
        EXPECT_EQ(error.empty(), c.decoded.has_value()) << c.typed << ": " << error;
    }
}

TEST(CliArguments, NumbersAndRegions) {
    EXPECT_EQ(ParseInteger("42", 0, 100), 42);
    EXPECT_EQ(ParseInteger("-3", -5, 5), -3);
    for (const char* bad : {"", "+1", "1x", " 1", "1 ", "101", "0x10", "99999999999999999999"}) {
        EXPECT_FALSE(ParseInteger(bad, 0, 100).has_value()) << bad;
    }
    EXPECT_DOUBLE_EQ(ParseSeconds("1.25").value_or(0), 1.25);
    for (const char* bad : {"", "-1", "+1", "1e3", "nan", "inf", "1s"}) {
        EXPECT_FALSE(ParseSeconds(bad).has_value()) << bad;
    }

    std::string error;
    std::optional<DisplayRegion> region = ParseRegion("1,2,65535,4", error);
    ASSERT_TRUE(region.has_value()) << error;
    EXPECT_EQ(region->left, 1);
    EXPECT_EQ(region->top, 2);
    EXPECT_EQ(region->right, 65535);
    EXPECT_EQ(region->bottom, 4);
    EXPECT_TRUE(ParseRegion("3,3,3,3", error).has_value()); // one pixel
    for (const char* bad :
         {"", "1,2,3", "1,2,3,4,5", "1,,3,4", "0,0,65536,1", "-1,0,1,1", "0,5,1,4", "a,b,c,d"}) {
        error.clear();
        EXPECT_FALSE(ParseRegion(bad, error).has_value()) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST(CliArguments, SimulatedPortNames) {
    using Result = std::optional<std::vector<std::string>>;
    EXPECT_EQ(SimArgumentsOf("sim"), Result(std::vector<std::string>{}));
    EXPECT_EQ(SimArgumentsOf("sim:"), Result(std::vector<std::string>{}));
    EXPECT_EQ(SimArgumentsOf("sim:--dialect=two-displays,--baud=115200"),
              Result(std::vector<std::string>{"--dialect=two-displays", "--baud=115200"}));
    // A comma not followed by "--" belongs to the value.
    EXPECT_EQ(SimArgumentsOf("sim:--key-events=5,1;5,0,--no-echo"),
              Result(std::vector<std::string>{"--key-events=5,1;5,0", "--no-echo"}));
    EXPECT_FALSE(SimArgumentsOf("simulator").has_value());
    EXPECT_FALSE(SimArgumentsOf("/dev/sim").has_value());
    EXPECT_FALSE(SimArgumentsOf("COM1").has_value());
    EXPECT_FALSE(SimArgumentsOf("SIM").has_value());
}

} // namespace
} // namespace panelgrab::cli
