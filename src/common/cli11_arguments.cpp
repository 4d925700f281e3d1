#include "common/cli11_arguments.h"

#include <algorithm>

namespace panelgrab {

std::vector<std::string> Cli11Arguments(const std::vector<std::string>& args) {
    std::vector<std::string> words;
    for (const std::string& arg : args) {
        if (arg.starts_with("--") && arg.size() > 3 && arg.back() == '=') {
            words.push_back(arg.substr(0, arg.size() - 1));
            words.emplace_back();
        } else {
            words.push_back(arg);
        }
    }
    std::reverse(words.begin(), words.end());
    return words;
}

std::string Cli11ErrorText(const std::string& what) {
    if (std::size_t at = what.find(" was given a disallowed flag override"); at != std::string::npos) {
        return "--" + what.substr(0, at) + " takes no value";
    }
    if (std::size_t at = what.find(": 1 required"); at != std::string::npos) {
        return what.substr(0, at) + " needs a value";
    }
    return what;
}

} // namespace panelgrab
