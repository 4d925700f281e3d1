// The bulk picture stream: the input, cut into the pieces that successive line reads would bring
// (cut sizes chosen by the first bytes), is fed to the parser with a buffer of exactly the
// picture's size. Fed whole or in pieces, the verdict and the digits must be the same, nothing may
// be written past the picture, and a picture is only whole when every line brought exactly its
// digits and the final OK followed.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "capture/bulk_picture_parser.h"
#include "common/ascii_text.h"
#include "fuzz_input.h"

namespace {

using panelgrab::BulkPictureParser;
using panelgrab::fuzz::Check;

constexpr char kUntouched = 'z'; // not a hex digit, so a stray write shows

struct Outcome {
    BulkPictureParser::Step step = BulkPictureParser::Step::More;
    uint32_t received = 0;
    std::string stored;
};

Outcome Parse(const std::vector<std::string_view>& pieces, uint32_t lines, uint32_t lineLength) {
    const uint32_t capacity = lines * lineLength;
    const auto buffer = std::make_unique<char[]>(capacity + 1);
    std::fill(buffer.get(), buffer.get() + capacity + 1, kUntouched);
    BulkPictureParser parser("AT*ZISI\r", lines, lineLength);
    Outcome outcome;
    for (const std::string_view piece : pieces) {
        outcome.step = parser.Feed(piece, buffer.get());
        if (outcome.step != BulkPictureParser::Step::More) {
            break;
        }
    }
    Check(buffer[capacity] == kUntouched, "nothing written past the picture");
    outcome.received = parser.received();
    outcome.stored.assign(buffer.get(), capacity);
    return outcome;
}

// The digits of the picture lines of a stream, judged line by line from the rules alone.
bool WholePicture(std::string_view stream, uint32_t lines, uint32_t lineLength) {
    uint64_t digits = 0;
    for (std::size_t at = 0; at < stream.size();) {
        const std::size_t end = stream.find('\n', at);
        if (end == std::string_view::npos) {
            return false;
        }
        std::string text(stream.substr(at, end - at));
        at = end + 1;
        std::erase(text, '\r');
        std::string_view line = text;
        if (line == "OK") {
            return digits == uint64_t{lines} * lineLength;
        }
        if (panelgrab::StartsWithIgnoringCase(line, "*ZISI:")) {
            line.remove_prefix(6);
            line.remove_prefix(std::min(line.find_first_not_of(' '), line.size()));
        }
        if (!line.empty() && line.find_first_not_of("0123456789abcdefABCDEF") == std::string_view::npos) {
            digits += line.size();
        }
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    panelgrab::fuzz::FuzzInput in(data, size);
    const uint32_t lines = in.Upto(8);
    const uint32_t lineLength = in.Upto(64);
    std::vector<uint8_t> sizes;
    for (unsigned n = in.Byte() % 4 + 1; n > 0; --n) {
        sizes.push_back(in.Byte());
    }
    constexpr std::size_t kMaxStream = 2048;
    const std::string_view stream = in.Rest().substr(0, kMaxStream);

    const Outcome whole = Parse({stream}, lines, lineLength);
    const Outcome pieces = Parse(panelgrab::fuzz::SplitBySizes(stream, sizes), lines, lineLength);
    Check(whole.step == pieces.step, "pieces give the verdict of the whole stream");
    Check(whole.received == pieces.received, "pieces give the count of the whole stream");
    Check(whole.stored == pieces.stored, "pieces give the digits of the whole stream");
    Check(whole.received <= lines * lineLength, "never more digits than the picture holds");
    if (whole.step == BulkPictureParser::Step::Done) {
        Check(whole.received == lines * lineLength, "a whole picture has every digit");
        Check(std::all_of(whole.stored.begin(), whole.stored.end(), [](char c) { return c != kUntouched; }),
              "a whole picture fills its buffer");
        Check(WholePicture(stream, lines, lineLength), "a whole picture came as lines of digits");
    }
    return 0;
}
