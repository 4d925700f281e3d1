#include "common/narrow_string.h"

#include <algorithm>
#include <cstring>

namespace panelgrab {

NarrowString::NarrowString() {
    text_[0] = '\0';
}

NarrowString::NarrowString(const char* text) {
    Assign(text ? std::string_view(text) : std::string_view());
}

NarrowString::NarrowString(std::string_view text) {
    Assign(text);
}

NarrowString::NarrowString(const NarrowString& other) : length_(other.length_), truncated_(other.truncated_) {
    std::memcpy(text_, other.text_, length_ + 1);
}

NarrowString& NarrowString::operator=(const NarrowString& other) {
    if (this != &other) {
        length_ = other.length_;
        truncated_ = other.truncated_;
        std::memcpy(text_, other.text_, length_ + 1);
    }
    return *this;
}

void NarrowString::Assign(std::string_view text) {
    // A zero byte ends the text, as it would for the zero-terminated original.
    text = text.substr(0, std::min(text.find('\0'), text.size()));
    length_ = std::min(text.size(), kMaxLength);
    truncated_ = text.size() > kMaxLength;
    std::memcpy(text_, text.data(), length_);
    text_[length_] = '\0';
}

} // namespace panelgrab
