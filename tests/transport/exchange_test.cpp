#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "scripted_device.h"
#include "transport/exchange_result.h"
#include "transport/serial_port.h"

namespace panelgrab {
namespace {

using namespace std::string_literals;
using test::ScriptedDevice;

const char* const kReceiveText =
    "Communications with the phone have failed. Unable to receive data from phone.";

class RecordingTrace : public TraceSink {
public:
    void OnCommandSent(const std::string& text) override { events.push_back("> " + text); }
    void OnAnswerReceived(const std::string& text) override { events.push_back("< " + text); }
    std::vector<std::string> events;
};

// A port over a scripted device, opened on a made-up path.
class ExchangeTest : public ::testing::Test {
protected:
    ExchangeTest() {
        ConnectionSettings settings("/dev/scripted", 921600);
        settings.SetTiming(PortTiming::Fast());
        auto owned = std::make_unique<ScriptedDevice>();
        device = owned.get();
        port = std::make_unique<SerialPort>(settings, std::move(owned));
        device->Open("/dev/scripted");
    }
    ScriptedDevice* device;
    std::unique_ptr<SerialPort> port;
    std::string answer;
};

TEST(ExchangeResultText, FixedTextsForEveryCode) {
    EXPECT_STREQ(ExchangeResultText(Ok), "Communication error");
    EXPECT_STREQ(ExchangeResultText(SendFailed),
                 "Communications with the phone have failed. Unable to send data to phone.");
    EXPECT_STREQ(ExchangeResultText(ReceiveFailed), kReceiveText);
    EXPECT_STREQ(ExchangeResultText(TimedOut), "Communications with the phone have failed. Timeout occoured "
                                               "while waiting for data from phone.");
    EXPECT_STREQ(ExchangeResultText(ErrorAnswer), "Communications with the phone have failed. The phone "
                                                  "responded with error to the last AT-command.");
    EXPECT_STREQ(ExchangeResultText(5), "Communication error");
    EXPECT_STREQ(ExchangeResultText(-1), "Communication error");
}

TEST_F(ExchangeTest, IdlePollsEndTheWaitAtTimeoutPlusOne) {
    EXPECT_EQ(port->ReadUntilOk(answer, 0), TimedOut);
    EXPECT_EQ(device->reads, 1);
    device->reads = 0;
    EXPECT_EQ(port->ReadUntilOk(answer, 5), TimedOut);
    EXPECT_EQ(device->reads, 6);
    EXPECT_STREQ(port->errorText(), ExchangeResultText(TimedOut));
}

TEST_F(ExchangeTest, DataDoesNotRenewTheIdleBudget) {
    device->Idle(3).Chunk("AT\r").Idle(1).Chunk("\r\n");
    EXPECT_EQ(port->ReadUntilOk(answer, 5), TimedOut);
    EXPECT_EQ(device->reads, 2 + 6); // two reads with data, six idle ones
    EXPECT_EQ(answer, "AT\r\r\n");
}

TEST_F(ExchangeTest, AnswerInChunksEndsWithTheChunkThatCompletesOk) {
    device->Chunk("AT\r").Idle().Chunk("\r\nO").Chunk("K\r\n").Chunk("never read");
    EXPECT_EQ(port->ReadUntilOk(answer, 5), Ok);
    EXPECT_EQ(answer, "AT\r\r\nOK\r\n");
    EXPECT_EQ(device->reads, 4);
}

TEST_F(ExchangeTest, LongAnswerIsCutWhileTerminatorsAreStillFound) {
    const std::string body(1500, 'a');
    device->Chunk(body).Chunk("\r\nO").Chunk("K\r\n");
    EXPECT_EQ(port->ReadUntilOk(answer, 5), Ok);
    EXPECT_EQ(answer, std::string(SerialPort::kAnswerCapacity, 'a'));

    device->Chunk(std::string(1020, 'b') + "\r\nERR").Chunk("OR\r\n");
    EXPECT_EQ(port->ReadUntilOk(answer, 5), ErrorAnswer);
    EXPECT_EQ(answer.size(), SerialPort::kAnswerCapacity);
}

TEST_F(ExchangeTest, EndlessStreamEndsWithTimeoutAndBoundedAnswer) {
    device->Forever(std::string(1023, 'z'));
    EXPECT_EQ(port->ReadUntilOk(answer, 0), TimedOut);
    EXPECT_EQ(answer.size(), SerialPort::kAnswerCapacity);
    EXPECT_GT(device->reads, 1);
}

TEST_F(ExchangeTest, FullLineIsHandedOverAndTheRestComesNext) {
    device->Chunk("0123456789ABCDEF\r\n");
    EXPECT_EQ(port->ReadLine(answer, 5, 10), Ok);
    EXPECT_EQ(answer, "0123456789");
    EXPECT_EQ(device->sizes.front(), 10u); // nothing beyond the room was taken from the line
    EXPECT_EQ(port->ReadLine(answer, 5, 10), Ok);
    EXPECT_EQ(answer, "ABCDEF\r\n");
}

TEST_F(ExchangeTest, UnsolicitedReportIsNotEndedByItsLeadingLineBreak) {
    device->Chunk("\r\n").Idle().Chunk("+CKEV: 1,1\r\n");
    EXPECT_EQ(port->ReadUnsolicited(answer, "\r\n", 1), Ok);
    EXPECT_EQ(answer, "\r\n+CKEV: 1,1\r\n");

    device->Chunk("\r\n");
    EXPECT_EQ(port->ReadUnsolicited(answer, "\r\n", 1), TimedOut);
    EXPECT_EQ(answer, "\r\n");
}

TEST_F(ExchangeTest, NulBytesAreDroppedAndTheTextAroundThemKept) {
    device->Chunk("AT\r\0\r\n+X: \0\0ab\r\nO\0K\r\n"s);
    EXPECT_EQ(port->ReadUntilOk(answer, 5), Ok);
    EXPECT_EQ(answer, "AT\r\r\n+X: ab\r\nOK\r\n");
}

TEST_F(ExchangeTest, FailedReadEndsAtOnceWithItsReason) {
    device->Chunk("AT\r").Fail(EIO).Chunk("OK\r\n");
    EXPECT_EQ(port->ReadUntilOk(answer, 100), ReceiveFailed);
    EXPECT_EQ(device->reads, 2);
    EXPECT_EQ(port->systemError(), EIO);
    EXPECT_STREQ(port->errorText(), kReceiveText);
}

TEST_F(ExchangeTest, TransactRetriesEveryFailureThreeTimes) {
    EXPECT_EQ(port->Transact(NarrowString("AT+CGMM\r"), answer, 1), TimedOut);
    EXPECT_EQ(device->writes, std::vector<std::string>(3, "AT+CGMM\r"));

    device->writes.clear();
    device->AnswerEveryWrite("\r\nERROR\r\n");
    EXPECT_EQ(port->Execute(NarrowString("AT*ZAPC=?\r"), 1), ErrorAnswer);
    EXPECT_EQ(device->writes.size(), 3u);
}

TEST_F(ExchangeTest, TransactStopsAtTheFirstOk) {
    device->Chunk("late\r\n").Idle(2).Chunk("\r\nOK\r\n");
    EXPECT_EQ(port->Transact(NarrowString("AT\r"), answer, 1), Ok);
    EXPECT_EQ(device->writes.size(), 2u);
    EXPECT_EQ(answer, "\r\nOK\r\n") << "only the last attempt's text";
}

TEST_F(ExchangeTest, ClosedPortFailsWithTheReceiveText) {
    port->Close();
    EXPECT_EQ(port->Transact(NarrowString("AT\r"), answer, 1), ReceiveFailed);
    EXPECT_STREQ(port->errorText(), kReceiveText);
    EXPECT_TRUE(device->writes.empty());
    EXPECT_EQ(port->Write(NarrowString("AT\r")), SendFailed);
}

TEST_F(ExchangeTest, CutCommandIsNeverSent) {
    EXPECT_EQ(port->Write(NarrowString(std::string(2000, 'A'))), SendFailed);
    EXPECT_TRUE(device->writes.empty());
    EXPECT_EQ(port->Write(NarrowString("")), Ok);
}

TEST_F(ExchangeTest, QueryDecodesUtf8OrGivesNothing) {
    device->AnswerEveryWrite("AT+CGMM\r\r\nK\xC3\xA4se \xFF\r\n\r\nOK\r\n");
    std::string model = "stale";
    EXPECT_EQ(port->Query(NarrowString("AT+CGMM\r"), model, 1), Ok);
    EXPECT_EQ(model, "AT+CGMM\r\r\nK\xC3\xA4se \xEF\xBF\xBD\r\n\r\nOK\r\n");

    device->AnswerEveryWrite("\r\nERROR\r\n");
    EXPECT_EQ(port->Query(NarrowString("AT+CGMM\r"), model, 1), ErrorAnswer);
    EXPECT_EQ(model, "");
}

TEST_F(ExchangeTest, TraceSeesCommandsAndWholeAnswersButNoUnsolicitedReads) {
    RecordingTrace trace;
    port->SetTraceSink(&trace);
    device->AnswerEveryWrite("\r\nCaf\xE9\r\nOK\r\n");
    EXPECT_EQ(port->Execute(NarrowString("AT\xE9\r"), 1), Ok);
    device->Chunk("+CKEV: 1,1\r\n");
    EXPECT_EQ(port->ReadUnsolicited(answer, "\r\n", 1), Ok);
    port->SetTraceSink(nullptr);
    EXPECT_EQ(port->Execute(NarrowString("AT\r"), 1), Ok);
    EXPECT_EQ(trace.events, (std::vector<std::string>{"> AT\xC3\xA9\r", "< \r\nCaf\xC3\xA9\r\nOK\r\n"}));
}

} // namespace
} // namespace panelgrab
