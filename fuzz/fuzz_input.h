#pragma once
// Shared helpers of the fuzz targets: taking numbers and pieces off the front of the fuzzer's input,
// and stopping on a broken invariant so that libFuzzer records the input as a finding.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string_view>
#include <vector>

namespace panelgrab::fuzz {

// Prints what broke and traps: the input that got here is a crash to keep and replay.
[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::fflush(stderr);
    __builtin_trap();
}

inline void Check(bool condition, const char* what) {
    if (!condition) {
        Fail(what);
    }
}

// A heap copy of exactly the text's size, so that any read past its end is an ASan finding (the
// fuzzer's own buffer may be followed by more of its data).
inline std::unique_ptr<char[]> ExactCopy(std::string_view text) {
    auto copy = std::make_unique<char[]>(text.size());
    std::copy(text.begin(), text.end(), copy.get());
    return copy;
}

// Reads the input front to back. Running out yields zeros, so every input is usable.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    uint8_t Byte() { return at_ < size_ ? data_[at_++] : uint8_t{0}; }
    uint16_t Word() {
        const auto high = static_cast<uint16_t>(Byte() << 8);
        return static_cast<uint16_t>(high | Byte());
    }
    uint32_t Long() {
        const uint32_t high = Word();
        return (high << 16) | Word();
    }
    // A number in [0, bound] (bound < 65536).
    uint32_t Upto(uint32_t bound) { return bound == 0 ? 0 : Word() % (bound + 1); }
    bool Flag() { return (Byte() & 1u) != 0; }

    std::string_view Rest() {
        const std::string_view rest(reinterpret_cast<const char*>(data_ + at_), size_ - at_);
        at_ = size_;
        return rest;
    }
    std::string_view Take(std::size_t count) {
        const std::size_t n = count < size_ - at_ ? count : size_ - at_;
        const std::string_view piece(reinterpret_cast<const char*>(data_ + at_), n);
        at_ += n;
        return piece;
    }

private:
    const uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// Cuts `text` into consecutive pieces whose sizes come from `sizes` in turn (0 allowed: an empty
// read), cycling when they run out. Sizes of 0 only would never advance; those get size 1.
inline std::vector<std::string_view> SplitBySizes(std::string_view text, const std::vector<uint8_t>& sizes) {
    std::vector<std::string_view> pieces;
    bool anyNonZero = false;
    for (const uint8_t s : sizes) {
        anyNonZero = anyNonZero || s != 0;
    }
    std::size_t at = 0;
    std::size_t turn = 0;
    while (at < text.size()) {
        std::size_t size = sizes.empty() || !anyNonZero ? 1 : sizes[turn++ % sizes.size()];
        if (size > text.size() - at) {
            size = text.size() - at;
        }
        pieces.push_back(text.substr(at, size));
        at += size;
    }
    return pieces;
}

} // namespace panelgrab::fuzz
