// The serial port's exchanges and open sequence over a scripted device: exact chunks and idle polls.
#include <gtest/gtest.h>

#include <cerrno>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "transport/at/exchange_result.h"
#include "transport/at/serial_port.h"
#include "transport/bytes/serial_device.h"
#include "transport/ports/port_names.h"

namespace panelgrab {
namespace {

using namespace std::string_literals;
using Writes = std::vector<std::string>;

// A serial device that plays back a fixed sequence of reads, so chunk boundaries and idle polls
// are exactly what the test says. Owned by the SerialPort under test; the test keeps a pointer.
class ScriptedDevice final : public SerialDevice {
public:
    // Queues one read that returns `bytes` (a read of fewer bytes leaves the rest for the next), or
    // fails with `error`.
    ScriptedDevice& Chunk(std::string bytes, int error = 0) {
        reads_.push_back({std::move(bytes), error});
        return *this;
    }
    // Queues `count` reads that bring nothing.
    ScriptedDevice& Idle(int count = 1) {
        reads_.insert(reads_.end(), static_cast<std::size_t>(count), std::pair<std::string, int>{});
        return *this;
    }

    std::string forever;             // what every read returns once the queue is used up
    std::string answerEveryWrite;    // queued as the next read after every write
    int reads = 0;                   // Read calls made
    std::vector<std::string> writes; // what each successful Write sent
    std::vector<std::string> opened; // paths given to Open

