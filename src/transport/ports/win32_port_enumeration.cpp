#include "transport/ports/win32_port_enumeration.h"

#include <windows.h>

#include <setupapi.h>

#include <algorithm>
#include <cctype>
#include <vector>

#include "common/ascii_text.h"
#include "common/win32_text.h"
#include "transport/ports/port_names.h"

namespace panelgrab {
namespace {

// The device setup classes of serial ports and of modems (which are serial ports too).
constexpr GUID kPortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
constexpr GUID kModemClass = {0x4d36e96d, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t end = text.find(separator); end != std::string::npos;
         end = text.find(separator, start)) {
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

// The four hex digits after `key` in `text` (upper case), in lower case; empty when there are none.
std::string HexAfter(const std::string& text, const char* key) {
    const std::size_t at = text.find(key);
    if (at == std::string::npos) {
        return {};
    }
    const std::string digits = text.substr(at + std::char_traits<char>::length(key), 4);
    const bool hex = digits.size() == 4 && std::all_of(digits.begin(), digits.end(), [](char c) {
                         return std::isxdigit(static_cast<unsigned char>(c)) != 0;
                     });
    if (!hex) {
        return {};
    }
    std::string lower = digits;
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return lower;
}

// The REG_SZ value data of a registry value, as UTF-8; empty when it is missing or no text.
std::string TextValue(HKEY key, const wchar_t* name) {
    wchar_t data[256];
    DWORD type = 0;
    DWORD size = sizeof data - sizeof(wchar_t);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return {};
    }
    data[size / sizeof(wchar_t)] = L'\0';
    return Utf8FromWide(data);
}

// The ports the serial drivers announce: the values of HKLM\HARDWARE\DEVICEMAP\SERIALCOMM.
std::vector<PortInfo> AnnouncedPorts() {
    std::vector<PortInfo> ports;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS) {
        return ports;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = static_cast<DWORD>(std::size(name));
        wchar_t data[256];
        DWORD type = 0;
        DWORD size = sizeof data - sizeof(wchar_t);
        const LONG status = RegEnumValueW(key, index, name, &nameLength, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data), &size);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (status != ERROR_SUCCESS || type != REG_SZ) {
            continue;
        }
        data[size / sizeof(wchar_t)] = L'\0';
        PortInfo port;
        port.path = Utf8FromWide(data);
        if (!port.path.empty()) {
            ports.push_back(port);
        }
    }
    RegCloseKey(key);
    return ports;
}

std::string DeviceProperty(HDEVINFO devices, SP_DEVINFO_DATA& device, DWORD property) {
    wchar_t text[512];
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(devices, &device, property, &type, reinterpret_cast<BYTE*>(text),
                                           sizeof text - sizeof(wchar_t), nullptr) ||
        type != REG_SZ) {
        return {};
    }
    text[std::size(text) - 1] = L'\0';
    return Utf8FromWide(text);
}

void DescribeDevice(HDEVINFO devices, SP_DEVINFO_DATA& device, PortInfo& port) {
    port.description = DeviceProperty(devices, device, SPDRP_DEVICEDESC);
    if (port.description.empty()) {
        port.description = DeviceProperty(devices, device, SPDRP_FRIENDLYNAME);
    }
    port.manufacturer = DeviceProperty(devices, device, SPDRP_MFG);
    wchar_t instanceId[512];
    if (SetupDiGetDeviceInstanceIdW(devices, &device, instanceId, static_cast<DWORD>(std::size(instanceId)),
                                    nullptr)) {
        ReadUsbInstanceId(Utf8FromWide(instanceId), port);
    }
}

// Adds what Device Manager knows to the ports of one setup class; a port it does not know keeps
// its bare name.
void AddDeviceDetails(const GUID& setupClass, std::vector<PortInfo>& ports) {
    const HDEVINFO devices = SetupDiGetClassDevsW(&setupClass, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE) {
        return;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
        const HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE) {
            continue;
        }
        const std::string name = TextValue(key, L"PortName");
        RegCloseKey(key);
        for (PortInfo& port : ports) {
            if (!name.empty() && ToUpperAscii(port.path) == ToUpperAscii(name)) {
                DescribeDevice(devices, device, port);
            }
        }
    }
    SetupDiDestroyDeviceInfoList(devices);
}

} // namespace

void ReadUsbInstanceId(const std::string& instanceId, PortInfo& port) {
    const std::vector<std::string> parts = Split(instanceId, '\\');
    if (parts.size() < 2) {
        return;
    }
    const std::string ids = ToUpperAscii(parts[1]);
    const std::string vendor = HexAfter(ids, "VID_");
    const std::string product = HexAfter(ids, "PID_");
    if (vendor.empty() || product.empty()) {
        return;
    }
    port.vendorId = vendor;
    port.productId = product;
    if (ToUpperAscii(parts[0]) == "FTDIBUS") {
        const std::vector<std::string> fields = Split(parts[1], '+');
        if (fields.size() >= 3 && !fields[2].empty()) {
            port.serialNumber = fields[2];
        }
    } else if (parts.size() >= 3 && !parts[2].empty() && parts[2].find('&') == std::string::npos) {
        port.serialNumber = parts[2];
    }
}

bool ComPortLess(const PortInfo& a, const PortInfo& b) {
    const int numberA = ComPortNumber(a.path);
    const int numberB = ComPortNumber(b.path);
    if ((numberA > 0) != (numberB > 0)) {
        return numberA > 0;
    }
    if (numberA != numberB) {
        return numberA < numberB;
    }
    return a.path < b.path;
}

std::vector<PortInfo> ListPorts() {
    std::vector<PortInfo> ports = AnnouncedPorts();
    std::sort(ports.begin(), ports.end(), ComPortLess);
    // A driver may announce a port twice (under the device and an alias): list it once.
    ports.erase(std::unique(ports.begin(), ports.end(),
                            [](const PortInfo& a, const PortInfo& b) {
                                return ToUpperAscii(a.path) == ToUpperAscii(b.path);
                            }),
                ports.end());
    AddDeviceDetails(kPortsClass, ports);
    AddDeviceDetails(kModemClass, ports);
    return ports;
}

} // namespace panelgrab
