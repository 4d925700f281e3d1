#include <chrono>
#include <gtest/gtest.h>

#include "phone/commands.h"
#include "sim/simulated_phone.h"
#include "transport/serial_port.h"

namespace panelgrab::sim {
namespace {

// A paced phone takes the byte time of its answer (10 bits a byte), neither less nor more.
TEST(SimulatedPhonePacing, BulkPictureTakesItsByteTime) {
    constexpr int kBaud = 115200;
    SimOptions options;
    std::string error;
    ASSERT_TRUE(ParseSimOptions({"--display=40x30:16", "--baud=" + std::to_string(kBaud)}, options, error));
    SimulatedPhone phone(options);
    ASSERT_TRUE(phone.Start(error)) << error;
    ConnectionSettings settings(phone.DevicePath(), kBaud);
    settings.SetTiming(PortTiming::Fast());
    SerialPort port(settings);
    ASSERT_TRUE(port.Open(false)) << port.errorText();

    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(port.Write(kCmdZisi), ExchangeResult::Ok);
    std::string answer;
    ASSERT_EQ(port.ReadUntil(answer, "\r\nOK\r\n", 2000, 1u << 16), ExchangeResult::Ok);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;

    ASSERT_EQ(answer.size(), 8u + 2u + 30u * (7u + 320u + 2u) + 6u);
    const double byteTime = static_cast<double>(answer.size()) * 10.0 / kBaud;
    EXPECT_NEAR(took.count(), byteTime, byteTime * 0.05) << "took " << took.count() << " s";
}

} // namespace
} // namespace panelgrab::sim
