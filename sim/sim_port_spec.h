#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace panelgrab::sim {

// "--port sim" and "--port sim:OPTIONS" name the built-in simulated phone. OPTIONS are the
// simulator's own options joined by commas, each beginning with "--"; only a comma followed by
// "--" separates two options, so an option's value may hold commas ("--key-events=5,1;5,0").
// Gives the simulator's arguments for such a name (empty for plain "sim"), none for a real port.
std::optional<std::vector<std::string>> SimArgumentsOf(std::string_view portName);

} // namespace panelgrab::sim
