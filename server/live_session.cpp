#include "server/live_session.h"

#include <algorithm>
#include <boost/asio/post.hpp>
#include <nlohmann/json.hpp>

namespace panelgrab::server {

namespace beast = boost::beast;
namespace websocket = beast::websocket;

namespace {

constexpr std::size_t kMaxIncomingMessage = 4096;

void PutU16(std::string& out, std::size_t at, uint32_t value) {
    out[at] = static_cast<char>(value & 0xff);
    out[at + 1] = static_cast<char>((value >> 8) & 0xff);
}

} // namespace

std::string RowMessage(const Picture& frame, RowSpan rows) {
    const int32_t height = frame.height();
    const int32_t first = std::clamp<int32_t>(rows.first, 0, height == 0 ? 0 : height - 1);
    const int32_t last = std::clamp<int32_t>(rows.last, first, height == 0 ? 0 : height - 1);
    const uint32_t count = height == 0 ? 0 : static_cast<uint32_t>(last - first + 1);
    const std::size_t rowBytes = static_cast<std::size_t>(frame.width()) * 3;
    std::string message(kRowHeaderBytes, '\0');
    message[0] = 1;
    PutU16(message, 2, static_cast<uint32_t>(frame.width()));
    PutU16(message, 4, static_cast<uint32_t>(height));
    PutU16(message, 6, static_cast<uint32_t>(first));
    PutU16(message, 8, count);
    if (count > 0) {
        message.append(reinterpret_cast<const char*>(frame.Row(first)), count * rowBytes);
    }
    return message;
}

LiveSession::LiveSession(beast::tcp_stream stream, PhoneHost& host, ApiRouter& router)
    : socket_(std::move(stream)), executor_(socket_.get_executor()), host_(host), router_(router) {}

void LiveSession::Start(Request upgrade) {
    const std::string_view target = upgrade.target();
    wantsRows_ =
        target.find("?rows=0") == std::string_view::npos && target.find("&rows=0") == std::string_view::npos;
    beast::get_lowest_layer(socket_).expires_never();
    socket_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
    socket_.read_message_max(kMaxIncomingMessage);
    socket_.async_accept(upgrade,
                         [self = shared_from_this()](beast::error_code failure) { self->Accepted(failure); });
}

void LiveSession::Accepted(beast::error_code failure) {
    if (failure) {
        return;
    }
    open_ = true;
    texts_.push_back(HelloMessage());
    const std::shared_ptr<const Picture> frame = host_.Feed().Frame();
    if (frame && wantsRows_) {
        unsent_ = RowSpan{0, frame->height() - 1};
    }
    host_.Feed().Add(shared_from_this(), wantsRows_);
    Read();
    SendNext();
}

std::string LiveSession::HelloMessage() const {
    const HostStatus status = host_.Status();
    nlohmann::json hello = {{"type", "hello"},
                            {"name", host_.Config().name},
                            {"state", HostStateName(status.state)},
                            {"reason", status.reason},
                            {"model", status.model},
                            {"lock", nlohmann::json::parse(router_.LockJson(host_))}};
    return hello.dump();
}

void LiveSession::OnRows(RowSpan rows) {
    boost::asio::post(executor_, [self = shared_from_this(), rows] {
        if (!self->open_) {
            return;
        }
        self->unsent_ = self->unsent_ ? RowSpan{std::min(self->unsent_->first, rows.first),
                                                std::max(self->unsent_->last, rows.last)}
                                      : rows;
        self->SendNext();
    });
}

void LiveSession::OnMessage(const std::string& json) {
    boost::asio::post(executor_, [self = shared_from_this(), json] {
        if (!self->open_) {
            return;
        }
        if (self->texts_.size() >= kMaxQueuedTexts) {
            self->texts_.pop_front();
        }
        self->texts_.push_back(json);
        self->SendNext();
    });
}

void LiveSession::Read() {
    // The viewer sends nothing we use; reading keeps the pings answered and sees the close.
    socket_.async_read(incoming_, [self = shared_from_this()](beast::error_code failure, std::size_t) {
        if (failure) {
            self->End();
            return;
        }
        self->incoming_.consume(self->incoming_.size());
        self->Read();
    });
}

void LiveSession::SendNext() {
    if (sending_ || !open_) {
        return;
    }
    bool binary = false;
    if (!texts_.empty()) {
        outgoing_ = std::move(texts_.front());
        texts_.pop_front();
    } else if (unsent_) {
        const std::shared_ptr<const Picture> frame = host_.Feed().Frame();
        if (!frame) {
            return;
        }
        RowSpan rows = *unsent_;
        if (frame->width() != sentWidth_ || frame->height() != sentHeight_) {
            rows = {0, frame->height() - 1}; // a new size: the viewer needs every row
        }
        unsent_.reset();
        sentWidth_ = frame->width();
        sentHeight_ = frame->height();
        outgoing_ = RowMessage(*frame, rows);
        binary = true;
    } else {
        return;
    }
    sending_ = true;
    socket_.binary(binary);
    socket_.async_write(
        boost::asio::buffer(outgoing_),
        [self = shared_from_this()](beast::error_code failure, std::size_t) { self->Sent(failure); });
}

void LiveSession::Sent(beast::error_code failure) {
    sending_ = false;
    if (failure) {
        End();
        return;
    }
    SendNext();
}

void LiveSession::End() {
    if (!open_) {
        return;
    }
    open_ = false;
    texts_.clear();
    host_.Feed().Remove(this);
    beast::error_code ignored;
    beast::get_lowest_layer(socket_).socket().shutdown(boost::asio::ip::tcp::socket::shutdown_both, ignored);
}

} // namespace panelgrab::server
