#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <optional>

#include "kernels/adjustments.h"
#include "kernels/colour_key.h"
#include "kernels/gaussian_blur.h"
#include "kernels/kuwahara.h"
#include "kernels/photo_look.h"
#include "kernels/pixel_memory.h"
#include "kernels/resample.h"
#include "kernels/sepia.h"
#include "kernels/sketch.h"
#include "tests/kernels/kernel_pictures.h"

namespace vividra::fx {
namespace {

using testing::Alpha;
using testing::noisePicture;
using testing::Picture;

constexpr const char* kLooks[] = {"Mono", "Tonal",   "Noir",    "Chrome",
                                  "Fade", "Instant", "Process", "Transfer"};

using Filter = std::function<bool(const ConstImageView&, const ImageView&)>;
using Rgb = std::array<double, 3>;
using Formula = std::function<Rgb(Rgb)>;

struct Kernel {
    std::string name;
    Filter run;
    bool inPlace;         // `out` may be `in`
    bool needsMemory;     // scratch beyond the output
    int tolerance;        // levels any path may differ from the baseline
    Formula formula = {}; // what a colour kernel computes, in doubles, to within a level
    bool exact = false;   // ...or to the level, at neutral values
};

// Turns the chroma in YIQ.
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

// The same formula on each channel.
Formula each(double (*f)(double)) {
    return [f](Rgb c) {
        for (double& v : c)
            v = f(v);
        return c;
    };
}

Filter adjusted(const Adjustments& a) {
    return [a](auto i, auto o) { return applyAdjustments(i, o, a); };
}

std::vector<Kernel> everyKernel() {
    std::vector<Kernel> kernels = {
        {"blur", [](auto i, auto o) { return gaussianBlur(i, o, 2.5); }, false, true, 0},
        {"wide blur", [](auto i, auto o) { return gaussianBlur(i, o, 40.0); }, false, true, 1},
        {"kuwahara", [](auto i, auto o) { return kuwahara(i, o, 3); }, false, true, 0},
        {"wide kuwahara", [](auto i, auto o) { return kuwahara(i, o, 120); }, false, true, 0},
        {"sketch", [](auto i, auto o) { return sketch(i, o, 0.03, 2.0); }, true, true, 0},
        {"colour key",
         [](const ConstImageView& in, const ImageView& out) {
             // The target may share its pixels with neither the guide nor the reveal.
             Picture guide(in.width, in.height, in.order);
             Picture reveal(in.width, in.height, out.order);
             return detail::copyPixels(in, guide.view()) && detail::copyPixels(in, out) &&
                    revealByHue(guide.cview(), reveal.cview(), out, {20, 40, 30});
         },
         false, false, 0},
        {"part sepia", [](auto i, auto o) { return sepia(i, o, 0.35); }, true, false, 1,
         [](Rgb c) { return sepiaBlend(c, 0.35); }},
        {"brightness", [](auto i, auto o) { return brightness(i, o, 0.2f); }, true, false, 0,
         each([](double v) { return v + 0.2; })},
        {"contrast", [](auto i, auto o) { return contrast(i, o, 1.7f); }, true, false, 0,
         each([](double v) { return (v - 0.5) * 1.7 + 0.5; })},
        {"exposure", [](auto i, auto o) { return exposure(i, o, -0.75f); }, true, false, 0,
         each([](double v) { return v * std::pow(2.0, -0.75); })},
        {"gamma", [](auto i, auto o) { return gamma(i, o, 2.2f); }, true, false, 0,
         each([](double v) { return std::pow(v, 2.2); })},
        {"saturation", [](auto i, auto o) { return saturation(i, o, 1.8f); }, true, false, 1,
         [](Rgb c) {
             const double l = 0.2125 * c[0] + 0.7154 * c[1] + 0.0721 * c[2];
             return Rgb{l + 1.8 * (c[0] - l), l + 1.8 * (c[1] - l), l + 1.8 * (c[2] - l)};
         }},
        {"hue", [](auto i, auto o) { return hue(i, o, 100.0f); }, true, false, 1,
         [](Rgb c) { return hueTurn(c, 100.0); }},
        {"hue past a turn", [](auto i, auto o) { return hue(i, o, 400.0f); }, true, false, 0,
         [](Rgb c) { return hueTurn(c, 40.0); }},
        {"rgb", [](auto i, auto o) { return rgb(i, o, 0.5f, 1.25f, 0.0f); }, true, false, 0,
         [](Rgb c) {
             return Rgb{c[0] * 0.5, c[1] * 1.25, 0.0};
         }},
        {"adjustments", adjusted({0.1f, 1.3f, 0.4f, {}, 0.8f, 30.0f, std::array{1.2f, 0.9f, 1.0f}}),
         true, false, 0},
        // The single steps copy at their neutral values; fused, they must add up to a copy too.
        {"neutral steps",
         adjusted({0.0f, 1.0f, 1.0f, 0.0f, 1.0f, 360.0f, std::array{1.0f, 1.0f, 1.0f}}), true,
         false, 0, [](Rgb c) { return c; }, true},
    };
    // The vector paths blend the colour looks in fixed point.
    for (int l = 0; l <= static_cast<int>(Look::Transfer); ++l)
        kernels.push_back({kLooks[l],
                           [l](auto i, auto o) { return photoLook(i, o, static_cast<Look>(l)); },
                           true, false, l >= static_cast<int>(Look::Chrome)});
    return kernels;
}

// `in`'s colours through the formula, to the nearest level; alpha unchanged.
Picture byFormula(const Picture& in, const Formula& formula) {
    Picture p = in;
    for (int y = 0; y < in.height; ++y)
        for (int x = 0; x < in.width; ++x) {
            const Rgb want = formula({in.unit(x, y, 0), in.unit(x, y, 1), in.unit(x, y, 2)});
            for (int c = 0; c < 3; ++c)
                p.at(x, y, c) =
                    static_cast<std::uint8_t>(std::lround(255 * std::clamp(want[c], 0.0, 1.0)));
        }
    return p;
}

// Every colour on a lattice of fifteens, extremes and ties between channels included.
Picture latticePicture() {
    constexpr int kSteps = 18;
    Picture p(81, 72);
    for (int i = 0; i < p.width * p.height; ++i) {
        const int rgb[3] = {i % kSteps * 15, i / kSteps % kSteps * 15, i / kSteps / kSteps * 15};
        for (int c = 0; c < 3; ++c)
            p.at(i % p.width, i / p.width, c) = static_cast<std::uint8_t>(rgb[c]);
        p.at(i % p.width, i / p.width, Alpha) = static_cast<std::uint8_t>(i * 7);
    }
    return p;
}

VIVIDRA_ON_EACH_PATH(EveryKernel);

// Each kernel on this path, from and to either channel order over padded rows, and in
// place where it may be, gives the colours the baseline path gives on tight RGBA rows,
// at widths that leave pixels over after whole vectors. The baseline's colours follow
// the colour kernels' formulas.
TEST_P(EveryKernel, FollowsTheBaselineInEveryLayout) {
    const Picture pictures[] = {noisePicture(1, 1, 1), noisePicture(7, 5, 2),
                                noisePicture(17, 3, 3), noisePicture(37, 23, 4), latticePicture()};
    constexpr ChannelOrder RGBA = ChannelOrder::RGBA, BGRA = ChannelOrder::BGRA;
    const struct {
        ChannelOrder from, to;
        int pad;
        bool inPlace = false;
    } layouts[] = {
        {RGBA, RGBA, 0}, {BGRA, BGRA, 3}, {RGBA, BGRA, 5}, {BGRA, RGBA, 1}, {BGRA, BGRA, 2, true}};
    for (const Kernel& k : everyKernel())
        for (const Picture& picture : pictures) {
            SCOPED_TRACE(k.name + " on " + std::to_string(picture.width) + " wide");
            const Picture tight = picture.reordered(ChannelOrder::RGBA, 0);
            Picture want(tight.width, tight.height, ChannelOrder::RGBA, 0);
            detail::useIsa(detail::Isa::Base);
            const bool ranOnBase = k.run(tight.cview(), want.view());
            detail::useIsa(GetParam());
            ASSERT_TRUE(ranOnBase);
            EXPECT_LE(k.formula ? want.worstDifference(byFormula(tight, k.formula)) : 0,
                      k.exact ? 0 : 1);
            for (const auto& l : layouts) {
                if (l.inPlace && !k.inPlace)
                    continue;
                Picture in = tight.reordered(l.from, l.pad);
                Picture separate(in.width, in.height, l.to, l.pad + 2);
                Picture& out = l.inPlace ? in : separate;
                ASSERT_TRUE(k.run(in.cview(), out.view()));
                EXPECT_LE(out.worstDifference(want), k.tolerance) << l.inPlace;
                EXPECT_TRUE(out.paddingIntact());
            }
        }
}

// Every look changes most pixels, differently from the others, and keeps alpha; the black and
// white ones are grey, the colour ones keep the strongest channel of a clearly coloured pixel
// strongest. A grey ramp (the top row) stays a ramp in black and white, Noir crushing the
// shadows that Mono lifts.
TEST_P(EveryKernel, LooksAreDistinctAndKeepWhatTheyPromise) {
    Picture in = noisePicture(256, 6, 31);
    for (int x = 0; x < 256; ++x)
        for (int c = 0; c < 4; ++c)
            in.at(x, 0, c) = static_cast<std::uint8_t>(c == Alpha ? 255 : x);
    std::vector<Picture> results;
    for (const char* name : kLooks) {
        const Look look = static_cast<Look>(results.size());
        ASSERT_EQ(lookFromName(name), look) << name;
        Picture& out = results.emplace_back(in.width, in.height);
        ASSERT_TRUE(photoLook(in.cview(), out.view(), look));
        const bool mono = look <= Look::Noir;
        int changed = 0;
        for (int y = 0; y < in.height; ++y)
            for (int x = 0; x < in.width; ++x) {
                ASSERT_EQ(out.at(x, y, Alpha), in.at(x, y, Alpha)) << name;
                int order[3] = {0, 1, 2};
                std::sort(order, order + 3,
                          [&](int a, int b) { return in.at(x, y, a) > in.at(x, y, b); });
                if (mono) {
                    ASSERT_EQ(out.at(x, y, 0), out.at(x, y, 1)) << name;
                    ASSERT_EQ(out.at(x, y, 1), out.at(x, y, 2)) << name;
                    ASSERT_TRUE(y > 0 || x == 0 || out.at(x, 0, 0) >= out.at(x - 1, 0, 0)) << x;
                } else if (in.at(x, y, order[0]) - in.at(x, y, order[1]) > 80) {
                    for (int c : {order[1], order[2]})
                        ASSERT_GT(out.at(x, y, order[0]), out.at(x, y, c)) << name;
                }
                changed += out.at(x, y, 0) != in.at(x, y, 0) || out.at(x, y, 2) != in.at(x, y, 2);
            }
        EXPECT_GT(changed, in.width * in.height / 2) << name;
        for (std::size_t i = 0; i + 1 < results.size(); ++i)
            EXPECT_FALSE(out.sameColours(results[i])) << name;
        EXPECT_TRUE(!mono || (out.at(0, 0, 0) < 40 && out.at(255, 0, 0) > 200)) << name;
    }
    EXPECT_LT(results[2].at(40, 0, 0), results[0].at(40, 0, 0));
    EXPECT_GT(results[2].at(215, 0, 0), results[0].at(215, 0, 0));
}

// Random sets of steps, fused, stay within a level of the separate calls.
TEST_P(EveryKernel, FusedAdjustmentsMatchSeparateCalls) {
    std::mt19937 rng(7);
    const auto u = [&](float lo, float hi) { return std::uniform_real_distribution(lo, hi)(rng); };
    // Each step present about two times in three.
    const auto maybe = [&](float lo, float hi) {
        return rng() % 3 ? std::optional<float>(u(lo, hi)) : std::nullopt;
    };
    for (int round = 0; round < 24; ++round) {
        const Picture in = noisePicture(29, 21, 100 + round);
        Adjustments a{maybe(-0.4f, 0.4f), maybe(0, 2),      maybe(0, 2.5f), maybe(-1.5f, 1.5f),
                      maybe(0.3f, 2.8f),  maybe(-360, 360), std::nullopt};
        if (rng() % 3)
            a.rgb = std::array{u(0, 2), u(0, 2), u(0, 2)};
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

// A window is the same pixels as the matching part of the whole resize, shrinking or
// enlarging, at the edges or inside, and it writes nothing beyond its rows. The whole
// resize is the baseline path's.
TEST_P(EveryKernel, ResampleWindowMatchesTheWholeResizeAndStaysInsideIt) {
    const Picture in = noisePicture(97, 61, 7);
    constexpr int kCases[][6] = {{40, 25, 0, 0, 40, 25},     {40, 25, 13, 7, 20, 11},
                                 {485, 305, 0, 0, 60, 40},   {485, 305, 401, 250, 84, 55},
                                 {485, 305, 222, 131, 1, 1}, {97, 61, 5, 9, 30, 30}};
    for (const auto& [fullWidth, fullHeight, left, top, width, height] : kCases) {
        Picture whole(fullWidth, fullHeight), base(fullWidth, fullHeight);
        ASSERT_TRUE(resample(in.cview(), whole.view()));
        detail::useIsa(detail::Isa::Base);
        ASSERT_TRUE(resample(in.cview(), base.view()));
        detail::useIsa(GetParam());
        EXPECT_TRUE(whole.sameColours(base));
        Picture window(width, height);
        ASSERT_TRUE(resampleWindow(in.cview(), fullWidth, fullHeight, left, top, window.view()));
        for (int y = 0; y < height; ++y)
            ASSERT_EQ(std::memcmp(&window.at(0, y, 0), &whole.at(left, top + y, 0), width * 4), 0)
                << fullWidth << "x" << fullHeight << " row " << y;
        EXPECT_TRUE(window.paddingIntact());
    }
    // A window that is not inside the whole resize is refused.
    Picture window(10, 10);
    EXPECT_FALSE(resampleWindow(in.cview(), 15, 15, 6, 0, window.view()));
    EXPECT_FALSE(resampleWindow(in.cview(), 15, 15, 0, -1, window.view()));
}

// With less and less memory, every run gives the whole result or reports failure,
// never a part, a crash or an exception; with the limit lifted it works again.
TEST(KernelsOutOfMemory, ReportItAndWorkAgainAfterwards) {
    // Wide enough for several blur strips, and narrower than one.
    const Picture pictures[] = {testing::scenePicture(61, 45, 5),
                                testing::scenePicture(5, 300, 6, ChannelOrder::BGRA)};
    for (const Picture& in : pictures)
        for (const Kernel& k : everyKernel()) {
            SCOPED_TRACE(k.name + ", " + std::to_string(in.width) + " wide");
            Picture want(in.width, in.height, in.order), out = want, again = want;
            ASSERT_TRUE(k.run(in.cview(), want.view()));
            {
                PixelMemoryLimitForTesting limit(0);
                EXPECT_EQ(k.run(in.cview(), out.view()), !k.needsMemory);
                for (std::size_t bytes : {256, 2048, 8192, 20000, 50000, 120000, 400000}) {
                    setPixelMemoryLimitForTesting(bytes);
                    const bool ran = k.run(in.cview(), out.view());
                    EXPECT_TRUE(ran ? out.sameColours(want) : k.needsMemory) << bytes;
                }
            }
            ASSERT_TRUE(k.run(in.cview(), again.view()));
            EXPECT_TRUE(again.sameColours(want));
        }
}

} // namespace
} // namespace vividra::fx
