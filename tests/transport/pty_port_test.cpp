#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <future>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

#include "support/pty_peer.h"
#include "transport/exchange_result.h"
#include "transport/serial_port.h"

namespace panelgrab {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using Clock = std::chrono::steady_clock;
using test::PtyPeer;
using Commands = std::vector<std::string>;

class RecordingTrace : public TraceSink {
public:
    void OnCommandSent(const std::string&) override {}
    void OnAnswerReceived(const std::string& text) override { answers.push_back(text); }
    std::vector<std::string> answers;
};

// Fast timing, but with a read wait long enough that a peer thread delayed by a busy machine is
// not taken for a silent phone.
PortTiming PtyTiming() {
    PortTiming timing = PortTiming::Fast();
    timing.readWait = std::chrono::milliseconds(20);
    return timing;
}

ConnectionSettings FastSettings(const PtyPeer& peer, int32_t rate = 921600, bool paced = false) {
    ConnectionSettings settings(peer.SlavePath(), rate, {}, paced);
    settings.SetTiming(PtyTiming());
    return settings;
}

std::size_t CountOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// A port opened on the peer, which has answered the probe.
class PtyPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(peer.ok());
        peer.Respond("AT\r\r\nOK\r\n");
        peer.Start();
        port = std::make_unique<SerialPort>(FastSettings(peer));
        ASSERT_TRUE(port->Open(false)) << port->errorText();
        ASSERT_TRUE(peer.WaitUntilDone(1s));
    }
    void TearDown() override {
        if (port) {
            port->Close();
        }
        peer.Stop();
    }
    PtyPeer peer;
    std::unique_ptr<SerialPort> port;
    std::string answer;
};

TEST(PtyOpen, NormalSequenceDrainsStaleInputAndProbes) {
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    peer.Push("\r\nSTALE\r\n");
    peer.Respond("AT\r\r\nOK\r\n");
    peer.Start();
    SerialPort port(FastSettings(peer, 115200));
    RecordingTrace trace;
    port.SetTraceSink(&trace);
    ASSERT_TRUE(port.Open(false)) << port.errorText();
    EXPECT_EQ(peer.Commands(), Commands{"AT\r"});
    EXPECT_EQ(trace.answers, Commands{"AT\r\r\nOK\r\n"});
    port.Close();
}

TEST(PtyOpen, PacedSequenceProbesWithTwoIdlePolls) {
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    peer.Respond("AT\r\r\nOK\r\n");
    peer.Start();
    SerialPort port(FastSettings(peer, 9600, true));
    const auto start = Clock::now();
    ASSERT_TRUE(port.Open(false)) << port.errorText();
    EXPECT_GE(Clock::now() - start, 5 * PtyTiming().pacedPause);
    EXPECT_EQ(peer.Commands(), Commands{"AT\r"});
    port.Close();
}

TEST(PtyOpen, SilentPhoneIsNotRespondingAfterThreeProbes) {
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    peer.Expect().Expect().Expect();
    peer.Start();
    SerialPort port(FastSettings(peer));
    EXPECT_FALSE(port.Open(false));
    EXPECT_STREQ(port.errorText(), kTextPhoneNotResponding);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_TRUE(peer.WaitForCommands(3, 1s));
    EXPECT_EQ(peer.Commands(), Commands(3, "AT\r"));
}

