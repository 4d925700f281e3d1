#include <gtest/gtest.h>

#include <string>

#include "phone/model_answer.h"
#include "phone/phone_link.h"

namespace panelgrab {
namespace {

TEST(ModelAnswer, TableOfAnswers) {
    struct Case {
        const char* answer;
        int32_t result;
        const char* model; // expected model, or the untouched value "old" on failure
    };
    const Case cases[] = {
        {"AT+CGMM\r\r\nABC-123\r\n\r\nOK\r\n", kPhoneOk, "123"},
        {"AT+CGMM\r\r\nXYZ\r\n\r\nOK\r\n", kPhoneOk, "XYZ"},
        {"at+cgmm\r\r\nABC-123\r\n\r\nOK\r\n", kPhoneOk, "123"},
        {" \r\n\tAT+CGMM\r\nPANELSIM-P200\r\nOK\r\n", kPhoneOk, "P200"},
        // Only the first hyphen splits; the rest stays in the model.
        {"AT+CGMM\r\nA-B-C\r\nOK\r\n", kPhoneOk, "B-C"},
        // The first hyphen lies beyond the first line end: empty model.
        {"AT+CGMM\r\nXYZ\r\nOK-1\r\n", kPhoneOk, ""},
        // No line end after the echo: empty model.
        {"AT+CGMM ABC-123", kPhoneOk, ""},
        {"AT+CGMM", kPhoneOk, ""},
        // A hyphen right before the line end: empty model.
        {"AT+CGMM\r\nABC-\r\nOK\r\n", kPhoneOk, ""},
        // Echo switched off, mixed-case echo, nothing at all.
        {"\r\nABC-123\r\n\r\nOK\r\n", kPhoneBadAnswer, "old"},
        {"At+Cgmm\r\nABC-123\r\nOK\r\n", kPhoneBadAnswer, "old"},
        {"AT+CGM\r\nOK\r\n", kPhoneBadAnswer, "old"},
        {"", kPhoneBadAnswer, "old"},
        {" \r\n ", kPhoneBadAnswer, "old"},
    };
    for (const Case& c : cases) {
        std::string model = "old";
        EXPECT_EQ(ParseModelAnswer(c.answer, model), c.result) << testing::PrintToString(c.answer);
        EXPECT_EQ(model, c.model) << testing::PrintToString(c.answer);
    }
}

} // namespace
} // namespace panelgrab
