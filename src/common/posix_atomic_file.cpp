#include "common/atomic_file.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace panelgrab {
namespace {

constexpr int kNameAttempts = 16;

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// A new file beside the target, named so that no other writer (thread or process) picks it.
int CreateTemporary(const std::string& path, std::string& temporary) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        temporary = FolderOf(path) + "/.panelgrab-" + std::to_string(getpid()) + "-" +
                    std::to_string(counter++) + ".tmp";
        // 0666 through the umask: a new file gets the permissions a plain create would give it.
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

// Makes the rename itself durable: without it, a power cut may bring back the old name.
void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

bool CanCreateFileAt(const std::string& path, std::string& error) {
    const std::string folder = FolderOf(path);
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        error = std::strerror(ENOTDIR);
        return false;
    }
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

bool WriteFileAtomically(const std::string& path, const void* data, std::size_t size, std::string& error) {
    if (path.empty()) {
        error = std::strerror(ENOENT);
        return false;
    }
    std::string temporary;
    const int fd = CreateTemporary(path, temporary);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    struct stat existing {};
    bool ok = ::stat(path.c_str(), &existing) != 0 || ::fchmod(fd, existing.st_mode & 07777) == 0;
    ok = ok && WriteAll(fd, static_cast<const char*>(data), size) && ::fsync(fd) == 0;
    int reason = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        reason = errno;
    }
    if (ok && ::rename(temporary.c_str(), path.c_str()) != 0) {
        ok = false;
        reason = errno;
    }
    if (!ok) {
        ::unlink(temporary.c_str());
        error = std::strerror(reason);
        return false;
    }
    SyncFolder(FolderOf(path));
    return true;
}

} // namespace panelgrab
