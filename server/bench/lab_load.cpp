// Load on the lab server: N simulated phones (paced at a real line's rate), V WebSocket viewers
// each, and one viewer that never reads. Every phone changes a band of rows once a second; each
// viewer notes when the change reaches it. Prints the server's CPU and memory (from /proc) and the
// times from a change on the phone to the viewers' pictures.
//
// usage: panelgrab-server-load SERVER_PROGRAM [--phones N] [--viewers V] [--seconds S] [--baud B]

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sim/picture_source.h"
#include "sim/simulated_phone.h"

namespace {

namespace sim = panelgrab::sim;

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using Clock = std::chrono::steady_clock;

constexpr int kMarkerRow = 100;
constexpr int kMarkerRows = 8;

struct Settings {
    std::string server;
    int phones = 16;
    int viewers = 20;
    int seconds = 20;
    int baud = 921600;
};

// When each change was shown on each phone, and how long it took to reach each viewer.
class Timeline {
public:
    void Shown(int phone, int change) {
        std::lock_guard<std::mutex> guard(lock_);
        shown_[{phone, change}] = Clock::now();
    }
    void Arrived(int phone, int change, bool besideStalled) {
        const Clock::time_point now = Clock::now();
        std::lock_guard<std::mutex> guard(lock_);
        const auto found = shown_.find({phone, change});
        if (found == shown_.end()) {
            return;
        }
        const double ms = std::chrono::duration<double, std::milli>(now - found->second).count();
        (besideStalled ? besideStalled_ : others_).push_back(ms);
    }
    std::vector<double> Samples(bool besideStalled) {
        std::lock_guard<std::mutex> guard(lock_);
        return besideStalled ? besideStalled_ : others_;
    }

private:
    std::mutex lock_;
    std::map<std::pair<int, int>, Clock::time_point> shown_;
    std::vector<double> besideStalled_;
    std::vector<double> others_;
};

// The change number a marker row's first pixel carries (see MarkedPicture); -1 for none.
int ChangeOf(const uint8_t* rgb) {
    if ((rgb[2] >> 3) != 0x1f) {
        return -1;
    }
    return (rgb[0] >> 3) + 32 * (rgb[1] >> 2);
}

panelgrab::Picture MarkedPicture(const panelgrab::Picture& base, int change) {
    panelgrab::Picture picture = base;
    const panelgrab::Rgb colour{static_cast<uint8_t>((change % 32) << 3),
                                static_cast<uint8_t>(((change / 32) % 64) << 2), 0xf8};
    for (int y = kMarkerRow; y < kMarkerRow + kMarkerRows; ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            picture.Set(x, y, colour);
        }
    }
    return picture;
}

class Viewer : public std::enable_shared_from_this<Viewer> {
public:
    Viewer(asio::io_context& io, int phone, bool besideStalled, Timeline& timeline)
        : socket_(io), phone_(phone), besideStalled_(besideStalled), timeline_(timeline) {}

    bool Connect(uint16_t port, bool reads) {
        beast::error_code failure;
        beast::get_lowest_layer(socket_).socket().connect({asio::ip::make_address("127.0.0.1"), port},
                                                          failure);
        if (!failure) {
            socket_.handshake("127.0.0.1", "/api/phones/p" + std::to_string(phone_) + "/live", failure);
        }
        if (!failure && reads) {
            Read();
        }
        return !failure;
    }
    bool gotPicture = false;

private:
    void Read() {
        socket_.async_read(buffer_, [self = shared_from_this()](beast::error_code failure, std::size_t) {
            if (failure) {
                return;
            }
            self->Take();
            self->buffer_.consume(self->buffer_.size());
            self->Read();
        });
    }
    void Take() {
        if (!socket_.got_binary()) {
            return;
        }
        const std::string data = beast::buffers_to_string(buffer_.data());
        auto u16 = [&](std::size_t at) {
            return static_cast<uint8_t>(data[at]) | static_cast<uint8_t>(data[at + 1]) << 8;
        };
        const int width = u16(2), first = u16(6), count = u16(8);
        gotPicture = true;
        if (kMarkerRow < first || kMarkerRow >= first + count) {
            return;
        }
        const int change = ChangeOf(reinterpret_cast<const uint8_t*>(data.data()) + 12 +
                                    static_cast<std::size_t>(kMarkerRow - first) * width * 3);
        if (change != lastChange_) { // the timeline knows which are changes of ours
            lastChange_ = change;
            timeline_.Arrived(phone_, change, besideStalled_);
        }
    }

    websocket::stream<beast::tcp_stream> socket_;
    beast::flat_buffer buffer_;
    int phone_;
    bool besideStalled_;
    Timeline& timeline_;
    int lastChange_ = 0;
};

// The server as a child process, its first output line read for the port.
struct ServerProcess {
    pid_t pid = -1;
    uint16_t port = 0;

    bool Start(const std::string& program, const std::vector<std::string>& args) {
        int out[2];
        if (pipe(out) != 0) {
            return false;
        }
        pid = fork();
        if (pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (const std::string& arg : args) {
                argv.push_back(const_cast<char*>(arg.c_str()));
            }
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        close(out[1]);
        std::string line;
        char c;
        while (read(out[0], &c, 1) == 1 && c != '\n') {
            line += c;
        }
        close(out[0]);
        const std::size_t colon = line.rfind(':');
        if (colon == std::string::npos) {
            return false;
        }
        port = static_cast<uint16_t>(std::stoi(line.substr(colon + 1)));
        return true;
    }
    // CPU seconds (user + system) so far.
    double CpuSeconds() const {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        std::istringstream fields(text.substr(text.rfind(')') + 2));
        std::string field;
        long long utime = 0, stime = 0;
        for (int i = 3; i <= 15 && fields >> field; ++i) {
            if (i == 14) {
                utime = std::stoll(field);
            } else if (i == 15) {
                stime = std::stoll(field);
            }
        }
        return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
    }
    std::string Memory(const char* key) const {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind(key, 0) == 0) {
                return line.substr(line.find_first_not_of(" \t", std::string(key).size()));
            }
        }
        return "?";
    }
    void Stop() {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
};

