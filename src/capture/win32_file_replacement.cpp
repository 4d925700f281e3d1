#include <windows.h>

#include <algorithm>
#include <atomic>

#include "capture/file_replacement.h"
#include "transport/win32_text.h"

namespace panelgrab {
namespace {

std::wstring FolderOf(const std::wstring& path) {
    const std::size_t separator = path.find_last_of(L"\\/");
    if (separator == std::wstring::npos) {
        return L".";
    }
    return path.substr(0, separator);
}

std::wstring TemporaryNameIn(const std::wstring& folder) {
    static std::atomic<unsigned> counter{0};
    return folder + L"\\.panelgrab-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(counter++) + L".tmp";
}

bool WriteAll(HANDLE file, const std::vector<uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data() + done, piece, &written, nullptr) || written == 0) {
            return false;
        }
        done += written;
    }
    return true;
}

} // namespace

// The new file takes the folder's inherited permissions; a read-only target is refused, not replaced.
bool ReplaceFileContents(const std::string& path, const std::vector<uint8_t>& bytes) {
    const std::wstring target = WideFromUtf8(path);
    const std::wstring temporary = TemporaryNameIn(FolderOf(target));
    const HANDLE file =
        CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool ok = WriteAll(file, bytes) && FlushFileBuffers(file);
    DWORD error = ok ? 0 : GetLastError();
    if (!CloseHandle(file) && ok) {
        ok = false;
        error = GetLastError();
    }
    // The rename of POSIX: replaces the target in one step and returns only once it is on the disk.
    if (ok &&
        !MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ok = false;
        error = GetLastError();
    }
    if (!ok) {
        DeleteFileW(temporary.c_str());
        SetLastError(error);
    }
    return ok;
}

} // namespace panelgrab
