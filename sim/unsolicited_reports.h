#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace panelgrab::sim {

// The reports a phone sends unasked, framed as on the wire ("\r\n+CIEV: 1,5\r\n"): key reports, and
// a round of others (signal, message, ring, network) for a phone that speaks at ordinary moments.
class UnsolicitedReports {
public:
    static std::string KeyReport(std::string_view key, std::string_view value);
    // The next report of the round.
    std::string Next();

private:
    std::size_t turn_ = 0;
};

} // namespace panelgrab::sim
