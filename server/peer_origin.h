#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace panelgrab::server {

// The origin a browser names for pages of the server at `url` ("http://HOST[:PORT][/PATH]"): the
// scheme and host in small letters, the port unless it is the scheme's own, no path. None for
// anything but an http or https URL with a host.
std::optional<std::string> PeerOrigin(std::string_view url);

} // namespace panelgrab::server
