#pragma once

#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <deque>
#include <memory>
#include <optional>
#include <string>

#include "server/api_router.h"
#include "server/live_feed.h"
#include "server/phone_host.h"

namespace panelgrab::server {

// The bytes of a row message: a 12-byte header (kind 1, display, width, height, first row, row
// count, 0; all little-endian, 16-bit after the two first bytes) and the rows' RGB pixels.
std::string RowMessage(const Picture& frame, RowSpan rows);
inline constexpr std::size_t kRowHeaderBytes = 12;

// One WebSocket viewer of one phone. It holds no queue of pictures: changed rows only widen the
// span still to send, and each send takes the newest picture, so a slow viewer skips pictures
// instead of falling behind, and never delays anyone else. Texts (key events, state and lock
// changes) wait in a short queue whose oldest entries give way.
//
// Threading: OnRows and OnMessage come from the phone's threads and hop onto the connection's
// executor; everything else runs there.
class LiveSession : public LiveListener, public std::enable_shared_from_this<LiveSession> {
public:
    static constexpr std::size_t kMaxQueuedTexts = 64;

    LiveSession(boost::beast::tcp_stream stream, PhoneHost& host, ApiRouter& router);
    void Start(Request upgrade);

    void OnRows(RowSpan rows) override;
    void OnMessage(const std::string& json) override;

private:
    void Accepted(boost::beast::error_code failure);
    void Read();
    void SendNext();
    void Sent(boost::beast::error_code failure);
    void End();
    std::string HelloMessage() const;

    boost::beast::websocket::stream<boost::beast::tcp_stream> socket_;
    // Copied once: the phone's threads post to it without touching the socket.
    const boost::asio::any_io_executor executor_;
    PhoneHost& host_;
    ApiRouter& router_;
    boost::beast::flat_buffer incoming_;
    std::deque<std::string> texts_;
    std::optional<RowSpan> unsent_;
    int32_t sentWidth_ = 0;
    int32_t sentHeight_ = 0;
    std::string outgoing_;
    bool wantsRows_ = true; // "?rows=0": only the texts
    bool sending_ = false;
    bool open_ = false;
};

} // namespace panelgrab::server
