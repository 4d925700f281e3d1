// The built program on network ports through ser2net (a capture through it is the phone's,
// tests/integration): failures that name the URL and the reason with exit status 3.
#include <gtest/gtest.h>

#include <chrono>
#include <tuple>

#include "cli/cli_run.h"
#include "cli/exit_codes.h"
#include "phone/phone_link.h"
#include "support/ser2net_server.h"

namespace panelgrab::cli {
namespace {

using namespace test;
using panelgrab::test::Ser2netServer;

TEST(CliNetwork, FailuresNameTheUrlAndTheReasonWithExitThree) {
    if (Ser2netServer::Program().empty()) {
        GTEST_SKIP() << "ser2net is not installed (scripts/install-deps installs it)";
    }
    sim::SimulatedPhone phone(sim::SimOptions{});
    ScratchFolder folder;
    std::string error;
    ASSERT_TRUE(phone.Start(error)) << error;
    Ser2netServer server;
    ASSERT_TRUE(server.Start(phone.DevicePath(), Ser2netServer::Mode::Rfc2217, 115200, error)) << error;
    const std::string url = server.Url();
    std::unique_ptr<PhoneLink> holder = CreatePhone(ConnectionSettings(url, 115200));
    ASSERT_EQ(holder->Open(false), kPhoneOk) << holder->Port().errorText();
    const Outcome busy = RunProgram("--port " + url + " model");
    holder.reset();
    server.Stop();
    const Outcome refused = RunProgram("--port " + url + " grab -o " + folder / "never.png");
    const std::string unknownUrl = "tcp://panelgrab-no-such-host.invalid:2000";
    const Outcome unknown = RunProgram("--port " + unknownUrl + " keys 1");

    const std::tuple<const char*, const Outcome&, std::string, std::string> cases[] = {
        {"busy", busy, url, "connection closed by the server"},
        {"refused", refused, url, "connection refused"},
        {"unknown host", unknown, unknownUrl, "host name"},
    };
    for (const auto& [name, run, shownUrl, reason] : cases) {
        EXPECT_EQ(run.exitCode, kExitNoConnection) << name << ": " << run.err;
        EXPECT_EQ(run.err.find("panelgrab-cli: " + shownUrl + ": "), 0u) << name << ": " << run.err;
        EXPECT_NE(run.err.find(reason), std::string::npos) << name << ": " << run.err;
        // Within the open's time-outs: none of these waits for the connect wait (5 s).
        EXPECT_LT(run.elapsed, std::chrono::seconds(5)) << name;
    }
    EXPECT_EQ(folder.Count(), 0u);
}

} // namespace
} // namespace panelgrab::cli
