#include "sim/unsolicited_reports.h"

#include <iterator>

namespace panelgrab::sim {
namespace {

// A vendor's own report, and a message report whose PDU line (hex digits, as a picture's) follows.
constexpr const char* kRound[] = {
    "+CIEV: 1,5", "+CMTI: \"SM\",3",
    "RING",       "*EMRDY: 1",
    "+CREG: 1",   "+CMT: ,24\r\n0791448720003023240DD0E474D81C0EBB010000111011315214000BE474D81C0EBB5DE3771B",
    "+CIEV: 2,0"};

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
