#include "phone/model_answer.h"

#include "phone/phone_link.h"

namespace panelgrab {
namespace {

constexpr std::string_view kBlanks = " \n\t\r";

std::string_view WithoutLeadingBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(kBlanks);
    return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

// Position as a signed number, -1 when not found, so that the length arithmetic below can go
// negative the way the answer format requires.
long long SignedPosition(std::size_t position) {
    return position == std::string_view::npos ? -1 : static_cast<long long>(position);
}

} // namespace

int32_t ParseModelAnswer(std::string_view answer, std::string& model) {
    std::string_view text = WithoutLeadingBlanks(answer);
    // Mixed case is not an echo the phone would send.
    if (!text.starts_with("AT+CGMM") && !text.starts_with("at+cgmm")) {
        return kPhoneBadAnswer;
    }
    text = WithoutLeadingBlanks(text.substr(7));

    const long long hyphen = SignedPosition(text.find('-'));
    const long long lineEnd = SignedPosition(text.find_first_of("\n\r"));
    const long long start = hyphen + 1;
    const long long length = lineEnd - hyphen - 1;
    if (length <= 0 || start >= static_cast<long long>(text.size())) {
        model.clear();
    } else {
        model = std::string(text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(length)));
    }
    return kPhoneOk;
}

} // namespace panelgrab
