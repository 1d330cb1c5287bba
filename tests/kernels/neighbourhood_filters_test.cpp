// The filters that read a pixel's neighbourhood, on every path, against independent
// references: an exact convolution, brute-force quadrants and a bilinear Sobel.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "kernels/gaussian_blur.h"
#include "kernels/kuwahara.h"
#include "kernels/sketch.h"
#include "tests/kernels/kernel_pictures.h"

namespace vividra::fx {
namespace {

using testing::Alpha;
using testing::noisePicture;
using testing::Picture;
using testing::scenePicture;

VIVIDRA_ON_EACH_PATH(NeighbourhoodFilters);

// Separable convolution with the sampled Gaussian out to ±4σ, edges replicated. The taps
// that fall past an edge are first added to the edge's weight, so that a radius far beyond
// the picture costs no more than the picture's size.
std::vector<double> exactBlur(const Picture& in, int c, double sigma) {
    const int reach = static_cast<int>(std::ceil(4 * sigma)), w = in.width, h = in.height;
    std::vector<double> k(2 * reach + 1);
    double total = 0;
    for (int i = -reach; i <= reach; ++i)
        total += k[i + reach] = std::exp(-0.5 * i * i / (sigma * sigma));
    std::vector<double> from(static_cast<std::size_t>(w) * h), to(from.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            from[y * w + x] = in.at(x, y, c);
    for (bool down : {false, true}) {
        const int n = down ? h : w;
        std::vector<double> m(static_cast<std::size_t>(n) * n);
        for (int o = 0; o < n; ++o)
            for (int i = -reach; i <= reach; ++i)
                m[o * n + std::clamp(o + i, 0, n - 1)] += k[i + reach] / total;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const int o = down ? y : x;
                double s = 0;
                for (int i = std::max(0, o - reach); i <= std::min(n - 1, o + reach); ++i)
                    s += m[o * n + i] * (down ? from[i * w + x] : from[y * w + i]);
                to[y * w + x] = s;
            }
        std::swap(from, to);
    }
    return from;
}

TEST_P(NeighbourhoodFilters, BlurMatchesExactConvolutionCopiesBelowHalfAPixelAndKeepsFlatFlat) {
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
    for (const auto& [in, sigma] : {std::pair{scenePicture(20, 9, 12), 0.49},
                                    {Picture(1, 30), 9.0},
                                    {Picture(30, 1), 9.0},
                                    {Picture(17, 13), 9.0}}) {
        Picture out(in.width, in.height, ChannelOrder::RGBA, 0);
        ASSERT_TRUE(gaussianBlur(in.cview(), out.view(), sigma));
        EXPECT_TRUE(out.sameColours(in)) << in.width << "x" << in.height;
    }
}

// Brute force: every quadrant summed pixel by pixel, ties to the earlier one.
Picture bruteKuwahara(const Picture& in, int r) {
    Picture out(in.width, in.height, in.order);
    const std::int64_t n = static_cast<std::int64_t>(r + 1) * (r + 1);
    // Quadrant origins relative to the pixel: lower-left, lower-right, upper-right, upper-left.
    const int ox[4] = {-r, 0, 0, -r}, oy[4] = {0, 0, -r, -r};
    for (int y = 0; y < in.height; ++y)
        for (int x = 0; x < in.width; ++x) {
            std::int64_t bestScore = 0, bestSum[3] = {};
            for (int q = 0; q < 4; ++q) {
                std::int64_t s[3] = {}, sq = 0;
                for (int j = 0; j <= r; ++j)
                    for (int i = 0; i <= r; ++i) {
                        const int px = std::clamp(x + ox[q] + i, 0, in.width - 1);
                        const int py = std::clamp(y + oy[q] + j, 0, in.height - 1);
                        for (int c = 0; c < 3; ++c) {
                            const int v = in.at(px, py, c);
                            s[c] += v;
                            sq += v * v;
                        }
                    }
                // n² × summed variance, in integers.
                const std::int64_t score = n * sq - (s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
                if (q == 0 || score < bestScore) {
                    bestScore = score;
                    std::copy(s, s + 3, bestSum);
                }
            }
            for (int c = 0; c < 3; ++c)
                out.at(x, y, c) = static_cast<std::uint8_t>((2 * bestSum[c] + n) / (2 * n));
            out.at(x, y, Alpha) = in.at(x, y, Alpha);
        }
    return out;
}

// Blocks of a few levels make equal variances, so the tie order matters.
Picture blockyPicture(int w, int h, unsigned seed) {
    Picture p(w, h);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const unsigned cell = static_cast<unsigned>((x / 3) * 7 + (y / 2) * 13) ^ seed;
            for (int c = 0; c < 3; ++c)
                p.at(x, y, c) = static_cast<std::uint8_t>(((cell >> c) & 3) * 85);
            p.at(x, y, Alpha) = static_cast<std::uint8_t>(rng());
        }
    return p;
}

// Radius 0 copies; a radius past the picture's edges sees replicated edges.
TEST_P(NeighbourhoodFilters, KuwaharaMatchesBruteForceQuadrantsIncludingTiesAndEdges) {
    const Picture pictures[] = {blockyPicture(31, 22, 5), noisePicture(27, 19, 6),
                                scenePicture(33, 25, 7), noisePicture(1, 1, 9),
                                noisePicture(1, 12, 10)};
    for (const Picture& in : pictures)
        for (unsigned r : {0u, 1u, 2u, 3u, 6u, 30u}) {
            Picture out(in.width, in.height);
            ASSERT_TRUE(kuwahara(in.cview(), out.view(), r));
            EXPECT_TRUE(out.sameColours(bruteKuwahara(in, static_cast<int>(r))))
                << in.width << "x" << in.height << ", radius " << r;
        }
}

// The luminance sampled like a texture: texel centres, bilinear, clamped edges.
double sample(const Picture& in, double px, double py) {
    auto luma = [&](int x, int y) {
        x = std::clamp(x, 0, in.width - 1);
        y = std::clamp(y, 0, in.height - 1);
        return 0.2125 * in.unit(x, y, 0) + 0.7154 * in.unit(x, y, 1) + 0.0721 * in.unit(x, y, 2);
    };
    const int x0 = static_cast<int>(std::floor(px)), y0 = static_cast<int>(std::floor(py));
    const double fx = px - x0, fy = py - y0;
    return (1 - fy) * ((1 - fx) * luma(x0, y0) + fx * luma(x0 + 1, y0)) +
           fy * ((1 - fx) * luma(x0, y0 + 1) + fx * luma(x0 + 1, y0 + 1));
}

int referenceGrey(const Picture& in, int x, int y, double texel, double strength) {
    const double dx = texel * in.width, dy = texel * in.height;
    auto at = [&](int i, int j) { return sample(in, x + i * dx, y + j * dy); };
    const double h =
        (at(-1, 1) + 2 * at(0, 1) + at(1, 1)) - (at(-1, -1) + 2 * at(0, -1) + at(1, -1));
    const double v =
        (at(1, -1) + 2 * at(1, 0) + at(1, 1)) - (at(-1, -1) + 2 * at(-1, 0) + at(-1, 1));
    return static_cast<int>(
        std::floor(std::clamp(1 - strength * std::hypot(h, v), 0.0, 1.0) * 255 + 0.5));
}

TEST_P(NeighbourhoodFilters, SketchMatchesBilinearSobelReference) {
    const Picture in = scenePicture(47, 31, 21);
    // Whole-pixel and fractional offsets, and one reaching past the picture.
    for (auto [texel, strength] : {std::pair{1.0 / 47, 1.0}, std::pair{0.013, 2.5},
                                   std::pair{0.05, 0.7}, std::pair{0.8, 1.0}}) {
        Picture out(in.width, in.height);
        ASSERT_TRUE(sketch(in.cview(), out.view(), texel, strength));
        int worst = 0;
        for (int y = 0; y < in.height; ++y)
            for (int x = 0; x < in.width; ++x) {
                worst = std::max(
                    worst, std::abs(out.at(x, y, 0) - referenceGrey(in, x, y, texel, strength)));
                ASSERT_TRUE(out.at(x, y, 0) == out.at(x, y, 1) &&
                            out.at(x, y, 1) == out.at(x, y, 2) && out.at(x, y, Alpha) == 255);
            }
        EXPECT_LE(worst, 1) << "texel " << texel;
    }
}

} // namespace
} // namespace vividra::fx
