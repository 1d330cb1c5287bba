#include <gtest/gtest.h>

#include "model/effects/image_tools.h"

namespace vividra {
namespace {

TEST(ImageGeometry, FitRectCentresTheLargestRectangleOfTheAspect) {
    const struct {
        QRectF area;
        int width, height;
        QRectF fitted;
    } cases[] = {
        {{0, 0, 200, 100}, 400, 400, {50, 0, 100, 100}},
        {{0, 0, 100, 200}, 400, 400, {0, 50, 100, 100}},
        {{0, 0, 800, 400}, 4000, 3000, {400.0 / 3, 0, 1600.0 / 3, 400}},
        // An offset rectangle keeps its origin in the other axis.
        {{10, 20, 300, 300}, 300, 150, {10, 95, 300, 150}},
        // Same aspect: unchanged whichever branch is taken.
        {{5, 5, 160, 90}, 1920, 1080, {5, 5, 160, 90}},
    };
    for (const auto& c : cases) {
        QRectF area = c.area;
        ImageTools::fitRect(area, c.width, c.height);
        EXPECT_NEAR(area.x(), c.fitted.x(), 1e-9);
        EXPECT_NEAR(area.y(), c.fitted.y(), 1e-9);
        EXPECT_NEAR(area.width(), c.fitted.width(), 1e-9);
        EXPECT_NEAR(area.height(), c.fitted.height(), 1e-9);
    }
}

} // namespace
} // namespace vividra
