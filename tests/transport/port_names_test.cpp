// Port names: the backend a name reaches, the device path it opens, network URLs, and failure
// reasons in plain words.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <tuple>

#include "transport/bytes/device_errors.h"
#include "transport/bytes/network_address.h"
#include "transport/ports/port_names.h"

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

TEST(PortNames, SchemesInAnyLetterCaseAndTheDevicePathOfEachName) {
    const struct {
        const char* name;
        PortScheme scheme;
        const char* path = nullptr; // none: the name itself
    } cases[] = {
        {"tcp://lab:2000", PortScheme::Tcp},
        {"TCP://[fe80::1]:2000", PortScheme::Tcp},
        {"socket://lab:2000", PortScheme::Tcp},
        {"rfc2217://10.0.0.7:3001", PortScheme::Rfc2217},
        {"RFC2217://[::1]:2000", PortScheme::Rfc2217},
        {"tcp:/lab:2000", PortScheme::Local},
        {"ttcp://lab:2000", PortScheme::Local},
        {"/dev/pts/3", PortScheme::Local},
        {"./link", PortScheme::Local},
        {"/dev/serial/by-id/usb-FTDI_FT232R_A9-if00-port0", PortScheme::Local},
        {"COM1", PortScheme::Local, "/dev/ttyS0"},
        {"com12", PortScheme::Local, "/dev/ttyS11"},
        {"COM0", PortScheme::Local, "/dev/COM0"},
        {"COMX", PortScheme::Local, "/dev/COMX"},
        {"COM99999", PortScheme::Local, "/dev/COM99999"},
        {"COM", PortScheme::Local, "/dev/COM"},
        {"COM1a", PortScheme::Local, "/dev/COM1a"},
        {"XCOM1", PortScheme::Local, "/dev/XCOM1"},
        {"ttyUSB0", PortScheme::Local, "/dev/ttyUSB0"},
        {"rfcomm0", PortScheme::Local, "/dev/rfcomm0"},
        {"", PortScheme::Local}, // no device, not the folder /dev/
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SchemeOfPortName(c.name), c.scheme) << c.name;
        EXPECT_EQ(DevicePathOf(c.name), c.path ? c.path : c.name) << c.name;
    }
}

TEST(PortNames, ParsesHostsAndPortsAndRefusesTheRest) {
    const std::tuple<const char*, std::string, uint16_t> good[] = {
        {"tcp://lab-server:2000", "lab-server", 2000},
        {"rfc2217://192.168.1.20:3001", "192.168.1.20", 3001},
        {"tcp://[::1]:1", "::1", 1},
        {"tcp://[fe80::1%eth0]:65535", "fe80::1%eth0", 65535},
        {"rfc2217://lab.example.org:4000/", "lab.example.org", 4000},
    };
    for (const auto& [url, host, port] : good) {
        NetworkAddress address;
        ASSERT_TRUE(NetworkAddress::Parse(url, address)) << url;
        EXPECT_EQ(std::pair(address.host(), address.port()), std::pair(host, port)) << url;
    }
    for (const char* url : {"tcp://lab", "tcp://lab:", "tcp://:2000", "tcp://lab:0", "tcp://lab:65536",
                            "tcp://lab:20x0", "tcp://lab:2000:1", "tcp://::1:2000", "tcp://[::1]2000",
                            "tcp://[]:2000", "tcp://user@lab:2000", "tcp://lab:2000/x", "tcp://la b:2000",
                            "tcp://lab:-1", "lab:2000", "://lab:2000", "tcp://lab:0000002000"}) {
        NetworkAddress address;
        EXPECT_FALSE(NetworkAddress::Parse(url, address)) << url;
    }
}

// Every reason has words of its own, none the C library's "Unknown error" for our negative codes.
TEST(PortNames, FailureReasonsInPlainWords) {
    const std::pair<int, const char*> cases[] = {
        {EACCES, "permission denied (is your user in the dialout group?)"},
        {EPERM, "permission denied"},
        {EBUSY, "busy: another program holds it"},
        {EWOULDBLOCK, "busy"},
        {ENOENT, "no such device"},
        {ENODEV, "no such device"},
        {ENXIO, "no such device"},
        {EIO, "device gone (hang-up)"},
        {ECONNREFUSED, "connection refused"},
        {ECONNRESET, "connection closed by the server"},
        {kErrorBadAddress, "not a network port address"},
        {kErrorHostNotFound, "host name not found"},
        {kErrorNameLookupFailed, "could not be looked up"},
        {kErrorNoComPortControl, "refuses RFC 2217"},
        {kErrorSettingRefused, "did not take the line settings"},
    };
    for (const auto& [error, words] : cases) {
        EXPECT_NE(DescribeSystemError(error).find(words), std::string::npos) << error;
    }
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
