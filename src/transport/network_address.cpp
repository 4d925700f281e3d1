#include "transport/network_address.h"

#include <cctype>
#include <cerrno>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "transport/port_names.h"

namespace panelgrab {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::string_view kSeparator = "://";

bool HasPrefixIgnoringCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) {
            return false;
        }
    }
    return true;
}

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

// A name lookup that runs on the C library's own thread, so that waiting for it can be bounded.
struct PendingLookup {
    std::string host;
    std::string service;
    addrinfo hints{};
    gaicb request{};
};

// Lookups given up while the name service still worked on them: the library writes their result
// later, so they are kept (never destroyed, even at exit) and freed once they have finished.
std::mutex& AbandonedMutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}
std::vector<PendingLookup*>& Abandoned() {
    static auto* lookups = new std::vector<PendingLookup*>;
    return *lookups;
}

void FreeFinished(PendingLookup* lookup) {
    if (lookup->request.ar_result != nullptr) {
        freeaddrinfo(lookup->request.ar_result);
    }
    delete lookup;
}

void FreeFinishedAbandonedLookups() {
    std::lock_guard lock(AbandonedMutex());
    std::erase_if(Abandoned(), [](PendingLookup* lookup) {
        if (gai_error(&lookup->request) == EAI_INPROGRESS) {
            return false;
        }
        FreeFinished(lookup);
        return true;
    });
}

int LookUpName(const std::string& host, const std::string& service, Clock::time_point deadline,
               AddressList& result) {
    FreeFinishedAbandonedLookups();
    auto lookup = std::make_unique<PendingLookup>();
    lookup->host = host;
    lookup->service = service;
    lookup->hints.ai_family = AF_UNSPEC;
    lookup->hints.ai_socktype = SOCK_STREAM;
    lookup->hints.ai_flags = AI_NUMERICSERV;
    lookup->request.ar_name = lookup->host.c_str();
    lookup->request.ar_service = lookup->service.c_str();
    lookup->request.ar_request = &lookup->hints;
    gaicb* requests[1] = {&lookup->request};
    if (const int started = getaddrinfo_a(GAI_NOWAIT, requests, 1, nullptr); started != 0) {
        return LookupFailure(started);
    }
    for (;;) {
        const int left = MillisecondsLeft(deadline);
        const timespec wait{left / 1000, static_cast<long>(left % 1000) * 1000000L};
        if (gai_suspend(requests, 1, &wait) != EAI_INTR) {
            break;
        }
    }
    int code = gai_error(&lookup->request);
    if (code == EAI_INPROGRESS) {
        if (gai_cancel(&lookup->request) == EAI_NOTCANCELED) {
            std::lock_guard lock(AbandonedMutex());
            Abandoned().push_back(lookup.release());
            return kErrorNameLookupFailed;
        }
        code = gai_error(&lookup->request);
    }
    if (code == EAI_CANCELED) {
        return kErrorNameLookupFailed;
    }
    if (code != 0) {
        return LookupFailure(code);
    }
    result.reset(lookup->request.ar_result);
    lookup->request.ar_result = nullptr;
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

PortScheme SchemeOfPortName(std::string_view portName) {
    if (HasPrefixIgnoringCase(portName, "tcp://") || HasPrefixIgnoringCase(portName, "socket://")) {
        return PortScheme::Tcp;
    }
    if (HasPrefixIgnoringCase(portName, "rfc2217://")) {
        return PortScheme::Rfc2217;
    }
    return PortScheme::Local;
}

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
