#pragma once

#include <string>
#include <string_view>

namespace panelgrab {

// UTF-8, the program's text, to and from the UTF-16 of the Windows API. Invalid sequences become
// U+FFFD rather than cutting the text short.
std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);

// "Windows error 87: The parameter is incorrect." — the number with the system's own text
// (FormatMessageW), or the number alone where the system has no text for it.
std::string WindowsErrorText(int error);

} // namespace panelgrab
