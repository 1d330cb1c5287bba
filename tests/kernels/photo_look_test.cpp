#include <gtest/gtest.h>

#include "kernels/photo_look.h"
#include "tests/kernels/kernel_pictures.h"

namespace vividra::fx {
namespace {

using testing::Alpha;
using testing::Picture;

constexpr std::pair<const char*, Look> kLooks[] = {
    {"Mono", Look::Mono},       {"Tonal", Look::Tonal},      {"Noir", Look::Noir},
    {"Chrome", Look::Chrome},   {"Fade", Look::Fade},        {"Instant", Look::Instant},
    {"Process", Look::Process}, {"Transfer", Look::Transfer}};

VIVIDRA_ON_EACH_PATH(PhotoLook);

// Every look changes most pixels, differently from the others, and keeps alpha; the black and
// white ones are grey, the colour ones keep the strongest channel of a clearly coloured pixel
// strongest. A grey ramp stays a ramp in black and white, Noir crushing the shadows that Mono
// lifts.
TEST_P(PhotoLook, LooksAreDistinctAndKeepWhatTheyPromise) {
    const Picture in = testing::noisePicture(40, 30, 31);
    std::vector<Picture> results;
    for (auto [name, look] : kLooks) {
        ASSERT_EQ(lookFromName(name), look) << name;
        Picture out(in.width, in.height);
        ASSERT_TRUE(photoLook(in.cview(), out.view(), look));
        const bool mono = look == Look::Mono || look == Look::Tonal || look == Look::Noir;
        int changed = 0;
        for (int y = 0; y < in.height; ++y)
            for (int x = 0; x < in.width; ++x) {
                ASSERT_EQ(out.at(x, y, Alpha), in.at(x, y, Alpha)) << name;
                if (mono) {
                    ASSERT_EQ(out.at(x, y, 0), out.at(x, y, 1)) << name;
                    ASSERT_EQ(out.at(x, y, 1), out.at(x, y, 2)) << name;
                }
                int order[3] = {0, 1, 2};
                std::sort(order, order + 3,
                          [&](int a, int b) { return in.at(x, y, a) > in.at(x, y, b); });
                if (!mono && in.at(x, y, order[0]) - in.at(x, y, order[1]) > 80) {
                    for (int c : {order[1], order[2]})
                        ASSERT_GT(out.at(x, y, order[0]), out.at(x, y, c)) << name;
                }
                changed += out.at(x, y, 0) != in.at(x, y, 0) || out.at(x, y, 2) != in.at(x, y, 2);
            }
        EXPECT_GT(changed, in.width * in.height / 2) << name;
        for (const Picture& earlier : results)
            EXPECT_FALSE(out.sameColours(earlier)) << name;
        results.push_back(out);
    }

    Picture ramp(256, 1);
    for (int x = 0; x < 256; ++x)
        for (int c = 0; c < 4; ++c)
            ramp.at(x, 0, c) = static_cast<std::uint8_t>(c == Alpha ? 255 : x);
    std::vector<Picture> grey;
    for (Look look : {Look::Mono, Look::Tonal, Look::Noir}) {
        Picture& out = grey.emplace_back(256, 1);
        ASSERT_TRUE(photoLook(ramp.cview(), out.view(), look));
        for (int x = 1; x < 256; ++x)
            ASSERT_GE(out.at(x, 0, 0), out.at(x - 1, 0, 0))
                << static_cast<int>(look) << " at " << x;
        EXPECT_LT(out.at(0, 0, 0), 40);
        EXPECT_GT(out.at(255, 0, 0), 200);
    }
    EXPECT_LT(grey[2].at(40, 0, 0), grey[0].at(40, 0, 0));
    EXPECT_GT(grey[2].at(215, 0, 0), grey[0].at(215, 0, 0));
}

} // namespace
} // namespace vividra::fx
