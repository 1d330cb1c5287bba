#include <gtest/gtest.h>

#include <cstdint>

#include "kernels/kuwahara.h"
#include "tests/kernels/kernel_pictures.h"

namespace vividra::fx {
namespace {

using testing::Alpha;
using testing::Picture;

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

VIVIDRA_ON_EACH_PATH(Kuwahara);

// Radius 0 copies; a radius past the picture's edges sees replicated edges.
TEST_P(Kuwahara, MatchesBruteForceQuadrantsIncludingTiesAndEdges) {
    const Picture pictures[] = {blockyPicture(31, 22, 5), testing::noisePicture(27, 19, 6),
                                testing::scenePicture(33, 25, 7), testing::noisePicture(1, 1, 9),
                                testing::noisePicture(1, 12, 10)};
    for (const Picture& in : pictures)
        for (unsigned r : {0u, 1u, 2u, 3u, 6u, 30u}) {
            Picture out(in.width, in.height);
            ASSERT_TRUE(kuwahara(in.cview(), out.view(), r));
            EXPECT_TRUE(out.sameColours(bruteKuwahara(in, static_cast<int>(r))))
                << in.width << "x" << in.height << ", radius " << r;
        }
}

} // namespace
} // namespace vividra::fx
