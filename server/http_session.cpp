#include "server/http_session.h"

#include <boost/beast/websocket.hpp>
#include <chrono>

#include "server/live_session.h"

namespace panelgrab::server {

namespace beast = boost::beast;

namespace {

constexpr std::chrono::seconds kIdleLimit{30};

// A browser names the page's origin; a page served elsewhere (but by a peer) must not reach the
// live view with this server's cookie.
bool SameOrigin(const Request& request) {
    const std::string_view origin = request[http::field::origin];
    if (origin.empty()) {
        return true; // not a browser
    }
    const std::size_t scheme = origin.find("://");
    return scheme != std::string_view::npos && origin.substr(scheme + 3) == request[http::field::host];
}

} // namespace

HttpSession::HttpSession(boost::asio::ip::tcp::socket socket, ApiRouter& router)
    : stream_(std::move(socket)), router_(router) {}

void HttpSession::Start() {
    Read();
}

void HttpSession::Read() {
    parser_.emplace();
    parser_->body_limit(kMaxBodyBytes);
    parser_->header_limit(kMaxHeaderBytes);
    stream_.expires_after(kIdleLimit);
    http::async_read(
        stream_, buffer_, *parser_,
        [self = shared_from_this()](beast::error_code failure, std::size_t) { self->Received(failure); });
}

void HttpSession::Received(beast::error_code failure) {
    if (failure == http::error::end_of_stream || failure == beast::error::timeout ||
        failure == boost::asio::error::connection_reset || failure == boost::asio::error::operation_aborted) {
        Close();
        return;
    }
    if (failure) {
        Request bare;
        bare.version(11);
        bare.keep_alive(false);
        const bool tooLarge = failure == http::error::body_limit;
        Send(ErrorResponse(bare, tooLarge ? http::status::payload_too_large : http::status::bad_request,
                           tooLarge ? "the body is larger than 16 KiB"
                                    : "malformed request: " + failure.message()));
        return;
    }
    if (beast::websocket::is_upgrade(parser_->get())) {
        Upgrade();
        return;
    }
    router_.Handle(parser_->release(),
                   [self = shared_from_this()](Response response) { self->Send(std::move(response)); });
}

void HttpSession::Upgrade() {
    Request request = parser_->release();
    Response refusal;
    PhoneHost* host = router_.LiveTarget(request, refusal);
    if (host && !SameOrigin(request) && !router_.FromPeer(request)) {
        host = nullptr;
        refusal = ErrorResponse(request, http::status::forbidden,
                                "the live view is for pages of this server and its peers");
    }
    if (!host) {
        refusal.keep_alive(false);
        Send(std::move(refusal));
        return;
    }
    std::make_shared<LiveSession>(std::move(stream_), *host, router_)->Start(std::move(request));
}

void HttpSession::Send(Response response) {
    const bool keepAlive = response.keep_alive();
    outgoing_ = std::make_shared<Response>(std::move(response));
    http::async_write(stream_, *outgoing_,
                      [self = shared_from_this(), keepAlive](beast::error_code failure, std::size_t) {
                          self->Sent(keepAlive, failure);
                      });
}

void HttpSession::Sent(bool keepAlive, beast::error_code failure) {
    outgoing_.reset();
    if (failure || !keepAlive) {
        Close();
        return;
    }
    Read();
}

void HttpSession::Close() {
    beast::error_code ignored;
    stream_.socket().shutdown(boost::asio::ip::tcp::socket::shutdown_send, ignored);
}

} // namespace panelgrab::server
