#include "transport/bytes/win32_serial_device.h"

#include <windows.h>

#include <algorithm>
#include <cctype>

#include "common/win32_text.h"
#include "transport/bytes/win32_line_settings.h"

namespace panelgrab {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How much longer than its own time-outs a transfer is waited for before it is cancelled: a driver
// that ignores COMMTIMEOUTS must not hold a read for ever.
constexpr milliseconds kTimeoutGrace{1000};
constexpr DWORD kLargestTransfer = 1u << 20;

struct Transfer {
    DWORD count = 0;
    DWORD error = 0;
    bool stopped = false;  // Close() asked for the end
    bool timedOut = false; // the wait passed and the transfer was cancelled
};

DWORD MillisecondsOf(milliseconds duration) {
    return static_cast<DWORD>(std::clamp<long long>(duration.count(), 0, MAXDWORD - 1));
}

// Runs one overlapped transfer to its end. `start` issues it (ReadFile or WriteFile). When the
// stop event is set or `limit` passes first, the transfer is cancelled, and in every case this
// waits until the system has finished with the OVERLAPPED and the buffer before returning.
template <typename Start> Transfer RunOverlapped(HANDLE port, HANDLE stop, milliseconds limit, Start start) {
    Transfer transfer;
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (overlapped.hEvent == nullptr) {
        transfer.error = GetLastError();
        return transfer;
    }
    if (!start(&overlapped) && GetLastError() != ERROR_IO_PENDING) {
        transfer.error = GetLastError();
        CloseHandle(overlapped.hEvent);
        return transfer;
    }
    const HANDLE events[2] = {overlapped.hEvent, stop};
    const DWORD woken = WaitForMultipleObjects(2, events, FALSE, MillisecondsOf(limit));
    if (woken != WAIT_OBJECT_0) {
        transfer.stopped = woken == WAIT_OBJECT_0 + 1;
        transfer.timedOut = !transfer.stopped;
        CancelIoEx(port, &overlapped);
    }
    if (!GetOverlappedResult(port, &overlapped, &transfer.count, TRUE)) {
        transfer.error = GetLastError();
    }
    CloseHandle(overlapped.hEvent);
    return transfer;
}

// A read whose wait passed is no failure, however the system reports it: Windows completes it with
// what has arrived, Wine with ERROR_TIMEOUT, and one that we cancelled ends as aborted.
bool EndedByItsWait(const Transfer& transfer) {
    return transfer.error == 0 || transfer.error == ERROR_TIMEOUT ||
           (transfer.timedOut && transfer.error == ERROR_OPERATION_ABORTED);
}

// The name of the claim on a port: one kernel object name for every spelling of the port's path.
std::wstring ClaimNameOf(const std::string& path) {
    std::string port = path;
    for (const char* prefix : {"\\\\.\\", "//./"}) {
        if (port.rfind(prefix, 0) == 0) {
            port.erase(0, std::char_traits<char>::length(prefix));
        }
    }
    for (char& c : port) {
        c = c == '\\' || c == '/' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return L"Global\\panelgrab-port-" + WideFromUtf8(port);
}

void CloseHandleQuietly(void*& handle) {
    if (handle != nullptr) {
        CloseHandle(handle);
        handle = nullptr;
    }
}

} // namespace

const int SerialDevice::kCanceledError = ERROR_OPERATION_ABORTED;
const int SerialDevice::kOversizeError = ERROR_BAD_LENGTH;

// Windows opens a COM port for one program only: there is nobody else to find.
std::unique_ptr<SerialDevice> CreateLocalSerialDevice(bool /*openHeldPort*/) {
    return std::make_unique<Win32SerialDevice>();
}

Win32SerialDevice::~Win32SerialDevice() {
    Close();
}

int Win32SerialDevice::Open(const std::string& path) {
    Close();
    // A COM port driver lets one handle in and answers the next opener "access denied". Not every
    // driver does (virtual ports; Wine's pseudo-terminals), so, as flock() on POSIX, a named claim
    // keeps a second of our programs off the line too; it dies with the process that holds it.
    void* claim = CreateMutexW(nullptr, FALSE, ClaimNameOf(path).c_str());
    if (claim == nullptr) {
        return static_cast<int>(GetLastError());
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(claim);
        return ERROR_ACCESS_DENIED;
    }
    const HANDLE port = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    const DWORD openError = GetLastError();
    const HANDLE stop = port == INVALID_HANDLE_VALUE ? nullptr : CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (stop == nullptr) {
        const DWORD error = port == INVALID_HANDLE_VALUE ? openError : GetLastError();
        if (port != INVALID_HANDLE_VALUE) {
            CloseHandle(port);
        }
        CloseHandle(claim);
        return static_cast<int>(error);
    }
    // What the driver still holds from an earlier program is not ours. A handle that is no port
    // refuses this; Configure reports that.
    PurgeComm(port, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
    std::lock_guard lock(mutex_);
    port_ = port;
    stopEvent_ = stop;
    claim_ = claim;
    configured_ = false;
    appliedWaitMs_ = -1;
    return 0;
}

int Win32SerialDevice::Configure(int32_t baudRate) {
    if (baudRate <= 0) {
        return ERROR_INVALID_PARAMETER;
    }
    Use use;
    if (!BeginUse(use)) {
        return ERROR_INVALID_HANDLE;
    }
    int error = 0;
    DCB current{};
    current.DCBlength = sizeof current;
    DCB applied{};
    applied.DCBlength = sizeof applied;
    if (!GetCommState(use.port, &current)) {
        error = static_cast<int>(GetLastError());
    } else if (DCB wanted = RawLineSettings(current, baudRate); !SetCommState(use.port, &wanted)) {
        error = static_cast<int>(GetLastError());
    } else if (!GetCommState(use.port, &applied)) {
        error = static_cast<int>(GetLastError());
    } else if (applied.BaudRate != static_cast<DWORD>(baudRate)) {
        error = ERROR_INVALID_PARAMETER; // the driver took the call but not the rate
    }
    if (error == 0) {
        // The DCB raises both lines already where the driver can; some need it said again. A port
        // without modem lines (Wine's pseudo-terminal) refuses, which is no failure.
        EscapeCommFunction(use.port, SETDTR);
        EscapeCommFunction(use.port, SETRTS);
        error = ApplyReadWait(use.port, milliseconds(0));
    }
    EndUse();
    if (error == 0) {
        std::lock_guard lock(mutex_);
        configured_ = true;
    }
    return error;
}

SerialDevice::IoResult Win32SerialDevice::Read(char* buffer, std::size_t size, milliseconds wait) {
    Use use;
    if (!BeginUse(use)) {
        return {0, ERROR_INVALID_HANDLE};
    }
    IoResult result;
    if (size > 0) {
        result.error = ApplyReadWait(use.port, wait);
    }
    if (size > 0 && result.error == 0) {
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, kLargestTransfer));
        const Transfer transfer = RunOverlapped(use.port, use.stop, wait + kTimeoutGrace, [&](OVERLAPPED* o) {
            return ReadFile(use.port, buffer, wanted, nullptr, o);
        });
        result.count = transfer.count;
        if (transfer.stopped) {
            result.error = kAborted;
        } else if (!EndedByItsWait(transfer)) {
            result.error = static_cast<int>(transfer.error);
        }
    }
    EndUse();
    return result;
}

