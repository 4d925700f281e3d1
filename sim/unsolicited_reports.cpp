#include "sim/unsolicited_reports.h"

#include <iterator>

namespace panelgrab::sim {
namespace {

constexpr const char* kRound[] = {"+CIEV: 1,5", "+CMTI: \"SM\",3", "RING", "+CREG: 1", "+CIEV: 2,0"};

std::string Framed(std::string_view report) {
    return "\r\n" + std::string(report) + "\r\n";
}

} // namespace

std::string UnsolicitedReports::KeyReport(std::string_view key, std::string_view value) {
    return Framed("+CKEV: " + std::string(key) + "," + std::string(value));
}

std::string UnsolicitedReports::Next() {
    return Framed(kRound[turn_++ % std::size(kRound)]);
}

} // namespace panelgrab::sim
