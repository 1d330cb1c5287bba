#include <gtest/gtest.h>

#include <cmath>

#include "kernels/sketch.h"
#include "tests/kernels/kernel_pictures.h"

namespace vividra::fx {
namespace {

using testing::Alpha;
using testing::Picture;

// The luminance sampled like a texture: texel centres, bilinear, clamped edges.
double sample(const Picture& in, double px, double py) {
    auto luma = [&](int x, int y) {
        x = std::clamp(x, 0, in.width - 1);
        y = std::clamp(y, 0, in.height - 1);
        return 0.2125 * in.unit(x, y, 0) + 0.7154 * in.unit(x, y, 1) + 0.0721 * in.unit(x, y, 2);
    };
    const int x0 = static_cast<int>(std::floor(px)), y0 = static_cast<int>(std::floor(py));
    const double fx = px - x0, fy = py - y0;
    return (1 - fy) * ((1 - fx) * luma(x0, y0) + fx * luma(x0 + 1, y0)) +
           fy * ((1 - fx) * luma(x0, y0 + 1) + fx * luma(x0 + 1, y0 + 1));
}

int referenceGrey(const Picture& in, int x, int y, double texel, double strength) {
    const double dx = texel * in.width, dy = texel * in.height;
    auto at = [&](int i, int j) { return sample(in, x + i * dx, y + j * dy); };
    const double h =
        (at(-1, 1) + 2 * at(0, 1) + at(1, 1)) - (at(-1, -1) + 2 * at(0, -1) + at(1, -1));
    const double v =
        (at(1, -1) + 2 * at(1, 0) + at(1, 1)) - (at(-1, -1) + 2 * at(-1, 0) + at(-1, 1));
    return static_cast<int>(
        std::floor(std::clamp(1 - strength * std::hypot(h, v), 0.0, 1.0) * 255 + 0.5));
}

VIVIDRA_ON_EACH_PATH(Sketch);

TEST_P(Sketch, MatchesBilinearSobelReference) {
    const Picture in = testing::scenePicture(47, 31, 21);
    // Whole-pixel and fractional offsets, and one reaching past the picture.
    for (auto [texel, strength] : {std::pair{1.0 / 47, 1.0}, std::pair{0.013, 2.5},
                                   std::pair{0.05, 0.7}, std::pair{0.8, 1.0}}) {
        Picture out(in.width, in.height);
        ASSERT_TRUE(sketch(in.cview(), out.view(), texel, strength));
        int worst = 0;
        for (int y = 0; y < in.height; ++y)
            for (int x = 0; x < in.width; ++x) {
                worst = std::max(
                    worst, std::abs(out.at(x, y, 0) - referenceGrey(in, x, y, texel, strength)));
                ASSERT_EQ(out.at(x, y, 0), out.at(x, y, 1));
                ASSERT_EQ(out.at(x, y, 1), out.at(x, y, 2));
                ASSERT_EQ(out.at(x, y, Alpha), 255);
            }
        EXPECT_LE(worst, 1) << "texel " << texel;
    }
}

} // namespace
} // namespace vividra::fx
