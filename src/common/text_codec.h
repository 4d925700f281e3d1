#pragma once

#include <string>
#include <string_view>

#include "common/narrow_string.h"

namespace panelgrab {

// Wide text is UTF-8 in this program; the wire is ISO-8859-1.

// UTF-8 to Latin-1 bytes; a character Latin-1 lacks becomes '?', and so does every byte of a broken
// sequence that does not begin a character of its own.
std::string Latin1FromUtf8(std::string_view utf8);
// The same for the wire, as a command text.
NarrowString ToNarrow(std::string_view utf8);

// Latin-1 bytes from the wire to UTF-8, one character per byte (for traces and listener reports).
std::string FromNarrow(std::string_view latin1);

// Validates UTF-8 received from the phone; every invalid sequence becomes U+FFFD.
std::string DecodeUtf8(std::string_view bytes);

} // namespace panelgrab
