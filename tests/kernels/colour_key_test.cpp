#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "kernels/colour_key.h"
#include "tests/kernels/kernel_pictures.h"

using namespace vividra::fx;
using vividra::fx::testing::Picture;
namespace t = vividra::fx::testing;

// How much one colour counts for `key`: a white reveal over a black target, one pixel.
int hueKeyWeight(std::uint8_t r, std::uint8_t g, std::uint8_t b, const HueKey& key) {
    Picture guide(1, 1), reveal(1, 1), target(1, 1);
    const std::uint8_t colour[4] = {r, g, b, 255};
    for (int c = 0; c < 4; ++c) {
        guide.at(0, 0, c) = colour[c];
        reveal.at(0, 0, c) = 255;
        target.at(0, 0, c) = c == t::Alpha ? 255 : 0;
    }
    EXPECT_TRUE(revealByHue(guide.cview(), reveal.cview(), target.view(), key));
    return target.at(0, 0, t::Red);
}

VIVIDRA_ON_EACH_PATH(ColourKey);

// Each target pixel is the guide's colour blended towards the reveal's by the weight of
// the guide's hue, whatever its neighbours: untouched at nothing, replaced at a whole weight.
TEST_P(ColourKey, RevealFollowsTheWeightOfEachGuidePixel) {
    const HueKey key{20, 40, 30};
    const Picture guide = t::noisePicture(61, 23, 4);
    const Picture reveal = t::noisePicture(61, 23, 5);
    Picture target = guide;
    ASSERT_TRUE(revealByHue(guide.cview(), reveal.cview(), target.view(), key));
    int counts[3] = {};
    for (int y = 0; y < guide.height; ++y)
        for (int x = 0; x < guide.width; ++x) {
            const int weight = hueKeyWeight(guide.at(x, y, t::Red), guide.at(x, y, t::Green),
                                            guide.at(x, y, t::Blue), key);
            ++counts[weight == 0 ? 0 : weight == 255 ? 2 : 1];
            for (int c = 0; c < 4; ++c)
                ASSERT_NEAR(
                    target.at(x, y, c),
                    (reveal.at(x, y, c) * weight + guide.at(x, y, c) * (255 - weight)) / 255.0, 0.6)
                    << x << "," << y << " weight " << weight;
        }
    // Pixels of each kind, so none of the three cases goes untried.
    for (int n : counts)
        EXPECT_GT(n, 50);
}

TEST_P(ColourKey, WeightFollowsHueAroundTheCircleAndNeverKeepsGreys) {
    const HueKey red{355, 10, 20};
    // 5° is 10° from 355° across the wrap: fully kept; 25° is 30° away: at the falloff's end.
    EXPECT_EQ(hueKeyWeight(255, 21, 0, red), 255);  // hue ≈ 5°
    EXPECT_EQ(hueKeyWeight(255, 110, 0, red), 0);   // hue ≈ 26°
    const int half = hueKeyWeight(255, 64, 0, red); // hue ≈ 15°, half way out
    EXPECT_GT(half, 90);
    EXPECT_LT(half, 165);
    // Falling off monotonically with the distance.
    int last = 255;
    for (int g = 0; g <= 255; g += 5) {
        const int weight = hueKeyWeight(255, static_cast<std::uint8_t>(g), 0, red);
        EXPECT_LE(weight, last) << g;
        last = weight;
    }
    // Greys, near-greys and near-blacks: nothing, whatever the key.
    for (float hue = 0; hue < 360; hue += 30)
        for (int v = 0; v <= 255; v += 15) {
            const HueKey key{hue, 180, 0};
            EXPECT_EQ(hueKeyWeight(v, v, v, key), 0);
            EXPECT_EQ(hueKeyWeight(v, v, static_cast<std::uint8_t>(v * 0.92), key), 0);
            EXPECT_EQ(hueKeyWeight(12, 0, 0, key), 0);
        }
    EXPECT_FALSE(keyableHue(128, 128, 128));
    EXPECT_FALSE(keyableHue(14, 2, 2));
    ASSERT_TRUE(keyableHue(0, 0, 200));
    EXPECT_NEAR(*keyableHue(0, 0, 200), 240.0f, 0.01f);
    EXPECT_NEAR(*keyableHue(200, 0, 20), 354.0f, 0.01f);
    // The picked hue, used as the key, keeps the colour it was picked from.
    EXPECT_EQ(hueKeyWeight(200, 0, 20, {*keyableHue(200, 0, 20), 0, 5}), 255);
}

// The weight, worked out in double precision from its definition: the hue by the largest
// channel, full within the tolerance and fading linearly over the falloff, times smooth
// steps that silence greys and near-blacks.
double definedWeight(int r, int g, int b, const HueKey& key) {
    const int hi = std::max({r, g, b}), lo = std::min({r, g, b});
    const double chroma = hi - lo;
    double h = 0;
    if (chroma > 0)
        h = hi == r ? (g - b) / chroma : hi == g ? (b - r) / chroma + 2 : (r - g) / chroma + 4;
    h = std::fmod(h * 60 + 360, 360);
    const double keyHue = std::fmod(std::fmod(key.hue, 360.0) + 360, 360);
    double d = std::abs(h - keyHue);
    d = std::min(d, 360 - d);
    const double near =
        1 -
        std::clamp((d - std::max(0.0f, key.tolerance)) / std::max(key.falloff, 0.01f), 0.0, 1.0);
    const auto step = [](double v, double from, double to) {
        const double t = std::clamp((v - from) / (to - from), 0.0, 1.0);
        return t * t * (3 - 2 * t);
    };
    const double saturation = hi > 0 ? chroma / hi : 0;
    return 255 * near * step(saturation, 0.10, 0.22) * step(hi / 255.0, 0.08, 0.18);
}

// Random colours under random keys, in rows whose lengths leave every possible remainder
// after whole vectors, in both channel orders: each weight within a level of its definition.
TEST_P(ColourKey, WeightsStayWithinALevelOfTheirDefinition) {
    std::mt19937 rng(17);
    std::uniform_real_distribution<float> hue(-360, 720), tolerance(-5, 90), falloff(0, 60);
    int counts[3] = {};
    for (int width = 1; width <= 40; ++width)
        for (ChannelOrder order : {ChannelOrder::RGBA, ChannelOrder::BGRA}) {
            const HueKey key{hue(rng), tolerance(rng), width % 7 == 0 ? 0.0f : falloff(rng)};
            const Picture guide = t::noisePicture(width, 3, rng(), order);
            Picture reveal(width, 3, order), target(width, 3, order);
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < width; ++x)
                    for (int c = 0; c < 4; ++c) {
                        reveal.at(x, y, c) = 255;
                        target.at(x, y, c) = c == t::Alpha ? 255 : 0;
                    }
            ASSERT_TRUE(revealByHue(guide.cview(), reveal.cview(), target.view(), key));
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < width; ++x) {
                    const int r = guide.at(x, y, t::Red), g = guide.at(x, y, t::Green),
                              b = guide.at(x, y, t::Blue);
                    const double want = definedWeight(r, g, b, key);
                    const int got = target.at(x, y, t::Red);
                    ASSERT_LE(std::abs(got - want), 1.0)
                        << r << "," << g << "," << b << " hue " << key.hue << " tolerance "
                        << key.tolerance << " falloff " << key.falloff;
                    ++counts[got == 0 ? 0 : got == 255 ? 2 : 1];
                }
            EXPECT_TRUE(target.paddingIntact());
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
