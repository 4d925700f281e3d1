// Network port names: which backend a name reaches, how its URL is read, and the reasons that no
// errno expresses.
#include <gtest/gtest.h>

#include <cerrno>
#include <set>
#include <unistd.h>

#include "support/tcp_peer.h"
#include "transport/network_address.h"
#include "transport/port_names.h"

namespace panelgrab {
namespace {

using namespace std::chrono_literals;

TEST(NetworkAddress, SchemesInAnyLetterCaseAndDevicePathsLeftAlone) {
    const std::pair<const char*, PortScheme> cases[] = {
        {"tcp://lab:2000", PortScheme::Tcp},
        {"TCP://lab:2000", PortScheme::Tcp},
        {"socket://lab:2000", PortScheme::Tcp},
        {"rfc2217://lab:2000", PortScheme::Rfc2217},
        {"RFC2217://[::1]:2000", PortScheme::Rfc2217},
        {"/dev/ttyUSB0", PortScheme::Local},
        {"COM3", PortScheme::Local},
        {"tcp:/lab:2000", PortScheme::Local},
        {"ttcp://lab:2000", PortScheme::Local},
        {"", PortScheme::Local},
    };
    for (const auto& [name, scheme] : cases) {
        EXPECT_EQ(SchemeOfPortName(name), scheme) << name;
    }
    for (const char* url : {"tcp://lab:2000", "rfc2217://10.0.0.7:3001", "tcp://[fe80::1]:2000"}) {
        EXPECT_EQ(DevicePathOf(url), url);
    }
}

TEST(NetworkAddress, ParsesHostsAndPortsAndRefusesTheRest) {
    struct Good {
        const char* url;
        const char* host;
        uint16_t port;
    };
    const Good good[] = {
        {"tcp://lab-server:2000", "lab-server", 2000},
        {"rfc2217://192.168.1.20:3001", "192.168.1.20", 3001},
        {"tcp://[::1]:1", "::1", 1},
        {"tcp://[fe80::1%eth0]:65535", "fe80::1%eth0", 65535},
        {"rfc2217://lab.example.org:4000/", "lab.example.org", 4000},
    };
    for (const Good& g : good) {
        NetworkAddress address;
        ASSERT_TRUE(NetworkAddress::Parse(g.url, address)) << g.url;
        EXPECT_EQ(address.host(), g.host) << g.url;
        EXPECT_EQ(address.port(), g.port) << g.url;
    }
    for (const char* url : {"tcp://lab", "tcp://lab:", "tcp://:2000", "tcp://lab:0", "tcp://lab:65536",
                            "tcp://lab:20x0", "tcp://lab:2000:1", "tcp://::1:2000", "tcp://[::1]2000",
                            "tcp://[]:2000", "tcp://user@lab:2000", "tcp://lab:2000/x", "tcp://la b:2000",
                            "tcp://lab:-1", "lab:2000", "://lab:2000", "tcp://lab:0000002000"}) {
        NetworkAddress address;
        EXPECT_FALSE(NetworkAddress::Parse(url, address)) << url;
    }
}

TEST(NetworkAddress, NetworkReasonsInPlainWords) {
    std::set<std::string> texts;
    for (int error : {ECONNREFUSED, ECONNRESET, kErrorBadAddress, kErrorHostNotFound, kErrorNameLookupFailed,
                      kErrorNoComPortControl, kErrorSettingRefused}) {
        const std::string text = DescribeSystemError(error);
        EXPECT_EQ(text.find("Unknown error"), std::string::npos) << error;
        texts.insert(text);
    }
    EXPECT_EQ(texts.size(), 7u) << "each reason has its own text";
    EXPECT_EQ(DescribeSystemError(kErrorHostNotFound), "host name not found");
    EXPECT_EQ(DescribeSystemError(ECONNRESET), "connection closed by the server");
}

// Refused connections and unknown hosts: TcpDevice.OpenFailuresAreThePortFailuresWithTheReason.
TEST(NetworkAddress, ConnectsByNameAsByAddress) {
    test::TcpPeer peer;
    ASSERT_TRUE(peer.ok());
    for (const std::string host : {"127.0.0.1", "localhost"}) {
        NetworkAddress address;
        ASSERT_TRUE(NetworkAddress::Parse("tcp://" + host + ":" + std::to_string(peer.port()), address));
        peer.Serve([](test::TcpPeer& p) { p.WaitForClientClose(); });
        int fd = -1;
        EXPECT_EQ(address.Connect(2s, fd), 0) << host;
        EXPECT_GE(fd, 0);
        ::close(fd);
        peer.Join();
    }
}

} // namespace
} // namespace panelgrab
