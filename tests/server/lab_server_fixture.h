#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "image/painted_picture.h"
#include "server/lab_server.h"
#include "server_client.h"
#include "sim/picture_source.h"
#include "sim/simulated_phone.h"
#include "support/sim_phone_fixture.h"

namespace panelgrab::test {

// A picture of one colour, by default of the size of the simulated phone's first display.
inline Picture Filled(int red, int green, int blue, int width = 176, int height = 220) {
    const Rgb colour{static_cast<uint8_t>(red), static_cast<uint8_t>(green), static_cast<uint8_t>(blue)};
    return Painted(width, height, [&](int32_t, int32_t) { return colour; });
}

// One request of a table: what goes out, the status that must come back, and values the reply's
// JSON must hold, each at a JSON pointer ("/0/name"; a null value: nothing there). Every refusal
// (a status of 400 or more) must be a JSON error.
struct Exchange {
    http::verb method;
    std::string target;
    std::string body;
    std::map<std::string, std::string> headers;
    int status;
    std::vector<std::pair<std::string, nlohmann::json>> fields = {};
};

// A lab server on a free loopback port serving two simulated phones, "a" and "b", that the test
// holds itself, so that it can change their pictures and see what they were sent.
class LabServerTest : public ::testing::Test {
protected:
    // A phone that reports a key's press and release at once.
    static sim::SimOptions KeyReportingPhone() {
        sim::SimOptions options;
        options.keyEventPauseMs = 1;
        return options;
    }

    void SetUp() override {
        std::string error;
        ASSERT_TRUE(phoneA_.Start(error)) << error;
        ASSERT_TRUE(phoneB_.Start(error)) << error;
    }

    // Starts the server with phones a and b and any `more`; waits until a and b are ready and every
    // other phone is ready or gone.
    void StartServer(server::AccessRule access = {}, std::vector<server::PhoneConfig> more = {}) {
        server::ServerOptions options;
        options.listenPort = listenPort_;
        options.peers = peers_;
        options.fastTiming = true;
        options.phones = {{"a", phoneA_.DevicePath(), 115200}, {"b", phoneB_.DevicePath(), 115200}};
        options.phones.insert(options.phones.end(), more.begin(), more.end());
        server::PhoneHost::Timing timing;
        timing.reconnectEvery = std::chrono::milliseconds(50);
        timing.healthCheckEvery = std::chrono::milliseconds(50);
        timing.liveEndCheckEvery = std::chrono::milliseconds(5);
        timing.recordingBounds = recordingBounds_;
        server_ = std::make_unique<server::LabServer>(options, std::move(access), PANELGRAB_WEB_ROOT, timing);
        std::string error;
        ASSERT_TRUE(server_->Start(error)) << error;
        port_ = server_->Port();
        auto settled = [&](const server::PhoneConfig& phone) {
            const server::HostState state = server_->Host(phone.name)->Status().state;
            const bool ours = phone.name == "a" || phone.name == "b";
            return state == server::HostState::Ready || (state == server::HostState::Gone && !ours);
        };
        ASSERT_TRUE(WaitUntil([&] { return std::ranges::all_of(options.phones, settled); },
                              std::chrono::seconds(10)));
    }

    void ExpectExchanges(const std::vector<Exchange>& exchanges) {
        for (const Exchange& e : exchanges) {
            const HttpReply reply = Call(port_, e.method, e.target, e.body, e.headers);
            const nlohmann::json json = reply.Json();
            const std::string shown = e.target + " " + e.body.substr(0, 40) + ": " + reply.body;
            EXPECT_EQ(reply.status, e.status) << shown;
            EXPECT_TRUE(e.status < 400 || json.contains("error")) << shown;
            for (const auto& [pointer, value] : e.fields) {
                const nlohmann::json::json_pointer at(pointer);
                EXPECT_EQ(json.contains(at) ? json.at(at) : nlohmann::json(), value)
                    << pointer << " of " << shown;
            }
        }
    }

    static Picture Decoded(sim::SimulatedPhone& phone) {
        Picture shown;
        uint64_t version = 0;
        phone.CurrentPicture(0, shown, version);
        return shown;
    }

    sim::SimulatedPhone phoneA_{KeyReportingPhone()};
    sim::SimulatedPhone phoneB_{KeyReportingPhone()};
    server::RecordingBounds recordingBounds_;
    uint16_t listenPort_ = 0; // 0: a free one
    std::vector<std::string> peers_;
    std::unique_ptr<server::LabServer> server_;
    uint16_t port_ = 0;
};

} // namespace panelgrab::test
