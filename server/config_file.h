#pragma once

#include <string>

#include "server/server_options.h"

namespace panelgrab::server {

// Reads a YAML (or JSON) config file into `options`:
//
//   listen: 0.0.0.0:8080
//   token_file: /etc/panelgrab/token
//   no_auth: false
//   peers: [http://lab2:8080]
//   phones:
//     - {name: a, port: /dev/serial/by-id/usb-phone-a, baud: 115200}
//     - {name: b, port: "sim:--animate"}
//
// The command line is read after the file, so its settings win and its phones come last. False
// with a message.
bool LoadConfigFile(const std::string& path, ServerOptions& options, std::string& error);

} // namespace panelgrab::server
