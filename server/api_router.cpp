#include "server/api_router.h"

#include <charconv>
#include <nlohmann/json.hpp>

#include "server/key_text.h"
#include "server/peer_origin.h"

namespace panelgrab::server {

namespace {

using Json = nlohmann::json;

Response JsonResponse(const Request& request, http::status status, const Json& body) {
    Response response(status, request.version());
    response.set(http::field::content_type, "application/json");
    response.set(http::field::cache_control, "no-store");
    response.keep_alive(request.keep_alive());
    response.body() = body.dump();
    response.prepare_payload();
    return response;
}

// The value of `name` in a query string ("display=1&exact=1"); empty when absent.
std::string_view QueryValue(std::string_view query, std::string_view name) {
    while (!query.empty()) {
        const std::size_t end = query.find('&');
        const std::string_view pair = query.substr(0, end);
        if (pair.substr(0, name.size()) == name && pair.size() > name.size() && pair[name.size()] == '=') {
            return pair.substr(name.size() + 1);
        }
        if (end == std::string_view::npos) {
            break;
        }
        query.remove_prefix(end + 1);
    }
    return {};
}

bool ParseInt(std::string_view text, int low, int high, int& value) {
    const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && failure == std::errc() && end == text.data() + text.size() && value >= low &&
           value <= high;
}

// A JSON integer field of `body` from low to high; `fallback` when absent. False with a message.
bool IntField(const Json& body, const char* name, int low, int high, int fallback, int& value,
              std::string& problem) {
    if (!body.contains(name)) {
        value = fallback;
        return true;
    }
    const Json& field = body[name];
    if (!field.is_number_integer() || field.get<long long>() < low || field.get<long long>() > high) {
        problem = std::string("\"") + name + "\" must be a whole number from " + std::to_string(low) +
                  " to " + std::to_string(high);
        return false;
    }
    value = field.get<int>();
    return true;
}

// A request that changes something must be one a web page elsewhere cannot make without asking
// first: JSON, or carrying our own header.
bool IsDeliberate(const Request& request) {
    const std::string_view type = request[http::field::content_type];
    return type.substr(0, 16) == "application/json" || request.find(ApiRouter::kLockHeader) != request.end();
}

} // namespace

Response ErrorResponse(const Request& request, http::status status, const std::string& message) {
    return JsonResponse(request, status, Json{{"error", message}});
}

ApiRouter::ApiRouter(std::vector<PhoneHost*> hosts, AccessRule access, StaticFiles files,
                     std::vector<std::string> peers, Post post)
    : access_(std::move(access)), files_(std::move(files)), peers_(std::move(peers)), post_(std::move(post)) {
    for (const std::string& peer : peers_) {
        if (const std::optional<std::string> origin = PeerOrigin(peer)) {
            peerOrigins_.insert(*origin);
        }
    }
    for (PhoneHost* host : hosts) {
        order_.push_back(host->Config().name);
        phones_.emplace(host->Config().name, Served{host, {}});
    }
}

bool ApiRouter::Admitted(const Request& request) const {
    return access_.Admits(request[http::field::authorization], request[http::field::cookie]);
}

bool ApiRouter::FromPeer(const Request& request) const {
    return peerOrigins_.contains(request[http::field::origin]);
}

void ApiRouter::Handle(const Request& request, Respond respond) {
    if (request.method() == http::verb::get && FromPeer(request)) {
        // A peer's page reads the phones' list from here; it sends no cookie, so a server with a
        // token answers it 401, which the page then shows.
        respond = [respond, origin = std::string(request[http::field::origin])](Response response) {
            response.set(http::field::access_control_allow_origin, origin);
            response.set(http::field::vary, "Origin");
            respond(std::move(response));
        };
    }
    const std::string_view target = request.target();
    const std::size_t question = target.find('?');
    const std::string_view path = target.substr(0, question);
    const std::string_view query = question == std::string_view::npos ? "" : target.substr(question + 1);
    if (path.substr(0, 5) != "/api/") {
        respond(File(request, path));
        return;
    }
    const http::verb method = request.method();
    if (path == "/api/login" && method == http::verb::post) {
        respond(Login(request));
        return;
    }
    if (!Admitted(request)) {
        respond(ErrorResponse(request, http::status::unauthorized, "this server needs its token"));
        return;
    }
    if (path == "/api/phones" || path == "/api/server") {
        if (method != http::verb::get) {
            respond(ErrorResponse(request, http::status::method_not_allowed, "only GET here"));
        } else if (path == "/api/phones") {
            respond(PhoneList(request));
        } else {
            respond(JsonResponse(request, http::status::ok,
                                 Json{{"peers", peers_}, {"auth", access_.NeedsToken()}}));
        }
        return;
    }
    Route route;
    std::string problem;
    if (!RouteOf(path, route, problem)) {
        respond(ErrorResponse(request, http::status::not_found, problem));
        return;
    }
    if ((method == http::verb::post || method == http::verb::delete_) && !IsDeliberate(request)) {
        respond(ErrorResponse(request, http::status::unsupported_media_type,
                              "send Content-Type: application/json (or the " + std::string(kLockHeader) +
                                  " header)"));
        return;
    }
    Served& phone = *route.phone;
    if (route.action == "screen.png" && method == http::verb::get) {
        Screen(request, phone, query, std::move(respond));
    } else if (route.action == "keys" && method == http::verb::post) {
        Keys(request, phone, std::move(respond));
    } else if (route.action == "lock" && method == http::verb::post) {
        respond(Lock(request, phone));
    } else if (route.action == "lock" && method == http::verb::delete_) {
        respond(Unlock(request, phone));
    } else if (route.action == "record" && method == http::verb::post) {
        respond(StartRecording(request, phone));
    } else if (route.action == "record" && method == http::verb::get) {
        respond(RecordingState(request, phone));
    } else if (route.action == "record" && method == http::verb::delete_) {
        StopRecording(request, phone, std::move(respond));
    } else if (route.action == "live") {
        respond(ErrorResponse(request, http::status::upgrade_required, "the live view is a WebSocket"));
    } else {
        respond(
            ErrorResponse(request, http::status::method_not_allowed,
                          std::string(request.method_string()) + " is not allowed on " + std::string(path)));
    }
}

bool ApiRouter::RouteOf(std::string_view path, Route& route, std::string& problem) {
    constexpr std::string_view kPrefix = "/api/phones/";
    if (path.substr(0, kPrefix.size()) != kPrefix) {
        problem = "no such API: " + std::string(path);
        return false;
    }
    std::string_view rest = path.substr(kPrefix.size());
    const std::size_t slash = rest.find('/');
    const std::string_view name = rest.substr(0, slash);
    const auto found = phones_.find(name);
    if (found == phones_.end()) {
        problem = "no phone named \"" + std::string(name) + "\"";
        return false;
    }
    route.phone = &found->second;
    route.action = slash == std::string_view::npos ? "" : std::string(rest.substr(slash + 1));
    if (route.action != "screen.png" && route.action != "keys" && route.action != "lock" &&
        route.action != "live" && route.action != "record") {
        problem = "no such API: " + std::string(path);
        return false;
    }
    return true;
}

PhoneHost* ApiRouter::LiveTarget(const Request& request, Response& refusal) {
    Route route;
    std::string problem;
    const std::string_view target = request.target();
    const std::string_view path = target.substr(0, target.find('?'));
    if (!Admitted(request)) {
        refusal = ErrorResponse(request, http::status::unauthorized, "this server needs its token");
    } else if (!RouteOf(path, route, problem)) {
        refusal = ErrorResponse(request, http::status::not_found, problem);
    } else if (route.action != "live") {
        refusal = ErrorResponse(request, http::status::bad_request, "only the live view is a WebSocket");
    } else {
        return route.phone->host;
    }
    return nullptr;
}

std::string ApiRouter::LockJson(PhoneHost& host) {
    Served& phone = phones_.at(host.Config().name);
    const auto now = PhoneLock::Clock::now();
    return Json{{"held", phone.lock.Held(now)}, {"expires_s", phone.lock.SecondsLeft(now)}}.dump();
}

Response ApiRouter::PhoneList(const Request& request) {
    Json list = Json::array();
    for (const std::string& name : order_) {
        Served& phone = phones_.at(name);
        const HostStatus status = phone.host->Status();
        Json displays = Json::array();
        for (const DisplayInfo& display : status.displays) {
            displays.push_back({{"number", display.displayNumber},
                                {"width", display.width},
                                {"height", display.height},
                                {"bits_per_pixel", display.bitsPerPixel}});
        }
        list.push_back({{"name", name},
                        {"port", status.portLabel},
                        {"state", HostStateName(status.state)},
                        {"reason", status.reason},
                        {"model", status.model},
                        {"displays", displays},
                        {"watchers", phone.host->Feed().Watchers()},
                        {"lock", Json::parse(LockJson(*phone.host))}});
    }
    return JsonResponse(request, http::status::ok, list);
}

void ApiRouter::Screen(const Request& request, Served& phone, std::string_view query, Respond respond) {
    int display = 0;
    int exact = 0;
    const std::string_view displayText = QueryValue(query, "display");
    const std::string_view exactText = QueryValue(query, "exact");
    if ((!displayText.empty() && !ParseInt(displayText, 0, 255, display)) ||
        (!exactText.empty() && !ParseInt(exactText, 0, 1, exact))) {
        respond(ErrorResponse(request, http::status::bad_request, "display is 0 to 255 and exact 0 or 1"));
        return;
    }
    phone.host->Grab(display, exact == 1, [this, request, respond](HostReply reply) {
        post_([this, request, respond, reply = std::move(reply)]() mutable {
            Reply(request, std::move(reply), respond, {});
        });
    });
}

void ApiRouter::Keys(const Request& request, Served& phone, Respond respond) {
    const Json body = Json::parse(request.body(), nullptr, false);
    if (body.is_discarded() || !body.is_object()) {
        respond(ErrorResponse(request, http::status::bad_request, "the body is not a JSON object"));
        return;
    }
    if (!body.contains("keys") || !body["keys"].is_string()) {
        respond(ErrorResponse(request, http::status::bad_request, "\"keys\" must be a text"));
        return;
    }
    const std::string keys = body["keys"].get<std::string>();
    int pressMs = 0;
    int pauseMs = 0;
    std::string problem = KeyTextProblem(keys);
    if (problem.empty() && IntField(body, "press_ms", 0, kMaxPressMs, 0, pressMs, problem) &&
        IntField(body, "pause_ms", 0, kMaxPressMs, 0, pauseMs, problem) && pauseMs > 0 && pressMs == 0) {
        problem = "\"pause_ms\" needs \"press_ms\"";
    }
    if (!problem.empty()) {
        respond(ErrorResponse(request, http::status::bad_request, problem));
        return;
    }
    if (!phone.lock.Permits(std::string(request[kLockHeader]), PhoneLock::Clock::now())) {
        respond(ErrorResponse(request, http::status::conflict, "another client holds this phone's lock"));
        return;
    }
    const std::string okJson = Json{{"pressed", keys}}.dump();
    phone.host->PressKeys(keys, pressMs, pauseMs, [this, request, respond, okJson](HostReply reply) {
        post_([this, request, respond, okJson, reply = std::move(reply)]() mutable {
            Reply(request, std::move(reply), respond, okJson);
        });
    });
}

Response ApiRouter::Lock(const Request& request, Served& phone) {
    Json body = Json::object();
    if (!request.body().empty()) {
        body = Json::parse(request.body(), nullptr, false);
        if (body.is_discarded() || !body.is_object()) {
            return ErrorResponse(request, http::status::bad_request, "the body is not a JSON object");
        }
    }
    int seconds = 0;
    std::string problem;
    if (!IntField(body, "expires_s", 1, static_cast<int>(PhoneLock::kMaxLifetime.count()),
                  static_cast<int>(PhoneLock::kDefaultLifetime.count()), seconds, problem)) {
        return ErrorResponse(request, http::status::bad_request, problem);
    }
    const auto now = PhoneLock::Clock::now();
    const std::optional<std::string> id =
        phone.lock.Acquire(std::string(request[kLockHeader]), std::chrono::seconds(seconds), now);
    if (!id) {
        return JsonResponse(request, http::status::conflict,
                            Json{{"error", "another client holds this phone's lock"},
                                 {"expires_s", phone.lock.SecondsLeft(now)}});
    }
    PublishLock(phone);
    return JsonResponse(request, http::status::ok, Json{{"lock", *id}, {"expires_s", seconds}});
}

Response ApiRouter::Unlock(const Request& request, Served& phone) {
    if (!phone.lock.Release(std::string(request[kLockHeader]), PhoneLock::Clock::now())) {
        return ErrorResponse(request, http::status::conflict,
                             "this request does not hold the lock (send its id in " +
                                 std::string(kLockHeader) + ")");
    }
    PublishLock(phone);
    return JsonResponse(request, http::status::ok, Json{{"freed", true}});
}

// Recording is watching: anyone who may view the phone may record it, whoever holds its lock.
Response ApiRouter::StartRecording(const Request& request, Served& phone) {
    Json body = Json::object();
    if (!request.body().empty()) {
        body = Json::parse(request.body(), nullptr, false);
        if (body.is_discarded() || !body.is_object()) {
            return ErrorResponse(request, http::status::bad_request, "the body is not a JSON object");
        }
    }
    int scale = 1;
    std::string problem;
    if (!IntField(body, "scale", 1, 2, 1, scale, problem)) {
        return ErrorResponse(request, http::status::bad_request, problem);
    }
    if (phone.host->Status().state != HostState::Ready) {
        return ErrorResponse(request, http::status::service_unavailable, "the phone is not ready");
    }
    if (!phone.host->StartRecording(scale)) {
        return ErrorResponse(request, http::status::conflict,
                             "a recording of this phone runs already (DELETE it to take its file)");
    }
    const RecordingBounds& bounds = phone.host->RecordingLimits();
    return JsonResponse(request, http::status::ok,
                        Json{{"running", true},
                             {"scale", scale},
                             {"max_seconds", bounds.maxTime.count()},
                             {"max_frames", bounds.maxFrames},
                             {"max_pixel_mib", bounds.maxPixelBytes >> 20}});
}

Response ApiRouter::RecordingState(const Request& request, Served& phone) {
    const std::optional<RecordingStatus> status = phone.host->Recording();
    if (!status) {
        return JsonResponse(request, http::status::ok, Json{{"recorded", false}, {"running", false}});
    }
    Json body = {{"recorded", true},
                 {"running", status->running},
                 {"frames", status->frames},
                 {"seconds", status->seconds},
                 {"scale", status->scale}};
    if (!status->ended.empty()) {
        body["ended"] = status->ended;
    }
    return JsonResponse(request, http::status::ok, body);
}

void ApiRouter::StopRecording(const Request& request, Served& phone, Respond respond) {
    const std::string fileName = phone.host->Config().name + "-recording.png";
    phone.host->StopRecording([this, request, respond, fileName](HostReply reply) {
        Reply(request, std::move(reply), respond, {}, fileName);
    });
}

void ApiRouter::PublishLock(Served& phone) {
    Json message = Json::parse(LockJson(*phone.host));
    message["type"] = "lock";
    phone.host->Feed().PublishMessage(message.dump());
}

Response ApiRouter::Login(const Request& request) {
    const Json body = Json::parse(request.body(), nullptr, false);
    if (body.is_discarded() || !body.is_object() || !body.contains("token") || !body["token"].is_string()) {
        return ErrorResponse(request, http::status::bad_request, "expected {\"token\": TEXT}");
    }
    const std::string token = body["token"].get<std::string>();
    if (access_.NeedsToken() && !access_.Matches(token)) {
        return ErrorResponse(request, http::status::unauthorized, "wrong token");
    }
    Response response = JsonResponse(request, http::status::ok, Json{{"ok", true}});
    if (access_.NeedsToken()) {
        response.set(http::field::set_cookie, access_.CookieFor(token));
    }
    return response;
}

Response ApiRouter::File(const Request& request, std::string_view path) {
    if (request.method() != http::verb::get) {
        return ErrorResponse(request, http::status::method_not_allowed, "only GET here");
    }
    const std::optional<StaticFiles::File> file = files_.Find(path);
    if (!file) {
        return ErrorResponse(request, http::status::not_found, "no such file");
    }
    Response response(http::status::ok, request.version());
    response.set(http::field::content_type, file->contentType);
    response.set(http::field::cache_control, "no-cache");
    response.keep_alive(request.keep_alive());
    response.body() = file->body;
    response.prepare_payload();
    return response;
}

void ApiRouter::Reply(const Request& request, HostReply reply, Respond respond, const std::string& okJson,
                      const std::string& fileName) {
    switch (reply.kind) {
    case HostReply::Kind::Ok:
        break;
    case HostReply::Kind::NotReady:
    case HostReply::Kind::Busy:
        respond(ErrorResponse(request, http::status::service_unavailable, reply.message));
        return;
    case HostReply::Kind::BadRequest:
        respond(ErrorResponse(request, http::status::bad_request, reply.message));
        return;
    case HostReply::Kind::NoSuchDisplay:
    case HostReply::Kind::NothingRecorded:
        respond(ErrorResponse(request, http::status::not_found, reply.message));
        return;
    case HostReply::Kind::Failed:
        respond(ErrorResponse(request, http::status::bad_gateway, reply.message));
        return;
    }
    if (!okJson.empty()) {
        respond(JsonResponse(request, http::status::ok, Json::parse(okJson)));
        return;
    }
    Response response(http::status::ok, request.version());
    response.set(http::field::content_type, "image/png");
    response.set(http::field::cache_control, "no-store");
    if (!fileName.empty()) {
        response.set(http::field::content_disposition, "attachment; filename=\"" + fileName + "\"");
    }
    response.keep_alive(request.keep_alive());
    response.body().assign(reply.png.begin(), reply.png.end());
    response.prepare_payload();
    respond(std::move(response));
}

} // namespace panelgrab::server