double Percentile(std::vector<double> samples, double fraction) {
    if (samples.empty()) {
        return 0;
    }
    std::sort(samples.begin(), samples.end());
    return samples[std::min(samples.size() - 1,
                            static_cast<std::size_t>(fraction * static_cast<double>(samples.size())))];
}

void Report(const char* who, const std::vector<double>& samples) {
    std::printf("%-34s %7zu %8.1f %8.1f %8.1f %8.1f\n", who, samples.size(), Percentile(samples, 0.5),
                Percentile(samples, 0.95), Percentile(samples, 0.99), Percentile(samples, 1.0));
}

bool ParseSettings(int argc, char** argv, Settings& settings) {
    if (argc < 2) {
        return false;
    }
    settings.server = argv[1];
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const int value = std::stoi(argv[i + 1]);
        (name == "--phones"    ? settings.phones
         : name == "--viewers" ? settings.viewers
         : name == "--seconds" ? settings.seconds
                               : settings.baud) = value;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    Settings settings;
    if (!ParseSettings(argc, argv, settings)) {
        std::cerr << "usage: panelgrab-server-load SERVER_PROGRAM [--phones N] [--viewers V] [--seconds S] "
                     "[--baud B]\n";
        return 2;
    }
    std::vector<std::unique_ptr<sim::SimulatedPhone>> phones;
    std::vector<std::string> args{"--listen", "127.0.0.1:0"};
    for (int i = 0; i < settings.phones; ++i) {
        sim::SimOptions options;
        options.baud = settings.baud;
        phones.push_back(std::make_unique<sim::SimulatedPhone>(options));
        std::string error;
        if (!phones.back()->Start(error)) {
            std::cerr << "a simulated phone could not start: " << error << "\n";
            return 1;
        }
        args.push_back("--phone");
        args.push_back("p" + std::to_string(i) + "=" + phones.back()->DevicePath() + "@" +
                       std::to_string(settings.baud));
    }
    ServerProcess server;
    if (!server.Start(settings.server, args)) {
        std::cerr << "the server did not start\n";
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(3)); // every phone opened

    asio::io_context io;
    Timeline timeline;
    std::vector<std::shared_ptr<Viewer>> viewers;
    for (int phone = 0; phone < settings.phones; ++phone) {
        for (int v = 0; v < settings.viewers; ++v) {
            viewers.push_back(std::make_shared<Viewer>(io, phone, phone == 0, timeline));
            if (!viewers.back()->Connect(server.port, true)) {
                std::cerr << "a viewer could not connect\n";
                server.Stop();
                return 1;
            }
        }
    }
    auto stalled = std::make_shared<Viewer>(io, 0, true, timeline);
    stalled->Connect(server.port, false); // never reads
    std::thread network([&io] {
        auto guard = asio::make_work_guard(io);
        io.run();
    });
    std::vector<panelgrab::Picture> base(phones.size());
    for (std::size_t i = 0; i < phones.size(); ++i) {
        uint64_t version = 0;
        phones[i]->CurrentPicture(0, base[i], version);
    }
    std::this_thread::sleep_for(std::chrono::seconds(5)); // the first whole pictures reached everyone

    const double cpuBefore = server.CpuSeconds();
    const Clock::time_point start = Clock::now();
    int changes = 0;
    for (int second = 1; second <= settings.seconds; ++second) {
        for (int phone = 0; phone < settings.phones; ++phone) {
            // Spread over the second, as phones' clocks are not in step.
            std::this_thread::sleep_until(
                start + std::chrono::milliseconds(1000 * (second - 1) + 1000 * phone / settings.phones));
            timeline.Shown(phone, second);
            phones[phone]->ShowPicture(0, MarkedPicture(base[phone], second));
            ++changes;
        }
    }
    std::this_thread::sleep_for(std::chrono::seconds(2)); // the last changes arrive
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = server.CpuSeconds() - cpuBefore;
    const std::string rss = server.Memory("VmRSS:");
    const std::string peak = server.Memory("VmHWM:");
    server.Stop();
    io.stop();
    network.join();

    std::printf(
        "phones %d x viewers %d (+1 stalled viewer on p0), lines paced at %d baud, %d changes in %.0f s\n",
        settings.phones, settings.viewers, settings.baud, changes, wall);
    std::printf("server CPU %.1f%% of one core (%.2f s), memory %s (peak %s)\n", 100.0 * cpu / wall, cpu,
                rss.c_str(), peak.c_str());
    std::printf("%-34s %7s %8s %8s %8s %8s\n", "change -> viewer picture (ms)", "samples", "p50", "p95",
                "p99", "max");
    Report("p0's viewers (beside the stalled)", timeline.Samples(true));
    Report("the other phones' viewers", timeline.Samples(false));
    const std::size_t expected =
        static_cast<std::size_t>(changes) * static_cast<std::size_t>(settings.viewers);
    const std::size_t got = timeline.Samples(true).size() + timeline.Samples(false).size();
    const auto pictured =
        std::count_if(viewers.begin(), viewers.end(), [](const auto& v) { return v->gotPicture; });
    std::printf("changes seen: %zu of %zu; viewers that got a picture: %td of %zu\n", got, expected, pictured,
                viewers.size());
    return 0;
}
