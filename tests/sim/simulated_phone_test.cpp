// The simulated phone: its options, what it shows while it runs (--animate, pictures swapped by a
// test or a watched file), and what clients read through the project's own serial port.
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <utility>

#include "capture/display_bitmap.h"
#include "capture/screen_image.h"
#include "common/image/bmp_encoder.h"
#include "image/painted_picture.h"
#include "sim/picture_source.h"
#include "sim/replay_script.h"
#include "sim/screen_animation.h"
#include "sim/shown_screen.h"
#include "sim/simulated_phone.h"
#include "support/scratch_folder.h"
#include "transport/at/serial_port.h"

namespace panelgrab::sim {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

SimOptions Parsed(const std::vector<std::string>& args) {
    SimOptions options;
    std::string error;
    EXPECT_TRUE(ParseSimOptions(args, options, error)) << error;
    return options;
}

std::unique_ptr<SimulatedPhone> StartPhone(const std::vector<std::string>& args) {
    auto phone = std::make_unique<SimulatedPhone>(Parsed(args));
    std::string error;
    EXPECT_TRUE(phone->Start(error)) << error;
    return phone;
}

std::unique_ptr<SerialPort> OpenPort(const SimulatedPhone& phone) {
    ConnectionSettings settings(phone.DevicePath(), 115200);
    settings.SetTiming(PortTiming::Fast());
    auto port = std::make_unique<SerialPort>(settings);
    EXPECT_TRUE(port->Open(false)) << port->errorText();
    return port;
}

std::string Transact(SerialPort& port, const std::string& command,
                     ExchangeResult expected = ExchangeResult::Ok) {
    std::string answer;
    EXPECT_EQ(port.Transact(NarrowString(command.c_str()), answer, 50, 1u << 16), expected) << command;
    return answer;
}

Picture Filled(int32_t width, int32_t height, Rgb colour) {
    return test::Painted(width, height, [colour](int32_t, int32_t) { return colour; });
}

std::string BmpFile(const Picture& image) {
    const std::vector<uint8_t> bytes = EncodeBmp(image);
    return {bytes.begin(), bytes.end()};
}

TEST(SimOptions, AcceptsGoodOptionsAndExplainsBadOnesLeavingTheRecordAlone) {
    // The arguments, whether they are accepted, and a piece of the message if not.
    const std::tuple<std::vector<std::string>, bool, std::string> cases[] = {
        {{"--dialect", "per-line", "--display", "101x80:2"}, true, ""},
        {{"--dialect=two-displays", "--display=20x10:1", "--display=8x4:8"}, true, ""},
        {{"--baud=921600", "--chunk", "64", "--no-echo", "--fault=hangup-after=100"}, true, ""},
        {{"--key-events", ",,1;,,0;5,1", "--fault=stall-after=4096"}, true, ""},
        {{"--baud=115200", "--dialect=sideways"}, false, "--dialect"},
        {{"--display=176x220:4"}, false, "--display"},
        {{"--display=0x220:16"}, false, "--display"},
        {{"--display=176x220"}, false, "--display"},
        {{"--display=10x10:16", "--display=10x10:16"}, false, "two-displays"},
        {{"--dialect=two-displays", "--display=10x10:16"}, false, "two --display"},
        {{"--dialect=short", "--display=128x160:8"}, false, "16-bit"},
        {{"--dialect=per-line", "--display=128x160:2"}, false, "128x160"},
        {{"--baud=-5"}, false, "--baud"},
        {{"--baud"}, false, "needs a value"},
        {{"--key-events=5;5,0"}, false, "--key-events"},
        {{"--fault=melt"}, false, "unknown fault"},
        {{"--fault=hangup-after"}, false, "byte count"},
        {{"--fault=hangup-after=-1"}, false, "byte count"},
        {{"--colour=red"}, false, "unknown option"},
        {{"--frob"}, false, "unknown option --frob"}, // not "needs a value"
        {{"--frob", "--baud=1200"}, false, "unknown option --frob"},
        {{"--version"}, false, "unknown option"}, // the program answers it before parsing
        {{"stray"}, false, "unexpected argument"},
        {{"--animate=blink"}, false, "--animate"},
        {{"--animate=clock,"}, false, "--animate"},
        {{"--animate-period=9"}, false, "--animate-period"},
        {{"--watch-picture"}, false, "needs --picture"},
        {{"--watch-picture=yes", "--picture=x.bmp"}, false, "takes no value"},
        {{"--baud=9600", "--strict-baud"}, true, ""},
        {{"--strict-baud", "--baud=0"}, false, "--strict-baud needs the phone's own rate"},
        {{"--strict-baud=yes"}, false, "takes no value"},
        {{"--replay", "s.session", "--replay-timing=fast"}, true, ""},
        {{"--replay="}, false, "expected a session file"},
        {{"--replay-timing=slow"}, false, "expected recorded or fast"},
    };
    for (const auto& [args, ok, errorPart] : cases) {
        SimOptions options;
        options.baud = 9600;
        std::string error;
        EXPECT_EQ(ParseSimOptions(args, options, error), ok) << testing::PrintToString(args);
        EXPECT_NE(error.find(errorPart), std::string::npos) << error;
        if (!ok) {
            EXPECT_EQ(options.baud, 9600) << testing::PrintToString(args);
        }
    }
    // The arguments, and the parts they turn on with their period; the hard parts are rows, pixels,
    // block and checker.
    const std::tuple<std::vector<std::string>, bool, bool, int, bool> animations[] = {
        {{"--animate"}, true, true, 1000, false},
        {{"--animate", "--baud", "9600"}, true, true, 1000, false}, // takes no next word as a value
        {{"--animate=clock", "--animate-period=250"}, true, false, 250, false},
        {{"--animate=highlight,clock"}, true, true, 1000, false},
        {{"--animate=highlight"}, false, true, 1000, false},
        {{"--animate=rows,pixels,block,checker"}, false, false, 1000, true},
    };
    for (const auto& [args, clock, highlight, periodMs, hard] : animations) {
        const SimAnimation animation = Parsed(args).animation;
        EXPECT_EQ((std::tuple{animation.clock, animation.highlight, animation.periodMs, animation.rows,
                              animation.pixels, animation.block, animation.checker}),
                  (std::tuple{clock, highlight, periodMs, hard, hard, hard, hard}))
            << testing::PrintToString(args);
    }
    // Options apply in the order given: the last of --echo and --no-echo wins.
    EXPECT_TRUE(Parsed({"--no-echo", "--echo"}).echo);
    EXPECT_FALSE(Parsed({"--echo", "--no-echo"}).echo);
    SimAnimation kept;
    EXPECT_FALSE(ParseAnimationParts("clock,wobble", kept));
    EXPECT_FALSE(kept.any()) << "a refused list changes nothing";
}

// A replay matches each command with the next recorded one of its text, skipping what lies between,
// and keeps its place when a command is not found.
TEST(ReplayScript, MatchesCommandsInOrderAndKeepsItsPlaceOnAMiss) {
    ReplayScript script;
    std::string error;
    ASSERT_TRUE(script.Parse("# heading\n"
                             "0.000 > AT\\r\n0.001 < AT\\r\\r\\nOK\\r\\n\n"
                             "0.100 > AT+CKPD=\"1\"\\r\n0.101 < OK\\r\\n\n0.131 ! +CKEV: 1,1\n"
                             "0.200 > AT+CSQ\\r\n0.210 < +CSQ: 20,99\\r\\n\n"
                             "0.300 > AT+CKPD=\"1\"\\r\n0.305 < OK again\\r\\n\n",
                             "s", error))
        << error;
    const auto missing = [](const std::string& command) {
        return "replay: no recorded command \"" + command + "\" after the end of the session; answered ERROR";
    };
    // A command; whether it is found, with its time; the bytes of the records sent, or what is sent
    // unrecorded; and the complaint.
    const std::tuple<const char*, bool, int64_t, std::vector<std::string>, std::string> steps[] = {
        {"AT", true, 0, {"AT\r\r\nOK\r\n"}, ""},
        {"AT+CKPD=\"1\"", true, 100, {"OK\r\n", "+CKEV: 1,1"}, ""},
        {"AT+CKPD=\"1\"", true, 300, {"OK again\r\n"}, ""}, // AT+CSQ is skipped
        {"AT+CKPD=\"1\"", true, 300, {"OK again\r\n"}, ""}, // asked again: the same answer
        // Behind the place: not found again.
        {"AT+CSQ", false, 0, {"AT+CSQ\r\r\nERROR\r\n"}, missing("AT+CSQ")},
        {"AT+CGMM", false, 0, {"AT+CGMM\r\r\nERROR\r\n"}, missing("AT+CGMM")},
        // A bare AT, the probe of a client bringing the line back in step, is answered all the same.
        {"AT", false, 0, {"AT\r\r\nOK\r\n"}, ""},
    };
    for (const auto& [command, matched, commandMs, expectedSent, complaint] : steps) {
        const ReplayScript::Reply reply = script.Answer(command);
        std::vector<std::string> sent = {reply.unrecordedAnswer};
        if (reply.matched) {
            sent.clear();
            for (const SessionRecord& record : *reply.records) {
                sent.push_back(record.bytes);
            }
        }
        EXPECT_EQ(std::tuple(reply.matched, reply.commandMs, sent, reply.complaint),
                  std::tuple(matched, commandMs, expectedSent, complaint))
            << command;
    }
    EXPECT_TRUE(script.finished());
}

// Each part of the animation changes only its own place, at every step.
TEST(ScreenAnimation, EachStepChangesOnlyItsPartsOwnBox) {
    ASSERT_EQ(ListRowCount(176, 220), 4);
    const ScreenBox rows{1, ListRowBox(176, 220, 0).top, 174, ListRowBox(176, 220, 3).bottom};
    // Each part, and the box it changes in.
    const std::pair<SimAnimation, ScreenBox> cases[] = {
        {{.clock = true}, ClockBox(176)},    {{.highlight = true}, rows},
        {{.rows = true}, RowsTradeBox()},    {{.pixels = true}, PixelsTradeBox()},
        {{.block = true}, MovingBlockBox()}, {{.checker = true}, CheckerBox()},
    };
    const Picture card = ExpectedPicture(SimOptions{}, 0);
    for (const auto& [animation, where] : cases) {
        for (int64_t step = 0; step < 70; ++step) { // past a minute, and round the rows more than once
            Picture before = card;
            Picture after = card;
            DrawAnimationStep(before, animation, step);
            DrawAnimationStep(after, animation, step + 1);
            ASSERT_NE(before, after) << "step " << step << ": nothing changed";
            // The step before, with the step after inside the box only.
            const Picture boxChanged = test::Painted(card.width(), card.height(), [&](int32_t x, int32_t y) {
                const bool inside =
                    x >= where.left && x <= where.right && y >= where.top && y <= where.bottom;
                return inside ? after.At(x, y) : before.At(x, y);
            });
            ASSERT_EQ(boxChanged, after) << "step " << step << ": changed outside the box";
        }
    }
}

TEST(ShownScreen, WatchedPictureIsReReadWhenReplacedAndKeptWhenUnreadable) {
    const test::ScratchFolder folder;
    const std::string path = folder / "watched.bmp";
    const auto replace = [&path](const std::string& bytes) { // as an editor saves: a new file renamed
        std::ofstream(path + ".new", std::ios::binary) << bytes;
        fs::rename(path + ".new", path);
    };
    replace(BmpFile(Filled(8, 4, {248, 0, 0})));
    ShownScreen screen(Parsed({"--display=8x4:16", "--picture=" + path, "--watch-picture"}));
    std::string error;
    ASSERT_TRUE(screen.Load(error)) << error;
    const ShownScreen::Snapshot red = screen.Now();
    EXPECT_EQ(screen.Now().version, red.version) << "an unchanged file is not read again";
    EXPECT_EQ(red.pictures->front().Decoded(), Filled(8, 4, {248, 0, 0}));

    replace(BmpFile(Filled(8, 4, {0, 0, 248})));
    const ShownScreen::Snapshot blue = screen.Now();
    EXPECT_NE(blue.version, red.version);
    EXPECT_EQ(blue.pictures->front().Decoded(), Filled(8, 4, {0, 0, 248}));

    replace("not a picture");
    EXPECT_EQ(screen.Now().version, blue.version) << "a broken file leaves the last picture shown";
    fs::remove(path);
    EXPECT_EQ(screen.Now().version, blue.version);
}

// The client reads (bulk or line by line) exactly ExpectedPicture, and that is the nearest the
// format can show of the source picture, cropped at the display's right and shown black below it.
// Every dialect's exact picture at 16 bits:
// LiveView.EachDialectRefreshesOnlyWhatChangedAndASecondDisplayWhole.
TEST(SimulatedPhone, ClientReadsTheExpectedPictureAndItIsTheNearestColour) {
    // The arguments; the largest distance from the source a nearest code may have, per channel; whether
    // the format shows luminance only; and the display read.
    const std::tuple<std::vector<std::string>, Rgb, bool, int> cases[] = {
        {{"--display=24x10:16"}, {7, 3, 7}, false, 0},
        {{"--display=24x10:8"}, {18, 18, 42}, false, 0},
        {{"--display=24x10:2"}, {49, 45, 49}, true, 0},
        {{"--display=24x10:1"}, {255, 255, 255}, true, 0},
        {{"--dialect=long-range", "--display=24x10:16"}, {7, 3, 7}, false, 0},
        {{"--dialect=per-line", "--display=24x10:8"}, {18, 18, 42}, false, 0},
        {{"--dialect=per-line", "--display=24x10:2"}, {42, 42, 42}, true, 0},
        {{"--dialect=per-line", "--display=24x10:1"}, {255, 255, 255}, true, 0},
        {{"--dialect=two-displays", "--display=9x5:16", "--display=24x10:8"}, {18, 18, 42}, false, 1},
        {{"--fault=error-bulk", "--display=24x10:8"}, {18, 18, 42}, false, 0}, // falls back to AT*ZIPI lines
    };
    // Every channel runs through many values: red across, green down, blue mixed.
    const Picture source = test::Painted(26, 9, [](int32_t x, int32_t y) {
        return Rgb{static_cast<uint8_t>(x * 255 / 25), static_cast<uint8_t>(y * 255 / 8),
                   static_cast<uint8_t>((x * 37 + y * 11) % 256)};
    });
    const test::ScratchFolder folder;
    const std::string bmp = folder / "picture.bmp";
    std::ofstream(bmp, std::ios::binary) << BmpFile(source);
    for (const auto& [simArgs, tolerance, luminanceOnly, index] : cases) {
        SCOPED_TRACE(testing::PrintToString(simArgs));
        std::vector<std::string> args = simArgs;
        args.push_back("--picture=" + bmp);
        auto phone = StartPhone(args);
        auto port = OpenPort(*phone);
        EXPECT_FALSE(phone->ShowPicture(2, source)) << "no third display";
        // What a client reads of the display: the project's own capture of it.
        ScreenImage image;
        DisplayBitmap bitmap;
        ASSERT_TRUE(image.ReadScreen(*port, index) && bitmap.SetSize(*image.current()) &&
                    image.RenderInto(bitmap));
        const Picture shown = bitmap.ToPicture();
        ASSERT_TRUE(shown.width() == 24 &&
                    shown == ExpectedPicture(Parsed(args), static_cast<std::size_t>(index)));
        // Beyond the source black; inside it each channel within a step of the source's (or its grey).
        for (int y = 0; y < 10; ++y) {
            for (int x = 0; x < 24; ++x) {
                const Rgb got = shown.At(x, y);
                const Rgb from = source.Contains(x, y) ? source.At(x, y) : Rgb{};
                const auto grey =
                    static_cast<uint8_t>((299 * from.r + 587 * from.g + 114 * from.b + 500) / 1000);
                const Rgb want = luminanceOnly ? Rgb{grey, grey, grey} : from;
                for (uint8_t Rgb::*channel : {&Rgb::r, &Rgb::g, &Rgb::b}) {
                    EXPECT_LE(std::abs(got.*channel - want.*channel),
                              source.Contains(x, y) ? tolerance.*channel : 0)
                        << x << "," << y;
                }
                EXPECT_TRUE(tolerance.r < 255 || (got.r == 255) == (grey >= 128)) << x << "," << y;
            }
        }
    }
}

TEST(SimulatedPhone, AnswersTheOtherCommands) {
    auto phone = StartPhone({});
    auto port = OpenPort(*phone);
    EXPECT_EQ(Transact(*port, "\r"), "\r\r\nOK\r\n");
    EXPECT_EQ(Transact(*port, "AT*ZAPC=?\r"),
              "AT*ZAPC=?\r\r\n*ZAPC: (0-175),(0-219),(0-175),(0-219),(0-0)\r\n\r\nOK\r\n");
    for (const char* bad : {"AT*ZAPC=5,0,1,1\r", "AT*ZAPC=0,0,176,1\r", "AT*ZAPC=0,0,1,1,1\r", "AT*ZAPC=a\r",
                            "ATQ\r", "hello\r", "AT*ZGUI=1\r", "AT+CKPD=5\r", "AT*ZISI=1\r",
                            "AT*ZIPI=220,0,175\r", "AT*ZIPI=0,0,176\r", "AT*ZIPI=0,5,4\r"}) {
        Transact(*port, bad, ExchangeResult::ErrorAnswer);
    }
    EXPECT_EQ(Transact(*port, "ate0\r"), "ate0\r\r\nOK\r\n");
    EXPECT_EQ(Transact(*port, "AT\r"), "\r\nOK\r\n");
}

// Paced, the phone is waiting on its own schedule; unpaced, on a full line, which
// SessionGrab.AWholeCountOfAMalformedPictureIsNoPicture would hang on.
TEST(SimulatedPhone, StopsPromptlyWhileAClientLeavesAPictureUnread) {
    auto phone = StartPhone({"--baud=9600"});
    const int fd = open(phone->DevicePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "AT*ZISI\r", 8), 8);
    std::this_thread::sleep_for(50ms); // the phone is now sending on its schedule
    const auto start = std::chrono::steady_clock::now();
    phone->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
    close(fd);
}

// Noise between answers shows in the fault tests only as answers that still come through, which a
// phone without the fault gives too. A line that never ends shows as no picture in
// SessionGrab.AWholeCountOfAMalformedPictureIsNoPicture.
TEST(SimulatedPhone, GarbageMisbehavesAsNamed) {
    auto phone = StartPhone({"--fault=garbage"});
    auto port = OpenPort(*phone);
    std::string all = Transact(*port, "AT*ZISI=?\r") + Transact(*port, "AT+CGMM\r");
    for (const std::string legit :
         {"AT*ZISI=?\r\r\n*ZISI: 220, 176, 16\r\n\r\nOK\r\n", "AT+CGMM\r\r\nPANELSIM-P200\r\n\r\nOK\r\n"}) {
        const std::size_t at = all.find(legit);
        ASSERT_NE(at, std::string::npos) << legit;
        all.erase(at, legit.size());
    }
    EXPECT_FALSE(all.empty()) << "noise between the answers";
    EXPECT_EQ(all.find_first_of("0123456789ABCDEFabcdefOK:\"+\r\n"), std::string::npos) << all;
}

} // namespace
} // namespace panelgrab::sim
