#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <thread>

#include "effects/kernels/adjustments.h"
#include "effects/kernels/gaussian_blur.h"
#include "effects/kernels/kuwahara.h"
#include "effects/kernels/parallel.h"
#include "effects/kernels/photo_look.h"
#include "effects/kernels/pixel_memory.h"
#include "effects/kernels/sepia.h"
#include "effects/kernels/sketch.h"
#include "tests/effects/kernels/kernel_pictures.h"

namespace vividra::fx {
namespace {

using testing::Picture;

TEST(PixelMemory, AlignedWritableAndReusedBySize) {
    for (std::size_t bytes :
         {std::size_t{1}, std::size_t{1000}, std::size_t{3} << 20, std::size_t{9} << 20}) {
        auto* p = static_cast<std::uint8_t*>(allocatePixels(bytes));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 64, 0u) << bytes;
        std::memset(p, 0x5a, bytes);
        EXPECT_EQ(p[bytes - 1], 0x5a);
        releasePixels(p, bytes);
    }
    // A released large block comes back for the same size, and for a slightly
    // smaller one; a much smaller request does not take it.
    void* a = allocatePixels(std::size_t{16} << 20);
    releasePixels(a, std::size_t{16} << 20);
    void* b = allocatePixels(std::size_t{16} << 20);
    EXPECT_EQ(a, b);
    releasePixels(b, std::size_t{16} << 20);
    void* c = allocatePixels((std::size_t{27} << 19));
    EXPECT_EQ(a, c);
    void* d = allocatePixels(std::size_t{4} << 20);
    EXPECT_NE(d, a);
    releasePixels(c, (std::size_t{27} << 19));
    releasePixels(d, std::size_t{4} << 20);

    // Threads allocating and releasing together each get private memory.
    std::atomic<int> clashes{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t, &clashes] {
            for (int i = 0; i < 20; ++i) {
                const std::size_t bytes = (std::size_t{3} + (i + t) % 3) << 20;
                auto* p = static_cast<std::uint8_t*>(allocatePixels(bytes));
                std::memset(p, t, bytes);
                if (p[0] != t || p[bytes - 1] != t)
                    ++clashes;
                releasePixels(p, bytes);
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(clashes, 0);
}

TEST(ParallelRows, CoversEveryRowOnceInChunks) {
    for (int rows : {0, 1, 7, 1000}) {
        for (int grain : {1, 16, 5000}) {
            std::vector<std::atomic<int>> hits(static_cast<std::size_t>(rows));
            EXPECT_TRUE(parallelRows(
                rows,
                [&](int a, int b) {
                    EXPECT_LT(a, b);
                    for (int y = a; y < b; ++y)
                        ++hits[static_cast<std::size_t>(y)];
                },
                grain));
            for (auto& h : hits)
                EXPECT_EQ(h, 1);
        }
    }
}

// Every kernel honours padded rows and both channel orders, including an
// output in the other order from its input.
VIVIDRA_ON_EACH_PATH(KernelLayout);

TEST_P(KernelLayout, StridesAndChannelOrdersAreHonoured) {
    using Kernel = std::function<bool(const ConstImageView&, const ImageView&)>;
    const std::pair<const char*, Kernel> kernels[] = {
        {"sepia", [](auto i, auto o) { return sepia(i, o, 0.7); }},
        {"blur", [](auto i, auto o) { return gaussianBlur(i, o, 2.5); }},
        {"kuwahara", [](auto i, auto o) { return kuwahara(i, o, 3); }},
        {"sketch", [](auto i, auto o) { return sketch(i, o, 0.03, 2.0); }},
        {"look", [](auto i, auto o) { return photoLook(i, o, Look::Chrome); }},
        {"hue", [](auto i, auto o) { return hue(i, o, 75.0f); }},
        {"rgb", [](auto i, auto o) { return rgb(i, o, 0.2f, 1.0f, 1.5f); }},
        {"fused",
         [](auto i, auto o) {
             Adjustments a;
             a.contrast = 1.3f, a.saturation = 0.4f, a.gamma = 0.8f;
             return applyAdjustments(i, o, a);
         }},
    };
    const Picture tight = testing::scenePicture(23, 17, 41).reordered(ChannelOrder::RGBA, 0);
    for (const auto& [name, run] : kernels) {
        Picture want(tight.width, tight.height, ChannelOrder::RGBA, 0);
        ASSERT_TRUE(run(tight.cview(), want.view())) << name;
        for (ChannelOrder from : {ChannelOrder::RGBA, ChannelOrder::BGRA})
            for (ChannelOrder to : {ChannelOrder::RGBA, ChannelOrder::BGRA}) {
                const Picture in = tight.reordered(from, 5);
                Picture out(tight.width, tight.height, to, 7);
                ASSERT_TRUE(run(in.cview(), out.view())) << name;
                EXPECT_TRUE(out.sameColours(want)) << name;
                EXPECT_TRUE(out.paddingIntact()) << name;
            }
    }
}

} // namespace
} // namespace vividra::fx
