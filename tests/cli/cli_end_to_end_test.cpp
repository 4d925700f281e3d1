// Command lines run in this process and as the built program against the simulated phone.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "cli/cli_run.h"
#include "cli/exit_codes.h"
#include "phone/phone_link.h"
#include "transport/bytes/port_timing.h"

namespace panelgrab::cli {
namespace {

using namespace test;

TEST(CliEndToEnd, SecondDisplayInBackgroundWithRegionChecksum) {
    ScratchFolder folder;
    const std::string port = "sim:--dialect=two-displays";
    const Outcome grab = RunInProcess({"--port", port, "grab", "--background", "--display", "1", "-o",
                                       folder / "second.bmp", "--region-checksum", "3,4,50,60"});
    ASSERT_EQ(grab.exitCode, kExitOk) << grab.err;
    EXPECT_TRUE(ReadFile(folder / "second.bmp") == ExpectedBmp({"--dialect=two-displays"}, 1));
    // The phone computes the same sum over its own picture text.
    const Outcome phoneSum =
        RunInProcess({"--port", port, "checksum", "--region", "3,4,50,60", "--display", "1"});
    ASSERT_EQ(phoneSum.exitCode, kExitOk) << phoneSum.err;
    EXPECT_FALSE(grab.out.empty());
    EXPECT_EQ(grab.out, phoneSum.out);
}

// A grab killed in the middle of its picture leaves the phone sending the rest; the next command
// waits that out (and says so), brings the line back in step and gets its own answer.
TEST(CliProgram, TheCommandAfterAKilledGrabWaitsOutTheRestOfThePicture) {
    const auto phone = StartPhone({"--baud", "921600"}); // the picture takes about 1.7 s
    ASSERT_NE(phone, nullptr);
    const std::string port = "--port " + phone->DevicePath() + " --baud 921600";
    const std::string folder = UniquePath();
    const Outcome killed = Shell("sh -c '" + std::string(PANELGRAB_CLI_PROGRAM) + " " + port + " grab -o " +
                                 folder + ".bmp & pid=$!; sleep 0.8; kill -KILL $pid; wait $pid'");
    EXPECT_EQ(killed.exitCode, 128 + SIGKILL) << killed.err;
    const Outcome model = RunProgram(port + " model");
    EXPECT_EQ(std::tie(model.exitCode, model.out), std::tuple(kExitOk, "P200\n")) << model.err;
    EXPECT_NE(model.err.find("the phone is still sending a previous picture; waiting up to "),
              std::string::npos)
        << model.err;
    EXPECT_FALSE(std::filesystem::exists(folder + ".bmp"));
}

// Each command line ends promptly with its exit code, prints exactly its output, says what it should
// (failures name the port and what went wrong) and writes no file; a command line that cannot work
// is refused before the port is tried. What the session says (its failures' words, the baud search)
// is tested in tests/session; plain outputs are checked against recorded sessions (tests/sessions).
TEST(CliCommands, CommandLinesEndPromptlyWithTheirCodeOutputAndWords) {
    ScratchFolder folder;
    const std::string missing = folder / "no-such-folder";
    // compare's pictures, in a folder of their own.
    const std::string pictures = folder / "pictures";
    std::filesystem::create_directory(pictures);
    const std::string card = pictures + "/card.bmp";
    const std::string small = pictures + "/small.bmp";
    const std::string notes = pictures + "/notes.png";
    std::ofstream(card, std::ios::binary) << ExpectedBmp();
    std::ofstream(small, std::ios::binary) << ExpectedBmp({"--dialect=short"});
    std::ofstream(notes) << "not a picture";
    const std::string noPort = "--port /dev/panelgrab-no-such-port ";
    const struct {
        std::string commandLine; // its words, split at spaces
        int exitCode;
        std::vector<std::string> errParts;
        std::string out;
    } cases[] = {
        {"--trace --port sim send AT+CGMM\\r",
         kExitOk,
         {"> AT+CGMM\\r\n", "< AT+CGMM\\r\\r\\nPANELSIM-P200"},
         "AT+CGMM\r\r\nPANELSIM-P200\r\n\r\nOK\r\n"},
        {"--port sim keys 12# --press 250 --pause 100", kExitOk, {}, ""},
        // An event that arrives with the last counted one is not printed; a time limit beyond what the
        // clock can count is no limit, not an immediate end.
        {"--port sim:--key-events=5,1;5,0;6,1,--key-event-pause=0 listen --count 2 --seconds 100000000000000",
         kExitOk,
         {},
         "pressed 5\nreleased 5\n"},
        {"--port sim listen --seconds 0.2", kExitOk, {}, ""},
        {"--port sim:--fault=silent --baud auto model",
         kExitNoConnection,
         {": no rate answered (tried 921600 down to 1200 baud with AT)\n"},
         ""},
        {"compare " + card + " " + card, kExitOk, {}, "match\n"},
        // A diff of pictures of different sizes is the comparison's (tests/compare).
        {"compare " + card + " " + small + " --diff " + pictures + "/d.bmp",
         kExitDiffers,
         {},
         "differ: the picture is 128x160, the reference 176x220\n"},
        {"compare " + card + " " + notes,
         kExitUsage,
         {"panelgrab-cli: " + notes + ": neither a BMP nor a PNG picture\n"},
         ""},
        {"compare " + card + " " + card + " --region 0,300,10,310",
         kExitUsage,
         {"lies outside the 176x220 picture"},
         ""},
        {"--port sim grab --expect " + missing + "/r.png",
         kExitUsage,
         {missing + "/r.png: cannot read it"},
         ""},
        {"--port sim:--frob model", kExitUsage, {"unknown option --frob"}, ""},
        // Words of a refused command line that are the parser's: CliArguments.UsageErrorsNameTheProblem.
        {noPort + "grab -o " + missing + "/x.png",
         kExitUsage,
         {"cannot create a file in " + missing + ": No such file or directory"},
         ""},
        {noPort + "grab --every 1 -o " + missing + "/s-%03d.png",
         kExitUsage,
         {"cannot create a file in " + missing},
         ""},
        {"--port sim:--dialect=two-displays grab --display 1 -o " + folder / "x.bmp" +
             " --region-checksum 0,0,96,10",
         kExitUsage,
         {"--region-checksum lies outside the 96x64 display"},
         ""},
        // Without its carriage return the phone never answers: said before the wait and after it.
        {"--port sim send AT", kExitFailed, {"does not end in \\r", "Timeout occurred while waiting"}, ""},
        // The phone hangs up in the middle of its second key report.
        {"--port sim:--key-events=7,1;7,0,--key-event-pause=50,--fault=hangup-after=50 listen",
         kExitNoConnection,
         {"sim (/dev/", "Check the cable"},
         "pressed 7\n"},
        {"--port sim --record-session " + folder / "no/such.session" + " model",
         kExitUsage,
         {"--record-session " + folder / "no/such.session" + ": No such file or directory"},
         ""},
    };
    for (const auto& c : cases) {
        const auto start = std::chrono::steady_clock::now();
        const Outcome run = RunInProcess(Words(c.commandLine));
        const std::string context = c.commandLine + "\n" + run.err;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << context;
        EXPECT_EQ(run.exitCode, c.exitCode) << context;
        for (const std::string& part : c.errParts) {
            EXPECT_NE(run.err.find(part), std::string::npos) << part << " in " << context;
        }
        EXPECT_EQ(run.out, c.out) << context;
        if (c.exitCode == kExitUsage) { // not a port that failed to open: it was not tried
            EXPECT_EQ(run.err.find("Unable to open"), std::string::npos) << context;
        }
    }
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"pictures"});
}

