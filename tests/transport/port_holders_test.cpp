#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "transport/port_holders.h"

namespace panelgrab {
namespace {

namespace fs = std::filesystem;

// A fake /proc: process 612 holds the device through a by-id style link, 700 holds something else,
// "self" and files that are no process are skipped.
TEST(PortHolders, NamesTheProcessesWhoseDescriptorsLeadToTheDevice) {
    const fs::path root = fs::temp_directory_path() / ("panelgrab-holders-" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "dev");
    std::ofstream(root / "dev" / "ttyUSB0").put('x');
    std::ofstream(root / "dev" / "ttyUSB1").put('x');
    fs::create_symlink(root / "dev" / "ttyUSB0", root / "dev" / "by-id-phone");
    for (const auto& [pid, name, target] :
         {std::tuple{"612", "ModemManager", "ttyUSB0"}, std::tuple{"700", "picocom", "ttyUSB1"},
          std::tuple{"self", "ignored", "ttyUSB0"}}) {
        fs::create_directories(root / "proc" / pid / "fd");
        std::ofstream(root / "proc" / pid / "comm") << name << "\n";
        fs::create_symlink(root / "dev" / target, root / "proc" / pid / "fd" / "3");
    }
    std::ofstream(root / "proc" / "uptime") << "1\n";

    const std::vector<PortHolder> holders =
        FindPortHolders((root / "dev" / "by-id-phone").string(), (root / "proc").string());
    ASSERT_EQ(holders.size(), 1u);
    EXPECT_EQ(holders[0].pid, 612);
    EXPECT_EQ(holders[0].name, "ModemManager");
    EXPECT_TRUE(FindPortHolders("/dev/panelgrab-none", (root / "proc").string()).empty());
    EXPECT_TRUE(FindPortHolders((root / "dev" / "ttyUSB0").string(), (root / "nowhere").string()).empty());
    fs::remove_all(root);
}

} // namespace
} // namespace panelgrab
