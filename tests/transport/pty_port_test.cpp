// The serial port on real pseudo-terminals: what a scripted device cannot show (the line as the
// POSIX backend leaves it, the kernel's locks and rates, holders alive or killed, pacing in wall
// time, several threads on one line). A Close that ends a blocked read:
// SerialDevices.CloseFromAnotherThreadEndsABlockedReadPromptly.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <tuple>
#include <unistd.h>

#include "support/pty_peer.h"
#include "support/scratch_folder.h"
#include "transport/at/serial_port.h"
#include "transport/bytes/serial_device.h"

namespace panelgrab {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::PtyPeer;
using Commands = std::vector<std::string>;

// A pseudo-terminal whose slave nobody has open: only the master is kept, as a phone simulator or
// socat does between clients.
struct BarePty {
    BarePty() {
        int slave = -1;
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) == 0) {
            path = name;
            ::close(slave);
        }
    }
    ~BarePty() { ::close(master); }
    int master = -1;
    std::string path;
};

// The terminal's exclusive flag as a new descriptor sees it; -1 when the slave cannot be opened
// (without privileges, that is what a set flag does).
int ExclusiveFlag(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return -1;
    }
    int exclusive = 0;
    const int status = ioctl(fd, TIOCGEXCL, &exclusive);
    ::close(fd);
    return status == 0 ? exclusive : -1;
}

// Runs `body` in a child process, which then ends with _exit() whatever it holds. Returns its pid.
template <typename Body> pid_t Child(Body body) {
    const pid_t pid = fork();
    if (pid == 0) {
        _exit(body());
    }
    return pid;
}

