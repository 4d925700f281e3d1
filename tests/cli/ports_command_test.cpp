// The ports command: its output, and that listing opens no device.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/cli_run.h"
#include "cli/exit_codes.h"
#include "cli/port_commands.h"

namespace panelgrab::cli {
namespace {

using namespace test;

TEST(PortsCommand, OnePortALineAndAPlainSayingWhenThereIsNone) {
    std::ostringstream out;
    std::ostringstream err;
    CliIo io{out, err, false};
    EXPECT_EQ(PrintPorts({}, io), kExitOk);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(), "panelgrab-cli: no serial ports found\n");

    err.str("");
    const std::vector<PortInfo> ports = {{"/dev/ttyACM0", "Phone Modem", "Maker", "", "0fce", "d0a1", ""},
                                         {"/dev/ttyS0", "", "", "", "", "", ""}};
    EXPECT_EQ(PrintPorts(ports, io), kExitOk);
    EXPECT_EQ(out.str(), "/dev/ttyACM0  0fce:d0a1 Maker Phone Modem\n/dev/ttyS0\n");
    EXPECT_EQ(err.str(), "");
}

// Opening a tty raises DTR and RTS, closing drops them: that resets boards and hangs up modems.
TEST(PortsCommand, OpensNoDevice) {
    if (Shell("strace -V").exitCode != 0) {
        GTEST_SKIP() << "strace is not installed (scripts/install-deps installs it)";
    }
    ScratchFolder folder;
    const Outcome run = Shell("strace -f -qq -e trace=open,openat,openat2,creat -o " + folder / "log" + " " +
                              PANELGRAB_CLI_PROGRAM + " ports");
    const std::string log = ReadFile(folder / "log");
    if (log.find("\"/sys/class/tty\"") == std::string::npos) {
        GTEST_SKIP() << "strace could not trace the program here (status " << run.exitCode << ")";
    }
    for (const std::string& line : Lines(log)) {
        // Listing /dev/serial/by-id is reading a folder, not opening a device.
        EXPECT_FALSE(line.find("\"/dev/") != std::string::npos &&
                     line.find("O_DIRECTORY") == std::string::npos)
            << line;
    }
}

} // namespace
} // namespace panelgrab::cli
