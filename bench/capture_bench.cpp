// Capture of a 176 x 220 16-bit display from the simulated phone paced at a real line rate: how close
// the wall time comes to the line-time bound, and how much CPU the client burns meanwhile.
//
// The phone runs as its own process (panelgrab-phonesim), so the CPU time measured here is the
// client's alone. The bytes the phone sends for a capture are counted by a rehearsal against an
// unpaced in-process simulator with the same options (the phone's answers do not depend on timing).
// One case reaches the phone through ser2net in raw TCP mode on 127.0.0.1 (a port on a lab server),
// against the same bound; it is left out, with a note, where ser2net is not installed.
//
// Usage: panelgrab-bench-capture [--runs N] [--phonesim PATH]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <string>
#include <vector>

#include "bench/phone_process.h"
#include "capture/display_bitmap.h"
#include "phone/phone_link.h"
#include "sim/picture_source.h"
#include "sim/simulated_phone.h"
#include "support/ser2net_server.h"

namespace {

using panelgrab::ConnectionSettings;
using panelgrab::DisplayBitmap;
using panelgrab::kPhoneOk;
using panelgrab::PortTiming;
using panelgrab::bench::PhoneProcess;
using panelgrab::test::Ser2netServer;
namespace sim = panelgrab::sim;

struct Case {
    const char* method; // "bulk" or "per-line"
    int baud;
    sim::Dialect dialect;
    const char* dialectOption;
    bool throughSer2net = false; // the port is ser2net's raw TCP port in front of the phone's device
};

struct Measurement {
    double wallSeconds = 0;
    double cpuSeconds = 0;
    double simCpuSeconds = 0; // the phone process over its whole life (start-up included)
    bool pictureRight = false;
};

double CpuSecondsOfThisProcess() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

sim::SimOptions OptionsFor(const Case& c, int baud) {
    sim::SimOptions options;
    options.dialect = c.dialect;
    options.baud = baud;
    return options;
}

// Open + ReadDisplay with the normal timing, as a real capture does it.
bool Capture(const std::string& device, int baud, DisplayBitmap& picture) {
    ConnectionSettings settings(device, baud);
    settings.SetTiming(PortTiming{});
    auto phone = panelgrab::CreatePhone(settings);
    if (phone->Open(false) != kPhoneOk) {
        std::cerr << "open failed: " << phone->Port().errorText() << "\n";
        return false;
    }
    const bool read = phone->ReadDisplay(picture, 0) == kPhoneOk;
    phone->Close();
    return read;
}

bool PictureIsRight(const DisplayBitmap& picture, const sim::SimOptions& options) {
    return picture.hasPixels() && picture.ToPicture() == sim::ExpectedPicture(options, 0);
}

// The bytes the phone sends for one capture: the same capture against an unpaced phone.
int64_t RehearseBytes(const Case& c) {
    sim::SimulatedPhone phone(OptionsFor(c, 0));
    std::string error;
    if (!phone.Start(error)) {
        std::cerr << "simulator: " << error << "\n";
        return -1;
    }
    DisplayBitmap picture;
    if (!Capture(phone.DevicePath(), c.baud, picture)) {
        return -1;
    }
    // The client may have read the last piece before the phone's thread counted it: stop it first.
    phone.Stop();
    return phone.BytesSent();
}

bool Measure(const Case& c, const std::string& phonesim, Measurement& m) {
    PhoneProcess phone;
    std::vector<std::string> args{"--baud=" + std::to_string(c.baud)};
    if (c.dialectOption[0] != '\0') {
        args.push_back(std::string("--dialect=") + c.dialectOption);
    }
    if (!phone.Start(phonesim, args)) {
        std::cerr << "cannot start " << phonesim << "\n";
        return false;
    }
    std::string port = phone.device();
    Ser2netServer server;
    if (c.throughSer2net) {
        std::string error;
        if (!server.Start(phone.device(), Ser2netServer::Mode::Raw, c.baud, error)) {
            std::cerr << error << "\n";
            return false;
        }
        port = server.Url();
    }
    DisplayBitmap picture;
    const double cpuBefore = CpuSecondsOfThisProcess();
    const auto start = std::chrono::steady_clock::now();
    const bool captured = Capture(port, c.baud, picture);
    m.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m.cpuSeconds = CpuSecondsOfThisProcess() - cpuBefore;
    m.simCpuSeconds = phone.Stop();
    m.pictureRight = captured && PictureIsRight(picture, OptionsFor(c, c.baud));
    return captured;
}

// The pauses a capture must make whatever the line: the drain before the probe waits one read wait
// of quiet; a per-line phone is given two read waits after its range query before line 0.
double RequiredPauses(const Case& c) {
    const PortTiming timing;
    const double readWait = std::chrono::duration<double>(timing.readWait).count();
    return readWait + (c.dialect == sim::Dialect::PerLine ? 2 * readWait : 0.0);
}

} // namespace

int main(int argc, char** argv) {
    int runs = 1;
    std::string phonesim = PhoneProcess::DefaultProgram(argv[0]);
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--phonesim" && i + 1 < argc) {
            phonesim = argv[++i];
        } else {
            std::cerr << "Usage: panelgrab-bench-capture [--runs N] [--phonesim PATH]\n";
            return 2;
        }
    }
    const Case cases[] = {
        {"bulk", 115200, sim::Dialect::Long, ""},
        {"bulk", 921600, sim::Dialect::Long, ""},
        {"bulk", 921600, sim::Dialect::Long, "", true},
        {"per-line", 115200, sim::Dialect::PerLine, "per-line"},
        {"per-line", 921600, sim::Dialect::PerLine, "per-line"},
    };
    const bool haveSer2net = !Ser2netServer::Program().empty();
    if (!haveSer2net) {
        std::printf("(ser2net is not installed: the row through it is left out)\n");
    }
    std::printf("%-9s %-12s %7s %9s %9s %9s %10s %8s %9s %8s %s\n", "method", "port", "baud", "bytes",
                "bound_s", "wall_s", "wall/bound", "cpu_s", "cpu/wall", "sim_cpu", "picture");
    bool allRight = true;
    for (const Case& c : cases) {
        if (c.throughSer2net && !haveSer2net) {
            continue;
        }
        const int64_t bytes = RehearseBytes(c);
        if (bytes < 0) {
            return 1;
        }
        const double bound = static_cast<double>(bytes) * 10.0 / c.baud + RequiredPauses(c);
        for (int run = 0; run < runs; ++run) {
            Measurement m;
            if (!Measure(c, phonesim, m)) {
                std::fprintf(stderr, "capture failed: %s %d\n", c.method, c.baud);
                return 1;
            }
            allRight = allRight && m.pictureRight;
            std::printf("%-9s %-12s %7d %9lld %9.3f %9.3f %10.4f %8.4f %8.2f%% %8.3f %s\n", c.method,
                        c.throughSer2net ? "ser2net-raw" : "local", c.baud, static_cast<long long>(bytes),
                        bound, m.wallSeconds, m.wallSeconds / bound, m.cpuSeconds,
                        100.0 * m.cpuSeconds / m.wallSeconds, m.simCpuSeconds,
                        m.pictureRight ? "exact" : "WRONG");
            std::fflush(stdout);
        }
    }
    return allRight ? 0 : 1;
}
