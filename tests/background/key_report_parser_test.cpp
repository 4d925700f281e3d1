#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <utility>

#include "background/key_report_parser.h"

namespace panelgrab {

void PrintTo(const KeyEvent& event, std::ostream* os) {
    *os << (event.pressed ? "pressed " : "released ") << testing::PrintToString(event.key);
}

namespace {

KeyEvent Pressed(std::string key) {
    return {std::move(key), true};
}
KeyEvent Released(std::string key) {
    return {std::move(key), false};
}

// Only "+CKEV:" lines are key events; the port hands over every other report too.
TEST(KeyReportParser, CkevLinesGiveTheKeyAndWhetherItWasPressed) {
    const std::pair<const char*, std::optional<KeyEvent>> cases[] = {
        {"+CKEV: 5,1", Pressed("5")},
        {"+CKEV:*,0", Released("*")},
        {"+CKEV: 5,2", Released("5")},        // only "1" is a press
        {"+CKEV:  \t#,1", Pressed("#")},      // leading white space goes
        {"+CKEV: a b ,1", Pressed("a b ")},   // trailing characters stay
        {"+CKEV: \",\",1", Pressed("\",\"")}, // a key holding a comma is delivered whole
        {"+CKEV: 1,2,3,1", Pressed("1,2,3")},
        {"+CKEV:1", Pressed("")}, // no comma: empty key, direction from the first character
        {"+CKEV: 1", Released("")},
        {"+CKEV:", Released("")},
        {"+CKEV: 5,", Released("5")},
        {"+CKEV: \xE9,1", Pressed("\xC3\xA9")}, // Latin-1 from the wire becomes UTF-8
        {"+CIEV: 1,5", std::nullopt},
        {"RING", std::nullopt},
        {"+CKEVX: 5,1", std::nullopt},
        {"+ckev: 5,1", std::nullopt},
    };
    for (const auto& [line, expected] : cases) {
        EXPECT_EQ(KeyEventOfReport(line), expected) << testing::PrintToString(line);
    }
}

} // namespace
} // namespace panelgrab
