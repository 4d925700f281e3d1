#include "server/server_options.h"

#include "server/peer_origin.h"
#include "session/session.h"

#include <boost/asio/ip/address.hpp>
#include <charconv>
#include <set>

namespace panelgrab::server {

namespace {

bool TakeValue(const std::vector<std::string>& args, std::size_t& i, std::string& value, std::string& error) {
    const std::string& arg = args[i];
    if (const std::size_t equals = arg.find('='); equals != std::string::npos && arg.rfind("--", 0) == 0) {
        value = arg.substr(equals + 1);
        return true;
    }
    if (i + 1 >= args.size()) {
        error = arg + " needs a value";
        return false;
    }
    value = args[++i];
    return true;
}

std::string OptionName(const std::string& arg) {
    return arg.substr(0, arg.find('='));
}

bool IsLoopback(const std::string& host) {
    if (host == "localhost") {
        return true;
    }
    boost::system::error_code failure;
    const boost::asio::ip::address address = boost::asio::ip::make_address(host, failure);
    return !failure && address.is_loopback();
}

} // namespace

bool SetListenAddress(const std::string& text, ServerOptions& options, std::string& error) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) {
        error = "--listen " + text + ": expected ADDRESS:PORT";
        return false;
    }
    std::string host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    const std::string digits = text.substr(colon + 1);
    unsigned port = 0;
    const auto [end, failure] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
    if (digits.empty() || failure != std::errc() || end != digits.data() + digits.size() || port > 65535) {
        error = "--listen " + text + ": the port is not a number from 0 to 65535";
        return false;
    }
    boost::system::error_code invalid;
    if (host != "localhost" && (boost::asio::ip::make_address(host, invalid), invalid)) {
        error = "--listen " + text + ": \"" + host + "\" is not an IP address";
        return false;
    }
    options.listenHost = host == "localhost" ? "127.0.0.1" : host;
    options.listenPort = static_cast<uint16_t>(port);
    return true;
}

bool ParseServerOptions(const std::vector<std::string>& args, ServerOptions& options, std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string name = OptionName(args[i]);
        std::string value;
        if (name == "--help" || name == "-h") {
            options.help = true;
        } else if (name == "--version") {
            options.version = true;
        } else if (name == "--no-auth") {
            options.noAuth = true;
        } else if (name == "--fast-timing") {
            options.fastTiming = true;
        } else if (name == "--phone") {
            if (!TakeValue(args, i, value, error)) {
                return false;
            }
            const std::optional<PhoneConfig> entry = ParsePhoneConfig(value, error);
            if (!entry) {
                error = "--phone " + value + ": " + error;
                return false;
            }
            options.phones.push_back(*entry);
        } else if (name == "--listen") {
            if (!TakeValue(args, i, value, error) || !SetListenAddress(value, options, error)) {
                return false;
            }
        } else if (name == "--token-file" || name == "--config" || name == "--web-root" || name == "--peer") {
            if (!TakeValue(args, i, value, error)) {
                return false;
            }
            if (name == "--peer") {
                options.peers.push_back(value);
            } else {
                (name == "--token-file" ? options.tokenFile
                 : name == "--config"   ? options.configFile
                                        : options.webRoot) = value;
            }
        } else {
            error = "unknown option " + args[i] + " (see --help)";
            return false;
        }
    }
    return true;
}

bool CheckServerOptions(const ServerOptions& options, std::string& error) {
    if (options.phones.empty()) {
        error = "no phone: name one with --phone NAME=PORT[@BAUD] or in --config";
        return false;
    }
    std::set<std::string> names;
    for (const PhoneConfig& phone : options.phones) {
        if (!names.insert(phone.name).second) {
            error = "the phone name \"" + phone.name + "\" is given twice";
            return false;
        }
        if (const Result<void> port = CheckSimulatorPort(phone.port); !port) {
            error = "--phone " + phone.name + "=" + FailureMessage(port.failure());
            return false;
        }
    }
    for (const std::string& peer : options.peers) {
        if (!PeerOrigin(peer)) {
            error = "--peer " + peer + ": expected http://HOST[:PORT] (or https://)";
            return false;
        }
    }
    if (!options.tokenFile.empty() && options.noAuth) {
        error = "--token-file and --no-auth exclude each other";
        return false;
    }
    if (!IsLoopback(options.listenHost) && options.tokenFile.empty() && !options.noAuth) {
        error = "listening on " + options.listenHost +
                " lets other machines press keys on the phones: give --token-file FILE, or --no-auth to "
                "allow anyone who reaches it";
        return false;
    }
    return true;
}

std::string ServerHelpText() {
    return R"(Usage: panelgrab-server --phone NAME=PORT[@BAUD] [--phone ...] [options]

Serves the phones' screens, keys and locks over HTTP and WebSocket, and a web page at /.

  --phone NAME=PORT[@BAUD]  a phone: PORT as panelgrab-cli takes it (/dev/ttyACM0, a by-id name,
                            tcp://HOST:PORT, rfc2217://HOST:PORT, sim, sim:OPTIONS); BAUD 115200
  --config FILE             phones and settings from a YAML or JSON file (see docs/LAB-SERVER.md)
  --listen ADDRESS:PORT     where to listen (default 127.0.0.1:8080; port 0 picks a free one)
  --token-file FILE         every request must carry the token this file holds
  --no-auth                 allow listening beyond this machine without a token
  --peer URL                another server whose phones the page shows too (repeatable)
  --web-root DIR            serve the page from DIR instead of the installed one
  --fast-timing             shrink the port's waits (for tests against simulated phones)
  --version, --help
)";
}

} // namespace panelgrab::server
