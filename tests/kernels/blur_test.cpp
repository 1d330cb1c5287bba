#include <gtest/gtest.h>

#include <cmath>

#include "kernels/gaussian_blur.h"
#include "tests/kernels/kernel_pictures.h"

namespace vividra::fx {
namespace {

using testing::Alpha;
using testing::Picture;
using testing::scenePicture;

// Separable convolution with the sampled Gaussian out to ±4σ, edges replicated.
std::vector<double> exactBlur(const Picture& in, int c, double sigma) {
    const int reach = static_cast<int>(std::ceil(4 * sigma));
    std::vector<double> k(2 * reach + 1);
    double total = 0;
    for (int i = -reach; i <= reach; ++i)
        total += k[i + reach] = std::exp(-0.5 * i * i / (sigma * sigma));
    for (double& v : k)
        v /= total;
    const int w = in.width, h = in.height;
    std::vector<double> from(static_cast<std::size_t>(w) * h), to(from.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            from[y * w + x] = in.at(x, y, c);
    for (bool down : {false, true}) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                double s = 0;
                for (int i = -reach; i <= reach; ++i)
                    s += k[i + reach] * (down ? from[std::clamp(y + i, 0, h - 1) * w + x]
                                              : from[y * w + std::clamp(x + i, 0, w - 1)]);
                to[y * w + x] = s;
            }
        std::swap(from, to);
    }
    return from;
}

VIVIDRA_ON_EACH_PATH(GaussianBlur);

TEST_P(GaussianBlur, MatchesExactConvolutionCopiesBelowHalfAPixelAndKeepsFlatFlat) {
    // 61 columns: not a whole number of the blur's column strips; 300: three slabs of
    // columns, the last one short, each resuming the rows where the one before ended;
    // 7: narrower than one strip.
    for (int width : {61, 300, 7}) {
        const Picture in = scenePicture(width, 45, 11);
        for (double sigma : {0.5, 0.8, 1.7, 4.0, 12.5, 40.0, 150.0}) {
            SCOPED_TRACE(::testing::Message() << width << " wide, sigma " << sigma);
            Picture out(in.width, in.height);
            ASSERT_TRUE(gaussianBlur(in.cview(), out.view(), sigma));
            double worst = 0, sum = 0;
            for (int c = 0; c < 3; ++c) {
                const std::vector<double> want = exactBlur(in, c, sigma);
                for (int y = 0; y < in.height; ++y)
                    for (int x = 0; x < in.width; ++x) {
                        const double e = std::abs(out.at(x, y, c) - want[y * in.width + x]);
                        worst = std::max(worst, e);
                        sum += e;
                        ASSERT_EQ(out.at(x, y, Alpha), in.at(x, y, Alpha));
                    }
            }
            EXPECT_LE(worst, 2.0);
            EXPECT_LE(sum / (3.0 * in.width * in.height), 0.5);
        }
    }
    // Below half a pixel the blur copies; a flat picture keeps its colour exactly.
    const Picture small = scenePicture(20, 9, 12);
    Picture copy(small.width, small.height);
    ASSERT_TRUE(gaussianBlur(small.cview(), copy.view(), 0.49));
    EXPECT_TRUE(copy.sameColours(small));
    for (auto [w, h] : {std::pair{1, 30}, std::pair{30, 1}, std::pair{17, 13}}) {
        const Picture flat(w, h);
        Picture blurred(w, h, ChannelOrder::RGBA, 0);
        ASSERT_TRUE(gaussianBlur(flat.cview(), blurred.view(), 9.0));
        EXPECT_TRUE(blurred.sameColours(flat)) << w << "x" << h;
    }
}

} // namespace
} // namespace vividra::fx