    int Open(const std::string& path) override {
        opened.push_back(path);
        open_ = true;
        return 0;
    }
    int Configure(int32_t) override { return 0; }
    IoResult Read(char* buffer, std::size_t size, std::chrono::milliseconds) override {
        ++reads;
        if (!open_) {
            return {0, 9}; // EBADF
        }
        if (reads_.empty()) {
            return {forever.copy(buffer, size), 0};
        }
        auto& [bytes, error] = reads_.front();
        const IoResult result{bytes.copy(buffer, size), error};
        bytes.erase(0, result.count);
        if (bytes.empty()) {
            reads_.pop_front();
        }
        return result;
    }
    IoResult Write(const char* data, std::size_t size, std::chrono::milliseconds) override {
        if (!open_) {
            return {0, 9};
        }
        writes.emplace_back(data, size);
        if (!answerEveryWrite.empty()) {
            Chunk(answerEveryWrite);
        }
        return {size, 0};
    }
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }

private:
    std::deque<std::pair<std::string, int>> reads_; // bytes, or the error of a failing read
    bool open_ = false;
};

// A port with fast timing over a scripted device.
struct ScriptedPort {
    explicit ScriptedPort(const std::string& name = "ttyUSB0", const std::string& init = {},
                          bool paced = false) {
        ConnectionSettings settings(name, 115200, init, paced);
        settings.SetTiming(PortTiming::Fast());
        auto owned = std::make_unique<ScriptedDevice>();
        device = owned.get();
        port = std::make_unique<SerialPort>(settings, std::move(owned));
    }
    ScriptedDevice* device;
    std::unique_ptr<SerialPort> port;
};

const char* const kReceiveText =
    "Communications with the phone have failed. Unable to receive data from phone.";

class RecordingTrace : public TraceSink {
public:
    void OnCommandSent(const std::string& text) override { events.push_back("> " + text); }
    void OnAnswerReceived(const std::string& text) override { events.push_back("< " + text); }
    Writes events;
};

// A port whose scripted device is open.
class ExchangeTest : public ::testing::Test, protected ScriptedPort {
protected:
    ExchangeTest() { device->Open("/dev/scripted"); }
    // What was written since the last call.
    Writes TakeWrites() { return std::exchange(device->writes, {}); }
    std::string answer;
};

TEST_F(ExchangeTest, ReadCountsIdlePollsJoinsChunksWithoutNulBytesAndEndsOnAFailedRead) {
    EXPECT_EQ(port->ReadUntilOk(answer, 0), TimedOut);
    EXPECT_EQ(device->reads, 1);
    device->Idle(3).Chunk("AT\r").Idle(1).Chunk("\r\n"); // data does not renew the idle budget
    EXPECT_EQ(port->ReadUntilOk(answer, 5), TimedOut);
    EXPECT_EQ(device->reads, 1 + 2 + 6);
    EXPECT_EQ(answer, "AT\r\r\n");
    EXPECT_STREQ(port->errorText(), ExchangeResultText(TimedOut));

    device->Chunk("AT\r\0\r\nX: \0\0ab"s).Idle().Chunk("\r\nO\0"s).Chunk("K\r\n").Chunk("never read");
    EXPECT_EQ(port->ReadUntilOk(answer, 5), Ok);
    EXPECT_EQ(answer, "AT\r\r\nX: ab\r\nOK\r\n");
    EXPECT_EQ(device->reads, 9 + 4);

    device->Chunk({}, EIO).Chunk("OK\r\n"); // after the text left unread above
    EXPECT_EQ(port->ReadUntilOk(answer, 100), ReceiveFailed);
    EXPECT_EQ(device->reads, 13 + 2);
    EXPECT_EQ(port->systemError(), EIO);
    EXPECT_STREQ(port->errorText(), kReceiveText);
}

TEST_F(ExchangeTest, LongAnswersAreCutWhileTerminatorsAreStillFound) {
    device->Chunk(std::string(1500, 'a')).Chunk("\r\nO").Chunk("K\r\n");
    EXPECT_EQ(port->ReadUntilOk(answer, 5), Ok);
    EXPECT_EQ(answer, std::string(SerialPort::kAnswerCapacity, 'a'));

    // A stream that never ends ends by the time-out, its answer bounded.
    device->forever = std::string(1023, 'z');
    EXPECT_EQ(port->ReadUntilOk(answer, 0), TimedOut);
    EXPECT_EQ(answer.size(), SerialPort::kAnswerCapacity);
}

TEST_F(ExchangeTest, AnswersEndOnTheirFinalResultAndOnlyLostQueriesGoOutAgain) {
    // Every final result ends the exchange at once, with the phone's words kept; "OK" inside an
    // information line ends nothing.
    const struct {
        const char* answer;
        ExchangeResult result;
        const char* final;
    } finals[] = {
        {"\r\nBOOK\r\nOK\r\n", Ok, "OK"},
        {"\r\n+CME ERROR: 100\r\n", ErrorAnswer, "+CME ERROR: 100"},
        {"\r\n+CMS ERROR: 500\r\n", ErrorAnswer, "+CMS ERROR: 500"},
        {"\r\nNO CARRIER\r\n", ErrorAnswer, "NO CARRIER"},
        {"\r\nERROR\r\n", ErrorAnswer, "ERROR"},
    };
    for (const auto& f : finals) {
        device->answerEveryWrite = f.answer;
        EXPECT_EQ(port->Query(NarrowString("AT+CGMM\r"), answer, 5), f.result) << f.answer;
        EXPECT_EQ(port->finalResultLine(), f.final);
        EXPECT_EQ(TakeWrites(), Writes{"AT+CGMM\r"}) << "an answer is not asked for again";
    }

    // A command that acts on the phone goes out once, whatever comes back; the line is then out of
    // step, and the next command first needs the probe's OK.
    device->answerEveryWrite.clear();
    EXPECT_EQ(port->Execute(NarrowString("AT+CKPD=\"1\"\r"), 1), TimedOut);
    EXPECT_EQ(TakeWrites(), Writes{"AT+CKPD=\"1\"\r"});
    EXPECT_TRUE(port->IsOutOfStep());
    device->answerEveryWrite = "\r\nOK\r\n";
    EXPECT_EQ(port->Execute(NarrowString("AT+CKPD=\"2\"\r"), 5), Ok);
    EXPECT_EQ(TakeWrites(), (Writes{"AT\r", "AT+CKPD=\"2\"\r"}));
    EXPECT_FALSE(port->IsOutOfStep());

    // A lost query is asked again only once the line is back in step; a silent phone gets probes.
    device->answerEveryWrite.clear();
    EXPECT_EQ(port->Query(NarrowString("AT+CGMM\r"), answer, 1), TimedOut);
    EXPECT_EQ(TakeWrites(), (Writes{"AT+CGMM\r", "AT\r", "AT\r", "AT\r"}));
}

// An answer whose echo names another command came late: it is dropped, and the query asked again.
TEST_F(ExchangeTest, AnAnswerToAnotherCommandIsNotTakenForThisOne) {
    device->Chunk("AT+CGMI\r\r\nMaker\r\n\r\nOK\r\n");
    device->answerEveryWrite = "\r\nModel\r\n\r\nOK\r\n";
    EXPECT_EQ(port->Query(NarrowString("AT+CGMM\r"), answer, 5), Ok);
    EXPECT_EQ(answer, "\r\nModel\r\n\r\nOK\r\n");
    EXPECT_EQ(device->writes, (Writes{"AT+CGMM\r", "AT\r", "AT+CGMM\r"}));
}

TEST_F(ExchangeTest, CutCommandsAndClosedPortsSendNothing) {
    EXPECT_EQ(port->Write(NarrowString(std::string(2000, 'A'))), SendFailed);
    port->Close();
    EXPECT_EQ(port->Transact(NarrowString("AT\r"), answer, 1), ReceiveFailed);
    EXPECT_STREQ(port->errorText(), kReceiveText);
    EXPECT_EQ(port->Write(NarrowString("AT\r")), SendFailed);
    EXPECT_TRUE(device->writes.empty());
    EXPECT_STREQ(ExchangeResultText(5), "Communication error"); // codes past the table of texts
    EXPECT_STREQ(ExchangeResultText(-1), "Communication error");
}

TEST_F(ExchangeTest, QueryDecodesUtf8AndTraceSeesCommandsAndWholeAnswersButNoUnsolicitedReads) {
    RecordingTrace trace;
    port->SetTraceSink(&trace);
    device->answerEveryWrite = "\r\nK\xC3\xA4se \xFF\r\nOK\r\n";
    EXPECT_EQ(port->Query(NarrowString("AT\xE9\r"), answer, 1), Ok);
    EXPECT_EQ(answer, "\r\nK\xC3\xA4se \xEF\xBF\xBD\r\nOK\r\n");
    port->SetUnsolicitedListening(true);
    device->Chunk("+CKEV: 1,1\r\n");
    EXPECT_EQ(port->ReadUnsolicited(answer, "\r\n", 1), Ok);
    EXPECT_EQ(answer, "+CKEV: 1,1\r\n");
    port->SetTraceSink(nullptr);
    EXPECT_EQ(port->Execute(NarrowString("AT\r"), 1), Ok);
    EXPECT_EQ(trace.events, (Writes{"> AT\xC3\xA9\r", "< \r\nK\xC3\x83\xC2\xA4se \xC3\xBF\r\nOK\r\n"}));
}

// A busy port and refused settings on a real line: PtyOpen.ExclusiveModeOfAnotherProgram...

TEST(OpenSequence, SilentPhoneGetsThreeProbesOfSixIdlePollsOrThreePaced) {
    for (bool paced : {false, true}) {
        ScriptedPort silent("ttyUSB0", {}, paced);
        EXPECT_FALSE(silent.port->Open(false));
        EXPECT_STREQ(silent.port->errorText(), kTextPhoneNotResponding);
        // The probe, then three rounds to bring the line back in step (a drain and a short probe).
        EXPECT_EQ(silent.device->writes, Writes(4, "AT\r"));
        EXPECT_EQ(silent.device->reads, (paced ? 3 : 1 + 6) + 3 * (1 + 3))
            << "only the normal sequence drains";
        EXPECT_FALSE(silent.port->IsOpen());
    }
}

// The device path of the port name is opened, the probe sent, then the init commands.
TEST(OpenSequence, InitCommandsAreSplitIntoLinesEndingInCrAndEachMustSucceed) {
    const std::pair<std::string, Writes> cases[] = {
        {"", {"AT\r", "\r"}},
        {"ATE0", {"AT\r", "ATE0\r"}},
        {"ATE0\r\nAT+CMEE=1\r\n", {"AT\r", "ATE0\r", "AT+CMEE=1\r"}},
        {"ATE0\nATV1\r\n", {"AT\r", "ATE0", "ATV1\r"}},
    };
    for (const auto& [init, expected] : cases) {
        ScriptedPort p("COM3", init);
        p.device->answerEveryWrite = "\r\nOK\r\n";
        EXPECT_TRUE(p.port->Open(true)) << init;
        EXPECT_EQ(p.device->opened, Writes{DevicePathOf("COM3")}); // /dev/ttyS2; \\.\COM3 on Windows
        EXPECT_EQ(p.device->writes, expected) << init;
    }
    // A failed command closes the port with the exchange's text.
    ScriptedPort p("ttyUSB0", "AT+BAD\r\n");
    p.device->Idle().Chunk("\r\nOK\r\n"); // the drain, the probe's answer; the command meets silence
    EXPECT_FALSE(p.port->Open(true));
    EXPECT_STREQ(p.port->errorText(), ExchangeResultText(TimedOut));
    EXPECT_FALSE(p.port->IsOpen());
}

} // namespace
} // namespace panelgrab
