// Port listing over a sysfs tree built in a temporary folder the way the kernel lays it out:
// class entries are links into the device tree, and each tty's "device" link points at the device
// above it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/scratch_folder.h"
#include "transport/ports/port_enumeration.h"

namespace panelgrab {
namespace {

namespace fs = std::filesystem;

class FakeSystem {
public:
    FakeSystem() {
        fs::create_directories(ClassTty());
        fs::create_directories(ById());
    }

    std::string ClassTty() const { return (root_ / "class" / "tty").string(); }
    std::string Dev() const { return (root_ / "dev").string(); }
    std::string ById() const { return (root_ / "dev" / "serial" / "by-id").string(); }

    // A USB device (below devices/) with its descriptor files; `texts` are manufacturer, product and
    // serial, an empty one left out.
    fs::path UsbDevice(const std::string& path, const std::string& vendor, const std::string& product,
                       const std::vector<std::string>& texts) {
        const fs::path folder = root_ / "devices" / path;
        Write(folder / "idVendor", vendor + "\n");
        Write(folder / "idProduct", product + "\n");
        const char* names[] = {"manufacturer", "product", "serial"};
        for (std::size_t i = 0; i < texts.size(); ++i) {
            if (!texts[i].empty()) {
                Write(folder / names[i], texts[i] + "\n");
            }
        }
        return folder;
    }

    // A tty NAME whose device is `device` (below devices/, none for a virtual terminal), listed in
    // class/tty, with a node in dev/ when `node`. Returns the tty's own folder.
    fs::path Tty(const std::string& name, const std::string& device, bool node = true) {
        const fs::path deviceFolder = root_ / "devices" / (device.empty() ? "virtual/tty" : device);
        const fs::path folder = deviceFolder / "tty" / name;
        fs::create_directories(folder);
        Write(folder / "uevent", "MAJOR=4\nMINOR=64\nDEVNAME=" + name + "\n");
        if (!device.empty()) {
            fs::create_symlink(fs::relative(deviceFolder, folder), folder / "device");
        }
        fs::create_symlink(fs::relative(folder, ClassTty()), fs::path(ClassTty()) / name);
        if (node) {
            Write(fs::path(Dev()) / name, "");
        }
        return folder;
    }

    static void Write(const fs::path& file, const std::string& text) {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << text;
    }

private:
    test::ScratchFolder scratch_;
    const fs::path& root_ = scratch_.path();
};

TEST(PortEnumeration, RealDevicesOnlyWithUsbDetailsInNaturalOrder) {
    EXPECT_TRUE(ListPorts("/nonexistent/class/tty", "/nonexistent/dev", "/nonexistent/by-id").empty());
    FakeSystem system;
    const std::string usb = "pci0000:00/0000:00:14.0/usb1/";
    system.UsbDevice(usb + "1-1", "0403", "6001", {"FTDI", "FT232R USB UART", "A9XYZ"});
    system.Tty("ttyUSB0", usb + "1-1/1-1:1.0/ttyUSB0");
    // A phone's modem: descriptor strings come from the device and may hold control characters.
    system.UsbDevice(usb + "1-2", "0fce", "d0a1", {"Maker\x01 Ltd\r", "  Phone Modem  ", ""});
    system.Tty("ttyACM0", usb + "1-2/1-2:1.1");
    // On-board UARTs: the 8250 driver's placeholder lines report type 0 (no UART found).
    FakeSystem::Write(system.Tty("ttyS0", "pnp0/00:05") / "type", "4\n");
    FakeSystem::Write(system.Tty("ttyS1", "platform/serial8250") / "type", "0\n");
    FakeSystem::Write(system.Tty("ttyS2", "platform/serial8250") / "type", "4\n");
    FakeSystem::Write(system.Tty("ttyS10", "platform/serial8250") / "type", "4\n");
    system.Tty("ttyAMA0", "platform/soc/fe201000.serial");     // a driver without the type attribute
    system.Tty("tty0", "");                                    // a virtual terminal
    system.Tty("ttyUSB9", usb + "1-3/1-3:1.0/ttyUSB9", false); // in sysfs, but no node in /dev
    fs::create_symlink("../../ttyUSB0",
                       fs::path(system.ById()) / "usb-FTDI_FT232R_USB_UART_A9XYZ-if00-port0");
    fs::create_symlink("../../ttyUSB7", fs::path(system.ById()) / "usb-gone-if00");

    // Each port whole: path, ids, manufacturer, description, serial number and by-id link.
    std::vector<std::vector<std::string>> found;
    for (const PortInfo& port : ListPorts(system.ClassTty(), system.Dev(), system.ById())) {
        found.push_back({port.path, port.vendorId, port.productId, port.manufacturer, port.description,
                         port.serialNumber, port.byIdPath});
    }
    const auto dev = [&system](const std::string& name) { return system.Dev() + "/" + name; };
    const std::string byId = system.ById() + "/usb-FTDI_FT232R_USB_UART_A9XYZ-if00-port0";
    EXPECT_EQ(found, (std::vector<std::vector<std::string>>{
                         {dev("ttyACM0"), "0fce", "d0a1", "Maker  Ltd", "Phone Modem", "", ""},
                         {dev("ttyAMA0"), "", "", "", "", "", ""},
                         {dev("ttyS0"), "", "", "", "", "", ""},
                         {dev("ttyS2"), "", "", "", "", "", ""},
                         {dev("ttyS10"), "", "", "", "", "", ""},
                         {dev("ttyUSB0"), "0403", "6001", "FTDI", "FT232R USB UART", "A9XYZ", byId},
                     }));
}

// A port with only its ids, and one with nothing: PortsCommand.OnePortALineAndAPlainSaying...
TEST(PortEnumeration, OneLineDescriptions) {
    const std::pair<PortInfo, const char*> cases[] = {
        {{"/dev/ttyUSB0", "FT232R USB UART", "FTDI", "A9XYZ", "0403", "6001",
          "/dev/serial/by-id/usb-FTDI-if00-port0"},
         "/dev/ttyUSB0  0403:6001 FTDI FT232R USB UART, serial A9XYZ, /dev/serial/by-id/usb-FTDI-if00-port0"},
        {{"/dev/ttyACM1", "", "", "123", "", "", ""}, "/dev/ttyACM1  serial 123"},
    };
    for (const auto& [port, line] : cases) {
        EXPECT_EQ(DescribePort(port), line);
    }
}

} // namespace
} // namespace panelgrab
