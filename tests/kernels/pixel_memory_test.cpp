#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

#include "kernels/pixel_memory.h"

namespace vividra::fx {
namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;

// Threads allocating and releasing blocks of every size together each get aligned memory
// of their own.
TEST(PixelMemory, AlignedAndPrivateToEachThread) {
    std::atomic<int> clashes{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t, &clashes] {
            for (int i = 0; i < 20; ++i) {
                const std::size_t bytes =
                    std::array{std::size_t{1}, std::size_t{1000}, 3 * kMiB, 9 * kMiB}[(i + t) % 4];
                auto* p = static_cast<std::uint8_t*>(allocatePixels(bytes));
                if (p)
                    std::memset(p, t, bytes);
                clashes += !p || reinterpret_cast<std::uintptr_t>(p) % 64 || p[0] != t ||
                           p[bytes - 1] != t;
                releasePixels(p, bytes);
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(clashes, 0);
}

// More than any address space holds, a size that overflows when rounded, and past the test
// limit, which counts the blocks in use, large and small, until released.
TEST(PixelMemory, RunningOutIsANullBlockNotAnException) {
    EXPECT_EQ(allocatePixels(std::size_t{1} << 50), nullptr);
    EXPECT_EQ(allocatePixels(std::numeric_limits<std::size_t>::max() - 10), nullptr);
    const auto fits = [](std::size_t bytes) {
        void* p = allocatePixels(bytes);
        releasePixels(p, bytes);
        return p != nullptr;
    };
    {
        PixelMemoryLimitForTesting limit(10 * kMiB);
        void* held[] = {allocatePixels(4 * kMiB), allocatePixels(4 * kMiB), allocatePixels(kMiB)};
        EXPECT_TRUE(held[0] && held[1] && held[2]);
        EXPECT_FALSE(fits(kMiB + 1));
        for (void* p : held)
            releasePixels(p, p == held[2] ? kMiB : 4 * kMiB);
        EXPECT_TRUE(fits(10 * kMiB));
    }
    EXPECT_TRUE(fits(11 * kMiB));
}

} // namespace
} // namespace vividra::fx
