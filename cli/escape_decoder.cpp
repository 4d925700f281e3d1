#include "cli/escape_decoder.h"

#include "common/ascii_text.h"

namespace panelgrab::cli {

namespace {

// The character U+00code as UTF-8, so that the Latin-1 conversion for the wire yields the byte.
void AppendLatin1(std::string& out, int code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

char SimpleEscape(char c) {
    switch (c) {
    case 'r':
        return '\r';
    case 'n':
        return '\n';
    case 't':
        return '\t';
    case '\\':
        return '\\';
    case '"':
        return '"';
    case '\'':
        return '\'';
    default:
        return '\0';
    }
}

} // namespace

std::optional<std::string> DecodeEscapes(std::string_view text, std::string& error) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out.push_back(text[i]);
            continue;
        }
        if (i + 1 >= text.size()) {
            error = "the text ends in a lone backslash";
            return std::nullopt;
        }
        char kind = text[++i];
        if (char simple = SimpleEscape(kind); simple != '\0') {
            out.push_back(simple);
            continue;
        }
        if (kind != 'x') {
            error = std::string("unknown escape \\") + kind;
            return std::nullopt;
        }
        int code = 0;
        int digits = 0;
        while (digits < 2 && i + 1 < text.size() && HexDigitValue(text[i + 1]) >= 0) {
            code = code * 16 + HexDigitValue(text[++i]);
            ++digits;
        }
        if (digits == 0) {
            error = "\\x needs one or two hexadecimal digits";
            return std::nullopt;
        }
        if (code == 0) {
            error = "\\x00 cannot be sent: a command cannot hold a NUL byte";
            return std::nullopt;
        }
        AppendLatin1(out, code);
    }
    return out;
}

} // namespace panelgrab::cli
