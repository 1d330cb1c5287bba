#include <gtest/gtest.h>

#include <cmath>

#include "effects/kernels/colour_key.h"
#include "kernel_pictures.h"

using namespace vividra::fx;
using vividra::fx::testing::Picture;
namespace t = vividra::fx::testing;

namespace {

void fill(Picture& p, int x, int y, int r, int g, int b) {
    p.at(x, y, t::Red) = static_cast<std::uint8_t>(r);
    p.at(x, y, t::Green) = static_cast<std::uint8_t>(g);
    p.at(x, y, t::Blue) = static_cast<std::uint8_t>(b);
    p.at(x, y, t::Alpha) = 255;
}

} // namespace

TEST(ColourKey, KeepsTheDiscNotTheFieldInEitherOrderAndOnEveryPath) {
    // A red disc on a green field, a grey ramp along the bottom rows; the reveal is a
    // flat blue, so every kept pixel is plain to see.
    constexpr int w = 90, h = 70;
    for (const ChannelOrder order : {ChannelOrder::RGBA, ChannelOrder::BGRA}) {
        Picture guide(w, h, order), reveal(w, h, order);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                fill(reveal, x, y, 0, 0, 255);
                const bool disc = std::hypot(x - 45.0, y - 30.0) < 20.0;
                if (y >= 60)
                    fill(guide, x, y, x * 255 / (w - 1), x * 255 / (w - 1), x * 255 / (w - 1));
                else if (disc)
                    fill(guide, x, y, 200, 30, 25);
                else
                    fill(guide, x, y, 40, 160, 50);
            }
        for (const auto path : {detail::Isa::Base, detail::Isa::Avx2, detail::Isa::Avx512}) {
            if (detail::useIsa(path) != path)
                continue;
            Picture target = guide.reordered(order);
            ASSERT_TRUE(revealByHue(guide.cview(), reveal.cview(), target.view(), {2, 15, 10}));
            EXPECT_TRUE(target.paddingIntact());
            int kept = 0, discPixels = 0;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const bool disc = y < 60 && std::hypot(x - 45.0, y - 30.0) < 20.0;
                    const bool blue =
                        target.at(x, y, t::Blue) == 255 && target.at(x, y, t::Red) == 0;
                    discPixels += disc;
                    kept += disc && blue;
                    if (!disc) {
                        ASSERT_EQ(target.at(x, y, t::Blue), guide.at(x, y, t::Blue))
                            << "kept outside the disc at " << x << "," << y;
                    }
                }
            EXPECT_EQ(kept, discPixels);
        }
        detail::useIsa(detail::Isa::Avx512);
    }
}

TEST(ColourKey, WeightFollowsHueAroundTheCircleAndNeverKeepsGreys) {
    const HueKey red{355, 10, 20};
    // 5° is 10° from 355° across the wrap: fully kept; 25° is 30° away: at the falloff's end.
    EXPECT_EQ(hueKeyWeight(255, 21, 0, red), 255);           // hue ≈ 5°
    EXPECT_EQ(hueKeyWeight(255, 110, 0, red), 0);            // hue ≈ 26°
    const std::uint8_t half = hueKeyWeight(255, 64, 0, red); // hue ≈ 15°, half way out
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
