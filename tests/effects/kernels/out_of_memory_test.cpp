#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>

#include "effects/kernels/adjustments.h"
#include "effects/kernels/gaussian_blur.h"
#include "effects/kernels/kuwahara.h"
#include "effects/kernels/photo_look.h"
#include "effects/kernels/pixel_memory.h"
#include "effects/kernels/sepia.h"
#include "effects/kernels/sketch.h"
#include "tests/effects/kernels/kernel_pictures.h"

namespace vividra::fx {
namespace {

using testing::Picture;

TEST(PixelMemory, RunningOutIsANullBlockNotAnException) {
    // More than any address space holds, and a size that overflows when rounded.
    EXPECT_EQ(allocatePixels(std::size_t{1} << 50), nullptr);
    EXPECT_EQ(allocatePixels(std::numeric_limits<std::size_t>::max() - 10), nullptr);

    // The test limit counts the blocks in use, large and small, until released.
    constexpr std::size_t kMiB = std::size_t{1} << 20;
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
        void* c = allocatePixels(2 * kMiB);
        ASSERT_NE(c, nullptr);
        releasePixels(a, 4 * kMiB);
        a = allocatePixels(4 * kMiB);
        ASSERT_NE(a, nullptr);
        releasePixels(a, 4 * kMiB);
        releasePixels(b, 4 * kMiB);
        releasePixels(c, 2 * kMiB);
        void* all = allocatePixels(10 * kMiB);
        EXPECT_NE(all, nullptr);
        releasePixels(all, 10 * kMiB);
    }
    void* beyond = allocatePixels(11 * kMiB);
    EXPECT_NE(beyond, nullptr);
    releasePixels(beyond, 11 * kMiB);
}

// Each filter, allowed less and less memory: every run gives the whole result
// or reports failure, never a partial picture, a crash or an exception; with
// the limit lifted it works again. Colour filters need no memory at all.
TEST(OutOfMemory, FiltersReportItAndWorkAgainAfterwards) {
    using Kernel = std::function<bool(const ConstImageView&, const ImageView&)>;
    struct Case {
        const char* name;
        Kernel run;
        bool needsMemory;
    };
    const Case cases[] = {
        {"blur", [](auto i, auto o) { return gaussianBlur(i, o, 3.0); }, true},
        {"kuwahara", [](auto i, auto o) { return kuwahara(i, o, 3); }, true},
        {"kuwahara, wide sums", [](auto i, auto o) { return kuwahara(i, o, 120); }, true},
        {"sketch", [](auto i, auto o) { return sketch(i, o, 0.03, 2.0); }, true},
        {"colour look", [](auto i, auto o) { return photoLook(i, o, Look::Instant); }, false},
        {"black and white look", [](auto i, auto o) { return photoLook(i, o, Look::Noir); }, false},
        {"sepia", [](auto i, auto o) { return sepia(i, o, 0.6); }, false},
        {"adjustments",
         [](auto i, auto o) {
             Adjustments a;
             a.brightness = 0.1f, a.saturation = 1.4f, a.gamma = 0.8f, a.hue = 30.0f;
             return applyAdjustments(i, o, a);
         },
         false},
    };
    // Wide enough for several blur strips, and narrower than one.
    const Picture pictures[] = {testing::scenePicture(61, 45, 5),
                                testing::scenePicture(5, 300, 6, ChannelOrder::BGRA)};
    for (const Picture& in : pictures)
        for (const Case& c : cases) {
            SCOPED_TRACE(::testing::Message() << c.name << ", " << in.width << "x" << in.height);
            Picture want(in.width, in.height, in.order);
            ASSERT_TRUE(c.run(in.cview(), want.view()));
            {
                PixelMemoryLimitForTesting limit(0);
                Picture out(in.width, in.height, in.order);
                EXPECT_EQ(c.run(in.cview(), out.view()), !c.needsMemory);
                for (std::size_t bytes : {256, 2048, 8192, 20000, 50000, 120000, 400000}) {
                    setPixelMemoryLimitForTesting(bytes);
                    if (c.run(in.cview(), out.view())) {
                        EXPECT_TRUE(out.sameColours(want)) << bytes;
                    } else {
                        EXPECT_TRUE(c.needsMemory) << bytes;
                    }
                }
                setPixelMemoryLimitForTesting(std::size_t{4} << 20);
                EXPECT_TRUE(c.run(in.cview(), out.view()));
                EXPECT_TRUE(out.sameColours(want));
            }
            Picture again(in.width, in.height, in.order);
            ASSERT_TRUE(c.run(in.cview(), again.view()));
            EXPECT_TRUE(again.sameColours(want));
        }
}

} // namespace
} // namespace vividra::fx
