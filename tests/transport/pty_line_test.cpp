// The line as the POSIX backend leaves it, and its exclusive use, on pseudo-terminals: settings
// a previous program left behind, and holders that are alive or were killed.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "transport/serial_device.h"

namespace panelgrab {
namespace {

namespace fs = std::filesystem;

// A pseudo-terminal whose slave nobody has open: only the master is kept, as a phone simulator
// or socat does between clients. The slave may be kept open too, for settings to be read back.
class BarePty {
public:
    explicit BarePty(bool keepSlave = false) {
        char name[256] = {};
        if (openpty(&master_, &slave_, name, nullptr, nullptr) == 0) {
            path_ = name;
        }
        if (!keepSlave && slave_ >= 0) {
            ::close(slave_);
            slave_ = -1;
        }
    }
    ~BarePty() {
        for (int fd : {slave_, master_}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    BarePty(const BarePty&) = delete;
    BarePty& operator=(const BarePty&) = delete;

    bool ok() const { return !path_.empty(); }
    const std::string& Path() const { return path_; }
    int Slave() const { return slave_; }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
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

int ExitStatus(pid_t pid) {
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(PtyLine, FlowControlAndRawModeWhateverTheLineWasLeftWith) {
    BarePty pty(true);
    ASSERT_TRUE(pty.ok());
    termios left{};
    ASSERT_EQ(tcgetattr(pty.Slave(), &left), 0);
    left.c_iflag |= IXON | IXOFF | IXANY | ICRNL;
    left.c_lflag |= ICANON | ECHO | ISIG;
    left.c_oflag |= OPOST;
    left.c_cflag |= PARENB | CSTOPB | CRTSCTS;
    ASSERT_EQ(tcsetattr(pty.Slave(), TCSANOW, &left), 0);

    const auto device = CreateLocalSerialDevice();
    ASSERT_EQ(device->Open(pty.Path()), 0);
    ASSERT_EQ(device->Configure(115200), 0);
    termios line{};
    ASSERT_EQ(tcgetattr(pty.Slave(), &line), 0);
    EXPECT_EQ(line.c_iflag & (IXON | IXOFF | IXANY), 0u) << "software flow control left on";
    EXPECT_EQ(line.c_iflag & ICRNL, 0u);
    EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(line.c_oflag & OPOST, 0u);
    EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB | CRTSCTS | CSIZE), static_cast<tcflag_t>(CS8));
    EXPECT_EQ(line.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B115200));
}

TEST(PtyExclusive, AHolderKilledWithoutClosingLeavesThePortFree) {
    BarePty pty;
    ASSERT_TRUE(pty.ok());
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = Child([&] {
        const auto device = CreateLocalSerialDevice();
        const char result = device->Open(pty.Path()) == 0 ? 'y' : 'n';
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
    char folder[] = "/tmp/panelgrab-by-id-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const fs::path link = fs::path(folder) / "usb-Phone_Modem-if00";
    fs::create_symlink(pty.Path(), link);
    const auto device = CreateLocalSerialDevice();
    for (const std::string& path : {pty.Path(), link.string()}) {
        const int error = device->Open(path);
        EXPECT_TRUE(error == EWOULDBLOCK || error == EBUSY) << path << ": " << error;
    }

    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    EXPECT_EQ(device->Open(link.string()), 0) << "the killed holder's claim outlived it";
    EXPECT_EQ(ExclusiveFlag(pty.Path()), 0);
    device->Close();
    fs::remove_all(folder);
}

TEST(PtyExclusive, AnExclusiveFlagLeftByAProgramThatEndedIsCleared) {
    BarePty pty;
    ASSERT_TRUE(pty.ok());
    const pid_t other = Child([&] {
        const int fd = ::open(pty.Path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        return fd >= 0 && ioctl(fd, TIOCEXCL) == 0 ? 0 : 1; // ends without clearing it
    });
    ASSERT_EQ(ExitStatus(other), 0);

    const auto device = CreateLocalSerialDevice();
    const int error = device->Open(pty.Path());
    if (geteuid() != 0) {
        // The kernel refuses the open itself: nothing short of the superuser can clear the flag,
        // which is why this backend never sets it on a pseudo-terminal.
        EXPECT_EQ(error, EBUSY);
        return;
    }
    ASSERT_EQ(error, 0) << "a stale exclusive flag kept the port busy";
    EXPECT_EQ(ExclusiveFlag(pty.Path()), 0);
}

} // namespace
} // namespace panelgrab
