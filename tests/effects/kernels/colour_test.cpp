#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <optional>
#include <tuple>

#include "effects/kernels/adjustments.h"
#include "effects/kernels/sepia.h"
#include "tests/effects/kernels/kernel_pictures.h"

namespace vividra::fx {
namespace {

using testing::Alpha;
using testing::noisePicture;
using testing::Picture;

using Rgb = std::array<double, 3>;

Rgb colourAt(const Picture& p, int x, int y) {
    return {p.unit(x, y, 0), p.unit(x, y, 1), p.unit(x, y, 2)};
}

// Every pixel against `expected` on its colour, within `tolerance` levels; alpha unchanged.
void expectEveryPixel(const Picture& in, const Picture& out,
                      const std::function<Rgb(Rgb)>& expected, int tolerance, const char* what) {
    int worst = 0;
    for (int y = 0; y < in.height; ++y)
        for (int x = 0; x < in.width; ++x) {
            const Rgb want = expected(colourAt(in, x, y));
            for (int c = 0; c < 3; ++c) {
                const int level =
                    static_cast<int>(std::floor(std::clamp(want[c], 0.0, 1.0) * 255 + 0.5));
                worst = std::max(worst, std::abs(out.at(x, y, c) - level));
            }
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

Rgb sepiaBlend(Rgb c, double k) {
    const double m[3][3] = {
        {0.3588, 0.7044, 0.1368}, {0.2990, 0.5870, 0.1140}, {0.2392, 0.4696, 0.0912}};
    Rgb o;
    for (int i = 0; i < 3; ++i)
        o[i] = k * (m[i][0] * c[0] + m[i][1] * c[1] + m[i][2] * c[2]) + (1 - k) * c[i];
    return o;
}

using Formula = std::function<Rgb(Rgb)>;
using Filter = std::function<bool(const ConstImageView&, const ImageView&)>;

// The same formula on each channel.
Formula each(double (*f)(double)) {
    return [f](Rgb c) {
        for (double& v : c)
            v = f(v);
        return c;
    };
}

VIVIDRA_ON_EACH_PATH(ColourKernels);

// Within a level of the formula in doubles; at the neutral values, every byte alone.
TEST_P(ColourKernels, EachFollowsItsFormula) {
    const Picture in = noisePicture(41, 19, 2);
    const std::tuple<const char*, Filter, Formula> cases[] = {
        {"sepia", [](auto i, auto o) { return sepia(i, o, 1.0); },
         [](Rgb c) { return sepiaBlend(c, 1.0); }},
        {"part sepia", [](auto i, auto o) { return sepia(i, o, 0.35); },
         [](Rgb c) { return sepiaBlend(c, 0.35); }},
        {"brightness", [](auto i, auto o) { return brightness(i, o, 0.2f); },
         each([](double v) { return v + 0.2; })},
        {"darker", [](auto i, auto o) { return brightness(i, o, -0.3f); },
         each([](double v) { return v - 0.3; })},
        {"contrast", [](auto i, auto o) { return contrast(i, o, 1.7f); },
         each([](double v) { return (v - 0.5) * 1.7 + 0.5; })},
        {"exposure", [](auto i, auto o) { return exposure(i, o, -0.75f); },
         each([](double v) { return v * std::pow(2.0, -0.75); })},
        {"gamma", [](auto i, auto o) { return gamma(i, o, 2.2f); },
         each([](double v) { return std::pow(v, 2.2); })},
        {"saturation", [](auto i, auto o) { return saturation(i, o, 1.8f); },
         [](Rgb c) {
             const double l = luma(c);
             return Rgb{l + 1.8 * (c[0] - l), l + 1.8 * (c[1] - l), l + 1.8 * (c[2] - l)};
         }},
        {"greyscale", [](auto i, auto o) { return saturation(i, o, 0.0f); },
         [](Rgb c) {
             return Rgb{luma(c), luma(c), luma(c)};
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
    for (const auto& [name, run, formula] : cases) {
        Picture out(in.width, in.height);
        ASSERT_TRUE(run(in.cview(), out.view())) << name;
        expectEveryPixel(in, out, formula, 1, name);
    }
    const Filter neutral[] = {
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
    for (const Filter& filter : neutral) {
        Picture out(in.width, in.height);
        ASSERT_TRUE(filter(in.cview(), out.view()));
        EXPECT_TRUE(out.sameColours(in));
    }
}

// Random sets of steps, fused, stay within a level of the separate calls.
TEST_P(ColourKernels, FusedAdjustmentsMatchSeparateCalls) {
    std::mt19937 rng(7);
    const auto u = [&](float lo, float hi) {
        return std::uniform_real_distribution<float>(lo, hi)(rng);
    };
    // Each step present about two times in three.
    const auto maybe = [&](float lo, float hi) {
        return rng() % 3 ? std::optional<float>(u(lo, hi)) : std::nullopt;
    };
    for (int round = 0; round < 24; ++round) {
        const Picture in = noisePicture(29, 21, 100 + round);
        Adjustments a;
        a.brightness = maybe(-0.4f, 0.4f), a.contrast = maybe(0, 2), a.saturation = maybe(0, 2.5f);
        a.exposure = maybe(-1.5f, 1.5f), a.gamma = maybe(0.3f, 2.8f), a.hue = maybe(-360, 360);
        if (rng() % 3)
            a.rgb = std::array<float, 3>{u(0, 2), u(0, 2), u(0, 2)};
        Picture step = in;
        const ImageView v = step.view();
        ASSERT_TRUE((!a.brightness || brightness(v, v, *a.brightness)) &&
                    (!a.contrast || contrast(v, v, *a.contrast)) &&
                    (!a.saturation || saturation(v, v, *a.saturation)) &&
                    (!a.exposure || exposure(v, v, *a.exposure)) &&
                    (!a.gamma || gamma(v, v, *a.gamma)) && (!a.hue || hue(v, v, *a.hue)) &&
                    (!a.rgb || rgb(v, v, (*a.rgb)[0], (*a.rgb)[1], (*a.rgb)[2])));
        Picture fused(in.width, in.height);
        ASSERT_TRUE(applyAdjustments(in.cview(), fused.view(), a));
        EXPECT_LE(fused.worstDifference(step), 1) << "round " << round;
    }
}

} // namespace
} // namespace vividra::fx
