#include <gtest/gtest.h>

#include "kernels/photo_look.h"
#include "tests/kernels/kernel_pictures.h"

namespace vividra::fx {
namespace {

using testing::Alpha;
using testing::Picture;

constexpr const char* kLooks[] = {"Mono", "Tonal",   "Noir",    "Chrome",
                                  "Fade", "Instant", "Process", "Transfer"};

VIVIDRA_ON_EACH_PATH(PhotoLook);

// Every look changes most pixels, differently from the others, and keeps alpha; the black and
// white ones are grey, the colour ones keep the strongest channel of a clearly coloured pixel
// strongest. A grey ramp (the top row) stays a ramp in black and white, Noir crushing the
// shadows that Mono lifts.
TEST_P(PhotoLook, LooksAreDistinctAndKeepWhatTheyPromise) {
    Picture in = testing::noisePicture(256, 6, 31);
    for (int x = 0; x < 256; ++x)
        for (int c = 0; c < 4; ++c)
            in.at(x, 0, c) = static_cast<std::uint8_t>(c == Alpha ? 255 : x);
    std::vector<Picture> results;
    for (const char* name : kLooks) {
        const Look look = static_cast<Look>(results.size());
        ASSERT_EQ(lookFromName(name), look) << name;
        Picture& out = results.emplace_back(in.width, in.height);
        ASSERT_TRUE(photoLook(in.cview(), out.view(), look));
        const bool mono = look <= Look::Noir;
        int changed = 0;
        for (int y = 0; y < in.height; ++y)
            for (int x = 0; x < in.width; ++x) {
                ASSERT_EQ(out.at(x, y, Alpha), in.at(x, y, Alpha)) << name;
                int order[3] = {0, 1, 2};
                std::sort(order, order + 3,
                          [&](int a, int b) { return in.at(x, y, a) > in.at(x, y, b); });
                if (mono) {
                    ASSERT_EQ(out.at(x, y, 0), out.at(x, y, 1)) << name;
                    ASSERT_EQ(out.at(x, y, 1), out.at(x, y, 2)) << name;
                    ASSERT_TRUE(y > 0 || x == 0 || out.at(x, 0, 0) >= out.at(x - 1, 0, 0)) << x;
                } else if (in.at(x, y, order[0]) - in.at(x, y, order[1]) > 80) {
                    for (int c : {order[1], order[2]})
                        ASSERT_GT(out.at(x, y, order[0]), out.at(x, y, c)) << name;
                }
                changed += out.at(x, y, 0) != in.at(x, y, 0) || out.at(x, y, 2) != in.at(x, y, 2);
            }
        EXPECT_GT(changed, in.width * in.height / 2) << name;
        for (std::size_t i = 0; i + 1 < results.size(); ++i)
            EXPECT_FALSE(out.sameColours(results[i])) << name;
        EXPECT_TRUE(!mono || (out.at(0, 0, 0) < 40 && out.at(255, 0, 0) > 200)) << name;
    }
    EXPECT_LT(results[2].at(40, 0, 0), results[0].at(40, 0, 0));
    EXPECT_GT(results[2].at(215, 0, 0), results[0].at(215, 0, 0));
}

} // namespace
} // namespace vividra::fx
