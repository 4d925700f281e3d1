#pragma once

#include <sstream>
#include <string>
#include <vector>

namespace panelgrab::cli::test {

// The words of a command line without quoting: its parts split at each space.
inline std::vector<std::string> Words(const std::string& commandLine) {
    std::vector<std::string> words;
    std::istringstream in(commandLine);
    for (std::string word; std::getline(in, word, ' ');) {
        words.push_back(word);
    }
    return words;
}

} // namespace panelgrab::cli::test
