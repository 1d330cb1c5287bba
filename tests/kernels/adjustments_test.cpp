#include <gtest/gtest.h>

#include <optional>

#include "kernels/adjustments.h"
#include "tests/kernels/kernel_pictures.h"

namespace vividra::fx {
namespace {

using testing::noisePicture;
using testing::Picture;

VIVIDRA_ON_EACH_PATH(FusedAdjustments);

// Random sets of steps, fused, stay within a level of the separate calls.
TEST_P(FusedAdjustments, MatchSeparateCalls) {
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
