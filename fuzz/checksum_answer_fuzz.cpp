// The answer to "AT*ZAPC": arbitrary text must parse without a crash, and a checksum written the way
// phones write it (quoted or not, either letter case, blanks around it) must come back exactly.
#include <cstdio>
#include <string>

#include "capture/checksum_answer.h"
#include "fuzz_input.h"

namespace {

using panelgrab::fuzz::Check;

void CheckWrittenAnswer(panelgrab::fuzz::FuzzInput& in) {
    const uint32_t sent = in.Long();
    const uint8_t style = in.Byte();
    char number[16];
    std::snprintf(number, sizeof number, (style & 1u) != 0 ? "%X" : "%x", sent);
    const char* quote = (style & 2u) != 0 ? "\"" : "";
    const char* blank = (style & 4u) != 0 ? " \t" : "";
    const char* prefix = (style & 8u) != 0 ? "AT*ZAPC=0,0,10,10\r\r\n" : "\r\n";
    char answer[96];
    std::snprintf(answer, sizeof answer, "%s*ZAPC: %s%s%s%s\r\n\r\nOK\r\n", prefix, blank, quote, number,
                  quote);
    int32_t value = 0;
    Check(panelgrab::ParseChecksum(answer, value), "written checksum accepted");
    Check(static_cast<uint32_t>(value) == sent, "checksum as sent");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int32_t value = 12345;
    const bool parsed =
        panelgrab::ParseChecksum(std::string_view(reinterpret_cast<const char*>(data), size), value);
    Check(parsed || value == 12345, "a refused answer leaves the value");
    panelgrab::fuzz::FuzzInput in(data, size);
    CheckWrittenAnswer(in);
    return 0;
}