SerialDevice::IoResult Win32SerialDevice::Write(const char* data, std::size_t size, milliseconds bound) {
    Use use;
    if (!BeginUse(use)) {
        return {0, ERROR_INVALID_HANDLE};
    }
    IoResult result;
    const auto deadline = Clock::now() + bound;
    while (result.count < size) {
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            result.error = ERROR_TIMEOUT;
            break;
        }
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size - result.count, kLargestTransfer));
        const Transfer transfer = RunOverlapped(use.port, use.stop, left, [&](OVERLAPPED* o) {
            return WriteFile(use.port, data + result.count, wanted, nullptr, o);
        });
        result.count += transfer.count;
        if (transfer.stopped) {
            result.error = kAborted;
        } else if (transfer.timedOut) {
            result.error = ERROR_TIMEOUT; // e.g. a handshake the driver still honours holds the line
        } else if (transfer.error != 0) {
            result.error = static_cast<int>(transfer.error);
        }
        if (result.error != 0) {
            break;
        }
    }
    EndUse();
    return result;
}

void Win32SerialDevice::Close() {
    std::unique_lock lock(mutex_);
    if (port_ == nullptr) {
        return;
    }
    if (closing_) {
        idle_.wait(lock, [this] { return port_ == nullptr; });
        return;
    }
    closing_ = true;
    SetEvent(stopEvent_);
    idle_.wait(lock, [this] { return users_ == 0; });
    if (configured_) {
        // Output still queued would only reach the phone after we have gone; it is dropped.
        PurgeComm(port_, PURGE_TXABORT | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_RXCLEAR);
    }
    CloseHandleQuietly(port_);
    CloseHandleQuietly(stopEvent_);
    CloseHandleQuietly(claim_);
    closing_ = false;
    lock.unlock();
    idle_.notify_all();
}

bool Win32SerialDevice::IsOpen() const {
    std::lock_guard lock(mutex_);
    return port_ != nullptr && !closing_;
}

bool Win32SerialDevice::BeginUse(Use& use) {
    std::lock_guard lock(mutex_);
    if (port_ == nullptr || closing_) {
        return false;
    }
    ++users_;
    use.port = port_;
    use.stop = stopEvent_;
    return true;
}

void Win32SerialDevice::EndUse() {
    std::lock_guard lock(mutex_);
    if (--users_ == 0) {
        idle_.notify_all();
    }
}

int Win32SerialDevice::ApplyReadWait(void* port, milliseconds wait) {
    std::lock_guard lock(mutex_);
    if (appliedWaitMs_ == wait.count()) {
        return 0;
    }
    COMMTIMEOUTS timeouts = ReadWaitTimeouts(wait);
    if (!SetCommTimeouts(port, &timeouts)) {
        appliedWaitMs_ = -1;
        return static_cast<int>(GetLastError());
    }
    appliedWaitMs_ = wait.count();
    return 0;
}

} // namespace panelgrab
