#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace panelgrab {

// Takes a text apart at delimiter characters. A backslash makes the next character literal, so a
// delimiter or a backslash can stand inside a token.
class FieldTokenizer {
public:
    FieldTokenizer() = default;
    virtual ~FieldTokenizer() = default;

    // Starts over with a copy of `text`; always true.
    virtual bool SetText(std::string_view text);
    // Collects characters up to the next character of `delimiters` and steps past it: true. False
    // when the text ends first; the token then holds what was collected.
    virtual bool NextToken(std::string_view delimiters);
    virtual std::string GetToken() const { return token_; }

private:
    std::string text_;
    std::size_t position_ = 0;
    std::string token_;
};

} // namespace panelgrab
