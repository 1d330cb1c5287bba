#include <gtest/gtest.h>

#include <QRandomGenerator>

#include <cmath>

#include "model/view/view_state.h"
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
        const auto s = step(frame, kBox, scale, factor, kZoomInFactor);
        ASSERT_TRUE(s);
        const QPointF centre = frame.center();
        frame = s->frame;
        scale = s->zoomScale;
        factor = s->zoomFactor;
        const double expected = n < 17 ? std::pow(1.1, n) : 5.0;
        EXPECT_NEAR(ratio(frame, kBox), expected, 1e-9) << n;
        EXPECT_NEAR(factor, expected, 1e-9) << n;
        EXPECT_NEAR(frame.height() / kBox.height(), expected, 1e-9) << n;
        // Whole points, so the centre moves by at most half a point.
        EXPECT_LE(std::abs(frame.center().x() - centre.x()), 0.5) << n;
        EXPECT_LE(std::abs(frame.center().y() - centre.y()), 0.5) << n;
    }
    EXPECT_EQ(ratio(frame, kBox), 5.0);
    const auto held = step(frame, kBox, scale, factor, kZoomInFactor);
    ASSERT_TRUE(held);
    EXPECT_EQ(held->frame.size(), kBox * 5.0);
    EXPECT_EQ(held->zoomFactor, 5.0);
    // Above 5 (never reached by steps, but a frame may say so) zooming in does nothing.
    EXPECT_FALSE(step(QRectF(0, 0, 4200, 2625), kBox, 5.25, 5.25, kZoomInFactor));

    const auto fitted = step(QRectF(-20, -12.5, 840, 525), kBox, 1.05, 1.05, kZoomOutFactor);
    ASSERT_TRUE(fitted);
    EXPECT_EQ(fitted->frame.size(), kBox);
    EXPECT_EQ(fitted->zoomScale, 1.0);
    EXPECT_EQ(fitted->zoomFactor, 1.0);
    EXPECT_EQ(clampPictureFrame(fitted->frame, kBox), QRectF(QPointF(0, 0), kBox));
}

// A step about a point keeps that point of the picture under it.
TEST(Zoom, AStepAboutAPointKeepsThatPoint) {
    const QRectF frame(-300, -100, 1600, 1000);
    const QPointF anchor(650, 120);
    const auto s = step(frame, kBox, 2.0, 2.0, kZoomInFactor, anchor);
    ASSERT_TRUE(s);
    const double before = (anchor.x() - frame.x()) / frame.width();
    const double after = (anchor.x() - s->frame.x()) / s->frame.width();
    EXPECT_NEAR(after, before, 0.5 / s->frame.width());
    EXPECT_NEAR((anchor.y() - s->frame.y()) / s->frame.height(),
                (anchor.y() - frame.y()) / frame.height(), 0.5 / s->frame.height());
}

// The clamp keeps an enlarged frame covering the box and a fitted one at the origin;
// a pan stops at the edges; a resize fits a fitted picture and keeps an enlarged one's
// ratio and centre.
TEST(Zoom, FramesStayInsideTheirBounds) {
    EXPECT_EQ(clampPictureFrame(QRectF(40, -900, 1600, 1000), kBox), QRectF(0, -500, 1600, 1000));
    EXPECT_EQ(clampPictureFrame(QRectF(-1000, 30, 1600, 1000), kBox), QRectF(-800, 0, 1600, 1000));
    EXPECT_EQ(clampPictureFrame(QRectF(-10, 7, 800, 500), kBox), QRectF(0, 0, 800, 500));

    const QRectF frame(-400, -250, 1600, 1000);
    EXPECT_EQ(pan(frame, kBox, 30, -20), QRectF(-370, -270, 1600, 1000));
    EXPECT_EQ(pan(frame, kBox, 900, -900), QRectF(0, -500, 1600, 1000));
    EXPECT_EQ(pan(frame, kBox, -900, 900), QRectF(-800, 0, 1600, 1000));
    EXPECT_EQ(pan(QRectF(QPointF(0, 0), kBox), kBox, 50, 50), QRectF(QPointF(0, 0), kBox));

    EXPECT_EQ(resized(QRectF(QPointF(0, 0), kBox), kBox, QSizeF(1200, 700)),
              QRectF(0, 0, 1200, 700));
    const QRectF grown = resized(QRectF(-200, -250, 1600, 1000), kBox, QSizeF(1000, 600));
    EXPECT_EQ(grown.size(), QSizeF(2000, 1200));
    // The picture point at the old centre, 3/8 across and 1/2 up, is at the new centre.
    EXPECT_EQ(grown.topLeft(), QPointF(500 - 750, 300 - 600));
    // Shrinking the window keeps the frame covering the box.
    const QRectF edge = resized(QRectF(-800, 0, 1600, 1000), kBox, QSizeF(400, 250));
    EXPECT_EQ(edge, QRectF(-400, 0, 800, 500));
}

