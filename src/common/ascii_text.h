#pragma once

#include <string>
#include <string_view>

namespace panelgrab {

// Helpers for the 7-bit ASCII that AT commands and their answers are made of. They never depend on
// the C locale: a phone's "OK" is the same in every locale, and bytes above 0x7F are left alone.

constexpr char ToUpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// ASCII letters upper-cased, every other byte kept.
std::string ToUpperAscii(std::string_view text);

bool EqualsIgnoringCase(std::string_view a, std::string_view b);
bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix);

constexpr bool IsDigitAscii(char c) {
    return c >= '0' && c <= '9';
}

constexpr bool IsAlnumAscii(char c) {
    return IsDigitAscii(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

constexpr bool IsHexDigit(char c) {
    return IsDigitAscii(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// The value of a hexadecimal digit, -1 for any other character.
constexpr int HexDigitValue(char c) {
    if (IsDigitAscii(c)) {
        return c - '0';
    }
    const char upper = ToUpperAscii(c);
    return upper >= 'A' && upper <= 'F' ? upper - 'A' + 10 : -1;
}

// As HexDigitValue, with 0 for any other character: how picture text counts a character that is no
// digit.
constexpr unsigned HexDigitOrZero(char c) {
    const int value = HexDigitValue(c);
    return value < 0 ? 0u : static_cast<unsigned>(value);
}

} // namespace panelgrab