TEST(CliCommands, RecordSessionWritesWhatTheTraceShows) {
    ScratchFolder folder;
    const std::string session = folder / "model.session";
    const Outcome run = RunInProcess({"--port", "sim", "--trace", "--record-session", session, "model"});
    ASSERT_EQ(run.exitCode, kExitOk) << run.err;
    const std::string text = ReadFile(session);
    // The same traffic, each trace line a record after its time.
    const std::vector<std::string> trace = Lines(run.err);
    EXPECT_EQ(trace.size(), 4u) << run.err;
    for (const std::string& line : trace) {
        EXPECT_NE(text.find(" " + line + "\n"), std::string::npos) << line << " in\n" << text;
    }
    // That the replay answers as the phone did: SessionReplay.TheReplayAnswersAsThePhoneDid, and the
    // program against a replay: the replayed_session tests.
}

TEST(CliProgram, ClosedOutputEndsListenWithReportingOff) {
    const auto phone = StartPhone({"--key-events=7,1;7,0;8,1;8,0;9,1;9,0", "--key-event-pause=100"});
    ASSERT_TRUE(phone);
    const Outcome run = ReadFirstLines("--port " + phone->DevicePath() + " listen", 1);
    EXPECT_EQ(std::tie(run.exitCode, run.out), std::tuple(kExitOk, "pressed 7\n")) << run.err;

    ConnectionSettings settings(phone->DevicePath(), 115200);
    settings.SetTiming(PortTiming::Fast());
    const std::unique_ptr<PhoneLink> check = CreatePhone(settings);
    ASSERT_EQ(check->Open(false), kPhoneOk);
    std::string answer;
    ASSERT_EQ(check->SendCommand("AT+CMER?\r", answer), kPhoneOk);
    EXPECT_NE(answer.find("+CMER: 0,0,0,0,0"), std::string::npos) << answer;
}

