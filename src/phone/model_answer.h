#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace panelgrab {

// Takes the model out of the answer to "AT+CGMM\r" (echo included): the text between the first
// hyphen and the end of the first line after the echo, or that whole line when it holds no hyphen.
// Returns kPhoneOk with `model` set, or kPhoneBadAnswer (model unchanged) when the answer does not
// begin with the echo "AT+CGMM" or "at+cgmm".
int32_t ParseModelAnswer(std::string_view answer, std::string& model);

} // namespace panelgrab
