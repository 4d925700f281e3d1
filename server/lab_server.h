#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "server/access_rule.h"
#include "server/api_router.h"
#include "server/phone_host.h"
#include "server/server_options.h"

namespace panelgrab::server {

// The whole server: a host per phone, the router, and the network thread that accepts and serves
// the connections.
class LabServer {
public:
    LabServer(const ServerOptions& options, AccessRule access, std::string webRoot,
              PhoneHost::Timing timing = {});
    ~LabServer();
    LabServer(const LabServer&) = delete;
    LabServer& operator=(const LabServer&) = delete;

    // Listens, starts the phones' hosts and starts serving. False with a message.
    bool Start(std::string& error);
    // Ends the connections and the hosts; the phones are closed when it returns.
    void Stop();
    // The port listened on (the chosen one when the options asked for port 0).
    uint16_t Port() const { return port_; }
    PhoneHost* Host(const std::string& name);

private:
    void Accept();

    ServerOptions options_;
    std::vector<std::unique_ptr<PhoneHost>> hosts_;
    std::unique_ptr<ApiRouter> router_;
    boost::asio::io_context io_;
    boost::asio::ip::tcp::acceptor acceptor_;
    uint16_t port_ = 0;
    std::thread network_;
};

} // namespace panelgrab::server
