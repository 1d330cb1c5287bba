#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "kernels/colour_key.h"
#include "tests/kernels/kernel_pictures.h"

using namespace vividra::fx;
using vividra::fx::testing::Picture;
namespace t = vividra::fx::testing;

namespace {

// The hue by the largest channel, in degrees.
double definedHue(int r, int g, int b) {
    const int hi = std::max({r, g, b});
    const double chroma = hi - std::min({r, g, b});
    if (chroma == 0)
        return 0;
    const double h = hi == r   ? (g - b) / chroma
                     : hi == g ? (b - r) / chroma + 2
                               : (r - g) / chroma + 4;
    return std::fmod(h * 60 + 360, 360);
}

// Smooth steps that silence greys and near-blacks.
double colourfulness(int r, int g, int b) {
    const auto step = [](double v, double from, double to) {
        const double t = std::clamp((v - from) / (to - from), 0.0, 1.0);
        return t * t * (3 - 2 * t);
    };
    const int hi = std::max({r, g, b});
    const double saturation = hi > 0 ? (hi - std::min({r, g, b})) / double(hi) : 0;
    return step(saturation, 0.10, 0.22) * step(hi / 255.0, 0.08, 0.18);
}

// The weight, worked out in double precision from its definition: full within the
// tolerance around the circle and fading linearly over the falloff.
double definedWeight(int r, int g, int b, const HueKey& key) {
    const double keyHue = std::fmod(std::fmod(key.hue, 360.0) + 360, 360);
    double d = std::abs(definedHue(r, g, b) - keyHue);
    d = std::min(d, 360 - d);
    const double near =
        1 -
        std::clamp((d - std::max(0.0f, key.tolerance)) / std::max(key.falloff, 0.01f), 0.0, 1.0);
    return 255 * near * colourfulness(r, g, b);
}

} // namespace

VIVIDRA_ON_EACH_PATH(ColourKey);

// Random colours (dark ones, near-grey ones and any) under random keys, in rows whose lengths
// leave every possible remainder after whole vectors, in both channel orders: each target
// pixel is blended towards the reveal by a weight within a level of its definition, and
// nothing beside the pixels is written. A colour's keyable hue is its hue where its weight
// would pass half, and nothing elsewhere.
TEST_P(ColourKey, WeightsStayWithinALevelOfTheirDefinition) {
    std::mt19937 rng(17);
    std::uniform_real_distribution<float> hue(-360, 720), tolerance(-5, 90), falloff(0, 60);
    int counts[3] = {};
    for (int width = 1; width <= 40; ++width)
        for (ChannelOrder order : {ChannelOrder::RGBA, ChannelOrder::BGRA}) {
            const HueKey key{hue(rng), tolerance(rng), width % 7 == 0 ? 0.0f : falloff(rng)};
            Picture guide = t::noisePicture(width, 3, rng(), order);
            const Picture reveal = t::noisePicture(width, 3, rng(), order);
            const Picture before = t::noisePicture(width, 3, rng(), order);
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < 3; ++c) {
                    guide.at(x, 0, c) /= 6;
                    guide.at(x, 1, c) =
                        static_cast<std::uint8_t>(128 + (guide.at(x, 1, c) - 128) / 5);
                }
            Picture target = before;
            ASSERT_TRUE(revealByHue(guide.cview(), reveal.cview(), target.view(), key));
            EXPECT_TRUE(target.paddingIntact());
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < width; ++x) {
                    const int r = guide.at(x, y, t::Red), g = guide.at(x, y, t::Green),
                              b = guide.at(x, y, t::Blue);
                    const double want = definedWeight(r, g, b, key);
                    ++counts[want < 0.5 ? 0 : want > 254.5 ? 2 : 1];
                    for (int c = 0; c < 4; ++c) {
                        const int from = before.at(x, y, c), to = reveal.at(x, y, c);
                        ASSERT_NEAR(target.at(x, y, c), (to * want + from * (255 - want)) / 255,
                                    std::abs(to - from) / 255.0 + 0.6)
                            << r << "," << g << "," << b << " under " << key.hue << "±"
                            << key.tolerance << "+" << key.falloff;
                    }
                    const std::optional<float> picked = keyableHue(r, g, b);
                    const double strength = colourfulness(r, g, b), h = definedHue(r, g, b);
                    ASSERT_TRUE(std::abs(strength - 0.5) < 1e-3 ||
                                picked.has_value() == (strength > 0.5));
                    ASSERT_NEAR(picked.value_or(h), h, 0.01) << r << "," << g << "," << b;
                }
        }
    for (int n : counts)
        EXPECT_GT(n, 100);
}

TEST(ColourKeyLikeness, SeparatesAnEdgeFromGrain) {
    const std::uint32_t red = 0xffc81e1e, green = 0xff28a032;
    EXPECT_EQ(colourLikeness(red, red), 255);
    EXPECT_EQ(colourLikeness(red, red + 0x0a0508), 255); // grain of a few levels
    EXPECT_EQ(colourLikeness(red, green), 0);
    const std::uint32_t between = 0xffc8461e; // 40 levels more green: partly alike
    EXPECT_GT(colourLikeness(red, between), 0);
    EXPECT_LT(colourLikeness(red, between), 255);
    // Alpha plays no part.
    EXPECT_EQ(colourLikeness(red, red & 0x00ffffff), 255);
}
