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

using test::ScriptedDevice;
using Writes = std::vector<std::string>;

struct ScriptedPort {
    explicit ScriptedPort(const std::string& name, const std::string& initCommands = {}, bool paced = false) {
        ConnectionSettings settings(name, 115200, initCommands, paced);
        settings.SetTiming(PortTiming::Fast());
        auto owned = std::make_unique<ScriptedDevice>();
        device = owned.get();
        port = std::make_unique<SerialPort>(settings, std::move(owned));
    }
    ScriptedDevice* device;
    std::unique_ptr<SerialPort> port;
};

TEST(OpenSequence, NoneInAnyCaseOpensNothingAndExchangesFail) {
    for (const char* name : {"None", "NONE", "none", "nOnE"}) {
        ScriptedPort p(name);
        EXPECT_TRUE(p.port->Open(true)) << name;
        EXPECT_FALSE(p.port->IsOpen());
        EXPECT_TRUE(p.device->opened.empty());
        EXPECT_EQ(p.port->Execute(NarrowString("AT\r"), 1), ReceiveFailed);
    }
}

TEST(OpenSequence, OpensTheDevicePathOfThePortName) {
    ScriptedPort p("COM3");
    p.device->AnswerEveryWrite("AT\r\r\nOK\r\n");
    ASSERT_TRUE(p.port->Open(false));
    EXPECT_EQ(p.device->opened, Writes{"/dev/ttyS2"});
    EXPECT_EQ(p.device->rates, std::vector<int32_t>{115200});
    EXPECT_EQ(p.device->writes, Writes{"AT\r"});
    EXPECT_TRUE(p.port->IsOpen());
}

TEST(OpenSequence, FailuresSayWhichStepFailedAndLeaveThePortClosed) {
    ScriptedPort busy("ttyUSB0");
    busy.device->openError = EBUSY;
    EXPECT_FALSE(busy.port->Open(false));
    EXPECT_STREQ(busy.port->errorText(), kTextPortInUse);
    EXPECT_EQ(busy.port->systemError(), EBUSY);

    ScriptedPort badRate("ttyUSB0");
    badRate.device->configureError = EINVAL;
    EXPECT_FALSE(badRate.port->Open(false));
    EXPECT_STREQ(badRate.port->errorText(), kTextBadSettings);
    EXPECT_EQ(badRate.port->systemError(), EINVAL);
    EXPECT_FALSE(badRate.port->IsOpen());

    for (bool paced : {false, true}) {
        ScriptedPort silent("ttyUSB0", {}, paced);
        EXPECT_FALSE(silent.port->Open(false));
        EXPECT_STREQ(silent.port->errorText(), kTextPhoneNotResponding);
        EXPECT_EQ(silent.device->writes, Writes(3, "AT\r"));
        EXPECT_FALSE(silent.port->IsOpen());
    }
}

TEST(OpenSequence, ProbeWaitsSixIdlePollsNormallyAndThreePaced) {
    ScriptedPort normal("ttyUSB0");
    normal.device->Idle(); // the drain's quiet read
    EXPECT_FALSE(normal.port->Open(false));
    EXPECT_EQ(normal.device->reads, 1 + 3 * 6);

    ScriptedPort paced("ttyUSB0", {}, true);
    EXPECT_FALSE(paced.port->Open(false));
    EXPECT_EQ(paced.device->reads, 3 * 3); // no draining in the paced sequence
}

TEST(OpenSequence, NormalOpenDrainsStaleInputBeforeTheProbe) {
    ScriptedPort p("ttyUSB0");
    p.device->Chunk("\r\nOK\r\n").Chunk(std::string(2000, 'x')); // would answer the probe if kept
    EXPECT_FALSE(p.port->Open(false));
    EXPECT_EQ(p.device->writes.size(), 3u);
}

TEST(OpenSequence, InitCommandsAreSplitIntoLinesEndingInCr) {
    struct Case {
        std::string init;
        Writes expected;
    };
    const Case cases[] = {
        {"", {"AT\r", "\r"}},
        {"ATE0", {"AT\r", "ATE0\r"}},
        {"ATE0\r\nAT+CMEE=1\r\n", {"AT\r", "ATE0\r", "AT+CMEE=1\r"}},
        {"ATE0\nATV1\r\n", {"AT\r", "ATE0", "ATV1\r"}},
    };
    for (const Case& c : cases) {
        ScriptedPort p("ttyUSB0", c.init);
        p.device->AnswerEveryWrite("\r\nOK\r\n");
        EXPECT_TRUE(p.port->Open(true)) << c.init;
        EXPECT_EQ(p.device->writes, c.expected) << c.init;
    }
}

TEST(OpenSequence, FailedInitCommandClosesWithTheExchangeText) {
    ScriptedPort p("ttyUSB0", "AT+BAD\r\n");
    p.device->Idle();              // the drain
    p.device->Chunk("\r\nOK\r\n"); // the probe's answer; the init command then meets silence
    EXPECT_FALSE(p.port->Open(true));
    EXPECT_STREQ(p.port->errorText(), ExchangeResultText(TimedOut));
    EXPECT_FALSE(p.port->IsOpen());
}

TEST(OpenSequence, OpeningAnOpenPortClosesItFirst) {
    ScriptedPort p("ttyUSB0");
    p.device->AnswerEveryWrite("\r\nOK\r\n");
    ASSERT_TRUE(p.port->Open(false));
    ASSERT_TRUE(p.port->Open(false));
    EXPECT_EQ(p.device->opened.size(), 2u);
    p.port->Close();
    p.port->Close();
    EXPECT_FALSE(p.port->IsOpen());
}

} // namespace
} // namespace panelgrab
