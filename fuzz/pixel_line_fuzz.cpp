// The answer to one picture line, "AT*ZIPI=l,f,c": the characters from two after the first ':' up to
// a carriage return, never more than the room left in the picture. The destination is exactly `room`
// bytes so that any write past it is caught.
#include <memory>
#include <string>

#include "capture/picture_text.h"
#include "fuzz_input.h"

namespace {

using panelgrab::fuzz::Check;

// What the line should hold, worked out plainly from the answer.
std::string_view ExpectedLine(std::string_view answer, uint32_t room) {
    const std::size_t colon = answer.find(':');
    if (colon == std::string_view::npos || colon + 2 >= answer.size()) {
        return {};
    }
    std::string_view payload = answer.substr(colon + 2);
    payload = payload.substr(0, payload.find('\r'));
    return payload.substr(0, room);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    panelgrab::fuzz::FuzzInput in(data, size);
    const uint32_t room = in.Upto(600);
    const std::string_view answer = in.Rest();

    const auto dest = std::make_unique<char[]>(room);
    const uint32_t stored = panelgrab::ExtractPixelLine(answer, dest.get(), room);
    Check(stored <= room, "stored within the room");
    const std::string_view expected = ExpectedLine(answer, room);
    Check(std::string_view(dest.get(), stored) == expected, "line holds the answer's payload");
    return 0;
}
