#include <gtest/gtest.h>

#include <QLineF>

#include <cmath>
#include <random>

#include "model/effects/image_tools.h"

#include "model/view/zoom.h"

namespace vividra::zoom {
namespace {

const QSizeF kBox(800, 500);

// Zooming in from fit goes 1.1, 1.21, 1.331 … and lands on exactly 5 at the 17th step,
// which a further step keeps; the session's ratio fields follow; the frame's centre
// stays put; zooming out from 1.05 fits exactly.
TEST(Zoom, StepsFollowTheRatioRules) {
    QRectF frame(QPointF(0, 0), kBox);
    double scale = 1.0, factor = 1.0;
    for (int n = 1; n <= 17; ++n) {
        const QPointF centre = frame.center();
        const auto s = step(frame, kBox, scale, factor, kZoomInFactor).value();
        frame = s.frame;
        scale = s.zoomScale;
        factor = s.zoomFactor;
        const double expected = n < 17 ? std::pow(1.1, n) : 5.0;
        EXPECT_NEAR(ratio(frame, kBox), expected, 1e-9) << n;
        EXPECT_NEAR(factor, expected, 1e-9) << n;
        // Whole points, so the centre moves by at most half a point.
        EXPECT_LE(std::abs(frame.center().x() - centre.x()), 0.5) << n;
        EXPECT_LE(std::abs(frame.center().y() - centre.y()), 0.5) << n;
    }
    EXPECT_EQ(ratio(frame, kBox), 5.0);
    const auto held = step(frame, kBox, scale, factor, kZoomInFactor).value();
    EXPECT_EQ(held.frame.size(), kBox * 5.0);
    EXPECT_EQ(held.zoomFactor, 5.0);
    // Above 5 (never reached by steps, but a frame may say so) zooming in does nothing.
    EXPECT_FALSE(step(QRectF(0, 0, 4200, 2625), kBox, 5.25, 5.25, kZoomInFactor));

    const auto fitted =
        step(QRectF(-20, -12.5, 840, 525), kBox, 1.05, 1.05, kZoomOutFactor).value();
    EXPECT_EQ(fitted.frame.size(), kBox);
    EXPECT_EQ(fitted.zoomScale, 1.0);
    EXPECT_EQ(fitted.zoomFactor, 1.0);
}

// A step about a point keeps that point of the picture under it; a resize fits a fitted
// picture and keeps an enlarged one's ratio and centre, clamped.
TEST(Zoom, AStepAboutAPointKeepsThatPointAndAResizeKeepsTheCentre) {
    const QRectF frame(-300, -100, 1600, 1000);
    const QPointF anchor(650, 120);
    const QRectF after = step(frame, kBox, 2.0, 2.0, kZoomInFactor, anchor).value().frame;
    EXPECT_NEAR((anchor.x() - after.x()) / after.width(), (anchor.x() - frame.x()) / frame.width(),
                0.5 / after.width());
    EXPECT_NEAR((anchor.y() - after.y()) / after.height(),
                (anchor.y() - frame.y()) / frame.height(), 0.5 / after.height());

    EXPECT_EQ(resized(QRectF(QPointF(0, 0), kBox), kBox, QSizeF(1200, 700)),
              QRectF(0, 0, 1200, 700));
    const QRectF grown = resized(QRectF(-200, -250, 1600, 1000), kBox, QSizeF(1000, 600));
    EXPECT_EQ(grown.size(), QSizeF(2000, 1200));
    // The picture point at the old centre, 3/8 across and 1/2 up, is at the new centre.
    EXPECT_EQ(grown.topLeft(), QPointF(500 - 750, 300 - 600));
    EXPECT_EQ(resized(QRectF(-800, 0, 1600, 1000), kBox, QSizeF(400, 250)),
              QRectF(-400, 0, 800, 500));
}

// The geometry of a frame: the picture fitted into it, the box's window of it, and back.
// (The randomized session test holds the view state's rules: no painting in Original or
// during a pan, the view settled after every sequence.)
TEST(Zoom, GeometryOfAFrame) {
    const QRectF frame(-400, -250, 1600, 1000);
    const ViewGeometry g = geometryFor(frame, kBox, QSizeF(4000, 3000));
    EXPECT_EQ(g.maskRect, QRectF(400, 250, 800, 500));
    EXPECT_NEAR(g.pictureRect.x(), (1600 - 1000 * 4.0 / 3) / 2, 1e-9);
    EXPECT_EQ(g.pictureRect.height(), 1000);
    EXPECT_EQ(frameOf(g), frame);

    // Any area and picture: the fitted rectangle has the picture's shape, fills the area in
    // one direction and is centred in the other.
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> side(1, 5000), at(-500, 500);
    for (int i = 0; i < 500; ++i) {
        const QRectF area(at(rng), at(rng), side(rng), side(rng));
        const double w = side(rng), h = side(rng);
        QRectF fitted = area;
        ImageTools::fitRect(fitted, w, h);
        EXPECT_NEAR(fitted.width() / fitted.height(), w / h, 1e-9 * w / h);
        // Filling one direction and inside the other: the larger of the two scales is one.
        EXPECT_NEAR(std::max(fitted.width() / area.width(), fitted.height() / area.height()), 1,
                    1e-9);
        EXPECT_LE(QLineF(fitted.center(), area.center()).length(), 1e-6);
    }
}

} // namespace
} // namespace vividra::zoom
