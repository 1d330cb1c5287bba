#include <gtest/gtest.h>

#include <functional>

#include "effects/kernels/adjustments.h"
#include "effects/kernels/colour_key.h"
#include "effects/kernels/gaussian_blur.h"
#include "effects/kernels/kuwahara.h"
#include "effects/kernels/photo_look.h"
#include "effects/kernels/pixel_memory.h"
#include "effects/kernels/sepia.h"
#include "effects/kernels/sketch.h"
#include "tests/effects/kernels/kernel_pictures.h"

namespace vividra::fx {
namespace {

using testing::Alpha;
using testing::noisePicture;
using testing::Picture;

struct Kernel {
    std::string name;
    std::function<bool(const ConstImageView&, const ImageView&)> run;
    bool inPlace;     // `out` may be `in`
    bool needsMemory; // scratch beyond the output
    int tolerance;    // levels any path may differ from the baseline
};

std::vector<Kernel> everyKernel() {
    std::vector<Kernel> kernels = {
        {"sepia", [](auto i, auto o) { return sepia(i, o, 0.7); }, true, false, 1},
        {"blur", [](auto i, auto o) { return gaussianBlur(i, o, 2.5); }, false, true, 0},
        {"wide blur", [](auto i, auto o) { return gaussianBlur(i, o, 40.0); }, false, true, 1},
        {"kuwahara", [](auto i, auto o) { return kuwahara(i, o, 3); }, false, true, 0},
        {"wide kuwahara", [](auto i, auto o) { return kuwahara(i, o, 120); }, false, true, 0},
        {"sketch", [](auto i, auto o) { return sketch(i, o, 0.03, 2.0); }, true, true, 0},
        {"brightness", [](auto i, auto o) { return brightness(i, o, -0.2f); }, true, false, 0},
        {"contrast", [](auto i, auto o) { return contrast(i, o, 1.6f); }, true, false, 0},
        {"saturation", [](auto i, auto o) { return saturation(i, o, 1.8f); }, true, false, 1},
        {"exposure", [](auto i, auto o) { return exposure(i, o, 0.6f); }, true, false, 0},
        {"gamma", [](auto i, auto o) { return gamma(i, o, 0.7f); }, true, false, 0},
        {"hue", [](auto i, auto o) { return hue(i, o, 75.0f); }, true, false, 0},
        {"rgb", [](auto i, auto o) { return rgb(i, o, 0.2f, 1.0f, 1.5f); }, true, false, 0},
        {"adjustments",
         [](auto i, auto o) {
             Adjustments a;
             a.brightness = 0.1f, a.contrast = 1.3f, a.saturation = 0.4f, a.gamma = 0.8f;
             a.hue = 30.0f, a.rgb = std::array<float, 3>{1.2f, 0.9f, 1.0f};
             return applyAdjustments(i, o, a);
         },
         true, false, 0},
        {"colour key",
         [](const ConstImageView& in, const ImageView& out) {
             // The target may share its pixels with neither the guide nor the reveal.
             Picture guide(in.width, in.height, in.order);
             Picture reveal(in.width, in.height, out.order);
             return detail::copyPixels(in, guide.view()) && detail::copyPixels(in, out) &&
                    revealByHue(guide.cview(), reveal.cview(), out, {20, 40, 30});
         },
         false, false, 0},
    };
    for (Look look : {Look::Mono, Look::Tonal, Look::Noir, Look::Chrome, Look::Fade, Look::Instant,
                      Look::Process, Look::Transfer})
        kernels.push_back({"look " + std::to_string(static_cast<int>(look)),
                           [look](auto i, auto o) { return photoLook(i, o, look); }, true, false,
                           look >= Look::Chrome});
    return kernels;
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
// at widths that leave pixels over after whole vectors.
TEST_P(EveryKernel, FollowsTheBaselineInEveryLayout) {
    const Picture pictures[] = {noisePicture(1, 1, 1), noisePicture(7, 5, 2),
                                noisePicture(17, 3, 3), noisePicture(37, 23, 4), latticePicture()};
    const struct {
        ChannelOrder from, to;
        int pad;
    } layouts[] = {{ChannelOrder::RGBA, ChannelOrder::RGBA, 0},
                   {ChannelOrder::BGRA, ChannelOrder::BGRA, 3},
                   {ChannelOrder::RGBA, ChannelOrder::BGRA, 5},
                   {ChannelOrder::BGRA, ChannelOrder::RGBA, 1}};
    for (const Kernel& k : everyKernel())
        for (const Picture& picture : pictures) {
            SCOPED_TRACE(k.name + " on " + std::to_string(picture.width) + "x" +
                         std::to_string(picture.height));
            const Picture tight = picture.reordered(ChannelOrder::RGBA, 0);
            Picture want(tight.width, tight.height, ChannelOrder::RGBA, 0);
            detail::useIsa(detail::Isa::Base);
            const bool ranOnBase = k.run(tight.cview(), want.view());
            detail::useIsa(GetParam());
            ASSERT_TRUE(ranOnBase);
            for (const auto& l : layouts) {
                const Picture in = tight.reordered(l.from, l.pad);
                Picture out(in.width, in.height, l.to, l.pad + 2);
                ASSERT_TRUE(k.run(in.cview(), out.view()));
                EXPECT_LE(out.worstDifference(want), k.tolerance);
                EXPECT_TRUE(out.paddingIntact());
            }
            if (k.inPlace) {
                Picture same = tight.reordered(ChannelOrder::BGRA, 2);
                ASSERT_TRUE(k.run(same.cview(), same.view()));
                EXPECT_LE(same.worstDifference(want), k.tolerance) << "in place";
                EXPECT_TRUE(same.paddingIntact());
            }
        }
}

// With less and less memory, every run gives the whole result or reports failure,
// never a part, a crash or an exception; with the limit lifted it works again.
TEST(EveryKernel, RunningOutOfMemoryIsReportedAndPasses) {
    // Wide enough for several blur strips, and narrower than one.
    const Picture pictures[] = {testing::scenePicture(61, 45, 5),
                                testing::scenePicture(5, 300, 6, ChannelOrder::BGRA)};
    for (const Picture& in : pictures)
        for (const Kernel& k : everyKernel()) {
            SCOPED_TRACE(k.name + ", " + std::to_string(in.width) + " wide");
            Picture want(in.width, in.height, in.order);
            ASSERT_TRUE(k.run(in.cview(), want.view()));
            {
                PixelMemoryLimitForTesting limit(0);
                Picture out(in.width, in.height, in.order);
                EXPECT_EQ(k.run(in.cview(), out.view()), !k.needsMemory);
                for (std::size_t bytes : {256, 2048, 8192, 20000, 50000, 120000, 400000}) {
                    setPixelMemoryLimitForTesting(bytes);
                    if (k.run(in.cview(), out.view())) {
                        EXPECT_TRUE(out.sameColours(want)) << bytes;
                    } else {
                        EXPECT_TRUE(k.needsMemory) << bytes;
                    }
                }
                setPixelMemoryLimitForTesting(std::size_t{4} << 20);
                EXPECT_TRUE(k.run(in.cview(), out.view()));
            }
            Picture again(in.width, in.height, in.order);
            ASSERT_TRUE(k.run(in.cview(), again.view()));
            EXPECT_TRUE(again.sameColours(want));
        }
}

} // namespace
} // namespace vividra::fx
