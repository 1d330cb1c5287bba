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

TEST(PhotoLookNames, MapToTheirLooksAndNothingElse) {
    for (auto [name, look] : kLooks)
        EXPECT_EQ(lookFromName(name), look) << name;
    for (const char* other : {"", "mono", "MONO", "Mono ", " Noir", "Sepia", "Chrom", "Transfers"})
        EXPECT_EQ(lookFromName(other), std::nullopt) << other;
}

TEST_P(PhotoLook, LooksAreDistinctKeepAlphaAndBlackAndWhiteIsGrey) {
    const Picture in = testing::scenePicture(40, 30, 31);
    std::vector<Picture> results;
    for (auto [name, look] : kLooks) {
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
                changed += out.at(x, y, 0) != in.at(x, y, 0) || out.at(x, y, 2) != in.at(x, y, 2);
            }
        EXPECT_GT(changed, in.width * in.height / 2) << name;
        for (const Picture& earlier : results)
            EXPECT_FALSE(out.sameColours(earlier)) << name;
        results.push_back(out);
    }
}

TEST_P(PhotoLook, ToneOrderSurvivesInBlackAndWhite) {
    // A grey ramp stays a ramp: darker in, never lighter out.
    Picture ramp(256, 1);
    for (int x = 0; x < 256; ++x)
        for (int c = 0; c < 4; ++c)
            ramp.at(x, 0, c) = static_cast<std::uint8_t>(c == Alpha ? 255 : x);
    for (Look look : {Look::Mono, Look::Tonal, Look::Noir}) {
        Picture out(256, 1);
        ASSERT_TRUE(photoLook(ramp.cview(), out.view(), look));
        for (int x = 1; x < 256; ++x)
            ASSERT_GE(out.at(x, 0, 0), out.at(x - 1, 0, 0))
                << static_cast<int>(look) << " at " << x;
        EXPECT_LT(out.at(0, 0, 0), 40);
        EXPECT_GT(out.at(255, 0, 0), 200);
    }
    // Noir crushes the shadows that Mono lifts.
    Picture mono(256, 1), noir(256, 1);
    ASSERT_TRUE(photoLook(ramp.cview(), mono.view(), Look::Mono));
    ASSERT_TRUE(photoLook(ramp.cview(), noir.view(), Look::Noir));
    EXPECT_LT(noir.at(40, 0, 0), mono.at(40, 0, 0));
    EXPECT_GT(noir.at(215, 0, 0), mono.at(215, 0, 0));
}

} // namespace
} // namespace vividra::fx
