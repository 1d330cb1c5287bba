#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "effects/kernels/adjustments.h"
#include "effects/kernels/sepia.h"
#include "tests/effects/kernels/kernel_pictures.h"

namespace vividra::fx {
namespace {

using testing::Alpha;
using testing::noisePicture;
using testing::Picture;

using Rgb = std::array<double, 3>;

Rgb clamp01(Rgb c) {
    for (double& v : c)
        v = std::clamp(v, 0.0, 1.0);
    return c;
}

Rgb quantise(Rgb c) {
    c = clamp01(c);
    for (double& v : c)
        v = std::floor(v * 255.0 + 0.5) / 255.0;
    return c;
}

Rgb colourAt(const Picture& p, int x, int y) {
    return {p.unit(x, y, 0), p.unit(x, y, 1), p.unit(x, y, 2)};
}

// Every pixel against `expected` on its colour, within `tolerance` levels; alpha unchanged.
void expectEveryPixel(const Picture& in, const Picture& out,
                      const std::function<Rgb(Rgb)>& expected, int tolerance, const char* what) {
    int worst = 0;
    for (int y = 0; y < in.height; ++y)
        for (int x = 0; x < in.width; ++x) {
            const Rgb want = quantise(expected(colourAt(in, x, y)));
            for (int c = 0; c < 3; ++c)
                worst = std::max(worst, std::abs(out.at(x, y, c) -
                                                 static_cast<int>(std::lround(want[c] * 255))));
            ASSERT_EQ(out.at(x, y, Alpha), in.at(x, y, Alpha)) << what;
        }
    EXPECT_LE(worst, tolerance) << what;
    EXPECT_TRUE(out.paddingIntact()) << what;
}

double luma(const Rgb& c) {
    return 0.2125 * c[0] + 0.7154 * c[1] + 0.0721 * c[2];
}

Rgb hueTurn(const Rgb& c, double degrees) {
    const double y = 0.299 * c[0] + 0.587 * c[1] + 0.114 * c[2];
    const double i = 0.595716 * c[0] - 0.274453 * c[1] - 0.321263 * c[2];
    const double q = 0.211456 * c[0] - 0.522591 * c[1] + 0.31135 * c[2];
    const double t = std::fmod(degrees, 360.0) * M_PI / 180.0;
    const double i2 = i * std::cos(t) + q * std::sin(t), q2 = q * std::cos(t) - i * std::sin(t);
    return {y + 0.9563 * i2 + 0.6210 * q2, y - 0.2721 * i2 - 0.6474 * q2,
            y - 1.1070 * i2 + 1.7046 * q2};
}

VIVIDRA_ON_EACH_PATH(ColourKernels);

TEST_P(ColourKernels, SepiaFollowsTheMatrixBlend) {
    const Picture in = noisePicture(37, 23, 1);
    for (double k : {1.0, 0.35}) {
        Picture out(in.width, in.height);
        ASSERT_TRUE(sepia(in.cview(), out.view(), k));
        expectEveryPixel(
            in, out,
            [k](Rgb c) {
                const double m[3][3] = {
                    {0.3588, 0.7044, 0.1368}, {0.2990, 0.5870, 0.1140}, {0.2392, 0.4696, 0.0912}};
                Rgb o;
                for (int i = 0; i < 3; ++i)
                    o[i] = k * (m[i][0] * c[0] + m[i][1] * c[1] + m[i][2] * c[2]) + (1 - k) * c[i];
                return o;
            },
            1, "sepia");
    }
    // White: the red row sums past 1 and clips, green sums to 1, blue to 0.8.
    Picture white(1, 1);
    for (int c = 0; c < 4; ++c)
        white.at(0, 0, c) = 255;
    Picture out(1, 1);
    ASSERT_TRUE(sepia(white.cview(), out.view(), 1.0));
    EXPECT_EQ(out.at(0, 0, 0), 255);
    EXPECT_EQ(out.at(0, 0, 1), 255);
    EXPECT_EQ(out.at(0, 0, 2), 204);
}

TEST_P(ColourKernels, EachAdjustmentFollowsItsFormula) {
    const Picture in = noisePicture(41, 19, 2);
    struct Case {
        const char* name;
        std::function<bool(const ConstImageView&, const ImageView&)> run;
        std::function<Rgb(Rgb)> expected;
    };
    const Case cases[] = {
        {"brightness", [](auto i, auto o) { return brightness(i, o, 0.2f); },
         [](Rgb c) {
             return Rgb{c[0] + 0.2, c[1] + 0.2, c[2] + 0.2};
         }},
        {"darker", [](auto i, auto o) { return brightness(i, o, -0.3f); },
         [](Rgb c) {
             return Rgb{c[0] - 0.3, c[1] - 0.3, c[2] - 0.3};
         }},
        {"contrast", [](auto i, auto o) { return contrast(i, o, 1.7f); },
         [](Rgb c) {
             for (double& v : c)
                 v = (v - 0.5) * 1.7 + 0.5;
             return c;
         }},
        {"saturation", [](auto i, auto o) { return saturation(i, o, 1.8f); },
         [](Rgb c) {
             const double l = luma(c);
             for (double& v : c)
                 v = l + 1.8 * (v - l);
             return c;
         }},
        {"greyscale", [](auto i, auto o) { return saturation(i, o, 0.0f); },
         [](Rgb c) {
             const double l = luma(c);
             return Rgb{l, l, l};
         }},
        {"exposure", [](auto i, auto o) { return exposure(i, o, -0.75f); },
         [](Rgb c) {
             for (double& v : c)
                 v *= std::pow(2.0, -0.75);
             return c;
         }},
        {"gamma", [](auto i, auto o) { return gamma(i, o, 2.2f); },
         [](Rgb c) {
             for (double& v : c)
                 v = std::pow(v, 2.2);
             return c;
         }},
        {"hue", [](auto i, auto o) { return hue(i, o, 100.0f); },
         [](Rgb c) { return hueTurn(c, 100.0); }},
        {"hue past a turn", [](auto i, auto o) { return hue(i, o, 400.0f); },
         [](Rgb c) { return hueTurn(c, 40.0); }},
        {"rgb", [](auto i, auto o) { return rgb(i, o, 0.5f, 1.25f, 0.0f); },
         [](Rgb c) {
             return Rgb{c[0] * 0.5, c[1] * 1.25, 0.0};
         }},
    };
    for (const Case& c : cases) {
        Picture out(in.width, in.height);
        ASSERT_TRUE(c.run(in.cview(), out.view())) << c.name;
        expectEveryPixel(in, out, c.expected, 1, c.name);
        // Widths that leave pixels over after whole vectors, in BGRA and in place.
        for (int width : {1, 7, 17}) {
            const Picture narrow = noisePicture(width, 5, 20 + width, ChannelOrder::BGRA);
            Picture inPlace = narrow;
            ASSERT_TRUE(c.run(inPlace.cview(), inPlace.view())) << c.name;
            expectEveryPixel(narrow, inPlace, c.expected, 1, c.name);
        }
    }
}

TEST_P(ColourKernels, NeutralValuesLeaveEveryByteAlone) {
    const Picture in = noisePicture(33, 17, 3);
    const std::function<bool(const ConstImageView&, const ImageView&)> neutral[] = {
        [](auto i, auto o) { return brightness(i, o, 0.0f); },
        [](auto i, auto o) { return contrast(i, o, 1.0f); },
        [](auto i, auto o) { return saturation(i, o, 1.0f); },
        [](auto i, auto o) { return exposure(i, o, 0.0f); },
        [](auto i, auto o) { return gamma(i, o, 1.0f); },
        [](auto i, auto o) { return hue(i, o, 0.0f); },
        [](auto i, auto o) { return hue(i, o, 360.0f); },
        [](auto i, auto o) { return rgb(i, o, 1.0f, 1.0f, 1.0f); },
        [](auto i, auto o) { return sepia(i, o, 0.0); },
        [](auto i, auto o) {
            Adjustments a;
            a.brightness = 0.0f, a.contrast = 1.0f, a.saturation = 1.0f, a.exposure = 0.0f;
            a.gamma = 1.0f, a.hue = 0.0f, a.rgb = std::array<float, 3>{1.0f, 1.0f, 1.0f};
            return applyAdjustments(i, o, a);
        },
        [](auto i, auto o) { return applyAdjustments(i, o, Adjustments{}); },
    };
    for (std::size_t k = 0; k < std::size(neutral); ++k) {
        Picture out(in.width, in.height);
        ASSERT_TRUE(neutral[k](in.cview(), out.view())) << "case " << k;
        EXPECT_TRUE(out.sameColours(in)) << "case " << k;
        Picture inPlace = in;
        ASSERT_TRUE(neutral[k](inPlace.cview(), inPlace.view())) << "in place, case " << k;
        EXPECT_TRUE(inPlace.sameColours(in)) << "in place, case " << k;
    }
}

TEST_P(ColourKernels, FusedAdjustmentsMatchSeparateCalls) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (int round = 0; round < 24; ++round) {
        const int widths[] = {29, 1, 7, 17};
        const Picture in = noisePicture(widths[round % 4], 21, 100 + round,
                                        round % 2 ? ChannelOrder::BGRA : ChannelOrder::RGBA);
        Adjustments a;
        // Each step present about two times in three.
        auto maybe = [&] { return u(rng) < 0.66f; };
        if (maybe())
            a.brightness = u(rng) * 0.8f - 0.4f;
        if (maybe())
            a.contrast = u(rng) * 2.0f;
        if (maybe())
            a.saturation = u(rng) * 2.5f;
        if (maybe())
            a.exposure = u(rng) * 3.0f - 1.5f;
        if (maybe())
            a.gamma = 0.3f + u(rng) * 2.5f;
        if (maybe())
            a.hue = u(rng) * 720.0f - 360.0f;
        if (maybe())
            a.rgb = std::array<float, 3>{u(rng) * 2, u(rng) * 2, u(rng) * 2};

        Picture step = in;
        const ImageView v = step.view();
        bool ran = true;
        if (a.brightness)
            ran = ran && brightness(v, v, *a.brightness);
        if (a.contrast)
            ran = ran && contrast(v, v, *a.contrast);
        if (a.saturation)
            ran = ran && saturation(v, v, *a.saturation);
        if (a.exposure)
            ran = ran && exposure(v, v, *a.exposure);
        if (a.gamma)
            ran = ran && gamma(v, v, *a.gamma);
        if (a.hue)
            ran = ran && hue(v, v, *a.hue);
        if (a.rgb)
            ran = ran && rgb(v, v, (*a.rgb)[0], (*a.rgb)[1], (*a.rgb)[2]);
        ASSERT_TRUE(ran);

        // Every third round in place.
        Picture fused = in;
        if (round % 3)
            ASSERT_TRUE(applyAdjustments(in.cview(), fused.view(), a));
        else
            ASSERT_TRUE(applyAdjustments(fused.cview(), fused.view(), a));
        for (int y = 0; y < in.height; ++y)
            for (int x = 0; x < in.width; ++x)
                for (int c = 0; c < 4; ++c)
                    ASSERT_LE(std::abs(fused.at(x, y, c) - step.at(x, y, c)), 1)
                        << "round " << round << " at " << x << "," << y << " channel " << c;
    }
}

} // namespace
} // namespace vividra::fx