// The geometry of a frame: the picture fitted into it, the box's window of it, and back.
TEST(Zoom, GeometryOfAFrame) {
    const QRectF frame(-400, -250, 1600, 1000);
    const ViewGeometry g = geometryFor(frame, kBox, QSizeF(4000, 3000));
    EXPECT_EQ(g.maskRect, QRectF(400, 250, 800, 500));
    EXPECT_EQ(g.maskWidth, 1600);
    EXPECT_EQ(g.maskHeight, 1000);
    EXPECT_NEAR(g.pictureRect.x(), (1600 - 1000 * 4.0 / 3) / 2, 1e-9);
    EXPECT_EQ(g.pictureRect.height(), 1000);
    EXPECT_EQ(frameOf(g), frame);
}

// Random sequences of what the window does to the view. Painting is never allowed with
// the original on show, during a pan, after a move until the rebuild, or with the line
// busy; a pan that moved always asks for its rebuild, so the brush comes back; the zoom
// fields follow the frame; a new session starts in Preview, fitted, ready to paint.
TEST(ViewState, PaintingFollowsWhatIsShownAndSettled) {
    const QSizeF box(800, 500);
    QRandomGenerator random(7);
    for (int sequence = 0; sequence < 200; ++sequence) {
        ViewState v;
        QRectF frame(QPointF(0, 0), box);
        bool moved = false;
        for (int step = 0; step < 30; ++step) {
            switch (random.bounded(8)) {
            case 0:
                v.show(random.bounded(2) ? ViewState::Shown::original : ViewState::Shown::preview);
                break;
            case 1:
                v.holdOriginal(random.bounded(2));
                break;
            case 2:
                if (auto f =
                        v.zoomAt(frame, box, random.bounded(2) ? kZoomInFactor : kZoomOutFactor)) {
                    frame = clampPictureFrame(*f, box);
                    v.moved();
                    EXPECT_NEAR(v.zoomFactor(), ratio(frame, box), 1e-9);
                }
                break;
            case 3:
                v.beginPan();
                break;
            case 4:
                v.panned();
                v.moved();
                moved = true;
                break;
            case 5: {
                const bool rebuild = v.endPan();
                EXPECT_EQ(rebuild, moved);
                moved = false;
                if (rebuild) {
                    v.rebuilt();
                    EXPECT_TRUE(v.takeEndedPan());
                }
                EXPECT_FALSE(v.takeEndedPan());
                break;
            }
            case 6:
                v.rebuilt();
                break;
            default:
                v.fit();
                frame = QRectF(QPointF(0, 0), box);
                break;
            }
            EXPECT_FALSE(v.canPaint(false));
            if (v.showsOriginal() || v.panning() || v.rebuildPending()) {
                EXPECT_FALSE(v.canPaint(true));
            }
            EXPECT_GE(v.zoomFactor(), 1.0);
            EXPECT_LE(v.zoomFactor(), kMaximumRatio + 1e-9);
        }
        if (!v.showsOriginal() && !v.panning()) {
            v.rebuilt();
            EXPECT_TRUE(v.canPaint(true));
        }
        v.reset();
        EXPECT_TRUE(v.canPaint(true));
        EXPECT_EQ(v.zoomScale(), 1.0);
        EXPECT_FALSE(v.endPan());
        // A quick look from Preview comes back; from Original there is none.
        EXPECT_TRUE(v.holdOriginal(true));
        EXPECT_FALSE(v.canPaint(true));
        EXPECT_TRUE(v.holdOriginal(false));
        v.show(ViewState::Shown::original);
        EXPECT_FALSE(v.holdOriginal(true));
        EXPECT_TRUE(v.showsOriginal());
    }
}

} // namespace
} // namespace vividra::zoom
