#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "server/phone_config.h"

namespace panelgrab::server {

// What the server's command line (and its config file) choose.
struct ServerOptions {
    std::vector<PhoneConfig> phones;
    std::string listenHost = "127.0.0.1";
    uint16_t listenPort = 8080;
    std::string tokenFile; // every API request carries the token this file holds
    bool noAuth = false;   // listening beyond this machine without a token, asked for explicitly
    std::string configFile;
    std::string webRoot;            // empty: the installed page, else the one in the source tree
    std::vector<std::string> peers; // other servers whose phones the page also shows
    bool fastTiming = false;        // the port's waits shrunk: for tests against simulated phones
    bool help = false;
    bool version = false;
};

// Parses the arguments after the program's name. False with a message in `error`.
bool ParseServerOptions(const std::vector<std::string>& args, ServerOptions& options, std::string& error);

// Splits "HOST:PORT" (an IPv6 host in brackets) into `options`. False with a message in `error`.
bool SetListenAddress(const std::string& text, ServerOptions& options, std::string& error);

// The rules that keep a server safe by default: a phone or more, distinct names, and an address
// beyond the loopback only with a token file or an explicit --no-auth. False with a message.
bool CheckServerOptions(const ServerOptions& options, std::string& error);

std::string ServerHelpText();

} // namespace panelgrab::server
