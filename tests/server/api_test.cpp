#include <filesystem>
#include <regex>
#include <span>

#include "common/image/png_decoder.h"
#include "lab_server_fixture.h"
#include "server/phone_host.h"
#include "session/session.h"
#include "support/scratch_folder.h"

namespace panelgrab::test {
namespace {

using namespace std::chrono_literals;
using Headers = std::map<std::string, std::string>;

TEST_F(LabServerTest, ListsEveryPhoneWithItsStateModelDisplaysAndLock) {
    StartServer();
    const nlohmann::json phones = Call(port_, http::verb::get, "/api/phones").Json();
    ASSERT_EQ(phones.size(), 2u);
    EXPECT_EQ(phones[0], nlohmann::json::parse(R"({"name": "a", "port": ")" + phoneA_.DevicePath() +
                                               R"(", "state": "ready", "reason": "", "model": "P200",
        "displays": [{"number": 0, "width": 176, "height": 220, "bits_per_pixel": 16}],
        "lock": {"held": false, "expires_s": 0}, "watchers": 0})"));
}

TEST_F(LabServerTest, ScreenIsThePhonesPictureAsPng) {
    StartServer();
    for (const std::string target :
         {"/api/phones/a/screen.png", "/api/phones/a/screen.png?display=0&exact=1"}) {
        const HttpReply reply = Call(port_, http::verb::get, target);
        ASSERT_EQ(reply.status, 200) << target << ": " << reply.body;
        EXPECT_EQ(reply.headers.at("Content-Type"), "image/png");
        Picture picture;
        std::string error;
        const auto* bytes = reinterpret_cast<const uint8_t*>(reply.body.data());
        ASSERT_EQ(DecodePngPicture(std::span(bytes, reply.body.size()), picture, error),
                  PictureFileStatus::Ok)
            << error;
        EXPECT_TRUE(picture == Decoded(phoneA_)) << target;
    }
}

// Every refusal is a JSON error with the status that says what was wrong; none of it reaches the
// phone, and the server still serves.
TEST_F(LabServerTest, RefusesWhatItCannotServeWithJsonErrors) {
    StartServer();
    const std::string keys = "/api/phones/a/keys";
    const std::string record = "/api/phones/b/record";
    const std::string big(20 * 1024, ' ');
    ExpectExchanges({
        {http::verb::get, "/api/phones/zz/screen.png", {}, {}, 404},
        {http::verb::get, "/api/phones/a/nothing", {}, {}, 404},
        {http::verb::get, "/api/nothing", {}, {}, 404},
        {http::verb::get, "/api/phones/a/screen.png?display=1", {}, {}, 404},
        {http::verb::get, "/api/phones/a/screen.png?display=x", {}, {}, 400},
        {http::verb::get, "/api/phones/a/screen.png?exact=2", {}, {}, 400},
        {http::verb::post, "/api/phones/zz/keys", R"({"keys":"1"})", {}, 404},
        {http::verb::post, keys, R"({"keys":)", {}, 400},
        {http::verb::post, keys, R"(["1"])", {}, 400},
        {http::verb::post, keys, R"({"keys":5})", {}, 400},
        {http::verb::post, keys, R"({"keys":"1\"\r\nAT+CFUN=0\r"})", {}, 400},
        {http::verb::post, keys, R"({"keys":"1","press_ms":-1})", {}, 400},
        {http::verb::post, keys, R"({"keys":"1","press_ms":100000})", {}, 400},
        {http::verb::post, keys, R"({"keys":"1","pause_ms":100})", {}, 400},
        {http::verb::post, keys, "{\"keys\":\"1\",\"x\":\"" + big + "\"}", {}, 413},
        {http::verb::post, keys, R"({"keys":"1"})", {{"Content-Type", "text/plain"}}, 415},
        {http::verb::post, "/api/phones/a/lock", R"({"expires_s":0})", {}, 400},
        {http::verb::delete_, keys, {}, {{"Content-Type", "application/json"}}, 405},
        {http::verb::put, "/api/phones", {}, {}, 405},
        {http::verb::get, "/api/phones/a/live", {}, {}, 426},
        {http::verb::get, "/../CMakeLists.txt", {}, {}, 404},
        {http::verb::get, "/.hidden", {}, {}, 404},
        {http::verb::get, "/%2e%2e/CMakeLists.txt", {}, {}, 404},
        {http::verb::post, "/", "{}", {}, 405},
        {http::verb::post, record, R"({"scale": 3})", {}, 400},
        {http::verb::post, record, R"({"scale": "2"})", {}, 400},
        {http::verb::post, record, "[1]", {}, 400},
        {http::verb::post, record, "{}", {{"Content-Type", "text/plain"}}, 415},
        {http::verb::post, record, "", {}, 415}, // no body still needs JSON's type
        {http::verb::delete_, record, "{}", {}, 404},
        {http::verb::put, record, "{}", {}, 405},
        {http::verb::post, record, "", {{"Content-Type", "application/json"}}, 200},
        {http::verb::post, keys, R"({"keys":"12#"})", {}, 200},
        {http::verb::get, "/", {}, {}, 200},
    });
}

TEST_F(LabServerTest, LockReservesKeysForItsHolderUntilFreed) {
    StartServer();
    const std::string keys = "/api/phones/a/keys";
    const std::string lock = "/api/phones/a/lock";
    const HttpReply taken = Call(port_, http::verb::post, lock, R"({"expires_s": 30})");
    ASSERT_EQ(taken.status, 200) << taken.body;
    const std::string id = taken.Json()["lock"];
    EXPECT_EQ(taken.Json()["expires_s"], 30);
    const Headers holder = {{"X-Panelgrab-Lock", id}};
    const Headers stranger = {{"X-Panelgrab-Lock", "0123456789abcdef0123456789abcdef"}};
    ExpectExchanges({
        {http::verb::post, keys, R"({"keys":"1"})", {}, 409},
        {http::verb::post, keys, R"({"keys":"1"})", stranger, 409},
        {http::verb::post, lock, "{}", {}, 409},
        {http::verb::post, "/api/phones/b/keys", R"({"keys":"1"})", {}, 200},
        {http::verb::get, "/api/phones/a/screen.png", {}, {}, 200}, // watching goes on
        {http::verb::post, keys, R"({"keys":"1","press_ms":100,"pause_ms":100})", holder, 200},
        {http::verb::get, "/api/phones", {}, {}, 200, {{"/0/lock/held", true}}},
        {http::verb::post, lock, R"({"expires_s": 60})", holder, 200, {{"/lock", id}}},
        {http::verb::delete_, lock, {}, stranger, 409},
        {http::verb::delete_, lock, {}, holder, 200},
        {http::verb::delete_, lock, {}, holder, 409},
        {http::verb::post, keys, R"({"keys":"1"})", {}, 200},
    });
}

TEST_F(LabServerTest, ATokenGuardsTheApiButNotThePage) {
    const std::string token = "a-secret-token";
    StartServer(server::AccessRule(token));
    ExpectExchanges({
        {http::verb::get, "/api/phones", {}, {}, 401},
        {http::verb::get, "/api/phones", {}, {{"Authorization", "Bearer a-secret-toke"}}, 401},
        {http::verb::get, "/api/phones", {}, {{"Authorization", "Bearer a-secret-token2"}}, 401},
        {http::verb::get, "/api/phones", {}, {{"Authorization", "Basic a-secret-token"}}, 401},
        {http::verb::get, "/api/phones", {}, {{"Cookie", "xpanelgrab_token=a-secret-token"}}, 401},
        {http::verb::post, "/api/phones/a/keys", R"({"keys":"1"})", {}, 401},
        {http::verb::get, "/api/phones", {}, {{"Authorization", "Bearer " + token}}, 200},
        {http::verb::get, "/", {}, {}, 200},
        {http::verb::post, "/api/login", R"({"token":"wrong"})", {}, 401},
    });
    const HttpReply login = Call(port_, http::verb::post, "/api/login", R"({"token":"a-secret-token"})");
    ASSERT_EQ(login.status, 200);
    const std::string pair = "panelgrab_token=" + token;
    EXPECT_EQ(login.headers.at("Set-Cookie"), pair + "; Path=/; HttpOnly; SameSite=Strict");
    EXPECT_EQ(Call(port_, http::verb::get, "/api/phones", {}, {{"Cookie", "other=1; " + pair}}).status, 200);

    LiveClient refused;
    EXPECT_FALSE(refused.Connect(port_, "/api/phones/a/live"));
    EXPECT_EQ(refused.status, 401);
    LiveClient admitted;
    EXPECT_TRUE(admitted.Connect(port_, "/api/phones/a/live", {{"Cookie", pair}}));
}

// The phone behind "c" is unplugged and plugged in again (a new pseudo-terminal behind the same
// name): it is reported gone with the reason, then ready, and the others serve throughout.
TEST_F(LabServerTest, APhoneThatGoesAwayIsGoneThenReadyAndTheOthersCarryOn) {
    ScratchFolder folder;
    const std::string link = folder / "phone-c";
    auto plugIn = [&](sim::SimulatedPhone& phone) {
        const std::string fresh = link + ".new";
        std::filesystem::create_symlink(phone.DevicePath(), fresh);
        std::filesystem::rename(fresh, link);
    };
    auto first = std::make_unique<sim::SimulatedPhone>(sim::SimOptions{});
    std::string error;
    ASSERT_TRUE(first->Start(error)) << error;
    plugIn(*first);
    StartServer({}, {{"c", link, 115200}});
    LiveClient viewer;
    ASSERT_TRUE(viewer.Connect(port_, "/api/phones/c/live"));

    first.reset();
    auto stateOf = [&](const std::string& name) { return server_->Host(name)->Status(); };
    ASSERT_TRUE(WaitUntil([&] { return stateOf("c").state == server::HostState::Gone; }, 10s));
    EXPECT_FALSE(stateOf("c").reason.empty());
    EXPECT_EQ(stateOf("a").state, server::HostState::Ready);
    EXPECT_EQ(Call(port_, http::verb::post, "/api/phones/c/keys", R"({"keys":"1"})").status, 503);
    EXPECT_EQ(Call(port_, http::verb::post, "/api/phones/a/keys", R"({"keys":"1"})").status, 200);
    EXPECT_TRUE(
        viewer.NextWhere([](const auto& m) { return !m.binary && m.Json()["state"] == "gone"; }, 10s));

    sim::SimulatedPhone second(sim::SimOptions{});
    ASSERT_TRUE(second.Start(error)) << error;
    plugIn(second);
    ASSERT_TRUE(WaitUntil([&] { return stateOf("c").state == server::HostState::Ready; }, 10s));
    EXPECT_EQ(stateOf("c").reason, "");
    EXPECT_EQ(Call(port_, http::verb::get, "/api/phones/c/screen.png").status, 200);
    EXPECT_TRUE(
        viewer.NextWhere([](const auto& m) { return !m.binary && m.Json()["state"] == "ready"; }, 10s));
}

// A phone's failures are said in the session's words, which are panelgrab-cli's and the Python
// module's (tests/session holds those alike): a phone that cannot be opened is gone with the open's
// message, and a screenshot that fails is a 502 with the grab's message.
TEST_F(LabServerTest, FailuresAreSaidInTheWordsOfEveryFrontEnd) {
    ScratchFolder folder;
    const std::vector<server::PhoneConfig> failing = {
        {"missing", folder / "no-such-port", 115200},
        {"silent", "sim:--fault=silent", 115200},
        {"huge", "sim:--fault=huge-display", 115200}, // opens, but its screen cannot be read
    };
    StartServer({}, failing);
    const nlohmann::json phones = Call(port_, http::verb::get, "/api/phones").Json();
    // Simulated phones differ only in their terminal.
    auto comparable = [](const std::string& text) {
        return std::regex_replace(text, std::regex("/dev/pts/[0-9]+"), "/dev/pts/N");
    };
    for (std::size_t i = 0; i < failing.size(); ++i) {
        const std::string& name = failing[i].name;
        SessionOptions options;
        options.port = failing[i].port;
        options.fastTiming = true;
        options.wording = server::kServerWording;
        Session session(options);
        const Result<void> opened = session.Open();
        if (!opened.ok()) {
            EXPECT_EQ(phones[2 + i]["state"], "gone") << name;
            EXPECT_EQ(comparable(phones[2 + i]["reason"]), comparable(FailureMessage(opened.failure())));
            continue;
        }
        const Result<Grabbed> grabbed = session.Grab(*session.DisplayAt(0), {});
        ASSERT_FALSE(grabbed.ok()) << name;
        const HttpReply reply = Call(port_, http::verb::get, "/api/phones/" + name + "/screen.png?exact=1");
        EXPECT_EQ(reply.status, 502) << reply.body;
        EXPECT_EQ(comparable(reply.Json()["error"]), comparable(FailureMessage(grabbed.failure())));
    }
}

} // namespace
} // namespace panelgrab::test
