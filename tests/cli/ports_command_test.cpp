// The ports command: its output, and that listing opens no device.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "cli/exit_codes.h"
#include "cli/port_commands.h"

namespace panelgrab::cli {
namespace {

namespace fs = std::filesystem;

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
    if (std::system("strace -V >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "strace is not installed (scripts/install-deps installs it)";
    }
    const fs::path log = fs::temp_directory_path() / ("panelgrab-ports-strace-" + std::to_string(getpid()));
    const std::string command = "strace -f -qq -e trace=open,openat,openat2,creat -o " + log.string() + " " +
                                PANELGRAB_CLI_PROGRAM + " ports >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    std::ifstream in(log);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    fs::remove(log);
    const bool traced = std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
        return line.find("\"/sys/class/tty\"") != std::string::npos;
    });
    if (!traced) {
        GTEST_SKIP() << "strace could not trace the program here (status " << status << ")";
    }
    for (const std::string& line : lines) {
        // Listing /dev/serial/by-id is reading a folder, not opening a device.
        const bool device =
            line.find("\"/dev/") != std::string::npos && line.find("O_DIRECTORY") == std::string::npos;
        EXPECT_FALSE(device) << line;
    }
}

} // namespace
} // namespace panelgrab::cli
