#include "transport/bytes/network_address.h"

#include <cctype>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "transport/bytes/device_errors.h"
#include "transport/bytes/network_socket.h"

namespace panelgrab {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::string_view kSeparator = "://";

bool ParsePort(std::string_view text, uint16_t& port) {
    if (text.empty() || text.size() > 5) {
        return false;
    }
    unsigned value = 0;
    for (const char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return false;
        }
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535) {
        return false;
    }
    port = static_cast<uint16_t>(value);
    return true;
}

struct AddressListDeleter {
    void operator()(addrinfo* list) const { FreeAddresses(list); }
};
using AddressList = std::unique_ptr<addrinfo, AddressListDeleter>;

// One name lookup on a thread of its own, so that waiting for it can be bounded: getaddrinfo itself
// waits as long as the name service lets it. (The C library's asynchronous lookup would do the same
// on threads that the sanitizers cannot see.)
struct NameLookup {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool abandoned = false; // nobody waits for the result any more: the lookup frees it
    int code = 0;
    addrinfo* result = nullptr;
};

// Threads of lookups that were given up while the name service still worked on them. Kept (never
// destroyed, even at exit, where the system ends them) and joined once their lookup has finished.
struct AbandonedLookups {
    std::mutex mutex;
    std::vector<std::pair<std::thread, std::shared_ptr<NameLookup>>> threads;
};

AbandonedLookups& Abandoned() {
    static auto* abandoned = new AbandonedLookups;
    return *abandoned;
}

void JoinFinishedLookups() {
    AbandonedLookups& abandoned = Abandoned();
    std::lock_guard lock(abandoned.mutex);
    std::erase_if(abandoned.threads, [](auto& entry) {
        {
            std::lock_guard lookupLock(entry.second->mutex);
            if (!entry.second->done) {
                return false;
            }
        }
        entry.first.join();
        return true;
    });
}

int LookUpName(const std::string& host, const std::string& service, Clock::time_point deadline,
               AddressList& result) {
    JoinFinishedLookups();
    auto lookup = std::make_shared<NameLookup>();
    std::thread worker([lookup, host, service] {
        addrinfo* found = nullptr;
        const int code = LookUpAddresses(host, service, false, found);
        std::lock_guard lock(lookup->mutex);
        if (lookup->abandoned) {
            FreeAddresses(found);
        } else {
            lookup->code = code;
            lookup->result = code == 0 ? found : nullptr;
        }
        lookup->done = true;
        lookup->finished.notify_all();
    });
    std::unique_lock lock(lookup->mutex);
    if (!lookup->finished.wait_until(lock, deadline, [&] { return lookup->done; })) {
        lookup->abandoned = true;
        lock.unlock();
        AbandonedLookups& abandoned = Abandoned();
        std::lock_guard abandonedLock(abandoned.mutex);
        abandoned.threads.emplace_back(std::move(worker), lookup);
        return kErrorNameLookupFailed;
    }
    lock.unlock();
    worker.join();
    if (lookup->code != 0) {
        return lookup->code;
    }
    result.reset(lookup->result);
    return 0;
}

// An address literal needs no name service; anything else is looked up with a bounded wait.
int Resolve(const std::string& host, uint16_t port, Clock::time_point deadline, AddressList& result) {
    const std::string service = std::to_string(port);
    addrinfo* list = nullptr;
    const int numeric = LookUpAddresses(host, service, true, list);
    if (numeric == 0) {
        result.reset(list);
        return 0;
    }
    if (numeric != kErrorHostNotFound) {
        return numeric;
    }
    return LookUpName(host, service, deadline, result);
}

} // namespace

bool NetworkAddress::Parse(std::string_view url, NetworkAddress& address) {
    const std::size_t separator = url.find(kSeparator);
    if (separator == std::string_view::npos || separator == 0) {
        return false;
    }
    std::string_view rest = url.substr(separator + kSeparator.size());
    if (!rest.empty() && rest.back() == '/') {
        rest.remove_suffix(1);
    }
    const std::size_t colon = rest.rfind(':');
    if (colon == std::string_view::npos) {
        return false;
    }
    std::string_view host = rest.substr(0, colon);
    if (!host.empty() && host.front() == '[') {
        if (host.size() < 3 || host.back() != ']') {
            return false;
        }
        host = host.substr(1, host.size() - 2);
    } else if (host.find_first_of(":[]") != std::string_view::npos) {
        return false; // an IPv6 address needs its brackets: its colons would hide the port's
    }
    for (const char c : host) {
        if (std::isspace(static_cast<unsigned char>(c)) || c == '/' || c == '@' || c == '?' || c == '#') {
            return false;
        }
    }
    uint16_t port = 0;
    if (host.empty() || !ParsePort(rest.substr(colon + 1), port)) {
        return false;
    }
    address.host_ = std::string(host);
    address.port_ = port;
    return true;
}

int NetworkAddress::Connect(milliseconds wait, SocketHandle& socket) const {
    socket = kNoSocket;
    const auto deadline = Clock::now() + wait;
    AddressList addresses;
    if (const int error = Resolve(host_, port_, deadline, addresses); error != 0) {
        return error;
    }
    int left = 0;
    for (const addrinfo* a = addresses.get(); a != nullptr; a = NextAddress(*a)) {
        ++left;
    }
    int error = SocketError::kUnreachable;
    for (const addrinfo* a = addresses.get(); a != nullptr; a = NextAddress(*a), --left) {
        const auto now = Clock::now();
        if (now >= deadline) {
            return SocketError::kTimedOut;
        }
        // A name with an address that does not answer must leave time for its other addresses.
        error = ConnectSocket(*a, now + (deadline - now) / left, socket);
        if (error == 0) {
            return 0;
        }
    }
    return error;
}

} // namespace panelgrab
