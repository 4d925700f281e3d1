#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <pty.h>
#include <tuple>
#include <unistd.h>

#include "support/scratch_folder.h"
#include "transport/ports/port_holders.h"

namespace panelgrab {
namespace {

namespace fs = std::filesystem;

// A fake /proc whose descriptors lead to real character devices: process 612 holds /dev/null
// twice, 700 holds /dev/zero; "self" and files that are no process are skipped. A link to the device
// (as /dev/serial/by-id names are) finds the same holders.
TEST(PortHolders, NamesTheProcessesWhoseDescriptorsLeadToTheDevice) {
    const test::ScratchFolder scratch;
    const fs::path& root = scratch.path();
    for (const auto& [pid, name, fd, target] :
         {std::tuple{"612", "ModemManager", "3", "/dev/null"},
          std::tuple{"612", "ModemManager", "9", "/dev/null"}, std::tuple{"700", "picocom", "3", "/dev/zero"},
          std::tuple{"self", "ignored", "3", "/dev/null"}}) {
        fs::create_directories(root / "proc" / pid / "fd");
        std::ofstream(root / "proc" / pid / "comm") << name << "\n";
        fs::create_symlink(target, root / "proc" / pid / "fd" / fd);
    }
    std::ofstream(root / "proc" / "uptime") << "1\n";
    fs::create_symlink("/dev/null", root / "by-id-phone");

    const std::vector<PortHolder> holders =
        FindPortHolders((root / "by-id-phone").string(), (root / "proc").string());
    ASSERT_EQ(holders.size(), 1u);
    EXPECT_EQ(holders[0].pid, 612);
    EXPECT_EQ(holders[0].name, "ModemManager");
    EXPECT_EQ(holders[0].descriptors.size(), 2u);
    EXPECT_TRUE(FindPortHolders("/dev/panelgrab-none", (root / "proc").string()).empty());
    EXPECT_TRUE(FindPortHolders((root / "proc" / "uptime").string(), (root / "proc").string()).empty());
    bool unreadable = false;
    EXPECT_TRUE(FindDeviceHolders(1, (root / "nowhere").string(), &unreadable).empty());
    EXPECT_TRUE(unreadable);
}

// Who counts as another client of a pseudo-terminal's client side: not this process, not a program
// holding the master of this very pseudo-terminal (the phone's end, even with the client side open
// too), but a program holding another one's master, or none.
TEST(PortHolders, OtherClientsLeaveOutThisProcessAndThePhonesEnd) {
    int master = -1;
    int slave = -1;
    char name[64] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    const std::string index = std::string(name).substr(std::string("/dev/pts/").size());
    const test::ScratchFolder scratch;
    const fs::path proc = scratch.path() / "proc";
    const std::string self = std::to_string(getpid());
    const struct {
        std::string pid;
        const char* name;
        std::string masterOf; // tty-index of a /dev/ptmx descriptor 3; empty: none
    } processes[] = {
        {"612", "ser2net", ""},
        {"700", "panelgrab-phone", index},
        {"701", "screen", index + "1"},
        {self, "cli_tests", ""},
    };
    for (const auto& process : processes) {
        fs::create_directories(proc / process.pid / "fd");
        fs::create_directories(proc / process.pid / "fdinfo");
        std::ofstream(proc / process.pid / "comm") << process.name << "\n";
        fs::create_symlink(name, proc / process.pid / "fd" / "4");
        if (!process.masterOf.empty()) {
            fs::create_symlink("/dev/ptmx", proc / process.pid / "fd" / "3");
            std::ofstream(proc / process.pid / "fdinfo" / "3")
                << "pos:\t0\nflags:\t02\nmnt_id:\t24\ntty-index:\t" << process.masterOf << "\n";
        }
    }
    std::vector<std::string> clients;
    for (const PortHolder& holder : FindOtherClients(name, proc.string())) {
        clients.push_back(holder.name);
    }
    std::sort(clients.begin(), clients.end());
    EXPECT_EQ(clients, (std::vector<std::string>{"screen", "ser2net"}));
    ::close(master);
    ::close(slave);
}

} // namespace
} // namespace panelgrab
