#include "server/key_text.h"

namespace panelgrab::server {

std::string KeyTextProblem(std::string_view keys) {
    if (keys.empty()) {
        return "no keys given";
    }
    if (keys.size() > kMaxKeyTextLength) {
        return "more than " + std::to_string(kMaxKeyTextLength) + " keys at once";
    }
    for (char c : keys) {
        if (kKeypadCharacters.find(c) == std::string_view::npos) {
            const unsigned code = static_cast<unsigned char>(c);
            const std::string shown =
                code >= 0x20 && code < 0x7f ? std::string("'") + c + "'" : "byte " + std::to_string(code);
            return shown + " is not a keypad key (keys are " + std::string(kKeypadCharacters) + ")";
        }
    }
    return {};
}

} // namespace panelgrab::server
