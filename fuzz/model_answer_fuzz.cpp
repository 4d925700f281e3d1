// The answer to "AT+CGMM": arbitrary text must give either a refusal that leaves the model alone or
// a model that is one piece of the first line after the echo.
#include <string>

#include "fuzz_input.h"
#include "phone/model_answer.h"
#include "phone/phone_link.h"

namespace {

using panelgrab::fuzz::Check;

void CheckArbitraryAnswer(std::string_view answer) {
    std::string model = "untouched";
    const int32_t result = panelgrab::ParseModelAnswer(answer, model);
    Check(result == panelgrab::kPhoneOk || result == panelgrab::kPhoneBadAnswer, "known result code");
    if (result != panelgrab::kPhoneOk) {
        Check(model == "untouched", "a refused answer leaves the model");
        return;
    }
    Check(model.find_first_of("\r\n") == std::string::npos, "model is within one line");
    Check(answer.find(model) != std::string_view::npos, "model is taken from the answer");
}

// An answer as the phone writes it, maker and model from the input: the model part must come back.
void CheckWrittenAnswer(panelgrab::fuzz::FuzzInput& in) {
    std::string maker;
    std::string name;
    for (std::string* part : {&maker, &name}) {
        const std::string_view raw = in.Take(in.Byte() % 12);
        for (const char c : raw) {
            // Line ends, hyphens and leading blanks have their own meaning in the answer.
            *part += (c == '\r' || c == '\n' || c == '-' || c == ' ' || c == '\t') ? 'x' : c;
        }
    }
    const std::string echo = in.Flag() ? "AT+CGMM" : "at+cgmm";
    const std::string answer = echo + "\r\r\n" + maker + "-" + name + "\r\n\r\nOK\r\n";
    std::string model;
    Check(panelgrab::ParseModelAnswer(answer, model) == panelgrab::kPhoneOk, "written answer accepted");
    Check(model == name, "model after the hyphen");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckArbitraryAnswer(std::string_view(reinterpret_cast<const char*>(data), size));
    panelgrab::fuzz::FuzzInput in(data, size);
    CheckWrittenAnswer(in);
    return 0;
}
