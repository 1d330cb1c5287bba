#include <gtest/gtest.h>

#include <utility>

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

// The full-resolution mask laid into a picture-sized one.
std::vector<std::uint8_t> pictureMask(const SubjectScene& s, const SubjectMask& m) {
    std::vector<std::uint8_t> out(s.truth.size(), 0);
    for (int y = 0; y < m.height; ++y)
        std::copy_n(m.alpha.begin() + static_cast<std::ptrdiff_t>(y) * m.width, m.width,
                    out.begin() + static_cast<std::ptrdiff_t>(y + m.extent.y) * s.width +
                        m.extent.x);
    return out;
}

// What Keep a Color reveals of the scene at the hue of the subject's main colour.
std::vector<std::uint8_t> keptColourMask(const SubjectScene& s) {
    const HueKey key{*keyableHue(s.mainColour[0], s.mainColour[1], s.mainColour[2]), 30.0f, 0.0f};
    std::vector<std::uint8_t> white(s.rgba.size(), 255), target(s.rgba.size(), 0), mask;
    EXPECT_TRUE(revealByHue(viewOf(s), ImageView{white.data(), s.width, s.height, s.width * 4},
                            {target.data(), s.width, s.height, s.width * 4}, key));
    for (std::size_t i = 0; i < target.size(); i += 4)
        mask.push_back(target[i]);
    return mask;
}

} // namespace

// Each scene at full working size, and the figure reduced to a quarter of its pixels and
// brought back by the guided filter (reduced, the disc's red patches tie with the
// background's red): the subject comes back whole where a kept colour cannot find it. The
// region segmentation reduced refines as a fresh reduction would; a cancelled run gives nothing.
TEST(SubjectMask, SelectsSubjectsThatNoHueSeparates) {
    for (const auto& [kind, working] : {std::pair{SceneKind::patchedDisc, 1e6},
                                        {SceneKind::twoColourFigure, 1e6},
                                        {SceneKind::twoColourFigure, 200.0 * 150 / 4}}) {
        const SubjectScene s = vividra::testing::makeSubjectScene(kind, 200, 150);
        const double kept = subjectIoU(s, keptColourMask(s));
        const PixelRect box{s.boxX, s.boxY, s.boxWidth, s.boxHeight};
        const SubjectFrame frame = subjectFrame(s.width, s.height, box, working);
        std::vector<std::uint8_t> copy;
        const auto reduced = segmentSubject(viewOf(s), frame, box, nullptr, nullptr, &copy);
        ASSERT_TRUE(reduced);
        const auto mask = refineSubjectMask(*reduced, viewOf(s), nullptr, &copy);
        ASSERT_TRUE(mask && mask->fullResolution());
        const double iou = subjectIoU(s, pictureMask(s, *mask));
        EXPECT_TRUE(iou >= 0.9 && kept <= iou - 0.2)
            << "scene " << static_cast<int>(kind) << ", " << working << " working pixels: IoU "
            << iou << ", a kept colour's " << kept;
        EXPECT_EQ(mask->alpha, refineSubjectMask(*reduced, viewOf(s))->alpha);
        std::atomic<bool> cancel{true};
        EXPECT_FALSE(segmentSubject(viewOf(s), frame, box, nullptr, &cancel));
        EXPECT_FALSE(refineSubjectMask(*reduced, viewOf(s), &cancel));
    }
}

// A reveal hint brings in a part the box left out (the engine's test has an eraser hint take
// one away). A box that misses the picture has no frame.
TEST(SubjectMask, HintsOverrideTheModel) {
    const SubjectScene s = vividra::testing::makeSubjectScene(SceneKind::patchedDisc, 160, 120);
    const PixelRect box{60, s.boxY, 60, s.boxHeight}; // misses the disc's left side
    const SubjectFrame frame = subjectFrame(s.width, s.height, box, 1e6);
    std::vector<std::uint8_t> hints(static_cast<std::size_t>(frame.width) * frame.height, 0);
    const auto at = [&](int x, int y) {
        return static_cast<std::size_t>(y - frame.region.y) * frame.width + x - frame.region.x;
    };
    for (int y = 55; y < 65; ++y)
        for (int x = 46; x < 58; ++x)
            hints[at(x, y)] = static_cast<std::uint8_t>(SubjectHint::subject);
    const auto plain = segmentSubject(viewOf(s), frame, box);
    const auto hinted = segmentSubject(viewOf(s), frame, box, &hints);
    ASSERT_TRUE(plain && hinted);
    EXPECT_EQ(plain->alpha[at(50, 60)], 0);
    EXPECT_EQ(hinted->alpha[at(50, 60)], 255);
    EXPECT_TRUE(subjectFrame(s.width, s.height, {-50, -50, 20, 20}).empty());
}
