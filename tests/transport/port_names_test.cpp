#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

#include "transport/port_names.h"

namespace panelgrab {
namespace {

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
        {"COM1", "/dev/ttyS0"},
        {"com12", "/dev/ttyS11"},
        {"ttyUSB0", "/dev/ttyUSB0"},
        {"/dev/pts/3", "/dev/pts/3"},
        {"./link", "./link"},
        {"COM0", "/dev/COM0"},
        {"COMX", "/dev/COMX"},
        {"COM99999", "/dev/COM99999"},
        {"rfcomm0", "/dev/rfcomm0"},
        {"/dev/serial/by-id/usb-FTDI_FT232R_A9-if00-port0",
         "/dev/serial/by-id/usb-FTDI_FT232R_A9-if00-port0"},
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

TEST(PortNames, NaturalOrder) {
    std::vector<std::string> names = {"ttyUSB10", "ttyS1", "ttyUSB2", "ttyS10",
                                      "ttyACM0",  "ttyS2", "ttyUSB02"};
    std::sort(names.begin(), names.end(), NaturalLess);
    EXPECT_EQ(names, (std::vector<std::string>{"ttyACM0", "ttyS1", "ttyS2", "ttyS10", "ttyUSB2", "ttyUSB02",
                                               "ttyUSB10"}));
}

} // namespace
} // namespace panelgrab
