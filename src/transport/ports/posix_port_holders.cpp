#include "transport/ports/port_holders.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "common/ascii_text.h"

namespace panelgrab {
namespace {

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

// The descriptors in a process's fd folder that lead to the device; false when the folder cannot
// be read (a process that has just ended holds nothing and is no failure).
bool DescriptorsOf(const std::string& folder, uint64_t device, std::vector<int>& found) {
    DIR* descriptors = opendir(folder.c_str());
    if (descriptors == nullptr) {
        return errno == ENOENT;
    }
    while (const dirent* entry = readdir(descriptors)) {
        struct stat file {};
        if (entry->d_name[0] != '.' && fstatat(dirfd(descriptors), entry->d_name, &file, 0) == 0 &&
            S_ISCHR(file.st_mode) && file.st_rdev == device) {
            found.push_back(std::atoi(entry->d_name));
        }
    }
    closedir(descriptors);
    return true;
}

std::string CommandName(const std::string& processFolder) {
    std::ifstream comm(processFolder + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

// Linux numbers the client sides of pseudo-terminals (/dev/pts/N) with these majors, N in the minor.
constexpr unsigned kFirstPtySlaveMajor = 136;
constexpr unsigned kLastPtySlaveMajor = 143;
// /dev/ptmx, whose every open makes a new pseudo-terminal's master.
constexpr unsigned kPtmxMajor = 5;
constexpr unsigned kPtmxMinor = 2;

// N of /dev/pts/N for a pseudo-terminal's client side, -1 for any other device.
long PtyIndex(dev_t device) {
    const unsigned majorNumber = major(device);
    if (majorNumber < kFirstPtySlaveMajor || majorNumber > kLastPtySlaveMajor) {
        return -1;
    }
    return static_cast<long>((majorNumber - kFirstPtySlaveMajor) * 256 + minor(device));
}

// The pseudo-terminal a /dev/ptmx descriptor is the master of, from its fdinfo ("tty-index:\t4").
long MasterIndex(const std::string& processFolder, int descriptor) {
    std::ifstream info(processFolder + "/fdinfo/" + std::to_string(descriptor));
    const std::string key = "tty-index:";
    for (std::string line; std::getline(info, line);) {
        if (line.compare(0, key.size(), key) == 0) {
            return std::atol(line.c_str() + key.size());
        }
    }
    return -1;
}

// Whether the process holds the master of pseudo-terminal `index`.
bool HoldsMaster(const std::string& processFolder, long index) {
    std::vector<int> masters;
    DescriptorsOf(processFolder + "/fd", makedev(kPtmxMajor, kPtmxMinor), masters);
    for (int descriptor : masters) {
        if (MasterIndex(processFolder, descriptor) == index) {
            return true;
        }
    }
    return false;
}

} // namespace

std::vector<PortHolder> FindDeviceHolders(uint64_t device, const std::string& procFolder, bool* unreadable) {
    std::vector<PortHolder> holders;
    bool missed = false;
    DIR* processes = opendir(procFolder.c_str());
    if (processes == nullptr) {
        missed = true;
    }
    while (processes != nullptr) {
        const dirent* process = readdir(processes);
        if (process == nullptr) {
            closedir(processes);
            break;
        }
        const std::string pid = process->d_name;
        if (!IsNumber(pid)) {
            continue;
        }
        const std::string folder = procFolder + "/" + pid;
        std::vector<int> descriptors;
        missed = !DescriptorsOf(folder + "/fd", device, descriptors) || missed;
        if (!descriptors.empty()) {
            holders.push_back({std::atoi(pid.c_str()), CommandName(folder), std::move(descriptors)});
        }
    }
    if (unreadable != nullptr) {
        *unreadable = missed;
    }
    return holders;
}

std::vector<PortHolder> FindPortHolders(const std::string& devicePath, const std::string& procFolder) {
    struct stat file {};
    if (stat(devicePath.c_str(), &file) != 0 || !S_ISCHR(file.st_mode)) {
        return {};
    }
    return FindDeviceHolders(file.st_rdev, procFolder);
}

std::vector<PortHolder> FindOtherClients(const std::string& devicePath, const std::string& procFolder) {
    struct stat file {};
    if (stat(devicePath.c_str(), &file) != 0 || !S_ISCHR(file.st_mode)) {
        return {};
    }
    const long ptyIndex = PtyIndex(file.st_rdev);
    std::vector<PortHolder> clients;
    for (PortHolder& holder : FindDeviceHolders(file.st_rdev, procFolder)) {
        const bool phoneEnd =
            ptyIndex >= 0 && HoldsMaster(procFolder + "/" + std::to_string(holder.pid), ptyIndex);
        if (holder.pid != getpid() && !phoneEnd) {
            clients.push_back(std::move(holder));
        }
    }
    return clients;
}

} // namespace panelgrab
