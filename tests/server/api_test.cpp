#include <filesystem>
#include <regex>
#include <span>

#include "common/image/png_decoder.h"
#include "lab_server_fixture.h"
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
    EXPECT_EQ(phones[0]["name"], "a");
    EXPECT_EQ(phones[1]["name"], "b");
    EXPECT_EQ(phones[0]["port"], phoneA_.DevicePath());
    EXPECT_EQ(phones[0]["state"], "ready");
    EXPECT_EQ(phones[0]["model"], "P200");
    ASSERT_EQ(phones[0]["displays"].size(), 1u);
    EXPECT_EQ(phones[0]["displays"][0]["width"], 176);
    EXPECT_EQ(phones[0]["displays"][0]["height"], 220);
    EXPECT_EQ(phones[0]["lock"]["held"], false);
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
        const Picture shown = Decoded(phoneA_);
        ASSERT_EQ(picture.width(), shown.width());
        ASSERT_EQ(picture.height(), shown.height());
        EXPECT_TRUE(std::equal(shown.Row(0), shown.Row(0) + std::size_t{3} * 176 * 220, picture.Row(0)))
            << target;
    }
}

// Every refusal is a JSON error with the status that says what was wrong.
TEST_F(LabServerTest, RefusesWhatItCannotServeWithJsonErrors) {
    StartServer();
    const std::string big(20 * 1024, ' ');
    struct Case {
        http::verb method;
        std::string target;
        std::string body;
        Headers headers;
        int status;
    } cases[] = {
        {http::verb::get, "/api/phones/zz/screen.png", {}, {}, 404},
        {http::verb::get, "/api/phones/a/nothing", {}, {}, 404},
        {http::verb::get, "/api/nothing", {}, {}, 404},
        {http::verb::get, "/api/phones/a/screen.png?display=1", {}, {}, 404},
        {http::verb::get, "/api/phones/a/screen.png?display=x", {}, {}, 400},
        {http::verb::get, "/api/phones/a/screen.png?exact=2", {}, {}, 400},
        {http::verb::post, "/api/phones/zz/keys", R"({"keys":"1"})", {}, 404},
        {http::verb::post, "/api/phones/a/keys", R"({"keys":)", {}, 400},
        {http::verb::post, "/api/phones/a/keys", R"(["1"])", {}, 400},
        {http::verb::post, "/api/phones/a/keys", R"({"keys":5})", {}, 400},
        {http::verb::post, "/api/phones/a/keys", R"({"keys":""})", {}, 400},
        {http::verb::post, "/api/phones/a/keys", R"({"keys":"1\"\r\nAT+CFUN=0\r"})", {}, 400},
        {http::verb::post, "/api/phones/a/keys", R"({"keys":"1","press_ms":-1})", {}, 400},
        {http::verb::post, "/api/phones/a/keys", R"({"keys":"1","press_ms":100000})", {}, 400},
        {http::verb::post, "/api/phones/a/keys", R"({"keys":"1","pause_ms":100})", {}, 400},
        {http::verb::post, "/api/phones/a/keys", "{\"keys\":\"1\",\"x\":\"" + big + "\"}", {}, 413},
        {http::verb::post, "/api/phones/a/keys", R"({"keys":"1"})", {{"Content-Type", "text/plain"}}, 415},
        {http::verb::post, "/api/phones/a/lock", R"({"expires_s":0})", {}, 400},
        {http::verb::delete_, "/api/phones/a/keys", {}, {{"Content-Type", "application/json"}}, 405},
        {http::verb::put, "/api/phones", {}, {}, 405},
        {http::verb::get, "/api/phones/a/live", {}, {}, 426},
        {http::verb::get, "/../CMakeLists.txt", {}, {}, 404},
        {http::verb::get, "/.hidden", {}, {}, 404},
        {http::verb::get, "/%2e%2e/CMakeLists.txt", {}, {}, 404},
        {http::verb::post, "/", "{}", {}, 405},
    };
    for (const Case& c : cases) {
        const HttpReply reply = Call(port_, c.method, c.target, c.body, c.headers);
        EXPECT_EQ(reply.status, c.status) << c.target << " " << c.body.substr(0, 40) << ": " << reply.body;
        EXPECT_TRUE(reply.Json().contains("error")) << c.target << ": " << reply.body;
    }
    // None of it reached the phone, and the server still serves.
    EXPECT_EQ(Call(port_, http::verb::post, "/api/phones/a/keys", R"({"keys":"12#"})").status, 200);
    EXPECT_EQ(Call(port_, http::verb::get, "/").status, 200);
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

    EXPECT_EQ(Call(port_, http::verb::post, keys, R"({"keys":"1"})").status, 409);
    EXPECT_EQ(Call(port_, http::verb::post, keys, R"({"keys":"1"})", stranger).status, 409);
    EXPECT_EQ(Call(port_, http::verb::post, lock, "{}").status, 409);
    EXPECT_EQ(Call(port_, http::verb::post, "/api/phones/b/keys", R"({"keys":"1"})").status, 200);
    EXPECT_EQ(Call(port_, http::verb::get, "/api/phones/a/screen.png").status, 200); // watching goes on
    EXPECT_EQ(
        Call(port_, http::verb::post, keys, R"({"keys":"1","press_ms":100,"pause_ms":100})", holder).status,
        200);
    EXPECT_EQ(Call(port_, http::verb::get, "/api/phones").Json()[0]["lock"]["held"], true);

    const HttpReply renewed = Call(port_, http::verb::post, lock, R"({"expires_s": 60})", holder);
    EXPECT_EQ(renewed.status, 200);
    EXPECT_EQ(renewed.Json()["lock"], id);
    EXPECT_EQ(Call(port_, http::verb::delete_, lock, {}, stranger).status, 409);
    EXPECT_EQ(Call(port_, http::verb::delete_, lock, {}, holder).status, 200);
    EXPECT_EQ(Call(port_, http::verb::delete_, lock, {}, holder).status, 409);
    EXPECT_EQ(Call(port_, http::verb::post, keys, R"({"keys":"1"})").status, 200);
}

TEST_F(LabServerTest, ATokenGuardsTheApiButNotThePage) {
    token_ = "a-secret-token";
    StartServer(server::AccessRule(token_));
    EXPECT_EQ(Call(port_, http::verb::get, "/api/phones").status, 401);
    EXPECT_EQ(
        Call(port_, http::verb::get, "/api/phones", {}, {{"Authorization", "Bearer wrong-token!"}}).status,
        401);
    EXPECT_EQ(Call(port_, http::verb::post, "/api/phones/a/keys", R"({"keys":"1"})").status, 401);
    EXPECT_EQ(Call(port_, http::verb::get, "/api/phones", {}, {{"Authorization", "Bearer " + token_}}).status,
              200);
    EXPECT_EQ(Call(port_, http::verb::get, "/").status, 200);

    EXPECT_EQ(Call(port_, http::verb::post, "/api/login", R"({"token":"wrong"})").status, 401);
    const HttpReply login = Call(port_, http::verb::post, "/api/login", R"({"token":"a-secret-token"})");
    ASSERT_EQ(login.status, 200);
    const std::string cookie = login.headers.at("Set-Cookie");
    EXPECT_NE(cookie.find("HttpOnly"), std::string::npos);
    EXPECT_NE(cookie.find("SameSite=Strict"), std::string::npos);
    const std::string pair = cookie.substr(0, cookie.find(';'));
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
    auto stateOf = [&](const std::string& name) {
        for (const auto& phone : Call(port_, http::verb::get, "/api/phones").Json()) {
            if (phone["name"] == name) {
                return phone;
            }
        }
        return nlohmann::json();
    };
    ASSERT_TRUE(WaitUntil([&] { return stateOf("c")["state"] == "gone"; }, 10s));
    EXPECT_FALSE(stateOf("c")["reason"].get<std::string>().empty());
    EXPECT_EQ(stateOf("a")["state"], "ready");
    EXPECT_EQ(Call(port_, http::verb::post, "/api/phones/c/keys", R"({"keys":"1"})").status, 503);
    EXPECT_EQ(Call(port_, http::verb::post, "/api/phones/a/keys", R"({"keys":"1"})").status, 200);
    EXPECT_TRUE(
        viewer.NextWhere([](const auto& m) { return !m.binary && m.Json()["state"] == "gone"; }, 10s));

    sim::SimulatedPhone second(sim::SimOptions{});
    ASSERT_TRUE(second.Start(error)) << error;
    plugIn(second);
    ASSERT_TRUE(WaitUntil([&] { return stateOf("c")["state"] == "ready"; }, 10s));
    EXPECT_EQ(stateOf("c")["reason"], "");
    EXPECT_EQ(Call(port_, http::verb::get, "/api/phones/c/screen.png").status, 200);
    EXPECT_TRUE(
        viewer.NextWhere([](const auto& m) { return !m.binary && m.Json()["state"] == "ready"; }, 10s));
}

// A phone's failures are said in the session's words, which are panelgrab-cli's and the Python
// module's (tests/session holds those alike): a phone that cannot be opened is gone with the open's
// message, and a screenshot that fails is a 502 with the grab's message.
TEST_F(LabServerTest, FailuresAreSaidInTheWordsOfEveryFrontEnd) {
    ScratchFolder folder;
    struct Case {
        std::string name;
        std::string port;
        bool opens;
    } cases[] = {
        {"missing", folder / "no-such-port", false},
        {"silent", "sim:--fault=silent", false},
        {"huge", "sim:--fault=huge-display", true},
    };
    std::vector<server::PhoneConfig> more;
    for (const Case& c : cases) {
        more.push_back({c.name, c.port, 115200});
    }
    StartServer({}, more);
    const nlohmann::json phones = Call(port_, http::verb::get, "/api/phones").Json();
    // Simulated phones differ only in their terminal.
    auto comparable = [](const std::string& text) {
        return std::regex_replace(text, std::regex("/dev/pts/[0-9]+"), "/dev/pts/N");
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SessionOptions options;
        options.port = c.port;
        options.fastTiming = true;
        Session session(options);
        const Result<void> opened = session.Open();
        ASSERT_EQ(opened.ok(), c.opens) << c.name;
        if (!c.opens) {
            EXPECT_EQ(phones[2 + i]["state"], "gone") << c.name;
            EXPECT_EQ(comparable(phones[2 + i]["reason"]), comparable(FailureMessage(opened.failure())));
            continue;
        }
        const Result<Grabbed> grabbed = session.Grab(*session.DisplayAt(0), {});
        ASSERT_FALSE(grabbed.ok()) << c.name;
        const HttpReply reply = Call(port_, http::verb::get, "/api/phones/" + c.name + "/screen.png?exact=1");
        EXPECT_EQ(reply.status, 502) << reply.body;
        EXPECT_EQ(comparable(reply.Json()["error"]), comparable(FailureMessage(grabbed.failure())));
    }
}

} // namespace
} // namespace panelgrab::test
