#include "transport/ports/port_names.h"

#include <algorithm>
#include <cctype>

#include "common/ascii_text.h"

namespace panelgrab {
namespace {

bool IsDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// The digits from `at` on, leading zeros dropped; `at` moves past them.
std::string NumberAt(const std::string& text, std::size_t& at) {
    const std::size_t start = at;
    while (at < text.size() && IsDigit(text[at])) {
        ++at;
    }
    std::string number = text.substr(start, at - start);
    number.erase(0, std::min(number.find_first_not_of('0'), number.size()));
    return number;
}

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

PortScheme SchemeOfPortName(std::string_view portName) {
    if (StartsWithIgnoringCase(portName, "tcp://") || StartsWithIgnoringCase(portName, "socket://")) {
        return PortScheme::Tcp;
    }
    if (StartsWithIgnoringCase(portName, "rfc2217://")) {
        return PortScheme::Rfc2217;
    }
    return PortScheme::Local;
}

bool NaturalLess(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            const std::string numberA = NumberAt(a, i);
            const std::string numberB = NumberAt(b, j);
            if (numberA.size() != numberB.size()) {
                return numberA.size() < numberB.size();
            }
            if (numberA != numberB) {
                return numberA < numberB;
            }
            continue;
        }
        if (a[i] != b[j]) {
            return a[i] < b[j];
        }
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

} // namespace panelgrab
