// The bulk picture stream: the input, cut into the texts that successive line reads would bring
// (cut sizes chosen by the first bytes), is harvested into a buffer of exactly `capacity` bytes. The
// stored digits must be the stream's hex digits in order, with the first text's echo and prefix
// skipped, up to the capital 'O' of the final OK, and nothing may be written past them.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "capture/picture_text.h"
#include "common/ascii_text.h"
#include "fuzz_input.h"

namespace {

using panelgrab::BulkHarvest;
using panelgrab::fuzz::Check;

constexpr char kUntouched = 'z'; // not a hex digit, so a stray write shows

// The expected outcome, worked out text by text from the rules alone.
struct Expected {
    std::string digits;
    BulkHarvest last = BulkHarvest::More;
    std::size_t textsTaken = 0;
};

Expected Reference(const std::vector<std::string_view>& texts) {
    Expected expected;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const bool first = i == 0;
        std::string_view text = texts[i];
        ++expected.textsTaken;
        if ((first || expected.digits.empty()) && text.find("ERROR") != std::string_view::npos) {
            expected.last = BulkHarvest::Error;
            return expected;
        }
        if (first) {
            const std::size_t colon = text.find(':');
            text = colon == std::string_view::npos || colon + 2 > text.size() ? std::string_view()
                                                                              : text.substr(colon + 2);
        }
        for (const char c : text) {
            if (panelgrab::IsHexDigit(c)) {
                expected.digits += c;
            } else if (c == 'O') {
                expected.last = BulkHarvest::Done;
                return expected;
            }
        }
    }
    return expected;
}

// Texts as line reads bring them: either cut after every line feed, or in sizes from the input.
std::vector<std::string_view> CutIntoTexts(panelgrab::fuzz::FuzzInput& in) {
    const uint8_t mode = in.Byte();
    std::vector<uint8_t> sizes;
    for (unsigned n = mode % 4; n > 0; --n) {
        sizes.push_back(in.Byte());
    }
    // A few lines of picture show every rule; longer streams only cost time.
    constexpr std::size_t kMaxStream = 2048;
    const std::string_view stream = in.Rest().substr(0, kMaxStream);
    if (sizes.empty()) {
        std::vector<std::string_view> lines;
        for (std::size_t at = 0; at < stream.size();) {
            const std::size_t end = stream.find('\n', at);
            const std::size_t next = end == std::string_view::npos ? stream.size() : end + 1;
            lines.push_back(stream.substr(at, next - at));
            at = next;
        }
        return lines;
    }
    return panelgrab::fuzz::SplitBySizes(stream, sizes);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    panelgrab::fuzz::FuzzInput in(data, size);
    const uint32_t capacity = in.Upto(1024);
    const std::vector<std::string_view> texts = CutIntoTexts(in);

    const auto buffer = std::make_unique<char[]>(capacity);
    std::fill(buffer.get(), buffer.get() + capacity, kUntouched);
    uint32_t received = 0;
    BulkHarvest last = BulkHarvest::More;
    std::size_t taken = 0;
    for (std::size_t i = 0; i < texts.size() && last == BulkHarvest::More; ++i) {
        const uint32_t before = received;
        last = panelgrab::HarvestBulkText(texts[i], i == 0, buffer.get(), capacity, received);
        Check(received >= before, "the count never goes back");
        ++taken;
    }

    const Expected expected = Reference(texts);
    Check(last == expected.last, "same verdict as the rules give");
    Check(taken == expected.textsTaken, "stops at the same text");
    Check(received == expected.digits.size(), "every digit counted");
    const std::size_t stored = std::min<std::size_t>(received, capacity);
    Check(std::string_view(buffer.get(), stored) == std::string_view(expected.digits).substr(0, stored),
          "digits stored in stream order");
    for (std::size_t i = stored; i < capacity; ++i) {
        Check(buffer[i] == kUntouched, "nothing written past the digits");
    }
    return 0;
}
