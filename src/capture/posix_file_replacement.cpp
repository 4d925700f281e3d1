#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "capture/file_replacement.h"

namespace panelgrab {
namespace {

// Writes all bytes, retrying short writes and interruptions.
bool WriteAll(int fd, const uint8_t* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

bool ReplaceFileContents(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::string tempPath = FolderOf(path) + "/.panelgrab-XXXXXX";
    const int fd = ::mkstemp(tempPath.data());
    if (fd < 0) {
        return false;
    }
    // mkstemp creates the file for its owner only; a replaced file keeps its permissions, a new
    // one gets the usual ones (umask is process-wide and not safe to query from a thread).
    struct stat existing {};
    ::fchmod(fd, ::stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0644);

    bool ok = WriteAll(fd, bytes.data(), bytes.size()) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(tempPath.c_str(), path.c_str()) == 0;
    if (!ok) {
        const int error = errno;
        ::unlink(tempPath.c_str());
        errno = error;
    }
    return ok;
}

} // namespace panelgrab
