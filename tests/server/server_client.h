#pragma once

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>

#include "common/image/picture.h"
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace panelgrab::test {

namespace beast = boost::beast;
namespace http = beast::http;

struct HttpReply {
    int status = 0;
    std::string body;
    std::map<std::string, std::string> headers;

    nlohmann::json Json() const { return nlohmann::json::parse(body, nullptr, false); }
};

// One request on a fresh connection to the server on 127.0.0.1:`port`. `headers` are added; a body
// goes out as JSON unless the headers name another type. Status 0 when the connection failed.
inline HttpReply Call(uint16_t port, http::verb method, const std::string& target,
                      const std::string& body = {}, const std::map<std::string, std::string>& headers = {}) {
    boost::asio::io_context io;
    beast::tcp_stream stream(io);
    beast::error_code failure;
    stream.socket().connect({boost::asio::ip::make_address("127.0.0.1"), port},
                            failure); // a failure fails the read
    http::request<http::string_body> request(method, target, 11);
    request.set(http::field::host, "127.0.0.1:" + std::to_string(port));
    if (!body.empty() && !headers.contains("Content-Type")) {
        request.set(http::field::content_type, "application/json");
    }
    for (const auto& [name, value] : headers) {
        request.set(name, value);
    }
    request.body() = body;
    request.prepare_payload();
    http::write(stream, request, failure);
    beast::flat_buffer buffer;
    http::response_parser<http::string_body> parser;
    parser.body_limit(64u << 20);
    http::read(stream, buffer, parser, failure);
    if (failure && failure != http::error::end_of_stream) {
        return {};
    }
    HttpReply reply;
    reply.status = static_cast<int>(parser.get().result_int());
    reply.body = parser.get().body();
    for (const auto& field : parser.get()) {
        reply.headers[std::string(field.name_string())] = std::string(field.value());
    }
    return reply;
}

// A viewer of a phone's live WebSocket that reads only when asked, so a test can also make it slow.
class LiveClient {
public:
    struct Message {
        bool binary = false;
        std::string data;
        nlohmann::json Json() const { return nlohmann::json::parse(data, nullptr, false); }
    };

    // Connects and upgrades; false (with the refusal's status in `status`) when refused.
    bool Connect(uint16_t port, const std::string& target,
                 const std::map<std::string, std::string>& headers = {}) {
        beast::error_code failure;
        beast::get_lowest_layer(socket_).socket().connect({boost::asio::ip::make_address("127.0.0.1"), port},
                                                          failure); // a failure fails the handshake
        socket_.set_option(
            beast::websocket::stream_base::decorator([headers](beast::websocket::request_type& request) {
                for (const auto& [name, value] : headers) {
                    request.set(name, value);
                }
            }));
        // Asked asynchronously: the synchronous handshake keeps no response it declined.
        beast::websocket::response_type response;
        socket_.async_handshake(response, "127.0.0.1:" + std::to_string(port), target,
                                [&](beast::error_code ended) { failure = ended; });
        io_.run();
        status = static_cast<int>(response.result_int());
        return !failure;
    }

    // The next message, or none when none came within `limit` (the connection is then unusable).
    std::optional<Message> Next(std::chrono::milliseconds limit) {
        return NextWhere([](const Message&) { return true; }, limit);
    }

    // Reads until a message satisfies `wanted`; none when the time ran out first.
    std::optional<Message> NextWhere(const std::function<bool(const Message&)>& wanted,
                                     std::chrono::milliseconds limit) {
        beast::get_lowest_layer(socket_).expires_after(limit);
        std::optional<Message> got;
        do {
            got.reset();
            beast::flat_buffer buffer;
            socket_.async_read(buffer, [&](beast::error_code failure, std::size_t) {
                if (!failure) {
                    got = Message{socket_.got_binary(), beast::buffers_to_string(buffer.data())};
                }
            });
            io_.restart();
            io_.run();
        } while (got && !wanted(*got));
        return got;
    }

    int status = 0;

private:
    boost::asio::io_context io_;
    beast::websocket::stream<beast::tcp_stream> socket_{io_};
};

// The row message's header fields (see RowMessage).
struct RowHeader {
    int kind, width, height, first, count;
};
inline RowHeader ReadRowHeader(const std::string& data) {
    auto u16 = [&](std::size_t at) {
        return static_cast<int>(static_cast<uint8_t>(data[at]) | (static_cast<uint8_t>(data[at + 1]) << 8));
    };
    return {static_cast<uint8_t>(data[0]), u16(2), u16(4), u16(6), u16(8)};
}

// What a viewer shows: the row messages applied one after the other, and their headers.
struct ViewerScreen {
    Picture shown;
    std::vector<RowHeader> applied;

    void Apply(const std::string& data) {
        const RowHeader header = ReadRowHeader(data);
        applied.push_back(header);
        if (header.width != shown.width() || header.height != shown.height()) {
            shown.Resize(header.width, header.height);
        }
        std::copy(data.begin() + 12, data.end(), shown.Row(header.first));
    }
};

} // namespace panelgrab::test
