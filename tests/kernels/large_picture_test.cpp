#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "kernels/gaussian_blur.h"
#include "kernels/pixel_memory.h"
#include "tests/kernels/kernel_pictures.h"
#include "tests/support/sanitizers.h"

namespace vividra::fx {
namespace {

using testing::Picture;

// How far an impulse spreads at the radius below, and then some.
constexpr int kReach = 400;
constexpr double kSigma = 6.0;

using Rgba = std::array<std::uint8_t, 4>;
constexpr Rgba kGround = {100, 150, 200, 255};
constexpr Rgba kSpark = {255, 0, 40, 255};

// A line of `length` pixels, along x or y, with no row padding: ground colour,
// alpha counting up, and a spark at each of `sparks`.
Picture line(int length, bool tall, std::initializer_list<int> sparks) {
    Picture p(tall ? 1 : length, tall ? length : 1, ChannelOrder::RGBA, 0);
    std::uint8_t* at = p.bytes.data();
    for (int i = 0; i < length; ++i, at += 4) {
        std::memcpy(at, kGround.data(), 4);
        at[3] = static_cast<std::uint8_t>(i);
    }
    for (int s : sparks)
        std::memcpy(p.bytes.data() + 4 * static_cast<std::size_t>(s), kSpark.data(), 3);
    return p;
}

// Blurring a long line gives, around each spark, what a short line with one
// spark gives, the ground colour everywhere else and alpha untouched, with
// scratch memory that grows with the picture rather than with whole strips.
TEST(LargePictures, LongLinesBlurLikeShortOnes) {
#ifdef VIVIDRA_THREAD_SANITIZER
    // Its shadow of four bytes per byte would make this gigabytes, and these
    // kernels run serially in such builds: there are no threads to watch.
    GTEST_SKIP() << "too large for the thread sanitizer";
#endif
    constexpr int kShort = 2 * kReach + 1;
    const Picture shortIn = line(kShort, true, {kReach});
    Picture shortOut(1, kShort, ChannelOrder::RGBA, 0);
    ASSERT_TRUE(gaussianBlur(shortIn.cview(), shortOut.view(), kSigma));

    // One pixel across and 34 million long: a row number times the blur's strip of sixteen
    // four-float pixels passes 2^31 from row 33,554,432 on. Rows are cheaper to make long
    // than columns, whose row pass runs on one thread.
    for (const auto& [tall, length] : {std::pair{true, 34'000'000}, {false, 4'000'000}}) {
        SCOPED_TRACE(length);
        // One spark where 32-bit offsets still hold, one far past them.
        const int sparks[] = {1000, length - 3000};
        Picture out(tall ? 1 : length, tall ? length : 1, ChannelOrder::RGBA, 0);
        {
            const Picture in = line(length, tall, {sparks[0], sparks[1]});
            // Scratch of 16 bytes a pixel for the column, 32 for the row; whole
            // sixteen-pixel strips for the column took 512.
            PixelMemoryLimitForTesting budget(std::size_t{40} * static_cast<std::size_t>(length));
            ASSERT_TRUE(gaussianBlur(in.cview(), out.view(), kSigma));
        }
        int wrong = 0, first = -1;
        const std::uint8_t* at = out.bytes.data();
        for (int i = 0; i < length; ++i, at += 4) {
            const std::uint8_t* want = kGround.data();
            for (int s : sparks)
                if (std::abs(i - s) <= kReach)
                    want = shortOut.bytes.data() + 4 * static_cast<std::size_t>(i - s + kReach);
            bool same = at[3] == static_cast<std::uint8_t>(i);
            for (int c = 0; c < 3; ++c)
                same = same && std::abs(at[c] - want[c]) <= 1;
            if (!same && wrong++ == 0)
                first = i;
        }
        EXPECT_EQ(wrong, 0) << "from pixel " << first;
    }
}

} // namespace
} // namespace vividra::fx
