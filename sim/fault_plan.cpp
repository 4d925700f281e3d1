#include "sim/fault_plan.h"

#include <charconv>
#include <string_view>

namespace panelgrab::sim {
namespace {

bool ParseByteCount(std::string_view digits, int64_t& bytes) {
    const char* end = digits.data() + digits.size();
    const auto [ptr, ec] = std::from_chars(digits.data(), end, bytes);
    return !digits.empty() && ec == std::errc() && ptr == end && bytes >= 0;
}

} // namespace

bool ParseFault(const std::string& text, FaultPlan& plan, std::string& error) {
    struct Simple {
        const char* name;
        FaultPlan::Kind kind;
    };
    static constexpr Simple kSimple[] = {{"", FaultPlan::Kind::None},
                                         {"none", FaultPlan::Kind::None},
                                         {"silent", FaultPlan::Kind::Silent},
                                         {"error-bulk", FaultPlan::Kind::ErrorBulk},
                                         {"garbage", FaultPlan::Kind::Garbage},
                                         {"endless-line", FaultPlan::Kind::EndlessLine},
                                         {"nul-bytes", FaultPlan::Kind::NulBytes},
                                         {"huge-display", FaultPlan::Kind::HugeDisplay},
                                         {"no-checksum", FaultPlan::Kind::NoChecksum},
                                         {"cme-errors", FaultPlan::Kind::CmeErrors}};
    for (const Simple& simple : kSimple) {
        if (text == simple.name) {
            plan = FaultPlan{simple.kind, 0};
            return true;
        }
    }
    const std::string_view view(text);
    const std::size_t equals = view.find('=');
    const std::string_view name = view.substr(0, equals);
    FaultPlan::Kind kind = FaultPlan::Kind::None;
    if (name == "hangup-after") {
        kind = FaultPlan::Kind::HangupAfter;
    } else if (name == "stall-after") {
        kind = FaultPlan::Kind::StallAfter;
    } else if (name == "late-answer") {
        kind = FaultPlan::Kind::LateAnswer;
    } else {
        error = "unknown fault \"" + text + "\"";
        return false;
    }
    int64_t bytes = 0;
    if (equals == std::string_view::npos || !ParseByteCount(view.substr(equals + 1), bytes)) {
        const char* unit = kind == FaultPlan::Kind::LateAnswer ? "a time in milliseconds" : "a byte count";
        error = "fault \"" + std::string(name) + "\" needs " + unit + ", e.g. " + std::string(name) + "=1000";
        return false;
    }
    plan = FaultPlan{kind, bytes};
    return true;
}

} // namespace panelgrab::sim
