// Port names, error texts and port listing details of the Windows build.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

#include "transport/bytes/device_errors.h"
#include "transport/ports/port_names.h"
#include "transport/ports/win32_port_enumeration.h"

namespace panelgrab {
namespace {

TEST(Win32PortNames, NamesGoToTheDeviceNamespace) {
    const std::pair<const char*, const char*> cases[] = {
        {"COM7", "\\\\.\\COM7"},
        {"com12", "\\\\.\\com12"},
        {"\\\\.\\COM12", "\\\\.\\COM12"},
        {"//./COM3", "//./COM3"},
        {"CNCA0", "\\\\.\\CNCA0"},
        {"COM0", "\\\\.\\COM0"},
        {"", ""},
    };
    for (const auto& [name, path] : cases) {
        EXPECT_EQ(DevicePathOf(name), path) << name;
    }
}

TEST(Win32PortNames, SystemErrorsInPlainWordsOrTheSystemsOwn) {
    for (int error : {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ERROR_BUSY}) {
        EXPECT_EQ(DescribeSystemError(error), "busy: another program holds it") << error;
    }
    for (int error : {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND}) {
        EXPECT_EQ(DescribeSystemError(error), "no such device") << error;
    }
    EXPECT_EQ(DescribeSystemError(ERROR_DEVICE_REMOVED), "device gone (unplugged?)");
    const std::string invalid = DescribeSystemError(ERROR_INVALID_PARAMETER);
    EXPECT_EQ(invalid.rfind("Windows error 87", 0), 0u) << invalid;
    EXPECT_EQ(invalid.find('\n'), std::string::npos) << invalid;
    EXPECT_EQ(DescribeSystemError(0x2FFFFFFF), "Windows error 805306367");
}

TEST(Win32PortList, UsbIdsAndSerialNumbersFromInstanceIds) {
    const struct {
        const char* instanceId;
        const char* vendor;
        const char* product;
        const char* serial;
    } cases[] = {
        {"USB\\VID_067B&PID_2303\\5&2C4D3E1B&0&2", "067b", "2303", ""},
        {"USB\\VID_2341&PID_0043\\75833353035351F0E1C1", "2341", "0043", "75833353035351F0E1C1"},
        {"FTDIBUS\\VID_0403+PID_6001+A6008ISPA\\0000", "0403", "6001", "A6008ISPA"},
        {"USB\\VID_1A86&PID_7523&MI_00\\6&1D2A3B4C&0&0000", "1a86", "7523", ""},
        {"ACPI\\PNP0501\\1", "", "", ""},
        {"USB\\VID_12&PID_0043\\X", "", "", ""},
        {"USB", "", "", ""},
        {"", "", "", ""},
    };
    for (const auto& c : cases) {
        PortInfo port;
        ReadUsbInstanceId(c.instanceId, port);
        EXPECT_EQ(port.vendorId, c.vendor) << c.instanceId;
        EXPECT_EQ(port.productId, c.product) << c.instanceId;
        EXPECT_EQ(port.serialNumber, c.serial) << c.instanceId;
    }
}

TEST(Win32PortList, OrderedByComNumber) {
    std::vector<PortInfo> ports;
    for (const char* name : {"COM10", "CNCA0", "COM2", "com3", "COM1"}) {
        PortInfo port;
        port.path = name;
        ports.push_back(port);
    }
    std::sort(ports.begin(), ports.end(), ComPortLess);
    std::vector<std::string> names;
    for (const PortInfo& port : ports) {
        names.push_back(port.path);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"COM1", "COM2", "com3", "COM10", "CNCA0"}));
}

} // namespace
} // namespace panelgrab
