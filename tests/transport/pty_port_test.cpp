// The serial port on a real pseudo-terminal: what a scripted device cannot show (the kernel's locks
// and rates, blocking reads, pacing in wall time, several threads on one line).
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <future>
#include <sys/ioctl.h>
#include <unistd.h>

#include "support/pty_peer.h"
#include "transport/serial_port.h"

namespace panelgrab {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::PtyPeer;
using Commands = std::vector<std::string>;

// Fast timing, with a read wait long enough that a peer thread delayed by a busy machine is not
// taken for a silent phone.
ConnectionSettings FastSettings(const PtyPeer& peer, int32_t rate = 921600, bool paced = false,
                                std::chrono::milliseconds readWait = 20ms) {
    ConnectionSettings settings(peer.SlavePath(), rate, {}, paced);
    PortTiming timing = PortTiming::Fast();
    timing.readWait = readWait;
    settings.SetTiming(timing);
    return settings;
}

TEST(PtyOpen, ExclusiveModeOfAnotherProgramRefusedRatesAndPacedOpenAtAnUnusualRate) {
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    const int other = ::open(peer.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(ioctl(other, TIOCEXCL), 0);
    SerialPort busy(FastSettings(peer));
    EXPECT_FALSE(busy.Open(false));
    EXPECT_STREQ(busy.errorText(), kTextPortInUse);
    EXPECT_EQ(busy.systemError(), EBUSY);
    int exclusive = 0;
    ASSERT_EQ(ioctl(other, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1) << "the other program's exclusive mode was cleared";
    ioctl(other, TIOCNXCL);
    ::close(other);

    for (int32_t rate : {0, -9600}) {
        SerialPort refused(FastSettings(peer, rate));
        EXPECT_FALSE(refused.Open(false));
        EXPECT_STREQ(refused.errorText(), kTextBadSettings);
        EXPECT_FALSE(refused.IsOpen());
    }
    peer.Respond("AT\r\r\nOK\r\n");
    peer.Start();
    SerialPort port(FastSettings(peer, 250000, true));
    const auto start = Clock::now();
    ASSERT_TRUE(port.Open(false)) << port.errorText();
    EXPECT_GE(Clock::now() - start, 5 * PortTiming::Fast().pacedPause);
    EXPECT_EQ(peer.Commands(), Commands{"AT\r"});
}

TEST(PtyClose, CloseFromAnotherThreadEndsABlockedRead) {
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    peer.Respond("AT\r\r\nOK\r\n");
    peer.Start();
    // Paced (no drain, which would wait a whole read wait), with a read that only Close can end early.
    SerialPort port(FastSettings(peer, 921600, true, 10s));
    ASSERT_TRUE(port.Open(false)) << port.errorText();

    std::string answer;
    auto reader = std::async(std::launch::async, [&] { return port.ReadUntilOk(answer, 5); });
    ASSERT_EQ(reader.wait_for(50ms), std::future_status::timeout);
    port.Close();
    ASSERT_EQ(reader.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(reader.get(), ReceiveFailed);
    EXPECT_FALSE(port.IsOpen());
}

TEST(PtyThreads, ExchangesFromTwoThreadsDoNotInterleave) {
    constexpr int kRounds = 20;
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    for (int i = 0; i < 2 * kRounds + 1; ++i) {
        peer.Respond("\r\nOK\r\n");
    }
    peer.Start();
    SerialPort port(FastSettings(peer));
    ASSERT_TRUE(port.Open(false)) << port.errorText();
    auto worker = [&](const char* command) {
        int ok = 0;
        std::string text;
        for (int i = 0; i < kRounds; ++i) {
            ok += port.Transact(NarrowString(command), text, 20) == Ok;
        }
        return ok;
    };
    auto first = std::async(std::launch::async, worker, "AT+AAAA\r");
    auto second = std::async(std::launch::async, worker, "AT+BBBB\r");
    EXPECT_EQ(first.get(), kRounds);
    EXPECT_EQ(second.get(), kRounds);
    for (const std::string& command : peer.Commands()) {
        EXPECT_TRUE(command == "AT\r" || command == "AT+AAAA\r" || command == "AT+BBBB\r") << command;
    }
}

} // namespace
} // namespace panelgrab
