#include "lab_server_fixture.h"
#include "server/peer_origin.h"

#include <tuple>

namespace panelgrab::test {
namespace {

using namespace std::chrono_literals;

TEST(PeerOriginTest, IsTheOriginABrowserNamesForTheServersPages) {
    struct Case {
        const char* url;
        const char* origin; // null: refused
    } cases[] = {
        {"http://lab2:8080", "http://lab2:8080"},
        {"http://Lab2.Example:8080/", "http://lab2.example:8080"},
        {"https://lab2/wall#x", "https://lab2"},
        {"http://lab2:80", "http://lab2"},
        {"https://lab2:443/", "https://lab2"},
        {"http://[::1]:8080", "http://[::1]:8080"},
        {"lab2:8080", nullptr},
        {"ftp://lab2", nullptr},
        {"http://", nullptr},
        {"http://:8080", nullptr},
        {"http://lab2:0", nullptr},
        {"http://lab2:70000", nullptr},
        {"http://user@lab2", nullptr},
        {"http://[::1", nullptr},
    };
    for (const Case& c : cases) {
        const std::optional<std::string> origin = server::PeerOrigin(c.url);
        EXPECT_EQ(origin.value_or("(refused)"), c.origin ? c.origin : "(refused)") << c.url;
    }
    server::ServerOptions options;
    options.phones = {{"a", "sim", 115200}};
    options.peers = {"http://lab2:8080", "lab3"};
    std::string error;
    EXPECT_FALSE(server::CheckServerOptions(options, error));
    EXPECT_NE(error.find("--peer lab3"), std::string::npos) << error;
}

uint16_t FreePort() {
    boost::asio::io_context io;
    boost::asio::ip::tcp::acceptor acceptor(io, {boost::asio::ip::make_address("127.0.0.1"), 0});
    return acceptor.local_endpoint().port();
}

// Two servers that name each other as peers: each one's page may read the other's phone list and
// watch the other's live views; pages of any other origin may not, and a peer's page changes
// nothing.
TEST_F(LabServerTest, PeersServeEachOthersPagesTheirPhonesAndLiveViews) {
    const uint16_t portB = FreePort();
    listenPort_ = FreePort();
    const std::string urlA = "http://127.0.0.1:" + std::to_string(listenPort_);
    const std::string urlB = "http://127.0.0.1:" + std::to_string(portB);
    peers_ = {urlB + "/"};
    StartServer();

    server::ServerOptions options;
    options.listenPort = portB;
    options.fastTiming = true;
    options.phones = {{"c", "sim", 115200}};
    options.peers = {urlA};
    server::LabServer second(options, {}, PANELGRAB_WEB_ROOT);
    std::string error;
    ASSERT_TRUE(second.Start(error)) << error;
    ASSERT_TRUE(WaitUntil(
        [&] { return Call(portB, http::verb::get, "/api/phones").Json()[0]["state"] == "ready"; }, 10s));

    EXPECT_EQ(Call(port_, http::verb::get, "/api/server").Json()["peers"],
              nlohmann::json::array({urlB + "/"}));
    // The phone list is shared with pages of the peers' origins only.
    const std::tuple<uint16_t, std::string, std::string> lists[] = {{portB, urlA, urlA},
                                                                    {port_, urlB, urlB},
                                                                    {portB, "http://elsewhere.example", ""},
                                                                    {port_, urlA + "0", ""}};
    for (const auto& [port, origin, allowed] : lists) {
        HttpReply reply = Call(port, http::verb::get, "/api/phones", {}, {{"Origin", origin}});
        EXPECT_EQ(reply.headers["Access-Control-Allow-Origin"], allowed) << origin;
    }
    // A live view opens to pages of the server's own origin and its peers', for the phones it has.
    const std::tuple<uint16_t, std::string, std::string, int> viewers[] = {
        {port_, "/api/phones/a/live", urlB, 101},
        {portB, "/api/phones/c/live", urlA, 101},
        {port_, "/api/phones/a/live", urlA, 101},
        {port_, "/api/phones/a/live", "http://elsewhere.example", 403},
        {portB, "/api/phones/c/live", "http://elsewhere.example", 403},
        {port_, "/api/phones/zz/live", urlA, 404},
    };
    for (const auto& [port, target, origin, status] : viewers) {
        LiveClient viewer;
        EXPECT_EQ(viewer.Connect(port, target, {{"Origin", origin}}), status == 101)
            << target << " " << origin;
        EXPECT_EQ(viewer.status, status) << target << " " << origin;
    }
    second.Stop();
}

} // namespace
} // namespace panelgrab::test
