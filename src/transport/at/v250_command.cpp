#include "transport/at/v250_command.h"

#include "common/ascii_text.h"

namespace panelgrab {
namespace {

// A command line with its blanks (outside quotes) and its line end taken out.
std::string Compacted(std::string_view line) {
    std::string compact;
    bool quoted = false;
    for (const char c : line) {
        if (c == '"') {
            quoted = !quoted;
        }
        if (!quoted && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
            continue;
        }
        compact.push_back(c);
    }
    return compact;
}

bool IsNameCharacter(char c) {
    return IsAlnumAscii(c) || c == '!' || c == '%' || c == '-' || c == '.' || c == '/' || c == ':' ||
           c == '_';
}

// Moves `at` past the arguments of the command that ends at the next ';' outside quotes.
void SkipArguments(std::string_view text, std::size_t& at) {
    bool quoted = false;
    for (; at < text.size(); ++at) {
        if (text[at] == '"') {
            quoted = !quoted;
        } else if (text[at] == ';' && !quoted) {
            ++at;
            return;
        }
    }
}

// Moves `at` past one basic command: a letter (or '&' and a letter) with its number, or S-register
// access "S7=30"/"S7?". False for the dial command, which takes the rest of the line.
bool SkipBasicCommand(std::string_view text, std::size_t& at) {
    const char first = ToUpperAscii(text[at]);
    if (first == 'D') {
        at = text.size();
        return false;
    }
    at += first == '&' ? 2 : 1;
    while (at < text.size() && IsDigitAscii(text[at])) {
        ++at;
    }
    if (first == 'S' && at < text.size() && (text[at] == '=' || text[at] == '?')) {
        at += text[at] == '=' ? 1 : 0;
        while (at < text.size() && (IsDigitAscii(text[at]) || text[at] == '?')) {
            ++at;
        }
    }
    if (at < text.size() && text[at] == ';') {
        ++at;
    }
    return true;
}

} // namespace

bool IsExtendedPrefix(char c) {
    return c == '+' || c == '*' || c == '$' || c == '^' || c == '%' || c == '#' || c == '!';
}

std::vector<std::string> AnswerPrefixes(std::string_view commandLine) {
    const std::string text = Compacted(commandLine);
    std::vector<std::string> prefixes;
    if (!StartsWithIgnoringCase(text, "AT")) {
        return prefixes;
    }
    std::size_t at = 2;
    while (at < text.size()) {
        if (IsExtendedPrefix(text[at])) {
            std::size_t end = at + 1;
            while (end < text.size() && IsNameCharacter(text[end])) {
                ++end;
            }
            if (end > at + 1) {
                prefixes.push_back(ToUpperAscii(std::string_view(text).substr(at, end - at)));
            }
            at = end;
            SkipArguments(text, at);
        } else if (!SkipBasicCommand(text, at)) {
            break;
        }
    }
    return prefixes;
}

} // namespace panelgrab
