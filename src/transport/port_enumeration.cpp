#include "transport/port_enumeration.h"

#include <algorithm>
#include <cctype>
#include <dirent.h>

#include "transport/port_names.h"
#include "transport/serial_device.h"

namespace panelgrab {
namespace {

bool IsDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

std::vector<std::string> MatchingNames(const std::string& folder, const std::vector<std::string>& prefixes) {
    std::vector<std::string> found;
    DIR* directory = opendir(folder.c_str());
    if (directory == nullptr) {
        return found;
    }
    while (const dirent* entry = readdir(directory)) {
        const std::string name = entry->d_name;
        const bool matches = std::any_of(prefixes.begin(), prefixes.end(), [&](const std::string& prefix) {
            return MatchesDevicePattern(name, prefix);
        });
        if (matches) {
            found.push_back(name);
        }
    }
    closedir(directory);
    return found;
}

// Opening with the port's own exclusive open tells what opening it for real would; nothing is
// configured, so a device in use by the system is left as it was.
bool CanOpenNow(const std::string& path) {
    const auto device = CreateLocalSerialDevice();
    if (device->Open(path) != 0) {
        return false;
    }
    device->Close();
    return true;
}

} // namespace

const std::vector<std::string>& SerialDevicePrefixes() {
    static const std::vector<std::string> prefixes = {"ttyS",   "ttyUSB", "ttyACM", "rfcomm",
                                                      "ttyAMA", "ttyO",   "ttymxc", "ttySAC",
                                                      "ttyHS",  "ttyTHS", "ttyMSM", "ttyXRUSB"};
    return prefixes;
}

bool MatchesDevicePattern(const std::string& name, const std::string& prefix) {
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(), IsDigit);
}

bool NaturalLess(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            const std::size_t startA = i;
            const std::size_t startB = j;
            while (i < a.size() && IsDigit(a[i])) {
                ++i;
            }
            while (j < b.size() && IsDigit(b[j])) {
                ++j;
            }
            std::string numberA = a.substr(startA, i - startA);
            std::string numberB = b.substr(startB, j - startB);
            numberA.erase(0, std::min(numberA.find_first_not_of('0'), numberA.size()));
            numberB.erase(0, std::min(numberB.find_first_not_of('0'), numberB.size()));
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

bool EnumeratePorts(const std::string& folder, const std::vector<std::string>& prefixes,
                    std::vector<std::string>& names) {
    names.clear();
    std::vector<std::string> candidates = MatchingNames(folder, prefixes);
    std::sort(candidates.begin(), candidates.end(), NaturalLess);
    const bool systemFolder = folder == "/dev";
    for (const std::string& candidate : candidates) {
        const std::string path = folder + "/" + candidate;
        if (CanOpenNow(path)) {
            names.push_back(systemFolder ? candidate : path);
        }
    }
    return true;
}

bool EnumeratePorts(std::vector<std::string>& names) {
    return EnumeratePorts("/dev", SerialDevicePrefixes(), names);
}

} // namespace panelgrab
