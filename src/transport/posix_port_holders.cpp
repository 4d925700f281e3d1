#include "transport/port_holders.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sys/stat.h>

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

} // namespace panelgrab
