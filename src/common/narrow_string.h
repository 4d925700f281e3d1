#pragma once

#include <cstddef>
#include <string_view>

namespace panelgrab {

// An 8-bit command text of fixed capacity, always zero-terminated. Text that does not fit is cut at
// kMaxLength characters and the string remembers it: the transport refuses to send a cut command,
// so a longer text never reaches the phone as a different, shortened command.
class NarrowString {
public:
    static constexpr std::size_t kCapacity = 1024;
    static constexpr std::size_t kMaxLength = kCapacity - 1;

    NarrowString();
    explicit NarrowString(const char* text);
    explicit NarrowString(std::string_view text);
    NarrowString(const NarrowString& other);
    NarrowString& operator=(const NarrowString& other);
    virtual ~NarrowString() = default;

    const char* c_str() const { return text_; }
    std::size_t size() const { return length_; }
    bool empty() const { return length_ == 0; }
    std::string_view view() const { return {text_, length_}; }
    // True when the text given to it was longer than kMaxLength and was cut.
    bool truncated() const { return truncated_; }

private:
    void Assign(std::string_view text);

    char text_[kCapacity];
    std::size_t length_ = 0;
    bool truncated_ = false;
};

} // namespace panelgrab
