#include <gtest/gtest.h>

#include <cstdio>

#include "kernels/colour_key.h"
#include "kernels/subject_mask.h"
#include "tests/support/subject_scenes.h"

using namespace vividra::fx;
using vividra::testing::SceneKind;
using vividra::testing::SubjectScene;

namespace {

ConstImageView viewOf(const SubjectScene& s) {
    return {s.rgba.data(), s.width, s.height, s.width * 4, ChannelOrder::RGBA};
}

// A mask over its extent laid into a picture-sized one.
std::vector<std::uint8_t> pictureMask(const SubjectScene& s, const SubjectMask& m) {
    std::vector<std::uint8_t> out(s.truth.size(), 0);
    for (int y = 0; y < m.extent.height; ++y)
        for (int x = 0; x < m.extent.width; ++x) {
            const int mx = x * m.width / m.extent.width, my = y * m.height / m.extent.height;
            out[static_cast<std::size_t>(y + m.extent.y) * s.width + x + m.extent.x] =
                m.alpha[static_cast<std::size_t>(my) * m.width + mx];
        }
    return out;
}

std::optional<SubjectMask> select(const SubjectScene& s, double workingPixels) {
    const PixelRect box{s.boxX, s.boxY, s.boxWidth, s.boxHeight};
    const SubjectFrame frame = subjectFrame(s.width, s.height, box, workingPixels);
    const auto reduced = segmentSubject(viewOf(s), frame, box);
    if (!reduced)
        return std::nullopt;
    return refineSubjectMask(*reduced, viewOf(s));
}

// What Keep a Color reveals of the scene at the hue of the subject's main colour.
std::vector<std::uint8_t> keptColourMask(const SubjectScene& s) {
    const HueKey key{*keyableHue(s.mainColour[0], s.mainColour[1], s.mainColour[2]), 30.0f, 0.0f};
    std::vector<std::uint8_t> white(s.rgba.size(), 255), target(s.rgba.size(), 0);
    const ConstImageView reveal(white.data(), s.width, s.height, s.width * 4, ChannelOrder::RGBA);
    EXPECT_TRUE(revealByHue(viewOf(s), reveal,
                            {target.data(), s.width, s.height, s.width * 4, ChannelOrder::RGBA},
                            key));
    std::vector<std::uint8_t> mask(s.truth.size());
    for (std::size_t i = 0; i < mask.size(); ++i)
        mask[i] = target[i * 4];
    return mask;
}

} // namespace

// Each scene at full working size, and the figure reduced to a quarter of its pixels and
// brought back by the guided filter: the subject comes back whole where a kept colour cannot
// find it. (Reduced, the disc's red patches tie with the background's red.)
TEST(SubjectMask, SelectsSubjectsThatNoHueSeparates) {
    for (const SceneKind kind : {SceneKind::patchedDisc, SceneKind::twoColourFigure}) {
        const SubjectScene s = vividra::testing::makeSubjectScene(kind, 200, 150);
        const double kept = subjectIoU(s, keptColourMask(s));
        for (const double working : {1e6, 200.0 * 150 / 4}) {
            if (kind == SceneKind::patchedDisc && working < 1e6)
                continue;
            const auto mask = select(s, working);
            ASSERT_TRUE(mask);
            EXPECT_TRUE(mask->fullResolution());
            const double iou = subjectIoU(s, pictureMask(s, *mask));
            std::printf("scene %d, %.0f working pixels: Select Subject IoU %.3f, Keep a Color "
                        "IoU %.3f\n",
                        static_cast<int>(kind), working, iou, kept);
            EXPECT_GE(iou, 0.9);
            EXPECT_LE(kept, iou - 0.2);
        }
    }
}

// A reveal hint brings in a part the box left out; an eraser hint takes a part away.
TEST(SubjectMask, HintsOverrideTheModel) {
    SubjectScene s = vividra::testing::makeSubjectScene(SceneKind::patchedDisc, 160, 120);
    // The box misses the disc's left side.
    s.boxX = 60;
    s.boxWidth = 60;
    const PixelRect box{s.boxX, s.boxY, s.boxWidth, s.boxHeight};
    const SubjectFrame frame = subjectFrame(s.width, s.height, box, 1e6);
    ASSERT_EQ(frame.width, frame.region.width);
    std::vector<std::uint8_t> hints(static_cast<std::size_t>(frame.width) * frame.height, 0);
    const auto mark = [&](int x0, int x1, SubjectHint hint) {
        for (int y = 55; y < 65; ++y)
            for (int x = x0; x < x1; ++x)
                hints[static_cast<std::size_t>(y - frame.region.y) * frame.width + x -
                      frame.region.x] = static_cast<std::uint8_t>(hint);
    };
    mark(46, 58, SubjectHint::subject);
    mark(100, 108, SubjectHint::background);
    const auto plain = segmentSubject(viewOf(s), frame, box);
    const auto hinted = segmentSubject(viewOf(s), frame, box, &hints);
    ASSERT_TRUE(plain && hinted);
    const auto at = [&](const SubjectMask& m, int x, int y) {
        return m.alpha[static_cast<std::size_t>(y - frame.region.y) * m.width + x - frame.region.x];
    };
    EXPECT_EQ(at(*plain, 50, 60), 0);
    EXPECT_EQ(at(*hinted, 50, 60), 255);
    EXPECT_EQ(at(*plain, 104, 60), 255);
    EXPECT_EQ(at(*hinted, 104, 60), 0);

    std::atomic<bool> cancel{true};
    EXPECT_FALSE(segmentSubject(viewOf(s), frame, box, nullptr, &cancel));
    EXPECT_FALSE(refineSubjectMask(*plain, viewOf(s), &cancel));
    EXPECT_TRUE(subjectFrame(s.width, s.height, {-50, -50, 20, 20}).empty());
}
