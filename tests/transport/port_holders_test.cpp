#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <tuple>

#include "support/scratch_folder.h"
#include "transport/port_holders.h"

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

} // namespace
} // namespace panelgrab
