// The simulated phone through the project's own serial port: what clients rely on.
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <unistd.h>

#include "capture/display_bitmap.h"
#include "capture/display_list_parser.h"
#include "capture/picture_text.h"
#include "capture/screen_image.h"
#include "phone/commands.h"
#include "sim/picture_source.h"
#include "sim/simulated_phone.h"
#include "transport/serial_port.h"

namespace panelgrab::sim {
namespace {

using namespace std::chrono_literals;

std::unique_ptr<SimulatedPhone> StartPhone(const std::vector<std::string>& args,
                                           SimOptions* parsed = nullptr) {
    SimOptions options;
    std::string error;
    EXPECT_TRUE(ParseSimOptions(args, options, error)) << error;
    auto phone = std::make_unique<SimulatedPhone>(options);
    EXPECT_TRUE(phone->Start(error)) << error;
    if (parsed != nullptr) {
        *parsed = options;
    }
    return phone;
}

std::unique_ptr<SerialPort> OpenPort(const SimulatedPhone& phone) {
    ConnectionSettings settings(phone.DevicePath(), 115200);
    settings.SetTiming(PortTiming::Fast());
    auto port = std::make_unique<SerialPort>(settings);
    EXPECT_TRUE(port->Open(false)) << port->errorText();
    return port;
}

std::string Transact(SerialPort& port, const char* command, ExchangeResult expected = ExchangeResult::Ok) {
    std::string answer;
    EXPECT_EQ(port.Transact(NarrowString(command), answer, 20), expected) << command;
    return answer;
}

struct ListCase {
    std::vector<std::string> args;
    std::string answer;
    DisplayList displays;
};

TEST(SimulatedPhone, EachDialectDescribesItsDisplays) {
    const ListCase cases[] = {
        {{}, "AT*ZISI=?\r\r\n*ZISI: 220, 176, 16\r\n\r\nOK\r\n", {{176, 220, 16, 1408, 0}}},
        {{"--dialect=long-range", "--display=30x20:2"},
         "AT*ZISI=?\r\r\n*ZISI: 20, 30, 2, (0 - 1)\r\n\r\nOK\r\n",
         {{30, 20, 2, 240, 0}}},
        {{"--dialect=two-displays"},
         "AT*ZISI=?\r\r\n*ZISI: 220, 176, 16, (0 - 1), 64, 96, 16\r\n\r\nOK\r\n",
         {{176, 220, 16, 1408, 0}, {96, 64, 16, 768, 1}}},
        {{"--dialect=short"},
         "AT*ZISI=?\r\r\n*ZISI: (160),(128),(16)\r\n\r\nOK\r\n",
         {{128, 160, 16, 512, 0}}},
    };
    for (const ListCase& c : cases) {
        auto phone = StartPhone(c.args);
        auto port = OpenPort(*phone);
        const std::string answer = Transact(*port, "AT*ZISI=?\r");
        EXPECT_EQ(answer, c.answer);
        EXPECT_EQ(ParseZisiDisplayList(answer), c.displays) << c.answer;
    }
}

TEST(SimulatedPhone, PerLineDialectLetsTheClientMeasureBitsPerPixel) {
    for (const int bpp : {1, 2, 8, 16}) {
        auto phone = StartPhone({"--dialect=per-line", "--display=101x80:" + std::to_string(bpp)});
        auto port = OpenPort(*phone);
        Transact(*port, "AT*ZISI=?\r", ExchangeResult::ErrorAnswer);
        const std::string ranges = Transact(*port, "AT*ZIPI=?\r");
        EXPECT_NE(ranges.find("*ZIPI: (0-79),(0-100),(0-0)\r\n"), std::string::npos) << ranges;
        const ZipiSize size = ZipiDisplaySize(ParseZipiGroups(ranges));
        const std::string line = Transact(*port, "AT*ZIPI=0,0,100\r");
        char dest[1024];
        const uint32_t count = ExtractPixelLine(line, dest, sizeof dest);
        const DisplayInfo entry = ZipiDisplayEntry(size, count);
        EXPECT_EQ(entry, DisplayInfo(101, 80, static_cast<uint8_t>(bpp), count, 0)) << bpp;
        Transact(*port, "AT*ZIPI=80,0,100\r", ExchangeResult::ErrorAnswer);
        Transact(*port, "AT*ZIPI=0,5,4\r", ExchangeResult::ErrorAnswer);
    }
}

// Reads the picture as the tool does (bulk or line by line) and compares it with ExpectedPicture.
struct ReadCase {
    std::vector<std::string> args;
    int index;
};

TEST(SimulatedPhone, ClientReadsExactlyTheExpectedPicture) {
    const ReadCase cases[] = {
        {{"--display=17x9:16"}, 0},
        {{"--display=17x9:2"}, 0},
        {{"--display=17x9:1"}, 0},
        {{"--display=17x9:8"}, 0},
        {{"--dialect=two-displays", "--display=9x5:16", "--display=13x7:8"}, 1},
        {{"--dialect=short", "--display=11x6:16"}, 0},
        {{"--dialect=per-line", "--display=13x5:1"}, 0},
        {{"--dialect=per-line", "--display=13x5:2"}, 0},
        {{"--dialect=per-line", "--display=13x5:8"}, 0},
        {{"--fault=error-bulk", "--display=12x4:8"}, 0}, // falls back to AT*ZIPI lines
        {{"--chunk=7", "--display=17x9:16"}, 0},         // answers split across many reads
    };
    for (const ReadCase& c : cases) {
        SimOptions options;
        auto phone = StartPhone(c.args, &options);
        auto port = OpenPort(*phone);
        ScreenImage image;
        ASSERT_TRUE(image.ReadScreen(*port, c.index)) << testing::PrintToString(c.args);
        DisplayBitmap bitmap;
        ASSERT_TRUE(bitmap.SetSize(*image.current()));
        ASSERT_TRUE(image.RenderInto(bitmap));
        const RgbImage expected = ExpectedPicture(options, static_cast<std::size_t>(c.index));
        ASSERT_EQ(bitmap.width(), expected.width);
        for (int y = 0; y < expected.height; ++y) {
            for (int x = 0; x < expected.width; ++x) {
                const uint8_t* bgr = bitmap.pixels() + y * bitmap.rowSize() + x * 3;
                const uint8_t* rgb = expected.At(x, y);
                ASSERT_TRUE(bgr[2] == rgb[0] && bgr[1] == rgb[1] && bgr[0] == rgb[2])
                    << testing::PrintToString(c.args) << " at " << x << "," << y;
            }
        }
    }
}

TEST(SimulatedPhone, BulkPictureCarriesHeightTimesLineLengthDigits) {
    auto phone = StartPhone({});
    auto port = OpenPort(*phone);
    ASSERT_EQ(port->Write(kCmdZisi), ExchangeResult::Ok);
    std::string answer;
    ASSERT_EQ(port->ReadUntil(answer, "\r\nOK\r\n", 200, 1u << 20), ExchangeResult::Ok);
    ASSERT_EQ(answer.rfind("AT*ZISI\r\r\n", 0), 0u);
    std::size_t lines = 0;
    std::size_t digits = 0;
    for (std::size_t at = answer.find("*ZISI: "); at != std::string::npos; at = answer.find("*ZISI: ", at)) {
        const std::size_t end = answer.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        EXPECT_EQ(end - at - 7, 1408u) << "line " << lines;
        digits += end - at - 7;
        ++lines;
        at = end;
    }
    EXPECT_EQ(lines, 220u);
    EXPECT_EQ(digits, 220u * 1408u);
    EXPECT_EQ(answer.substr(answer.size() - 8), "\r\n\r\nOK\r\n");
    Transact(*port, "AT*ZISI=1\r", ExchangeResult::ErrorAnswer); // no second display
}

TEST(SimulatedPhone, AnswersTheOtherCommands) {
    auto phone = StartPhone({"--model=ACME-X1", "--gui-object=\"Feedback\",\"T\",\"\",\"\",\"M\""});
    auto port = OpenPort(*phone);
    EXPECT_EQ(Transact(*port, "AT+CGMM\r"), "AT+CGMM\r\r\nACME-X1\r\n\r\nOK\r\n");
    EXPECT_EQ(Transact(*port, "\r"), "\r\r\nOK\r\n");
    EXPECT_EQ(Transact(*port, "AT*ZGUI=0\r"),
              "AT*ZGUI=0\r\r\n*ZGUI: \"Feedback\",\"T\",\"\",\"\",\"M\"\r\n\r\nOK\r\n");
    EXPECT_EQ(Transact(*port, "AT*ZAPC=?\r"),
              "AT*ZAPC=?\r\r\n*ZAPC: (0-175),(0-219),(0-175),(0-219),(0-0)\r\n\r\nOK\r\n");
    // The top-left 2x2 pixels of the test card are its white frame: 4 x 0x00FFFFFF.
    EXPECT_EQ(Transact(*port, "AT*ZAPC=0,0,1,1\r"), "AT*ZAPC=0,0,1,1\r\r\n*ZAPC: \"03FFFFFC\"\r\n\r\nOK\r\n");
    for (const char* bad : {"AT*ZAPC=5,0,1,1\r", "AT*ZAPC=0,0,176,1\r", "AT*ZAPC=0,0,1,1,1\r", "AT*ZAPC=a\r",
                            "ATQ\r", "hello\r", "AT*ZGUI=1\r", "AT+CKPD=5\r"}) {
        Transact(*port, bad, ExchangeResult::ErrorAnswer);
    }
    EXPECT_EQ(Transact(*port, "ate0\r"), "ate0\r\r\nOK\r\n");
    EXPECT_EQ(Transact(*port, "AT\r"), "\r\nOK\r\n");
}

TEST(SimulatedPhone, KeyReportsFollowTheOkAndStopWithReporting) {
    auto phone = StartPhone({"--key-events=,,1;,,0", "--key-event-pause=5"});
    auto port = OpenPort(*phone);
    std::string answer;
    const auto readReport = [&] {
        answer.clear();
        EXPECT_EQ(port->ReadUnsolicited(answer, "\r\n", 100), ExchangeResult::Ok);
        return answer.substr(answer.find('+'));
    };
    EXPECT_EQ(Transact(*port, "AT+CKPD=\"5\"\r"), "AT+CKPD=\"5\"\r\r\nOK\r\n"); // reporting is off
    EXPECT_EQ(Transact(*port, "AT+CMER=3,2,0,0\r"), "AT+CMER=3,2,0,0\r\r\nOK\r\n");
    EXPECT_EQ(readReport(), "+CKEV: ,,1\r\n");
    EXPECT_EQ(readReport(), "+CKEV: ,,0\r\n");
    EXPECT_EQ(Transact(*port, "AT+CKPD=\":J#\",2,10\r"), "AT+CKPD=\":J#\",2,10\r\r\nOK\r\n");
    EXPECT_EQ(readReport(), "+CKEV: :J,1\r\n");
    EXPECT_EQ(readReport(), "+CKEV: :J,0\r\n");
    EXPECT_EQ(readReport(), "+CKEV: #,1\r\n");
    EXPECT_EQ(readReport(), "+CKEV: #,0\r\n");
    EXPECT_EQ(Transact(*port, "AT+CMER=0,0,0,0\r"), "AT+CMER=0,0,0,0\r\r\nOK\r\n");
    EXPECT_EQ(Transact(*port, "AT+CKPD=\"1\"\r"), "AT+CKPD=\"1\"\r\r\nOK\r\n");
    answer.clear();
    EXPECT_EQ(port->ReadUnsolicited(answer, "\r\n", 20), ExchangeResult::TimedOut);
    EXPECT_EQ(answer, "");
}

TEST(SimulatedPhone, DevicePathSurvivesManyOpensAndExclusiveOpenStillWorks) {
    auto phone = StartPhone({});
    for (int i = 0; i < 3; ++i) {
        auto port = OpenPort(*phone);
        Transact(*port, "AT\r");
    }
    auto port = OpenPort(*phone);
    const int second = open(phone->DevicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (geteuid() != 0) { // TIOCEXCL does not bind the superuser
        EXPECT_LT(second, 0);
    }
    if (second >= 0) {
        close(second);
    }
}

TEST(SimulatedPhone, StopsPromptlyWhileAClientLeavesAPictureUnread) {
    for (const std::string baud : {"0", "9600"}) {
        auto phone = StartPhone({"--baud=" + baud});
        const int fd = open(phone->DevicePath().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, "AT*ZISI\r", 8), 8);
        std::this_thread::sleep_for(50ms); // the phone is now blocked on a full line or its schedule
        const auto start = std::chrono::steady_clock::now();
        phone->Stop();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms) << baud;
        close(fd);
    }
}

TEST(SimulatedPhone, FaultsMisbehaveAsNamed) {
    {
        auto phone = StartPhone({"--fault=silent"});
        ConnectionSettings settings(phone->DevicePath(), 115200);
        settings.SetTiming(PortTiming::Fast());
        SerialPort port(settings);
        EXPECT_FALSE(port.Open(false));
    }
    {
        auto phone = StartPhone({"--fault=hangup-after=30"});
        auto port = OpenPort(*phone); // the probe's 9 bytes
        std::string answer;
        EXPECT_EQ(port->Transact(NarrowString("AT+CGMM\r"), answer, 20), ExchangeResult::ReceiveFailed);
    }
    {
        auto phone = StartPhone({"--fault=stall-after=40", "--display=20x4:16"});
        auto port = OpenPort(*phone);
        ASSERT_EQ(port->Write(kCmdZisi), ExchangeResult::Ok);
        std::string answer;
        EXPECT_EQ(port->ReadUntil(answer, "OK\r\n", 10, 4096), ExchangeResult::TimedOut);
        EXPECT_EQ(answer.size(), 40u - 9u); // the probe's answer took 9 bytes
    }
    {
        auto phone = StartPhone({"--fault=endless-line"});
        auto port = OpenPort(*phone);
        ASSERT_EQ(port->Write(kCmdZisi), ExchangeResult::Ok);
        std::string answer;
        EXPECT_EQ(port->ReadLine(answer, 20, 4095), ExchangeResult::Ok); // the echo's line
        answer.clear();
        EXPECT_EQ(port->ReadLine(answer, 20, 4095), ExchangeResult::Ok); // cut at the capacity
        EXPECT_EQ(answer.size(), 4095u);
        EXPECT_EQ(answer.find("\r\n"), std::string::npos);
    }
    {
        auto phone = StartPhone({"--fault=garbage"});
        auto port = OpenPort(*phone);
        std::string all = Transact(*port, "AT*ZISI=?\r") + Transact(*port, "AT+CGMM\r");
        for (const std::string legit : {"AT*ZISI=?\r\r\n*ZISI: 220, 176, 16\r\n\r\nOK\r\n",
                                        "AT+CGMM\r\r\nPANELSIM-P200\r\n\r\nOK\r\n"}) {
            const std::size_t at = all.find(legit);
            ASSERT_NE(at, std::string::npos) << legit;
            all.erase(at, legit.size());
        }
        EXPECT_FALSE(all.empty()) << "noise between the answers";
        EXPECT_EQ(all.find_first_of("0123456789ABCDEFabcdefOK:\"+\r\n"), std::string::npos) << all;
    }
}

} // namespace
} // namespace panelgrab::sim
