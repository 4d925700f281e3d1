#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/file.h>
#include <unistd.h>

#include "support/pty_peer.h"
#include "transport/port_enumeration.h"
#include "transport/port_names.h"

namespace panelgrab {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

TEST(PortNames, NoneInAnyLetterCaseOnly) {
    for (const char* name : {"None", "NONE", "none", "nONe"}) {
        EXPECT_TRUE(IsNonePortName(name)) << name;
    }
    for (const char* name : {"", "Non", "Nones", " None", "COM1", "/dev/None"}) {
        EXPECT_FALSE(IsNonePortName(name)) << name;
    }
}

TEST(PortNames, DevicePaths) {
    const std::pair<const char*, const char*> cases[] = {
        {"COM1", "/dev/ttyS0"},       {"com12", "/dev/ttyS11"},      {"ttyUSB0", "/dev/ttyUSB0"},
        {"/dev/pts/3", "/dev/pts/3"}, {"./link", "./link"},          {"COM0", "/dev/COM0"},
        {"COMX", "/dev/COMX"},        {"COM99999", "/dev/COM99999"}, {"rfcomm0", "/dev/rfcomm0"},
    };
    for (const auto& [name, path] : cases) {
        EXPECT_EQ(DevicePathOf(name), path) << name;
    }
}

TEST(PortNames, SystemErrorsInPlainWords) {
    EXPECT_EQ(DescribeSystemError(EACCES), "permission denied (is your user in the dialout group?)");
    EXPECT_EQ(DescribeSystemError(EPERM), "permission denied (is your user in the dialout group?)");
    EXPECT_EQ(DescribeSystemError(EBUSY), "busy: another program holds it");
    EXPECT_EQ(DescribeSystemError(EWOULDBLOCK), "busy: another program holds it");
    for (int error : {ENOENT, ENODEV, ENXIO}) {
        EXPECT_EQ(DescribeSystemError(error), "no such device");
    }
    EXPECT_EQ(DescribeSystemError(EIO), "device gone (hang-up)");
    EXPECT_FALSE(DescribeSystemError(EINVAL).empty());
}

TEST(PortNames, NaturalOrderAndPatterns) {
    std::vector<std::string> names = {"ttyUSB10", "ttyS1", "ttyUSB2", "ttyS10",
                                      "ttyACM0",  "ttyS2", "ttyUSB02"};
    std::sort(names.begin(), names.end(), NaturalLess);
    EXPECT_EQ(names, (std::vector<std::string>{"ttyACM0", "ttyS1", "ttyS2", "ttyS10", "ttyUSB2", "ttyUSB02",
                                               "ttyUSB10"}));
    EXPECT_TRUE(MatchesDevicePattern("ttyUSB0", "ttyUSB"));
    EXPECT_FALSE(MatchesDevicePattern("ttyUSB", "ttyUSB"));
    EXPECT_FALSE(MatchesDevicePattern("ttyUSB0a", "ttyUSB"));
    EXPECT_FALSE(MatchesDevicePattern("ttySomething", "ttyS"));
}

TEST(PortEnumeration, ListsOpenableDevicesInNaturalOrderAndSkipsHeldOnes) {
    char pattern[] = "/tmp/panelgrab-ports-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::unique_ptr<char, void (*)(char*)> removal(pattern, [](char* p) { fs::remove_all(p); });
    const fs::path folder = pattern;
    std::vector<std::string> names = {"left over"};
    EXPECT_TRUE(EnumeratePorts((folder / "nowhere").string(), SerialDevicePrefixes(), names));
    EXPECT_TRUE(names.empty());
    names = {"left over"};
    EXPECT_TRUE(EnumeratePorts(folder.string(), SerialDevicePrefixes(), names));
    EXPECT_TRUE(names.empty());

    test::PtyPeer a, b, c, held;
    ASSERT_TRUE(a.ok() && b.ok() && c.ok() && held.ok());
    const std::pair<const char*, std::string> links[] = {
        {"ttyUSB10", a.SlavePath()},   {"ttyUSB2", b.SlavePath()},         {"ttyACM0", c.SlavePath()},
        {"ttyUSB3", held.SlavePath()}, {"ttyUSB4", pattern + "/missing"s}, {"console", a.SlavePath()},
    };
    for (const auto& [name, target] : links) {
        fs::create_symlink(target, folder / name);
    }
    const int other = ::open(held.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_TRUE(EnumeratePorts(folder.string(), {"ttyUSB", "ttyACM"}, names));
    EXPECT_EQ(names, (std::vector<std::string>{folder / "ttyACM0", folder / "ttyUSB2", folder / "ttyUSB10"}));
    ::close(other);

    // Listing released every device again.
    const int again = ::open(a.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    EXPECT_EQ(flock(again, LOCK_EX | LOCK_NB), 0);
    ::close(again);
}

} // namespace
} // namespace panelgrab
