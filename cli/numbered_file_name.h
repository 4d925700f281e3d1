#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace panelgrab::cli {

// The names of repeated captures: a pattern with exactly one printf-style number conversion, %d
// with an optional 0 flag and width (%d, %3d, %03d); %% stands for a percent sign.
//   NumberedFileName::Parse("shot-%03d.png", error)->For(7) == "shot-007.png"
class NumberedFileName {
public:
    // No value (and the reason in `error`) for a pattern without exactly one number conversion.
    static std::optional<NumberedFileName> Parse(std::string_view pattern, std::string& error);

    std::string For(int64_t number) const;

private:
    std::string prefix_;
    std::string suffix_;
    int width_ = 0;
    bool zeroPadded_ = false;
};

} // namespace panelgrab::cli
