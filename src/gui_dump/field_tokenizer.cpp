#include "gui_dump/field_tokenizer.h"

namespace panelgrab {

bool FieldTokenizer::SetText(std::string_view text) {
    text_.assign(text);
    position_ = 0;
    token_.clear();
    return true;
}

bool FieldTokenizer::NextToken(std::string_view delimiters) {
    token_.clear();
    while (position_ < text_.size()) {
        const char c = text_[position_];
        if (delimiters.find(c) != std::string_view::npos) {
            ++position_;
            return true;
        }
        // A backslash at the very end has nothing to escape and counts as itself.
        if (c == '\\' && position_ + 1 < text_.size()) {
            ++position_;
        }
        token_.push_back(text_[position_]);
        ++position_;
    }
    return false;
}

} // namespace panelgrab