TEST(PtyOpen, PortLockedByAnotherProgramIsInUse) {
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    const int other = ::open(peer.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    SerialPort port(FastSettings(peer));
    EXPECT_FALSE(port.Open(false));
    EXPECT_STREQ(port.errorText(), kTextPortInUse);
    EXPECT_TRUE(port.systemError() == EWOULDBLOCK || port.systemError() == EBUSY);
    ::close(other);
}

TEST(PtyOpen, PortInExclusiveModeIsInUseAndKeepsItsMode) {
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    const int other = ::open(peer.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(ioctl(other, TIOCEXCL), 0);
    SerialPort port(FastSettings(peer));
    EXPECT_FALSE(port.Open(false));
    EXPECT_STREQ(port.errorText(), kTextPortInUse);
    EXPECT_EQ(port.systemError(), EBUSY);
    int exclusive = 0;
    ASSERT_EQ(ioctl(other, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1) << "the other program's exclusive mode was cleared";
    ::close(other);
}

TEST(PtyOpen, RefusedRatesAreBadSettingsAndUnusualRatesWork) {
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    for (int32_t rate : {0, -9600}) {
        SerialPort port(FastSettings(peer, rate));
        EXPECT_FALSE(port.Open(false));
        EXPECT_STREQ(port.errorText(), kTextBadSettings);
        EXPECT_FALSE(port.IsOpen());
    }
    peer.Respond("AT\r\r\nOK\r\n");
    peer.Start();
    SerialPort port(FastSettings(peer, 250000));
    EXPECT_TRUE(port.Open(false)) << port.errorText();
    port.Close();
}

TEST_F(PtyPortTest, TransactAgainstSilencePutsTheCommandThreeTimes) {
    EXPECT_EQ(port->Transact(NarrowString("AT+CGMM\r"), answer, 2), TimedOut);
    EXPECT_EQ(CountOf(peer.Received(), "AT+CGMM\r"), 3u);
}

TEST_F(PtyPortTest, AnswerInSmallPiecesAndNulBytes) {
    peer.Expect().Answer("AT+CGMM\r\r\nMo\0del\r\n\r\nOK\r\n"s, 3, 1ms);
    EXPECT_EQ(port->Transact(NarrowString("AT+CGMM\r"), answer, 50), Ok);
    EXPECT_EQ(answer, "AT+CGMM\r\r\nModel\r\n\r\nOK\r\n");
}

TEST_F(PtyPortTest, LongAnswerIsCutAndItsRestDoesNotLeakIntoTheNextExchange) {
    peer.Expect().Answer(std::string(3000, 'h') + "\r\nOK\r\n", 512, 1ms);
    peer.Respond("\r\nNEXT\r\nOK\r\n");
    EXPECT_EQ(port->Transact(NarrowString("AT*ZISI\r"), answer, 50), Ok);
    EXPECT_EQ(answer, std::string(SerialPort::kAnswerCapacity, 'h'));
    EXPECT_EQ(port->Transact(NarrowString("AT\r"), answer, 50), Ok);
    EXPECT_EQ(answer, "\r\nNEXT\r\nOK\r\n");
}

TEST_F(PtyPortTest, EndlessLineEndsWithTimeoutAndBoundedAnswer) {
    peer.Stream("0123456789ABCDEF");
    const auto start = Clock::now();
    EXPECT_EQ(port->ReadUntilOk(answer, 2), TimedOut);
    EXPECT_LT(Clock::now() - start, 1s);
    EXPECT_EQ(answer.size(), SerialPort::kAnswerCapacity);
}

TEST_F(PtyPortTest, HangUpFailsTheReadAtOnce) {
    peer.HangUp();
    ASSERT_TRUE(peer.WaitUntilDone(1s));
    const auto start = Clock::now();
    EXPECT_EQ(port->ReadUntilOk(answer, 1000), ReceiveFailed);
    EXPECT_LT(Clock::now() - start, 500ms); // a thousand idle polls would take seconds
    EXPECT_EQ(port->systemError(), EIO);
}

TEST(PtyClose, CloseFromAnotherThreadEndsABlockedRead) {
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    peer.Respond("AT\r\r\nOK\r\n");
    peer.Start();
    // Paced: no drain, which would wait a whole read wait for quiet.
    ConnectionSettings settings = FastSettings(peer, 921600, true);
    PortTiming slow = PtyTiming();
    slow.readWait = 10s; // a read that only Close can end early
    settings.SetTiming(slow);
    SerialPort port(settings);
    ASSERT_TRUE(port.Open(false)) << port.errorText();

    std::string answer;
    auto reader = std::async(std::launch::async, [&] { return port.ReadUntilOk(answer, 5); });
    ASSERT_EQ(reader.wait_for(50ms), std::future_status::timeout);
    const auto start = Clock::now();
    port.Close();
    ASSERT_EQ(reader.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(reader.get(), ReceiveFailed);
    EXPECT_LT(Clock::now() - start, 2s);
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(PtyPortTest, ExchangesFromTwoThreadsDoNotInterleave) {
    constexpr int kRounds = 20;
    for (int i = 0; i < 2 * kRounds; ++i) {
        peer.Respond("\r\nOK\r\n");
    }
    auto worker = [&](const char* command) {
        int ok = 0;
        std::string text;
        for (int i = 0; i < kRounds; ++i) {
            ok += port->Transact(NarrowString(command), text, 20) == Ok;
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
