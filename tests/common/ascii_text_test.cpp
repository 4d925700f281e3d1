#include <gtest/gtest.h>

#include <string>

#include "common/ascii_text.h"

namespace panelgrab {
namespace {

TEST(AsciiText, HexDigitsAndLetterCaseIgnoreTheLocaleAndHighBytes) {
    const std::string hex = "0123456789ABCDEF";
    std::string values;
    std::string zeros;
    for (const char c : std::string("0123456789ABCDEFabcdefgG/:@`xz \r\0\xff", 34)) {
        values += HexDigitValue(c) < 0 ? '-' : hex.at(static_cast<std::size_t>(HexDigitValue(c)));
        zeros += hex.at(HexDigitOrZero(c));
    }
    EXPECT_EQ(values, hex + "ABCDEF" + std::string(12, '-'));
    EXPECT_EQ(zeros, hex + "ABCDEF" + std::string(12, '0'));

    EXPECT_EQ(ToUpperAscii("at+cgmm \xe9\xc3\xa9z"), "AT+CGMM \xe9\xc3\xa9Z");
    EXPECT_TRUE(StartsWithIgnoringCase("at*zisi=?", "AT*ZISI"));
    EXPECT_FALSE(StartsWithIgnoringCase("AT", "AT*"));
    EXPECT_TRUE(EqualsIgnoringCase("+cKeV", "+CKEV"));
    EXPECT_FALSE(EqualsIgnoringCase("+CKEV:", "+CKEV"));
}

} // namespace
} // namespace panelgrab
