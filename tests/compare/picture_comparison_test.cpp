// The comparison's verdicts at the edges: tolerance, regions at and beyond the border, masks that
// cover everything, allowances, sizes that differ; and what the diff picture shows.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "compare/comparison_mask.h"
#include "compare/diff_picture.h"
#include "compare/picture_comparison.h"
#include "image/painted_picture.h"

namespace panelgrab {
namespace {

// A 176x220 picture, the size of the simulated phone's display, with colours that vary everywhere.
Picture Pattern(int32_t width = 176, int32_t height = 220) {
    return test::Painted(width, height, [](int32_t x, int32_t y) {
        return Rgb{static_cast<uint8_t>(x * 7 + y), static_cast<uint8_t>(y * 3), static_cast<uint8_t>(x ^ y)};
    });
}

ComparisonResult Compare(const Picture& reference, const Picture& picture, ComparisonOptions options = {}) {
    return PictureComparison(std::move(options)).Compare(reference, picture);
}

TEST(PictureComparison, ToleranceIsTheLargestChannelDifferenceThatStillMatches) {
    // The tolerance, a channel's value in the reference and in the picture, whether they differ.
    const std::tuple<int32_t, uint8_t, uint8_t, bool> cases[] = {
        {0, 100, 100, false}, {0, 100, 101, true},  {0, 101, 100, true},   {5, 100, 105, false},
        {5, 105, 100, false}, {5, 100, 106, true},  {5, 0, 6, true},       {254, 0, 255, true},
        {255, 0, 255, false}, {255, 255, 0, false}, {10, 250, 255, false}, {10, 255, 244, true},
    };
    for (const auto& [tolerance, from, to, differs] : cases) {
        for (uint8_t Rgb::*channel : {&Rgb::r, &Rgb::g, &Rgb::b}) {
            // Black but for one pixel, grey but for the channel.
            const auto with = [channel](uint8_t value) {
                Rgb colour{50, 50, 50};
                colour.*channel = value;
                return test::Painted(
                    3, 2, [colour](int32_t x, int32_t y) { return x == 2 && y == 1 ? colour : Rgb{}; });
            };
            const ComparisonResult result = Compare(with(from), with(to), {.tolerance = tolerance});
            EXPECT_EQ(std::tuple(result.matches(), result.differingPixels, result.largestDifference,
                                 result.comparedPixels),
                      std::tuple(!differs, differs ? 1 : 0, std::abs(from - to), 6))
                << "tolerance " << tolerance << ", " << int{from} << " against " << int{to};
        }
    }
}

TEST(PictureComparison, CountsBoundsAndSummary) {
    Picture reference = Pattern();
    reference.Set(175, 219, {0, 0, 0});
    Picture picture = reference;
    EXPECT_EQ(Compare(reference, picture).Summary(), "match");

    picture.Set(10, 200, {0, 0, 0});
    picture.Set(175, 219, {0, 0, 255});
    picture.Set(12, 205, {1, 2, 3});
    // The verdict, count, bounds and largest difference, as the summary tells them; with an allowance,
    // up to K pixels may differ (the summary is written from the verdict).
    const std::string counts = "3 pixels in (10,200)-(175,219), largest channel difference 255";
    EXPECT_EQ(Compare(reference, picture).Summary(), "differ: " + counts);
    EXPECT_EQ(Compare(reference, picture, {.maxDifferingPixels = 3}).Summary(),
              "match: " + counts + "; up to 3 may differ");
    EXPECT_EQ(Compare(reference, picture, {.maxDifferingPixels = 2}).Summary(),
              "differ: " + counts + "; only 2 may differ");
}

TEST(PictureComparison, RegionsAreClippedAtTheBorderAndRefusedWhollyOutside) {
    const Picture reference = Pattern();
    Picture picture = reference;
    picture.Set(175, 219, {0, 255, 0}); // the last pixel
    picture.Set(0, 0, {0, 255, 0});     // the first

    // The regions, the verdict, the pixels compared and those that differ.
    const std::tuple<std::vector<PictureRect>, ComparisonVerdict, int64_t, int64_t> cases[] = {
        {{{170, 210, 175, 219}}, ComparisonVerdict::Differ, 6 * 10, 1},          // inclusive right and bottom
        {{{170, 210, 65535, 65535}}, ComparisonVerdict::Differ, 6 * 10, 1},      // cut at the border
        {{{170, 210, 174, 218}}, ComparisonVerdict::Match, 5 * 9, 0},            // one short of it
        {{{0, 0, 0, 0}, {175, 219, 175, 219}}, ComparisonVerdict::Differ, 2, 2}, // a union of corners
        {{{0, 0, 10, 10}, {5, 5, 20, 20}}, ComparisonVerdict::Differ, 121 + 256 - 36, 1}, // overlapping
        {{{176, 0, 200, 10}}, ComparisonVerdict::RegionOutside, 0, 0},                  // wholly right of it
        {{{0, 220, 10, 230}}, ComparisonVerdict::RegionOutside, 0, 0},                  // wholly below it
        {{{0, 0, 5, 5}, {300, 300, 310, 310}}, ComparisonVerdict::RegionOutside, 0, 0}, // one of two
    };
    for (const auto& [regions, verdict, compared, differing] : cases) {
        const ComparisonResult result = Compare(reference, picture, {.regions = regions});
        EXPECT_EQ(std::tuple(result.verdict, result.comparedPixels, result.differingPixels),
                  std::tuple(verdict, compared, differing))
            << ToString(regions.front());
    }
    const ComparisonResult outside = Compare(reference, picture, {.regions = {{176, 0, 200, 10}}});
    EXPECT_EQ(outside.Summary(), "the region (176,0)-(200,10) lies outside the 176x220 picture");
}

TEST(PictureComparison, IgnoredAreasWinOverRegionsAndMayCoverEverything) {
    const Picture reference = Pattern();
    Picture picture = reference;
    for (int32_t x = 140; x <= 173; ++x) { // a clock that changed
        picture.Set(x, 5, {255, 255, 255});
    }
    EXPECT_FALSE(Compare(reference, picture).matches());

    const ComparisonResult masked = Compare(reference, picture, {.ignores = {{140, 2, 173, 10}}});
    EXPECT_EQ(std::tuple(masked.Summary(), masked.comparedPixels), std::tuple("match", 176 * 220 - 34 * 9));

    // A region holding the clock, the clock ignored inside it: nothing differs.
    EXPECT_TRUE(Compare(reference, picture, {.regions = {{100, 0, 175, 20}}, .ignores = {{140, 2, 173, 10}}})
                    .matches());

    for (const ComparisonOptions& everything :
         {ComparisonOptions{.ignores = {{0, 0, 175, 219}}},
          ComparisonOptions{.ignores = {{0, 0, 65535, 65535}}},
          ComparisonOptions{.regions = {{140, 2, 173, 10}}, .ignores = {{130, 0, 175, 15}}},
          ComparisonOptions{.ignores = {{0, 0, 175, 100}, {0, 101, 175, 219}}}}) {
        // The summary is written from the count: none compared.
        EXPECT_EQ(Compare(reference, Picture(Pattern(176, 220)), everything).Summary(),
                  "match (no pixel was compared: the ignored areas cover everything else)");
    }
}

TEST(PictureComparison, SizesThatDifferAreAMismatchWithTheirOwnMessage) {
    const struct { int32_t width, height; } sizes[] = {{128, 160}, {176, 219}, {177, 220}, {0, 0}};
    for (const auto& size : sizes) {
        EXPECT_EQ(Compare(Pattern(), Pattern(size.width, size.height)).Summary(),
                  "differ: the picture is " + std::to_string(size.width) + "x" + std::to_string(size.height) +
                      ", the reference 176x220");
    }
    // Two empty pictures: equal, and nothing to compare.
    EXPECT_TRUE(Compare(Picture{}, Picture{}).matches());
}

// Differences red, the rest washed out: CompareEndToEnd.ChangedPictureDiffersWithTheRightBoundingBox.
TEST(DiffPicture, MaskedAreasHatchedAndSizesThatDifferCovered) {
    const Picture reference = Pattern(40, 30);
    Picture picture = reference;
    picture.Set(30, 20, {0, 0, 0}); // inside the ignored area: not red
    const PictureComparison comparison({.ignores = {{25, 15, 39, 29}}});

    Picture diff;
    ASSERT_TRUE(DiffPicture::Draw(reference, picture, comparison, diff));
    EXPECT_EQ(diff.At(30, 20), DiffPicture::Masked(reference.At(30, 20), 30, 20));
    EXPECT_EQ(diff.At(0, 0), DiffPicture::Washed(reference.At(0, 0)));
    int hatched = 0;
    for (int32_t y = 0; y < 30; ++y) {
        for (int32_t x = 0; x < 40; ++x) {
            hatched += diff.At(x, y) == DiffPicture::kHatching ? 1 : 0;
            const Rgb washed = DiffPicture::Washed(reference.At(x, y));
            EXPECT_TRUE(washed.r == washed.g && washed.g == washed.b && washed.r >= 170);
        }
    }
    EXPECT_GT(hatched, 15 * 15 / 8); // one diagonal in six

    // Sizes that differ: the diff covers both, and what only one of them has is red.
    Picture wider = Pattern(50, 20);
    ASSERT_TRUE(DiffPicture::Draw(reference, wider, PictureComparison({}), diff));
    // Its size; a pixel the picture's only, the reference's only and neither's.
    EXPECT_EQ(std::tuple(diff.width(), diff.height(), diff.At(45, 5), diff.At(5, 25), diff.At(45, 25)),
              std::tuple(50, 30, DiffPicture::kDiffering, DiffPicture::kDiffering, DiffPicture::kDiffering));
}

} // namespace
} // namespace panelgrab
