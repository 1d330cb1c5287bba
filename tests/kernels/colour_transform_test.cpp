#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>

#include "kernels/colour_transform.h"
#include "tests/kernels/kernel_pictures.h"

using namespace vividra::fx;
using vividra::fx::testing::Picture;
namespace t = vividra::fx::testing;

namespace {

// A pure power curve, whose slope from black is infinite, or for gamma 0 the sRGB curve.
double toLinear(double gamma, double v) {
    if (gamma > 0)
        return std::pow(v, gamma);
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}
double fromLinear(double gamma, double l) {
    if (gamma > 0)
        return std::pow(l, 1.0 / gamma);
    return l <= 0.0031308 ? l * 12.92 : 1.055 * std::pow(l, 1.0 / 2.4) - 0.055;
}

} // namespace

VIVIDRA_ON_EACH_PATH(ColourTransformOnEachPath);

// Every pixel lands within a level of the exact conversion of its straight colour,
// premultiplied again; alpha is kept and nothing beside the pixels is written, whatever the
// width, order and curves, with wide-gamut-like mixes that reach past both ends.
TEST_P(ColourTransformOnEachPath, EveryPixelWithinALevelOfTheExactConversion) {
    int clamped = 0;
    for (unsigned seed = 1; seed <= 8; ++seed) {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> gamma(1.8, 2.6), diagonal(0.8, 1.3),
            across(-0.3, 0.3);
        double source[3], destination[3], matrix[3][3];
        const auto tables = std::make_unique<CurveTransform>();
        for (int c = 0; c < 3; ++c) {
            source[c] = rng() % 2 ? gamma(rng) : 0;
            destination[c] = rng() % 2 ? gamma(rng) : 0;
            for (int k = 0; k < 3; ++k)
                tables->matrix[c][k] =
                    static_cast<float>(matrix[c][k] = c == k ? diagonal(rng) : across(rng));
            for (int v = 0; v < 256; ++v)
                tables->decode[c][v] = static_cast<float>(toLinear(source[c], v / 255.0));
            for (int i = 0; i < kEncodeEntries; ++i)
                tables->encode[c][i] = static_cast<std::uint8_t>(
                    std::lround(255 * fromLinear(destination[c], encodeSamplePoint(i))));
        }
        // Half opaque, an eighth transparent, the rest translucent; premultiplied.
        Picture before = t::noisePicture(static_cast<int>(seed * 29 % 64), 50, seed,
                                         seed % 2 ? ChannelOrder::BGRA : ChannelOrder::RGBA);
        for (int y = 0; y < before.height; ++y)
            for (int x = 0; x < before.width; ++x) {
                const unsigned kind = rng() % 8;
                const int a = kind < 4 ? 255 : kind == 4 ? 0 : before.at(x, y, t::Alpha);
                for (int c = 0; c < 4; ++c)
                    before.at(x, y, c) =
                        static_cast<std::uint8_t>(c == t::Alpha ? a : before.at(x, y, c) * a / 255);
            }
        Picture after = before;
        ASSERT_TRUE(transformColours(after.view(), *tables));
        ASSERT_TRUE(after.paddingIntact());
        for (int y = 0; y < before.height; ++y)
            for (int x = 0; x < before.width; ++x) {
                const int a = before.at(x, y, t::Alpha);
                ASSERT_EQ(after.at(x, y, t::Alpha), a);
                double linear[3];
                for (int c = 0; c < 3; ++c)
                    linear[c] = toLinear(
                        source[c],
                        (a ? std::min(255, (before.at(x, y, c) * 255 + a / 2) / a) : 0) / 255.0);
                for (int k = 0; k < 3; ++k) {
                    const double* m = matrix[k];
                    const double l = m[0] * linear[0] + m[1] * linear[1] + m[2] * linear[2];
                    clamped += l < -0.01 || l > 1.01;
                    const double exact =
                        std::round(255 * fromLinear(destination[k], std::clamp(l, 0.0, 1.0)));
                    ASSERT_NEAR(after.at(x, y, k), std::round(exact * a / 255), 1)
                        << "seed " << seed << " at " << x << "," << y << " channel " << k;
                }
            }
    }
    EXPECT_GT(clamped, 500);
}
