#include "transport/network_address.h"

#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "transport/port_names.h"

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

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(left);
}

struct AddressListDeleter {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};
using AddressList = std::unique_ptr<addrinfo, AddressListDeleter>;

int LookupFailure(int code) {
    switch (code) {
    case EAI_AGAIN:
        return kErrorNameLookupFailed;
    case EAI_MEMORY:
        return ENOMEM;
    default: // EAI_NONAME, EAI_NODATA, EAI_FAIL, EAI_ADDRFAMILY ...
        return kErrorHostNotFound;
    }
}

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
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_NUMERICSERV;
        addrinfo* found = nullptr;
        const int code = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
        std::lock_guard lock(lookup->mutex);
        if (lookup->abandoned) {
            if (code == 0) {
                freeaddrinfo(found);
            }
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
        return LookupFailure(lookup->code);
    }
    result.reset(lookup->result);
    return 0;
}

// An address literal needs no name service; anything else is looked up with a bounded wait.
int Resolve(const std::string& host, uint16_t port, Clock::time_point deadline, AddressList& result) {
    const std::string service = std::to_string(port);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* list = nullptr;
    const int numeric = getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
    if (numeric == 0) {
        result.reset(list);
        return 0;
    }
    if (numeric != EAI_NONAME) {
        return LookupFailure(numeric);
    }
    return LookUpName(host, service, deadline, result);
}

// Connects one socket to one address by `deadline`. Returns 0 or the reason.
int ConnectOne(const addrinfo& address, Clock::time_point deadline, int& fd) {
    fd = ::socket(address.ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, address.ai_protocol);
    if (fd < 0) {
        return errno;
    }
    int error = 0;
    if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
        error = errno;
    }
    while (error == EINPROGRESS) {
        pollfd pending{fd, POLLOUT, 0};
        const int ready = ::poll(&pending, 1, MillisecondsLeft(deadline));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            error = ready == 0 ? ETIMEDOUT : errno;
            break;
        }
        socklen_t length = sizeof error;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
            error = errno;
        }
    }
    if (error != 0) {
        ::close(fd);
        fd = -1;
    }
    return error;
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

int NetworkAddress::Connect(milliseconds wait, int& fd) const {
    fd = -1;
    const auto deadline = Clock::now() + wait;
    AddressList addresses;
    if (const int error = Resolve(host_, port_, deadline, addresses); error != 0) {
        return error;
    }
    int left = 0;
    for (const addrinfo* a = addresses.get(); a != nullptr; a = a->ai_next) {
        ++left;
    }
    int error = EHOSTUNREACH;
    for (const addrinfo* a = addresses.get(); a != nullptr; a = a->ai_next, --left) {
        const auto now = Clock::now();
        if (now >= deadline) {
            return ETIMEDOUT;
        }
        // A name with an address that does not answer must leave time for its other addresses.
        error = ConnectOne(*a, now + (deadline - now) / left, fd);
        if (error == 0) {
            // AT commands are a few bytes each: waiting to merge them with more only adds latency.
            const int on = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            return 0;
        }
    }
    return error;
}

} // namespace panelgrab
