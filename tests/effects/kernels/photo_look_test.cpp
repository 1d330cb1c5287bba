#include <gtest/gtest.h>

#include <string>

#include "effects/kernels/photo_look.h"
#include "tests/effects/kernels/kernel_pictures.h"

namespace vividra::fx {
namespace {

using testing::Alpha;
using testing::Picture;

constexpr std::pair<const char*, Look> kLooks[] = {
    {"Mono", Look::Mono},       {"Tonal", Look::Tonal},      {"Noir", Look::Noir},
    {"Chrome", Look::Chrome},   {"Fade", Look::Fade},        {"Instant", Look::Instant},
    {"Process", Look::Process}, {"Transfer", Look::Transfer}};

VIVIDRA_ON_EACH_PATH(PhotoLook);

TEST_P(PhotoLook, NamesMapToTheirLooksAndNothingElse) {
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
        EXPECT_TRUE(out.paddingIntact());
        for (const Picture& earlier : results)
            EXPECT_FALSE(out.sameColours(earlier)) << name;
        results.push_back(out);

        // In place and in the other channel order give the same colours.
        Picture again = in;
        ASSERT_TRUE(photoLook(again.cview(), again.view(), look));
        EXPECT_TRUE(again.sameColours(out)) << name;
        const Picture bgra = in.reordered(ChannelOrder::BGRA);
        Picture bgraOut(in.width, in.height, ChannelOrder::BGRA);
        ASSERT_TRUE(photoLook(bgra.cview(), bgraOut.view(), look));
        EXPECT_TRUE(bgraOut.sameColours(out)) << name;
    }
}

// The vector paths find corners and blend in fixed point; the baseline path,
// in floats, is the reference they must follow to within a level, at every
// width their blocks of pixels leave over, in place and in either order.
TEST_P(PhotoLook, VectorPathsFollowTheBaseline) {
    if (GetParam() == detail::Isa::Base)
        GTEST_SKIP() << "the baseline is the reference";
    // Every colour on a lattice of fives, extremes included, one per pixel.
    constexpr int kSteps = 52, kWidth = 509;
    Picture lattice(kWidth, (kSteps * kSteps * kSteps + kWidth - 1) / kWidth);
    for (int i = 0; i < lattice.width * lattice.height; ++i) {
        const int at = i % (kSteps * kSteps * kSteps);
        const int rgb[3] = {at % kSteps * 5, at / kSteps % kSteps * 5, at / kSteps / kSteps * 5};
        for (int c = 0; c < 3; ++c)
            lattice.at(i % kWidth, i / kWidth, c) = static_cast<std::uint8_t>(rgb[c]);
        lattice.at(i % kWidth, i / kWidth, Alpha) = static_cast<std::uint8_t>(i * 7);
    }
    const auto expectNear = [](const Picture& want, const Picture& got, const char* name,
                               const char* what) {
        int worst = 0;
        for (int y = 0; y < want.height; ++y)
            for (int x = 0; x < want.width; ++x) {
                ASSERT_EQ(got.at(x, y, Alpha), want.at(x, y, Alpha)) << name << " " << what;
                for (int c = 0; c < 3; ++c)
                    worst = std::max(worst, std::abs(got.at(x, y, c) - want.at(x, y, c)));
            }
        EXPECT_LE(worst, 1) << name << " " << what;
        EXPECT_TRUE(got.paddingIntact()) << name << " " << what;
    };
    for (auto [name, look] : kLooks) {
        detail::useIsa(detail::Isa::Base);
        Picture reference(lattice.width, lattice.height);
        const bool ranOnBase = photoLook(lattice.cview(), reference.view(), look);
        detail::useIsa(GetParam());
        ASSERT_TRUE(ranOnBase) << name;
        Picture out(lattice.width, lattice.height);
        ASSERT_TRUE(photoLook(lattice.cview(), out.view(), look)) << name;
        expectNear(reference, out, name, "whole lattice");

        for (int width : {1, 7, 17, 31}) {
            // The first `width` colours of each of a few rows, in place, in BGRA.
            Picture narrow(width, 3, ChannelOrder::BGRA, 2), want(width, 3);
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < width; ++x)
                    for (int c = 0; c < 4; ++c) {
                        narrow.at(x, y, c) = lattice.at(x, 100 * y, c);
                        want.at(x, y, c) = reference.at(x, 100 * y, c);
                    }
            ASSERT_TRUE(photoLook(narrow.cview(), narrow.view(), look)) << name;
            expectNear(want, narrow, name,
                       ("in place, " + std::to_string(width) + " wide").c_str());
        }
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
