#include "transport/port_holders.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "phone/ascii_text.h"

namespace panelgrab {
namespace {

namespace fs = std::filesystem;

bool IsNumber(const std::string& text) {
    if (text.empty()) {
        return false;
    }
    for (char c : text) {
        if (!IsDigitAscii(c)) {
            return false;
        }
    }
    return true;
}

bool HasOpen(const fs::path& fdFolder, const fs::path& device) {
    std::error_code error;
    for (fs::directory_iterator it(fdFolder, error), end; !error && it != end; it.increment(error)) {
        std::error_code linkError;
        const fs::path target = fs::read_symlink(it->path(), linkError);
        if (!linkError && target == device) {
            return true;
        }
    }
    return false;
}

std::string CommandName(const fs::path& processFolder) {
    std::ifstream comm(processFolder / "comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

} // namespace

std::vector<PortHolder> FindPortHolders(const std::string& devicePath, const std::string& procFolder) {
    std::vector<PortHolder> holders;
    std::error_code error;
    // /dev/serial/by-id names and other links lead to the device the descriptors name.
    fs::path device = fs::canonical(devicePath, error);
    if (error) {
        device = devicePath;
    }
    for (fs::directory_iterator it(procFolder, error), end; !error && it != end; it.increment(error)) {
        const std::string pid = it->path().filename().string();
        if (IsNumber(pid) && HasOpen(it->path() / "fd", device)) {
            holders.push_back({std::stoi(pid), CommandName(it->path())});
        }
    }
    return holders;
}

std::vector<PortHolder> FindPortHolders(const std::string& devicePath) {
    return FindPortHolders(devicePath, "/proc");
}

} // namespace panelgrab
