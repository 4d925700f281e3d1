#include "server/lab_server.h"

#include <boost/asio/post.hpp>

#include "server/http_session.h"

namespace panelgrab::server {

namespace asio = boost::asio;

LabServer::LabServer(const ServerOptions& options, AccessRule access, std::string webRoot,
                     PhoneHost::Timing timing)
    : options_(options), acceptor_(io_) {
    timing.fastPort = timing.fastPort || options.fastTiming;
    std::vector<PhoneHost*> hosts;
    for (const PhoneConfig& entry : options.phones) {
        hosts_.push_back(std::make_unique<PhoneHost>(entry, timing));
        hosts.push_back(hosts_.back().get());
    }
    router_ =
        std::make_unique<ApiRouter>(hosts, std::move(access), StaticFiles(std::move(webRoot)), options.peers,
                                    [this](std::function<void()> job) { asio::post(io_, std::move(job)); });
}

LabServer::~LabServer() {
    Stop();
}

bool LabServer::Start(std::string& error) {
    boost::system::error_code failure;
    const asio::ip::tcp::endpoint endpoint(asio::ip::make_address(options_.listenHost, failure),
                                           options_.listenPort);
    if (!failure) {
        acceptor_.open(endpoint.protocol(), failure);
    }
    if (!failure) {
        acceptor_.set_option(asio::socket_base::reuse_address(true), failure);
        acceptor_.bind(endpoint, failure);
    }
    if (!failure) {
        acceptor_.listen(asio::socket_base::max_listen_connections, failure);
    }
    if (failure) {
        error = "cannot listen on " + options_.listenHost + ":" + std::to_string(options_.listenPort) + ": " +
                failure.message();
        return false;
    }
    port_ = acceptor_.local_endpoint().port();
    for (const std::unique_ptr<PhoneHost>& host : hosts_) {
        host->Start();
    }
    Accept();
    network_ = std::thread([this] { io_.run(); });
    return true;
}

void LabServer::Stop() {
    if (network_.joinable()) {
        asio::post(io_, [this] {
            boost::system::error_code ignored;
            acceptor_.close(ignored);
        });
    }
    for (const std::unique_ptr<PhoneHost>& host : hosts_) {
        host->Stop();
    }
    io_.stop();
    if (network_.joinable()) {
        network_.join();
    }
}

PhoneHost* LabServer::Host(const std::string& name) {
    for (const std::unique_ptr<PhoneHost>& host : hosts_) {
        if (host->Config().name == name) {
            return host.get();
        }
    }
    return nullptr;
}

void LabServer::Accept() {
    acceptor_.async_accept([this](boost::system::error_code failure, asio::ip::tcp::socket socket) {
        if (failure == asio::error::operation_aborted || !acceptor_.is_open()) {
            return;
        }
        if (!failure) {
            std::make_shared<HttpSession>(std::move(socket), *router_)->Start();
        }
        Accept();
    });
}

} // namespace panelgrab::server