TEST(PtyLine, FlowControlAndRawModeWhateverTheLineWasLeftWith) {
    PtyPeer peer;
    const int slave = ::open(peer.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    termios left{};
    ASSERT_EQ(tcgetattr(slave, &left), 0);
    left.c_iflag |= IXON | IXOFF | IXANY | ICRNL;
    left.c_lflag |= ICANON | ECHO | ISIG;
    left.c_oflag |= OPOST;
    left.c_cflag |= PARENB | CSTOPB | CRTSCTS;
    ASSERT_EQ(tcsetattr(slave, TCSANOW, &left), 0);

    const auto device = CreateLocalSerialDevice();
    ASSERT_EQ(device->Open(peer.SlavePath()), 0);
    ASSERT_EQ(device->Configure(115200), 0);
    termios line{};
    ASSERT_EQ(tcgetattr(slave, &line), 0);
    ::close(slave);
    // Every flag left on above is off again; eight data bits, the receiver on, modem lines ignored.
    const auto flags =
        std::tuple(line.c_iflag & (IXON | IXOFF | IXANY | ICRNL), line.c_lflag & (ICANON | ECHO | ISIG),
                   line.c_oflag & OPOST, line.c_cflag & (PARENB | CSTOPB | CRTSCTS | CSIZE | CLOCAL | CREAD),
                   cfgetospeed(&line));
    EXPECT_EQ(flags, std::tuple(0u, 0u, 0u, tcflag_t{CS8 | CLOCAL | CREAD}, speed_t{B115200}));
}

TEST(PtyExclusive, AHolderKilledWithoutClosingLeavesThePortFree) {
    BarePty pty;
    ASSERT_FALSE(pty.path.empty());
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = Child([&] {
        const auto device = CreateLocalSerialDevice();
        const char result = device->Open(pty.path) == 0 ? 'y' : 'n';
        (void)!write(ready[1], &result, 1);
        pause(); // holds the port until killed
        return 0;
    });
    ASSERT_GT(holder, 0);
    char result = 0;
    ASSERT_EQ(read(ready[0], &result, 1), 1);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_EQ(result, 'y');

    // Alive, it keeps the port, also against a path that is a link to it (as /dev/serial/by-id).
    const test::ScratchFolder folder;
    const std::string link = folder / "usb-Phone_Modem-if00";
    fs::create_symlink(pty.path, link);
    const auto device = CreateLocalSerialDevice();
    for (const std::string& path : {pty.path, link}) {
        const int error = device->Open(path);
        EXPECT_TRUE(error == EWOULDBLOCK || error == EBUSY) << path << ": " << error;
    }

    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    EXPECT_EQ(device->Open(link), 0) << "the killed holder's claim outlived it";
    EXPECT_EQ(ExclusiveFlag(pty.path), 0);
    device->Close();
}

TEST(PtyExclusive, AnExclusiveFlagLeftByAProgramThatEndedIsCleared) {
    BarePty pty;
    ASSERT_FALSE(pty.path.empty());
    const pid_t other = Child([&] {
        const int fd = ::open(pty.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        return fd >= 0 && ioctl(fd, TIOCEXCL) == 0 ? 0 : 1; // ends without clearing it
    });
    int status = -1;
    ASSERT_EQ(waitpid(other, &status, 0), other);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    const auto device = CreateLocalSerialDevice();
    const int error = device->Open(pty.path);
    if (geteuid() != 0) {
        // The kernel refuses the open itself: nothing short of the superuser can clear the flag,
        // which is why this backend never sets it on a pseudo-terminal.
        EXPECT_EQ(error, EBUSY);
        return;
    }
    ASSERT_EQ(error, 0) << "a stale exclusive flag kept the port busy";
    EXPECT_EQ(ExclusiveFlag(pty.path), 0);
}

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

// Without an echo an OK cannot tell which command it answers. Here a late answer of an earlier
// command takes the place of the probe's OK, whose own comes after a pause longer than a read wait:
// it must not be taken for the next command's answer.
TEST(PtyResync, WithoutAnEchoTheLineIsBackInStepOnlyAfterALongerSilence) {
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    peer.Respond("\r\nOK\r\n"); // the open's probe
    peer.Expect().Answer("\r\nOK\r\n").Silence(100ms).Answer("\r\nOK\r\n");
    peer.Respond("\r\nZ1\r\n\r\nOK\r\n");
    peer.Start();
    SerialPort port(FastSettings(peer, 921600, false, 50ms));
    ASSERT_TRUE(port.Open(false)) << port.errorText();
    port.MarkOutOfStep();
    std::string answer;
    EXPECT_EQ(port.Transact(NarrowString("AT+CGMM\r"), answer, 20), Ok);
    EXPECT_EQ(answer, "\r\nZ1\r\n\r\nOK\r\n");
}

// Every answer is numbered by the command it answers; each thread must get the answers to its own
// commands, whichever thread's command the line carried first.
TEST(PtyThreads, ExchangesFromTwoThreadsDoNotInterleave) {
    constexpr int kRounds = 20;
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    for (int i = 0; i < 2 * kRounds + 1; ++i) {
        peer.Respond("\r\nanswer " + std::to_string(i) + "\r\nOK\r\n");
    }
    peer.Start();
    SerialPort port(FastSettings(peer));
    ASSERT_TRUE(port.Open(false)) << port.errorText();
    auto worker = [&](const char* command) {
        std::vector<int> answered;
        std::string text;
        for (int i = 0; i < kRounds; ++i) {
            const bool ok = port.Transact(NarrowString(command), text, 20) == Ok;
            const std::size_t number = text.find("answer ");
            answered.push_back(ok && number != std::string::npos ? std::stoi(text.substr(number + 7)) : -1);
        }
        return answered;
    };
    auto first = std::async(std::launch::async, worker, "AT+AAAA\r");
    auto second = std::async(std::launch::async, worker, "AT+BBBB\r");
    const std::vector<std::pair<std::string, std::vector<int>>> threads = {{"AT+AAAA\r", first.get()},
                                                                           {"AT+BBBB\r", second.get()}};
    const Commands seen = peer.Commands();
    for (const auto& [command, answered] : threads) {
        for (const int number : answered) {
            ASSERT_TRUE(number >= 0 && number < static_cast<int>(seen.size()))
                << command << " got " << number;
            EXPECT_EQ(seen[number], command) << "answer " << number;
        }
    }
}

} // namespace
} // namespace panelgrab
