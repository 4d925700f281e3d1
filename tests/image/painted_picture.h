#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "common/image/picture.h"

namespace panelgrab::test {

// A picture of that size whose pixel (x, y) is colour(x, y).
template <typename Colour> Picture Painted(int32_t width, int32_t height, Colour colour) {
    Picture picture;
    EXPECT_TRUE(picture.Resize(width, height));
    for (int32_t y = 0; y < picture.height(); ++y) {
        for (int32_t x = 0; x < picture.width(); ++x) {
            picture.Set(x, y, colour(x, y));
        }
    }
    return picture;
}

} // namespace panelgrab::test
