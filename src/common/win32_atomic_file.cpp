#include <windows.h>

#include <algorithm>
#include <atomic>

#include "common/atomic_file.h"
#include "common/win32_text.h"

namespace panelgrab {
namespace {

std::wstring TemporaryNameIn(const std::wstring& folder) {
    static std::atomic<unsigned> counter{0};
    return folder + L"\\.panelgrab-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(counter++) + L".tmp";
}

bool WriteAll(HANDLE file, const char* data, std::size_t size) {
    while (size > 0) {
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file, data, piece, &written, nullptr) || written == 0) {
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

} // namespace

bool CanCreateFileAt(const std::string& path, std::string& error) {
    const DWORD attributes = GetFileAttributesW(WideFromUtf8(FolderOf(path)).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        error = WindowsErrorText(static_cast<int>(GetLastError()));
        return false;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        error = WindowsErrorText(ERROR_DIRECTORY);
        return false;
    }
    return true;
}

// The new file takes the folder's inherited permissions; a read-only target is refused, not replaced.
bool WriteFileAtomically(const std::string& path, const void* data, std::size_t size, std::string& error) {
    const std::wstring target = WideFromUtf8(path);
    const std::wstring temporary = TemporaryNameIn(WideFromUtf8(FolderOf(path)));
    const HANDLE file =
        CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = WindowsErrorText(static_cast<int>(GetLastError()));
        return false;
    }
    bool ok = WriteAll(file, static_cast<const char*>(data), size) && FlushFileBuffers(file);
    DWORD reason = ok ? 0 : GetLastError();
    if (!CloseHandle(file) && ok) {
        ok = false;
        reason = GetLastError();
    }
    // The rename of POSIX: replaces the target in one step and returns only once it is on the disk.
    if (ok &&
        !MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ok = false;
        reason = GetLastError();
    }
    if (!ok) {
        DeleteFileW(temporary.c_str());
        error = WindowsErrorText(static_cast<int>(reason));
    }
    return ok;
}

} // namespace panelgrab
