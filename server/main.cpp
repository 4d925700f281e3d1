#include <csignal>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "common/version.h"
#include "server/config_file.h"
#include "server/lab_server.h"
#include "server/server_options.h"

namespace {

using namespace panelgrab::server;

// The page installed beside the program (PREFIX/share/panelgrab/web), else the source tree's.
std::string DefaultWebRoot(const char* argv0) {
    std::error_code ignored;
    const std::filesystem::path program = std::filesystem::canonical("/proc/self/exe", ignored);
    const std::filesystem::path installed = program.parent_path().parent_path() / "share/panelgrab/web";
    if (!program.empty() && std::filesystem::exists(installed / "index.html", ignored)) {
        return installed.string();
    }
    (void)argv0;
    return PANELGRAB_SOURCE_WEB_ROOT;
}

int Fail(const std::string& message, int code) {
    std::cerr << "panelgrab-server: " << message << "\n";
    return code;
}

bool ReadOptions(const std::vector<std::string>& args, ServerOptions& options, std::string& error) {
    if (!ParseServerOptions(args, options, error)) {
        return false;
    }
    if (options.configFile.empty() || options.help || options.version) {
        return true;
    }
    ServerOptions fromFile; // the file first, then the command line over it
    if (!LoadConfigFile(options.configFile, fromFile, error) || !ParseServerOptions(args, fromFile, error)) {
        return false;
    }
    options = fromFile;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    ServerOptions options;
    std::string error;
    if (!ReadOptions(args, options, error)) {
        return Fail(error, 2);
    }
    if (options.help) {
        std::cout << ServerHelpText();
        return 0;
    }
    if (options.version) {
        std::cout << "panelgrab-server " << panelgrab::kVersion << "\n";
        return 0;
    }
    if (!CheckServerOptions(options, error)) {
        return Fail(error, 2);
    }
    AccessRule access;
    if (!options.tokenFile.empty()) {
        std::optional<AccessRule> rule = AccessRule::FromTokenFile(options.tokenFile, error);
        if (!rule) {
            return Fail(error, 2);
        }
        access = *rule;
    }
    // The signals are waited for below; every thread started from here on inherits the block.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    LabServer server(options, access, options.webRoot.empty() ? DefaultWebRoot(argv[0]) : options.webRoot);
    if (!server.Start(error)) {
        return Fail(error, 1);
    }
    const bool ipv6 = options.listenHost.find(':') != std::string::npos;
    std::cout << "panelgrab-server: listening on http://" << (ipv6 ? "[" : "") << options.listenHost
              << (ipv6 ? "]" : "") << ":" << server.Port() << "/" << std::endl;
    int signal = 0;
    sigwait(&stopSignals, &signal);
    std::cerr << "panelgrab-server: stopping\n";
    server.Stop();
    return 0;
}
