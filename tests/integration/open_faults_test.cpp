// Faults around opening a phone: nobody answers, old input waits on the line, the port is taken.
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "integration/fault_harness.h"
#include "support/pty_peer.h"
#include "transport/at/exchange_result.h"
#include "transport/at/serial_port.h"

namespace panelgrab::test {
namespace {

TEST(OpenFaults, LineThatNeverFallsQuietEndsTheOpenWithinItsBudget) {
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    peer.Stream("#~%&$!|^");
    peer.Start();
    auto phone = CreatePhone(FastSettings(peer.SlavePath()));
    const auto start = Clock::now();
    EXPECT_EQ(phone->Open(false), kPhoneOpenFailed);
    // Each of the three probes listens to the noise for its budget plus the streaming allowance.
    const milliseconds budget =
        DrainBudget() + 3 * StreamingBudget(5 + 1, SerialPort::kAnswerCapacity, 115200);
    EXPECT_LT(Since(start), budget + kSchedulingSlack);
    EXPECT_STREQ(phone->Port().errorText(), kTextPhoneNotResponding);
    peer.Stop();
}

TEST(OpenFaults, PortHeldByAnotherProgramIsInUseAndTheHolderKeepsIt) {
    SimPhone sim(Display(8, 4));
    ASSERT_TRUE(sim.Connect());

    // Another phone object of this program, twice: the failed attempt must not have loosened the
    // holder's claim on the port.
    for (int attempt = 0; attempt < 2; ++attempt) {
        auto intruder = sim.MakePhone();
        EXPECT_EQ(intruder->Open(false), kPhoneOpenFailed);
        EXPECT_STREQ(intruder->Port().errorText(), kTextPortInUse);
        EXPECT_TRUE(intruder->Port().systemError() == EBUSY || intruder->Port().systemError() == EWOULDBLOCK)
            << intruder->Port().systemError();
    }
    DisplayBitmap picture;
    EXPECT_EQ(sim.phone->ReadDisplay(picture, 0), kPhoneOk);
    sim.phone->Close();

    // Another program that only locks the device.
    const int other = ::open(sim.phone->Port().settings().GetPortName().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    auto blocked = sim.MakePhone();
    EXPECT_EQ(blocked->Open(false), kPhoneOpenFailed);
    EXPECT_STREQ(blocked->Port().errorText(), kTextPortInUse);
    ::close(other);
    EXPECT_EQ(blocked->Open(false), kPhoneOk) << blocked->Port().errorText();
}

} // namespace
} // namespace panelgrab::test
