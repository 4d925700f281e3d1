// panelgrab-phonesim: a simulated phone on a pseudo-terminal. Prints the device path to open as
// the first line of standard output, then serves until SIGINT or SIGTERM.
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "common/version.h"
#include "sim/simulated_phone.h"

namespace {

void PrintUsage(std::ostream& out) {
    out << "Usage: panelgrab-phonesim [OPTIONS]\n"
           "Serves a simulated phone on a pseudo-terminal and prints the device path to open.\n"
           "  -h, --help            print this help\n"
           "  --version             print the program's version\n\n"
        << panelgrab::sim::SimOptionsHelp();
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            PrintUsage(std::cout);
            return 0;
        }
        if (arg == "--version") {
            std::cout << "panelgrab-phonesim " << panelgrab::kVersion << "\n";
            return 0;
        }
    }
    panelgrab::sim::SimOptions options;
    std::string error;
    if (!panelgrab::sim::ParseSimOptions(args, options, error)) {
        std::cerr << "panelgrab-phonesim: " << error << "\n(--help lists the options)\n";
        return 2;
    }
    // Block the stop signals before the serving thread starts, so that only sigwait sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    panelgrab::sim::SimulatedPhone phone(options);
    if (!phone.Start(error)) {
        std::cerr << "panelgrab-phonesim: " << error << "\n";
        return 1;
    }
    std::cout << phone.DevicePath() << std::endl;
    int signal = 0;
    sigwait(&stopSignals, &signal);
    phone.Stop();
    return 0;
}
