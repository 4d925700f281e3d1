#include <gtest/gtest.h>

#include "sim/fault_plan.h"
#include "sim/picture_source.h"
#include "sim/simulated_phone.h"

namespace panelgrab::sim {
namespace {

struct OptionCase {
    std::vector<std::string> args;
    bool ok;
    std::string errorPart; // a piece of the message for refused options
};

TEST(SimOptions, AcceptsGoodOptionsAndExplainsBadOnes) {
    const OptionCase cases[] = {
        {{}, true, ""},
        {{"--dialect", "per-line", "--display", "101x80:2"}, true, ""},
        {{"--dialect=two-displays", "--display=20x10:1", "--display=8x4:8"}, true, ""},
        {{"--baud=921600", "--chunk", "64", "--no-echo", "--fault=hangup-after=100"}, true, ""},
        {{"--key-events", ",,1;,,0;5,1"}, true, ""},
        {{"--dialect=sideways"}, false, "--dialect"},
        {{"--display=176x220:4"}, false, "--display"},
        {{"--display=0x220:16"}, false, "--display"},
        {{"--display=176x220"}, false, "--display"},
        {{"--display=10x10:16", "--display=10x10:16"}, false, "two-displays"},
        {{"--dialect=two-displays", "--display=10x10:16"}, false, "two --display"},
        {{"--dialect=short", "--display=128x160:8"}, false, "16-bit"},
        {{"--dialect=per-line", "--display=128x160:2"}, false, "128x160"},
        {{"--baud=-5"}, false, "--baud"},
        {{"--baud"}, false, "needs a value"},
        {{"--key-events=5;5,0"}, false, "--key-events"},
        {{"--fault=melt"}, false, "unknown fault"},
        {{"--fault=stall-after=x"}, false, "byte count"},
        {{"--colour=red"}, false, "unknown option"},
        {{"stray"}, false, "unexpected argument"},
    };
    for (const OptionCase& c : cases) {
        SimOptions options;
        std::string error;
        EXPECT_EQ(ParseSimOptions(c.args, options, error), c.ok) << testing::PrintToString(c.args);
        EXPECT_NE(error.find(c.errorPart), std::string::npos) << error;
    }
}

TEST(SimOptions, RefusedOptionsLeaveTheRecordAlone) {
    SimOptions options;
    options.baud = 9600;
    std::string error;
    EXPECT_FALSE(ParseSimOptions({"--baud=115200", "--dialect=nope"}, options, error));
    EXPECT_EQ(options.baud, 9600);
}

TEST(SimOptions, DialectsHaveTheirDefaultDisplays) {
    const auto displaysOf = [](const std::vector<std::string>& args) {
        SimOptions options;
        std::string error;
        EXPECT_TRUE(ParseSimOptions(args, options, error)) << error;
        std::vector<std::string> text;
        for (const SimDisplay& d : EffectiveDisplays(options)) {
            text.push_back(std::to_string(d.width) + "x" + std::to_string(d.height) + ":" +
                           std::to_string(d.bitsPerPixel));
        }
        return text;
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(displaysOf({}), V{"176x220:16"});
    EXPECT_EQ(displaysOf({"--dialect=per-line"}), V{"176x220:16"});
    EXPECT_EQ(displaysOf({"--dialect=two-displays"}), (V{"176x220:16", "96x64:16"}));
    EXPECT_EQ(displaysOf({"--dialect=short"}), V{"128x160:16"});
    EXPECT_EQ(displaysOf({"--display=30x20:8"}), V{"30x20:8"});
}

TEST(SimOptions, FaultsWithByteCounts) {
    FaultPlan plan;
    std::string error;
    ASSERT_TRUE(ParseFault("stall-after=4096", plan, error));
    EXPECT_EQ(plan.kind, FaultPlan::Kind::StallAfter);
    EXPECT_EQ(plan.bytes, 4096);
    EXPECT_FALSE(ParseFault("hangup-after", plan, error));
    EXPECT_FALSE(ParseFault("hangup-after=-1", plan, error));
    EXPECT_FALSE(ParseFault("silent=3", plan, error));
}

} // namespace
} // namespace panelgrab::sim
