#include <gtest/gtest.h>

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

// Each target pixel is the guide's colour blended towards the reveal's by the weight of
// the guide's hue, whatever its neighbours: untouched at nothing, replaced at a whole weight.
TEST(ColourKey, RevealFollowsTheWeightOfEachGuidePixel) {
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

TEST(ColourKey, WeightFollowsHueAroundTheCircleAndNeverKeepsGreys) {
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

TEST(ColourKey, LikenessSeparatesAnEdgeFromGrain) {
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
