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

// A process in a fake /proc: its command name, and descriptor 4 leading to `device`.
void AddProcess(const fs::path& proc, const std::string& pid, const std::string& name,
                const std::string& device) {
    fs::create_directories(proc / pid / "fd");
    std::ofstream(proc / pid / "comm") << name << "\n";
    fs::create_symlink(device, proc / pid / "fd" / "4");
}

// A fake /proc whose descriptors lead to real character devices: process 612 holds /dev/null
// twice, 700 holds /dev/zero; "self" and files that are no process are skipped. A link to the device
// (as /dev/serial/by-id names are) finds the same holders.
TEST(PortHolders, NamesTheProcessesWhoseDescriptorsLeadToTheDevice) {
    const test::ScratchFolder scratch;
    const fs::path proc = scratch.path() / "proc";
    AddProcess(proc, "612", "ModemManager", "/dev/null");
    fs::create_symlink("/dev/null", proc / "612" / "fd" / "9");
    AddProcess(proc, "700", "picocom", "/dev/zero");
    AddProcess(proc, "self", "ignored", "/dev/null");
    std::ofstream(proc / "uptime") << "1\n";
    fs::create_symlink("/dev/null", scratch.path() / "by-id-phone");

    std::vector<std::tuple<int, std::string, std::size_t>> found;
    for (const PortHolder& holder :
         FindPortHolders((scratch.path() / "by-id-phone").string(), proc.string())) {
        found.emplace_back(holder.pid, holder.name, holder.descriptors.size());
    }
    EXPECT_EQ(found, (std::vector<std::tuple<int, std::string, std::size_t>>{{612, "ModemManager", 2}}));
    EXPECT_TRUE(FindPortHolders("/dev/panelgrab-none", proc.string()).empty());
    EXPECT_TRUE(FindPortHolders((proc / "uptime").string(), proc.string()).empty());
    bool unreadable = false;
    EXPECT_TRUE(FindDeviceHolders(1, (scratch.path() / "nowhere").string(), &unreadable).empty());
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
        AddProcess(proc, process.pid, process.name, name);
        if (!process.masterOf.empty()) {
            fs::create_directories(proc / process.pid / "fdinfo");
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
