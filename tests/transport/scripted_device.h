#pragma once

#include <deque>
#include <string>
#include <vector>

#include "transport/serial_device.h"

namespace panelgrab::test {

// A serial device that plays back a fixed sequence of reads, so chunk boundaries and idle polls
// are exactly what the test says. Owned by the SerialPort under test; the test keeps a reference.
class ScriptedDevice final : public SerialDevice {
public:
    // Queues one read that returns `bytes` (a read of fewer bytes leaves the rest for the next).
    ScriptedDevice& Chunk(std::string bytes) {
        reads_.push_back({std::move(bytes), 0});
        return *this;
    }
    // Queues `count` reads that bring nothing.
    ScriptedDevice& Idle(int count = 1) {
        for (int i = 0; i < count; ++i) {
            reads_.push_back({{}, 0});
        }
        return *this;
    }
    // Queues a failing read.
    ScriptedDevice& Fail(int error) {
        reads_.push_back({{}, error});
        return *this;
    }
    // After the queue is used up, every read returns `bytes` (empty: nothing).
    void Forever(std::string bytes) { forever_ = std::move(bytes); }
    // Every write queues `answer` as the next read.
    void AnswerEveryWrite(std::string answer) { answerEveryWrite_ = std::move(answer); }

    int openError = 0;
    int configureError = 0;
    int writeError = 0;
    int reads = 0;                   // Read calls made
    std::vector<std::size_t> sizes;  // the size asked for by each Read
    std::vector<std::string> writes; // what each successful Write sent
    std::vector<std::string> opened; // paths given to Open
    std::vector<int32_t> rates;      // rates given to Configure

    int Open(const std::string& path) override {
        opened.push_back(path);
        open_ = openError == 0;
        return openError;
    }
    int Configure(int32_t baudRate) override {
        rates.push_back(baudRate);
        return configureError;
    }
    IoResult Read(char* buffer, std::size_t size, std::chrono::milliseconds) override {
        ++reads;
        sizes.push_back(size);
        if (!open_) {
            return {0, 9}; // EBADF
        }
        if (reads_.empty()) {
            return Take(forever_, buffer, size);
        }
        Entry entry = std::move(reads_.front());
        reads_.pop_front();
        if (entry.error != 0) {
            return {0, entry.error};
        }
        const IoResult result = Take(entry.bytes, buffer, size);
        if (result.count < entry.bytes.size()) {
            reads_.push_front({entry.bytes.substr(result.count), 0});
        }
        return result;
    }
    IoResult Write(const char* data, std::size_t size, std::chrono::milliseconds) override {
        if (!open_ || writeError != 0) {
            return {0, open_ ? writeError : 9};
        }
        writes.emplace_back(data, size);
        if (!answerEveryWrite_.empty()) {
            Chunk(answerEveryWrite_);
        }
        return {size, 0};
    }
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }

private:
    struct Entry {
        std::string bytes;
        int error;
    };
    static IoResult Take(const std::string& bytes, char* buffer, std::size_t size) {
        const std::size_t count = std::min(size, bytes.size());
        bytes.copy(buffer, count);
        return {count, 0};
    }

    std::deque<Entry> reads_;
    std::string forever_;
    std::string answerEveryWrite_;
    bool open_ = false;
};

} // namespace panelgrab::test
