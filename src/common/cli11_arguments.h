#pragma once

#include <string>
#include <vector>

namespace panelgrab {

// The words of a command line as CLI11 takes them: last first, and "--name=" split into --name and
// an empty word, since CLI11 reads "--name=" as a --name that still lacks its value. So an empty
// value reaches the option's own check and is refused there in the option's own words.
std::vector<std::string> Cli11Arguments(const std::vector<std::string>& args);

// A CLI11 parse error's text (what()) in the programs' own words: "--name takes no value",
// "--name needs a value"; any other text as it is.
std::string Cli11ErrorText(const std::string& what);

} // namespace panelgrab
