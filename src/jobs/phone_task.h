#pragma once

#include <string>

namespace panelgrab {

class SerialPort;

// Base of every phone job: the port it talks over (not owned; it outlives the job) and the answer
// text of the job's command.
class PhoneTask {
public:
    explicit PhoneTask(SerialPort& taskPort) : port(taskPort) {}
    virtual ~PhoneTask() = default;
    PhoneTask(const PhoneTask&) = delete;
    PhoneTask& operator=(const PhoneTask&) = delete;

    // Asks the phone whether it supports the job; returns the exchange's result code.
    virtual int IsSupported(bool& supported) = 0;
    // Runs the whole job once on the calling thread; returns an exchange result code.
    virtual int Run() = 0;
    virtual std::string GetResponse() const { return response; }

protected:
    SerialPort& port;
    std::string response;
};

} // namespace panelgrab
