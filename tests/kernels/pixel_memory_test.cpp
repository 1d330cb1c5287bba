#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

#include "kernels/pixel_memory.h"

namespace vividra::fx {
namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;

TEST(PixelMemory, AlignedAndPrivateToEachThread) {
    for (std::size_t bytes : {std::size_t{1}, std::size_t{1000}, 3 * kMiB, 9 * kMiB}) {
        auto* p = static_cast<std::uint8_t*>(allocatePixels(bytes));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 64, 0u) << bytes;
        std::memset(p, 0x5a, bytes);
        releasePixels(p, bytes);
    }
    // Threads allocating and releasing together each get memory of their own.
    std::atomic<int> clashes{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t, &clashes] {
            for (int i = 0; i < 20; ++i) {
                const std::size_t bytes = (3 + (i + t) % 3) * kMiB;
                auto* p = static_cast<std::uint8_t*>(allocatePixels(bytes));
                std::memset(p, t, bytes);
                clashes += p[0] != t || p[bytes - 1] != t;
                releasePixels(p, bytes);
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(clashes, 0);
}

TEST(PixelMemory, RunningOutIsANullBlockNotAnException) {
    // More than any address space holds, and a size that overflows when rounded.
    EXPECT_EQ(allocatePixels(std::size_t{1} << 50), nullptr);
    EXPECT_EQ(allocatePixels(std::numeric_limits<std::size_t>::max() - 10), nullptr);

    // The test limit counts the blocks in use, large and small, until released.
    {
        PixelMemoryLimitForTesting limit(10 * kMiB);
        void* a = allocatePixels(4 * kMiB);
        void* b = allocatePixels(4 * kMiB);
        ASSERT_NE(a, nullptr);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(allocatePixels(4 * kMiB), nullptr);
        void* small = allocatePixels(kMiB);
        ASSERT_NE(small, nullptr);
        EXPECT_EQ(allocatePixels(kMiB + 1), nullptr);
        releasePixels(small, kMiB);
        releasePixels(a, 4 * kMiB);
        releasePixels(b, 4 * kMiB);
        void* all = allocatePixels(10 * kMiB);
        EXPECT_NE(all, nullptr);
        releasePixels(all, 10 * kMiB);
    }
    void* beyond = allocatePixels(11 * kMiB);
    EXPECT_NE(beyond, nullptr);
    releasePixels(beyond, 11 * kMiB);
}

} // namespace
} // namespace vividra::fx
