// The command lines of compare, grab --expect, grab --every and watch; their effects are shown by
// the end-to-end tests.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/numbered_file_name.h"

namespace panelgrab::cli {
namespace {

using Args = std::vector<std::string>;

TEST(NumberedFileName, OneNumberConversionExactly) {
    const struct {
        const char* pattern;
        int64_t number;
        const char* name; // nullptr: refused
        const char* errorPart;
    } cases[] = {
        {"shot-%03d.png", 7, "shot-007.png", ""},
        {"shot-%03d.png", 12345, "shot-12345.png", ""},
        {"%d", 1, "1", ""},
        {"run%3d.bmp", 42, "run 42.bmp", ""},
        {"100%%-%d.png", 2, "100%-2.png", ""},
        {"%%d-%d%%.png", 3, "%d-3%.png", ""},
        {"dir/%05d", 99, "dir/00099", ""},
        {"shot.png", 1, nullptr, "it has 0"},
        {"%d-%d.png", 1, nullptr, "it has 2"},
        {"%%d.png", 1, nullptr, "it has 0"},
        {"shot-%s.png", 1, nullptr, "'%s' is not a number conversion"},
        {"shot-%x.png", 1, nullptr, "'%x'"},
        {"shot-%-3d.png", 1, nullptr, "'%-'"},
        {"shot-%.png", 1, nullptr, "'%.'"},
        {"shot-%", 1, nullptr, "'%'"},
        {"shot-%03", 1, nullptr, "'%03'"},
        {"shot-%999999999999d", 1, nullptr, "is not a number conversion"},
    };
    for (const auto& c : cases) {
        std::string error;
        const std::optional<NumberedFileName> name = NumberedFileName::Parse(c.pattern, error);
        if (c.name == nullptr) {
            EXPECT_FALSE(name.has_value()) << c.pattern;
            EXPECT_NE(error.find(c.errorPart), std::string::npos) << c.pattern << ": " << error;
            continue;
        }
        ASSERT_TRUE(name.has_value()) << c.pattern << ": " << error;
        EXPECT_EQ(name->For(c.number), c.name) << c.pattern;
    }
}

TEST(ComparisonArguments, AcceptedCommandLines) {
    const ParseOutcome compare = ParseArguments(
        {"compare", "a.png", "b.bmp", "--region", "0,0,10,10", "--region", "20,20,30,30", "--ignore",
         "1,2,3,4", "--tolerance", "8", "--max-diff-pixels", "12", "--diff", "d.png"});
    ASSERT_TRUE(compare.options) << compare.error;
    const ComparisonArguments& c = compare.options->compare;
    EXPECT_EQ(c.files, (Args{"a.png", "b.bmp"}));
    EXPECT_EQ(c.options.regions, (std::vector<PictureRect>{{0, 0, 10, 10}, {20, 20, 30, 30}}));
    EXPECT_EQ(c.options.ignores, (std::vector<PictureRect>{{1, 2, 3, 4}}));
    EXPECT_EQ(c.options.tolerance, 8);
    EXPECT_EQ(c.options.maxDifferingPixels, 12);
    EXPECT_EQ(c.diffFile, "d.png");

    const ParseOutcome grab = ParseArguments({"--port", "sim", "grab"});
    ASSERT_TRUE(grab.options) << grab.error;
    EXPECT_EQ(grab.options->output, kDefaultGrabFile);
    const ParseOutcome every =
        ParseArguments({"--port", "sim", "grab", "--every", "0.5", "-o", "s-%03d.png"});
    ASSERT_TRUE(every.options) << every.error;
    EXPECT_EQ(every.options->compare.every, 0.5);
    const ParseOutcome watch =
        ParseArguments({"--port", "sim", "watch", "--display", "1", "--full-every", "2.5"});
    ASSERT_TRUE(watch.options) << watch.error;
    EXPECT_EQ(watch.options->display, 1);
    EXPECT_EQ(watch.options->fullEvery, 2.5);
    EXPECT_EQ(watch.options->output, "") << "watch writes no picture unless asked";
}

TEST(ComparisonArguments, UsageErrorsNameTheProblem) {
    const struct {
        Args args;
        const char* expected; // part of the error text
    } cases[] = {
        {{"compare", "a.png"}, "two picture files"},
        {{"compare", "a.png", "b.png", "c.png"}, "two picture files"},
        {{"compare", "a.png", "b.png", "--tolerance", "256"}, "--tolerance"},
        {{"compare", "a.png", "b.png", "--tolerance", "-1"}, "--tolerance"},
        {{"compare", "a.png", "b.png", "--max-diff-pixels", "x"}, "--max-diff-pixels"},
        {{"compare", "a.png", "b.png", "--ignore", "5,5,4,4"}, "--ignore: region is empty"},
        {{"compare", "a.png", "b.png", "--region", "1,2,3"}, "--region: a region is four numbers"},
        {{"compare", "a.png", "b.png", "--diff", "-"}, "--diff needs a file name"},
        {{"compare", "a.png", "b.png", "--diff", "b.png"}, "would overwrite"},
        {{"compare", "a.png", "b.png", "--expect", "c.png"}, "--expect does not apply to compare"},
        {{"--port", "sim", "checksum", "--region", "0,0,1,1", "--region", "0,0,2,2"}, "one --region"},
        {{"--port", "sim", "grab", "--ignore", "0,0,1,1"}, "tune a comparison"},
        {{"--port", "sim", "grab", "--tolerance", "3", "-o", "x.png"}, "tune a comparison"},
        {{"--port", "sim", "grab", "--diff", "d.png"}, "--diff goes with --expect"},
        {{"--port", "sim", "grab", "--expect", "r.png", "--diff", "r.png"}, "overwrite the reference"},
        {{"--port", "sim", "grab", "--expect", "r.png", "-o", "-"}, "stdout"},
        {{"--port", "sim", "grab", "--expect", "r.png", "--every", "1", "-o", "s%d.png"}, "--every"},
        {{"--port", "sim", "grab", "--changed-only", "-o", "s%d.png"}, "--changed-only goes with --every"},
        {{"--port", "sim", "grab", "--every", "1"}, "needs -o with a numbered file name"},
        {{"--port", "sim", "grab", "--every", "1", "-o", "shot.png"}, "exactly one number conversion"},
        {{"--port", "sim", "grab", "--every", "1", "-o", "-"}, "exactly one number conversion"},
        {{"--port", "sim", "grab", "--every", "soon", "-o", "s%d.png"}, "--every needs a number of seconds"},
        {{"--port", "sim", "grab", "--every", "1", "--background", "-o", "s%d.png"}, "--background"},
        {{"--port", "sim", "model", "--every", "1"}, "--every does not apply to model"},
        {{"watch"}, "needs --port"},
        {{"--port", "sim", "watch", "--changed-only"}, "give -o"},
        {{"--port", "sim", "watch", "-o", "live.png"}, "-o live.png:"},
        {{"--port", "sim", "watch", "-o", "-"}, "not -"},
        {{"--port", "sim", "watch", "--full-every", "-1"}, "--full-every"},
        {{"--port", "sim", "watch", "--full-every", "3000000"}, "--full-every"},
        {{"--port", "sim", "watch", "--ignore", "0,0,1,1"}, "tune --changed-only"},
        {{"--port", "sim", "watch", "--diff", "d.png"}, "--diff does not apply to watch"},
        {{"--port", "sim", "watch", "--every", "1"}, "--every does not apply to watch"},
        {{"--port", "sim", "grab", "--full-every", "1"}, "--full-every does not apply to grab"},
        {{"--port", "sim", "watch", "extra"}, "takes no argument"},
    };
    for (const auto& c : cases) {
        const ParseOutcome outcome = ParseArguments(c.args);
        EXPECT_FALSE(outcome.options.has_value()) << ::testing::PrintToString(c.args);
        EXPECT_NE(outcome.error.find(c.expected), std::string::npos) << outcome.error;
    }
}

} // namespace
} // namespace panelgrab::cli
