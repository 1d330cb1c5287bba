#include <gtest/gtest.h>

#include <QRandomGenerator>

#include <cmath>

#include "model/view/view_state.h"
#include "model/view/zoom.h"

namespace vividra {
namespace {

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
                        v.zoomAt(frame, box,
                                 random.bounded(2) ? zoom::kZoomInFactor : zoom::kZoomOutFactor)) {
                    frame = zoom::clampPictureFrame(*f, box);
                    v.moved();
                    EXPECT_NEAR(v.zoomFactor(), zoom::ratio(frame, box), 1e-9);
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
            EXPECT_LE(v.zoomFactor(), zoom::kMaximumRatio + 1e-9);
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
} // namespace vividra