TEST(CliProgram, ExitCodesAndStreams) {
    const std::string cli = PANELGRAB_CLI_PROGRAM;
    const std::string phonesim = PANELGRAB_PHONESIM_PROGRAM;
    ScratchFolder folder;
    const std::string quiet = folder / "quiet.bmp";
    const struct {
        std::string command;
        int exitCode;
        std::string out;
        std::vector<std::string> errParts;
    } cases[] = {
        {cli + " model", kExitUsage, "", {"needs --port", "--help"}},
        {cli + " --version", kExitOk, "panelgrab-cli 1.0\n", {}},
        // Off a terminal, a grab shows no progress.
        {cli + " --fast-timing --port sim grab -o " + quiet,
         kExitOk,
         "",
         {"panelgrab-cli: wrote " + quiet + " (176x220)\n"}},
        {phonesim + " --version", 0, "panelgrab-phonesim 1.0\n", {}},
        // An unknown option is called unknown, not taken for one that lacks its value.
        {phonesim + " --frob", 2, "", {"unknown option --frob"}},
        // Ctrl-C ends listen with its status, after the events that came (given time to start
        // under a sanitizer on a loaded machine).
        {"timeout --preserve-status -k 5 -s INT 3 " + cli +
             " --fast-timing --port 'sim:--key-events=7,1;7,0,--key-event-pause=2' listen",
         128 + SIGINT,
         "pressed 7\nreleased 7\n",
         {"interrupted by Ctrl-C; the port was closed"}},
    };
    for (const auto& c : cases) {
        const Outcome run = Shell(c.command);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.command << ": " << run.err;
        EXPECT_EQ(run.out, c.out) << c.command;
        for (const std::string& part : c.errParts) {
            EXPECT_NE(run.err.find(part), std::string::npos) << c.command << ": " << run.err;
        }
    }
    const Outcome help = RunProgram("--help");
    EXPECT_EQ(help.exitCode, kExitOk);
    for (const char* line :
         {"  ports ", "  send ", "  model ", "  displays ", "  grab ", "  checksum ", "  keys ", "  listen ",
          "  watch ", "  compare ", "  gui ", "  --port NAME ", "  --version "}) {
        EXPECT_NE(help.out.find(line), std::string::npos) << line;
    }
    EXPECT_EQ(help.out.find("--every SECONDS"), std::string::npos)
        << "a command's option in the overall help";
    // A command's help holds its options, not the global ones nor the other commands'.
    const Outcome grabHelp = RunProgram("grab --help");
    EXPECT_EQ(grabHelp.exitCode, kExitOk);
    // "help grab" asks for the same help: CliArguments.OptionsAnywhereDashTextValuesAndHelp.
    for (const char* option : {"panelgrab-cli grab", "--every SECONDS", "--expect REF", "-o,--output FILE"}) {
        EXPECT_NE(grabHelp.out.find(option), std::string::npos) << option;
    }
    for (const char* option : {"--port", "--press", "--full-every"}) {
        EXPECT_EQ(grabHelp.out.find(option), std::string::npos) << option;
    }
}

TEST(CliProgram, ForegroundGrabShowsItsProgressOnATerminalOnly) {
    ScratchFolder folder;
    const std::string file = folder / "terminal.bmp";
    // script(1) runs it on a pseudo-terminal, as from a shell, and passes on what the terminal showed.
    const Outcome terminal =
        Shell("script -qec '" + std::string(PANELGRAB_CLI_PROGRAM) + " --fast-timing --port sim grab -o " +
              file + " >" + folder / "out" + "' /dev/null");
    ASSERT_EQ(terminal.exitCode, kExitOk) << terminal.out;
    // The bar is drawn in place and ends complete; the file is the picture.
    EXPECT_NE(terminal.out.find("\r[########################] 220/220 lines"), std::string::npos)
        << terminal.out;
    EXPECT_NE(terminal.out.find("wrote " + file), std::string::npos) << terminal.out;
    // The file a background read writes: CliEndToEnd.SecondDisplayInBackgroundWithRegionChecksum.
    EXPECT_EQ(ReadFile(folder / "out"), "");
    // Not into a trace, nor into a file: there the grab stays silent (CliProgram.ExitCodesAndStreams).
}

} // namespace
} // namespace panelgrab::cli
