#pragma once

#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <memory>
#include <optional>

#include "server/api_router.h"

namespace panelgrab::server {

// One HTTP connection: reads requests with bounded headers and bodies, hands them to the router one
// at a time, and hands the socket to a LiveSession when a request upgrades to the live WebSocket.
class HttpSession : public std::enable_shared_from_this<HttpSession> {
public:
    static constexpr std::size_t kMaxBodyBytes = 16 * 1024;
    static constexpr std::size_t kMaxHeaderBytes = 8 * 1024;

    HttpSession(boost::asio::ip::tcp::socket socket, ApiRouter& router);
    void Start();

private:
    void Read();
    void Received(boost::beast::error_code failure);
    void Upgrade();
    void Send(Response response);
    void Sent(bool keepAlive, boost::beast::error_code failure);
    void Close();

    boost::beast::tcp_stream stream_;
    ApiRouter& router_;
    boost::beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    std::shared_ptr<Response> outgoing_;
};

} // namespace panelgrab::server
