#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <unistd.h>

#include "support/pty_peer.h"
#include "transport/port_enumeration.h"
#include "transport/port_names.h"

namespace panelgrab {
namespace {

namespace fs = std::filesystem;

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

class EnumerationTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/panelgrab-ports-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
    }
    void TearDown() override { fs::remove_all(folder); }
    void Link(const std::string& name, const std::string& target) {
        fs::create_symlink(target, fs::path(folder) / name);
    }
    std::string PathOf(const std::string& name) const { return folder + "/" + name; }
    std::string folder;
};

TEST_F(EnumerationTest, ListsOpenableDevicesInNaturalOrderAndSkipsHeldOnes) {
    test::PtyPeer a, b, c, held;
    ASSERT_TRUE(a.ok() && b.ok() && c.ok() && held.ok());
    Link("ttyUSB10", a.SlavePath());
    Link("ttyUSB2", b.SlavePath());
    Link("ttyACM0", c.SlavePath());
    Link("ttyUSB3", held.SlavePath());
    Link("ttyUSB4", PathOf("missing"));
    Link("console", a.SlavePath());
    const int other = ::open(held.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);

    std::vector<std::string> names = {"left over"};
    EXPECT_TRUE(EnumeratePorts(folder, {"ttyUSB", "ttyACM"}, names));
    EXPECT_EQ(names, (std::vector<std::string>{PathOf("ttyACM0"), PathOf("ttyUSB2"), PathOf("ttyUSB10")}));
    ::close(other);

    // Listing released every device again.
    const int again = ::open(a.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    EXPECT_EQ(flock(again, LOCK_EX | LOCK_NB), 0);
    ::close(again);
}

TEST_F(EnumerationTest, EmptyOrMissingFolderGivesAnEmptyList) {
    std::vector<std::string> names = {"left over"};
    EXPECT_TRUE(EnumeratePorts(folder, SerialDevicePrefixes(), names));
    EXPECT_TRUE(names.empty());
    EXPECT_TRUE(EnumeratePorts(PathOf("nowhere"), SerialDevicePrefixes(), names));
    EXPECT_TRUE(names.empty());
}

} // namespace
} // namespace panelgrab
