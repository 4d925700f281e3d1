#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "common/commands.h"
#include "common/narrow_string.h"
#include "common/text_codec.h"

namespace panelgrab {
namespace {

TEST(CommandTexts, FormattersAtTheirEdges) {
    // The rest go out on the wire in the exchange tests (AtPhone, ScreenImageExchange, KeyEvents).
    const std::pair<NarrowString, const char*> cases[] = {
        {FormatKeyPress(""), "AT+CKPD=\"\"\r"},
        // Keys go out as Latin-1: e-acute is one byte; the euro sign has none and becomes '?'.
        {FormatKeyPress("\xC3\xA9"), "AT+CKPD=\"\xE9\"\r"},
        {FormatKeyPress("\xE2\x82\xAC"), "AT+CKPD=\"?\"\r"},
        {FormatSelectDisplay(-1), "AT*ZISI=-1\r"},
        {FormatChecksumRequest(4294967295u, 1, 2, 3, -2), "AT*ZAPC=4294967295,1,2,3,-2\r"},
    };
    for (const auto& [command, expected] : cases) {
        EXPECT_EQ(command.view(), expected);
        EXPECT_FALSE(command.truncated()) << expected;
    }
}

TEST(NarrowStringCapacity, LongTextIsCutWithinTheBufferAndMarked) {
    const auto sizeAndMark = [](const NarrowString& text) {
        return std::pair(text.size(), text.truncated());
    };
    const std::size_t capacity = NarrowString::kMaxLength;
    EXPECT_EQ(sizeAndMark(NarrowString(std::string(capacity, 'a'))), std::pair(capacity, false));
    const std::string longer(5000, 'b');
    const NarrowString cut(longer);
    EXPECT_EQ(sizeAndMark(cut), std::pair(capacity, true));
    EXPECT_EQ(cut.c_str()[capacity], '\0');

    // Formatters mark the command cut when the keys push it past the capacity.
    EXPECT_TRUE(FormatKeyPress(std::string(1020, '1')).truncated());
    EXPECT_TRUE(FormatTimedKeyPress(std::string(1015, '1'), 1, 1).truncated());
    EXPECT_TRUE(ToNarrow(longer).truncated());
    NarrowString copy;
    copy = cut; // a copy keeps text and mark
    EXPECT_TRUE(copy.view() == cut.view() && copy.truncated());

    // A zero byte ends the text.
    EXPECT_EQ(NarrowString(std::string_view("AT\0junk", 7)).view(), "AT");
    EXPECT_TRUE(NarrowString().empty());
    EXPECT_TRUE(ToNarrow("").empty());
}

TEST(TextCodec, ConversionsBetweenUtf8AndTheWire) {
    const std::pair<std::string, std::string> cases[] = {
        // UTF-8, and what goes on the wire
        {"plain", "plain"},
        {"\xC3\xA4\xC3\xB6", "\xE4\xF6"}, // a-umlaut, o-umlaut
        {"\xE4\xB8\xAD", "?"},            // a CJK character
        {"\xF0\x9F\x98\x80x", "?x"},      // outside the BMP
        {std::string("\xC3", 1), "?"},    // cut sequence
        {"\xC0\xAF", "??"},               // overlong encoding of '/'
        {"\xC3!", "?!"},                  // no continuation byte
    };
    for (const auto& [utf8, latin1] : cases) {
        EXPECT_EQ(Latin1FromUtf8(utf8), latin1) << utf8;
    }
    EXPECT_EQ(FromNarrow("\xE9t\xE9"), "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(DecodeUtf8("ok \xC3\xA9"), "ok \xC3\xA9");
    EXPECT_EQ(DecodeUtf8("bad \xFF end"), "bad \xEF\xBF\xBD end");
    EXPECT_EQ(DecodeUtf8("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"); // surrogate
}

} // namespace
} // namespace panelgrab
