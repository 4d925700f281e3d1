#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace panelgrab::bench {

// panelgrab-phonesim as a process of its own, so that the CPU time a benchmark measures is the
// client's alone. Its first line of output is the device path to open.
class PhoneProcess {
public:
    PhoneProcess() = default;
    ~PhoneProcess() { Stop(); }
    PhoneProcess(const PhoneProcess&) = delete;
    PhoneProcess& operator=(const PhoneProcess&) = delete;

    // Starts `program` with `args` and waits for the device path; false (with a message on stderr)
    // when it cannot be started.
    bool Start(const std::string& program, const std::vector<std::string>& args);
    // Stops the phone and returns the CPU seconds it used.
    double Stop();
    const std::string& device() const { return device_; }

    // The panelgrab-phonesim built with the benchmarks, else the one beside `argv0`.
    static std::string DefaultProgram(const char* argv0);

private:
    pid_t pid_ = -1;
    std::string device_;
};

} // namespace panelgrab::bench
