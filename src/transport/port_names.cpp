#include "transport/port_names.h"

#include <cctype>
#include <cstring>

namespace panelgrab {
namespace {

bool IsDigits(const std::string& text) {
    if (text.empty()) {
        return false;
    }
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

bool StartsWithIgnoringCase(const std::string& text, const char* prefix) {
    const std::size_t length = std::strlen(prefix);
    if (text.size() < length) {
        return false;
    }
    for (std::size_t i = 0; i < length; ++i) {
        if (std::toupper(static_cast<unsigned char>(text[i])) != prefix[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

bool IsNonePortName(const std::string& name) {
    return name.size() == 4 && StartsWithIgnoringCase(name, "NONE");
}

int ComPortNumber(const std::string& name) {
    if (!StartsWithIgnoringCase(name, "COM")) {
        return 0;
    }
    const std::string number = name.substr(3);
    // A number too long for a port is no port number.
    if (!IsDigits(number) || number.size() > 4) {
        return 0;
    }
    return std::stoi(number);
}

} // namespace panelgrab
