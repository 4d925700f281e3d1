// The text codec: UTF-8 from the phone validated, Latin-1 for the wire and back. Decoding must give
// text that decodes to itself, and the wire form of a text must not depend on whether it was
// validated first; Latin-1 bytes must survive the round trip through UTF-8.
#include <string>

#include "common/text_codec.h"
#include "fuzz_input.h"

using panelgrab::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const std::string decoded = panelgrab::DecodeUtf8(bytes);
    Check(panelgrab::DecodeUtf8(decoded) == decoded, "decoded text is valid UTF-8");

    const panelgrab::NarrowString direct = panelgrab::ToNarrow(bytes);
    const panelgrab::NarrowString validated = panelgrab::ToNarrow(decoded);
    Check(direct.view() == validated.view() && direct.truncated() == validated.truncated(),
          "broken sequences become '?' either way");
    Check(direct.size() <= panelgrab::NarrowString::kMaxLength, "wire text fits its buffer");

    const std::string utf8 = panelgrab::FromNarrow(bytes);
    Check(panelgrab::DecodeUtf8(utf8) == utf8, "Latin-1 gives valid UTF-8");
    // A command text ends at a zero byte, as a zero-terminated string does.
    const std::string_view command = bytes.substr(0, bytes.find('\0'));
    const panelgrab::NarrowString back = panelgrab::ToNarrow(utf8);
    if (command.size() <= panelgrab::NarrowString::kMaxLength) {
        Check(!back.truncated() && back.view() == command, "Latin-1 round trip");
    } else {
        Check(back.truncated() && back.view() == command.substr(0, back.size()),
              "long text cut, not changed");
    }
    return 0;
}
