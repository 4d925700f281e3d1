#include "common/commands.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "common/text_codec.h"

namespace panelgrab {

const NarrowString kCmdAt("AT\r");
const NarrowString kCmdZipiTest("AT*ZIPI=?\r");
const NarrowString kCmdZisiTest("AT*ZISI=?\r");
const NarrowString kCmdZapcTest("AT*ZAPC=?\r");
const NarrowString kCmdModel("AT+CGMM\r");
const NarrowString kCmdGuiDump("AT*ZGUI=0\r");
const NarrowString kCmdZisi("AT*ZISI\r");

namespace {

// Formats into a buffer one byte larger than a NarrowString can hold, so that a result longer
// than the capacity is noticed by NarrowString and marked as cut.
template <typename... Args> NarrowString Format(const char* format, Args... args) {
    char buffer[NarrowString::kCapacity + 1];
    const int needed = std::snprintf(buffer, sizeof buffer, format, args...);
    if (needed < 0) {
        return NarrowString();
    }
    return NarrowString(
        std::string_view(buffer, std::min<std::size_t>(static_cast<std::size_t>(needed), sizeof buffer - 1)));
}

// Builds text = prefix + body + suffix without a fixed-size intermediate buffer.
NarrowString Concat(std::string_view prefix, std::string_view body, std::string_view suffix) {
    std::string text;
    text.reserve(prefix.size() + body.size() + suffix.size());
    text.append(prefix).append(body).append(suffix);
    return NarrowString(std::string_view(text));
}

} // namespace

NarrowString FormatEventReporting(std::string_view mode, std::string_view keyp, std::string_view disp,
                                  std::string_view ind) {
    std::string fields;
    fields.append(mode).append(",").append(keyp).append(",").append(disp).append(",").append(ind);
    return Concat("AT+CMER=", fields, "\r");
}

std::string KeyTextProblem(std::string_view keys) {
    for (const char c : keys) {
        const auto code = static_cast<unsigned char>(c);
        if (code >= 0x20 && code < 0x7F && c != '"' && c != '\\') {
            continue;
        }
        char shown[16];
        if (code >= 0x20 && code < 0x7F) {
            std::snprintf(shown, sizeof shown, "'%c'", c);
        } else {
            std::snprintf(shown, sizeof shown, "byte 0x%02X", code);
        }
        return std::string("the key text holds ") + shown + ", which a key press (AT+CKPD) cannot carry";
    }
    return {};
}

NarrowString FormatKeyPress(std::string_view keys) {
    // A key string too long for one command makes the result too long as well, so it is marked cut.
    return Concat("AT+CKPD=\"", ToNarrow(keys).view(), "\"\r");
}

NarrowString FormatTimedKeyPress(std::string_view keys, unsigned time, unsigned pause) {
    char times[32];
    std::snprintf(times, sizeof times, "\",%u,%u\r", time, pause);
    return Concat("AT+CKPD=\"", ToNarrow(keys).view(), times);
}

NarrowString FormatSelectDisplay(int n) {
    return Format("AT*ZISI=%d\r", n);
}

NarrowString FormatPictureRequest(int line, int firstColumn, int lastColumn) {
    return Format("AT*ZIPI=%d,%d,%d\r", line, firstColumn, lastColumn);
}

NarrowString FormatChecksumRequest(unsigned left, unsigned top, unsigned right, unsigned bottom,
                                   int displayNumber) {
    if (displayNumber != 0) {
        return Format("AT*ZAPC=%u,%u,%u,%u,%d\r", left, top, right, bottom, displayNumber);
    }
    return Format("AT*ZAPC=%u,%u,%u,%u\r", left, top, right, bottom);
}

} // namespace panelgrab
