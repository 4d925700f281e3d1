#pragma once

#include <boost/beast/http.hpp>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "server/access_rule.h"
#include "server/phone_host.h"
#include "server/phone_lock.h"
#include "server/static_files.h"

namespace panelgrab::server {

namespace http = boost::beast::http;
using Request = http::request<http::string_body>;
using Response = http::response<http::string_body>;

// A JSON error: {"error": message}.
Response ErrorResponse(const Request& request, http::status status, const std::string& message);

// Answers the HTTP requests: the API under /api/ and the page's files elsewhere.
//
// Threading: every call runs on the server's network thread; a phone's reply comes back to it
// through `post` before the response is handed to `respond`.
class ApiRouter {
public:
    using Respond = std::function<void(Response)>;
    using Post = std::function<void(std::function<void()>)>;
    static constexpr std::string_view kLockHeader = "X-Panelgrab-Lock";

    ApiRouter(std::vector<PhoneHost*> hosts, AccessRule access, StaticFiles files,
              std::vector<std::string> peers, Post post);

    void Handle(const Request& request, Respond respond);
    // The phone whose live view a WebSocket upgrade asks for, or null with the refusal to send.
    PhoneHost* LiveTarget(const Request& request, Response& refusal);
    // True when the request comes from a page of one of the peers (its Origin): such a page may
    // read this server's phones and watch their live views, and change nothing.
    bool FromPeer(const Request& request) const;
    // The lock's state of `host` as the API shows it.
    std::string LockJson(PhoneHost& host);

private:
    struct Served {
        PhoneHost* host;
        PhoneLock lock;
    };
    struct Route {
        Served* phone = nullptr;
        std::string action; // "", "screen.png", "keys", "lock", "live", "record"
    };

    bool Admitted(const Request& request) const;
    bool RouteOf(std::string_view path, Route& route, std::string& problem);
    Response PhoneList(const Request& request);
    void Screen(const Request& request, Served& phone, std::string_view query, Respond respond);
    void Keys(const Request& request, Served& phone, Respond respond);
    Response Lock(const Request& request, Served& phone);
    Response Unlock(const Request& request, Served& phone);
    Response StartRecording(const Request& request, Served& phone);
    Response RecordingState(const Request& request, Served& phone);
    void StopRecording(const Request& request, Served& phone, Respond respond);
    Response Login(const Request& request);
    Response File(const Request& request, std::string_view path);
    void Reply(const Request& request, HostReply reply, Respond respond, const std::string& okJson,
               const std::string& fileName = {});
    void PublishLock(Served& phone);

    std::map<std::string, Served, std::less<>> phones_;
    std::vector<std::string> order_;
    AccessRule access_;
    StaticFiles files_;
    std::vector<std::string> peers_;
    std::set<std::string, std::less<>> peerOrigins_;
    Post post_;
};

} // namespace panelgrab::server
