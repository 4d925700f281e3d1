#include "sim/sim_port_spec.h"

namespace panelgrab::sim {

namespace {

constexpr std::string_view kSimName = "sim";
constexpr std::string_view kSeparator = ",--";

} // namespace

std::optional<std::vector<std::string>> SimArgumentsOf(std::string_view portName) {
    if (portName == kSimName) {
        return std::vector<std::string>{};
    }
    if (!portName.starts_with(kSimName) || portName.size() == kSimName.size() ||
        portName[kSimName.size()] != ':') {
        return std::nullopt;
    }
    std::string_view rest = portName.substr(kSimName.size() + 1);
    std::vector<std::string> args;
    while (!rest.empty()) {
        std::size_t next = rest.find(kSeparator);
        if (next == std::string_view::npos) {
            args.emplace_back(rest);
            break;
        }
        if (next > 0) {
            args.emplace_back(rest.substr(0, next));
        }
        rest = rest.substr(next + 1); // keep the "--" of the next option
    }
    return args;
}

} // namespace panelgrab::sim
