#include <gtest/gtest.h>

#include "kernels/resample.h"
#include "tests/kernels/kernel_pictures.h"

namespace vividra::fx {
namespace {

using testing::noisePicture;
using testing::Picture;

// A window is the same pixels as the matching part of the whole resize, shrinking or
// enlarging, at the edges or inside, and it writes nothing beyond its rows. The whole
// resize is the baseline path's.
VIVIDRA_ON_EACH_PATH(ResampleWindow);

TEST_P(ResampleWindow, MatchesTheWholeResizeAndStaysInsideIt) {
    const Picture in = noisePicture(97, 61, 7);
    struct Case {
        int fullWidth, fullHeight, left, top, width, height;
    };
    for (const Case& c : {Case{40, 25, 0, 0, 40, 25}, Case{40, 25, 13, 7, 20, 11},
                          Case{485, 305, 0, 0, 60, 40}, Case{485, 305, 401, 250, 84, 55},
                          Case{485, 305, 222, 131, 1, 1}, Case{97, 61, 5, 9, 30, 30}}) {
        Picture whole(c.fullWidth, c.fullHeight), base(c.fullWidth, c.fullHeight);
        ASSERT_TRUE(resample(in.cview(), whole.view()));
        detail::useIsa(detail::Isa::Base);
        ASSERT_TRUE(resample(in.cview(), base.view()));
        detail::useIsa(GetParam());
        EXPECT_TRUE(whole.sameColours(base));
        Picture window(c.width, c.height);
        ASSERT_TRUE(
            resampleWindow(in.cview(), c.fullWidth, c.fullHeight, c.left, c.top, window.view()));
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x)
                for (int ch = 0; ch < 4; ++ch)
                    ASSERT_EQ(window.at(x, y, ch), whole.at(c.left + x, c.top + y, ch))
                        << c.fullWidth << "x" << c.fullHeight << " at " << x << "," << y;
        EXPECT_TRUE(window.paddingIntact());
    }
    // A window that is not inside the whole resize is refused.
    Picture window(10, 10);
    EXPECT_FALSE(resampleWindow(in.cview(), 15, 15, 6, 0, window.view()));
    EXPECT_FALSE(resampleWindow(in.cview(), 15, 15, 0, -1, window.view()));
    EXPECT_TRUE(resampleWindow(in.cview(), 15, 15, 5, 5, window.view()));
}

} // namespace
} // namespace vividra::fx
