#include "transport/ports/port_enumeration.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "transport/ports/port_names.h"

namespace panelgrab {
namespace {

namespace fs = std::filesystem;

// No attribute read here is longer; a bound keeps a strange file from costing memory.
constexpr std::streamsize kAttributeLimit = 256;
// The USB device sits a few levels above its tty; the bound only guards against a looping tree.
constexpr int kMaxAncestors = 16;
// serial_core's PORT_UNKNOWN: the driver reserved the line but found no UART behind it.
constexpr const char* kUnknownUartType = "0";

// A sysfs attribute as one line of text, "" when absent. USB descriptor strings come from the
// device and may hold anything: control characters become spaces, and the ends are trimmed.
std::string ReadAttribute(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return {};
    }
    std::string text(static_cast<std::size_t>(kAttributeLimit), '\0');
    in.read(text.data(), kAttributeLimit);
    text.resize(static_cast<std::size_t>(in.gcount()));
    text = text.substr(0, text.find('\n'));
    std::replace_if(
        text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; },
        ' ');
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The device node's name below /dev: uevent's DEVNAME; else the class entry's name, where sysfs
// writes '!' for a '/' in it.
std::string DeviceNodeName(const fs::path& classEntry) {
    std::ifstream in(classEntry / "uevent");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("DEVNAME=", 0) == 0 && line.size() > 8) {
            return line.substr(8);
        }
    }
    std::string name = classEntry.filename().string();
    std::replace(name.begin(), name.end(), '!', '/');
    return name;
}

// A serial_core line (ttyS and most on-board UARTs) with no UART found: the 8250 driver reserves
// several such placeholder lines on every PC. A tty without the type attribute is kept: it has a
// device behind it, and a listed port that fails to open is better than a real one hidden.
bool IsEmptyUartLine(const fs::path& classEntry) {
    std::error_code error;
    return fs::exists(classEntry / "type", error) && ReadAttribute(classEntry / "type") == kUnknownUartType;
}

// Walks up from the tty's device to the USB device that carries idVendor and idProduct (the
// interface of an ACM modem is one level below it, a USB serial converter's port two) and takes
// its descriptor strings. Ends at the top of the device tree.
void ReadUsbAttributes(const fs::path& deviceFolder, PortInfo& port) {
    fs::path folder = deviceFolder;
    for (int level = 0; level < kMaxAncestors && folder.has_relative_path(); ++level) {
        if (folder.filename() == "devices") {
            return;
        }
        if (std::string vendor = ReadAttribute(folder / "idVendor"); !vendor.empty()) {
            port.vendorId = std::move(vendor);
            port.productId = ReadAttribute(folder / "idProduct");
            port.manufacturer = ReadAttribute(folder / "manufacturer");
            port.description = ReadAttribute(folder / "product");
            port.serialNumber = ReadAttribute(folder / "serial");
            return;
        }
        folder = folder.parent_path();
    }
}

// The entries of a folder; none when it is missing or unreadable.
std::vector<fs::path> EntriesOf(const std::string& folder) {
    std::vector<fs::path> entries;
    std::error_code error;
    for (fs::directory_iterator it(folder, error); !error && it != fs::directory_iterator();
         it.increment(error)) {
        entries.push_back(it->path());
    }
    return entries;
}

// The by-id links (udev makes them for USB devices) with the device each resolves to.
std::vector<std::pair<fs::path, fs::path>> ResolvedLinks(const std::string& byIdFolder) {
    std::vector<std::pair<fs::path, fs::path>> links;
    for (const fs::path& link : EntriesOf(byIdFolder)) {
        std::error_code error;
        fs::path target = fs::canonical(link, error);
        if (!error) {
            links.emplace_back(link, std::move(target));
        }
    }
    std::sort(links.begin(), links.end());
    return links;
}

// The port of one /sys/class/tty entry, or false when it is no real serial port.
bool PortOf(const fs::path& classEntry, const std::string& devFolder,
            const std::vector<std::pair<fs::path, fs::path>>& byIdLinks, PortInfo& port) {
    std::error_code error;
    // Virtual terminals, pseudo-terminals and the console have no device behind them.
    const fs::path deviceFolder = fs::canonical(classEntry / "device", error);
    if (error || IsEmptyUartLine(classEntry)) {
        return false;
    }
    port.path = (fs::path(devFolder) / DeviceNodeName(classEntry)).string();
    // Only stat(): a sysfs tree may show devices this system's /dev does not have.
    const fs::path node = fs::canonical(port.path, error);
    if (error) {
        return false;
    }
    ReadUsbAttributes(deviceFolder, port);
    const auto link = std::find_if(byIdLinks.begin(), byIdLinks.end(),
                                   [&](const auto& entry) { return entry.second == node; });
    if (link != byIdLinks.end()) {
        port.byIdPath = link->first.string();
    }
    return true;
}

} // namespace

std::vector<PortInfo> ListPorts() {
    return ListPorts("/sys/class/tty", "/dev", "/dev/serial/by-id");
}

std::vector<PortInfo> ListPorts(const std::string& sysClassTty, const std::string& devFolder,
                                const std::string& byIdFolder) {
    // Everything is learnt from sysfs and the names in /dev: opening a tty raises DTR and RTS and
    // closing drops them, which resets many boards and hangs up modems nobody chose.
    const auto byIdLinks = ResolvedLinks(byIdFolder);
    std::vector<PortInfo> ports;
    for (const fs::path& entry : EntriesOf(sysClassTty)) {
        PortInfo port;
        if (PortOf(entry, devFolder, byIdLinks, port)) {
            ports.push_back(std::move(port));
        }
    }
    std::sort(ports.begin(), ports.end(),
              [](const PortInfo& a, const PortInfo& b) { return NaturalLess(a.path, b.path); });
    return ports;
}

} // namespace panelgrab
