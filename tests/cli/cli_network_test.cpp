// The built program on network ports through ser2net: the same file as from the local port, and
// failures that name the URL and the reason with exit status 3.
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

class CliNetwork : public ::testing::Test {
protected:
    void SetUp() override {
        if (Ser2netServer::Program().empty()) {
            GTEST_SKIP() << "ser2net is not installed (scripts/install-deps installs it)";
        }
        std::string error;
        ASSERT_TRUE(phone_.Start(error)) << error;
    }

    sim::SimulatedPhone phone_{sim::SimOptions{}};
    ScratchFolder folder_;
};

// The built program runs with the normal timing, as a user runs it.
TEST_F(CliNetwork, GrabThroughEitherModeWritesTheFileOfALocalGrab) {
    const Outcome direct = RunProgram("--port " + phone_.DevicePath() + " grab -o " + folder_ / "local.png");
    ASSERT_EQ(direct.exitCode, kExitOk) << direct.err;
    for (const auto mode : {Ser2netServer::Mode::Raw, Ser2netServer::Mode::Rfc2217}) {
        Ser2netServer server;
        std::string error;
        ASSERT_TRUE(server.Start(phone_.DevicePath(), mode, 115200, error)) << error;
        const Outcome grab = RunProgram("--port " + server.Url() + " grab -o " + folder_ / "remote.png");
        ASSERT_EQ(grab.exitCode, kExitOk) << server.Url() << ": " << grab.err;
        EXPECT_TRUE(ReadFile(folder_ / "remote.png") == ReadFile(folder_ / "local.png"))
            << server.Url() << ": not the local grab's file";
    }
}

TEST_F(CliNetwork, FailuresNameTheUrlAndTheReasonWithExitThree) {
    Ser2netServer server;
    std::string error;
    ASSERT_TRUE(server.Start(phone_.DevicePath(), Ser2netServer::Mode::Rfc2217, 115200, error)) << error;
    const std::string url = server.Url();
    std::unique_ptr<PhoneLink> holder = CreatePhone(ConnectionSettings(url, 115200));
    ASSERT_EQ(holder->Open(false), kPhoneOk) << holder->Port().errorText();
    const Outcome busy = RunProgram("--port " + url + " model");
    holder.reset();
    server.Stop();
    const Outcome refused = RunProgram("--port " + url + " grab -o " + folder_ / "never.png");
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
    EXPECT_EQ(folder_.Count(), 0u);
}

} // namespace
} // namespace panelgrab::cli
