#include "model/view/view_state.h"

#include "model/view/zoom.h"

namespace vividra {

bool ViewState::holdOriginal(bool held) {
    if (held == originalHeld_ || (held && shown_ != Shown::preview))
        return false;
    originalHeld_ = held;
    shown_ = held ? Shown::original : Shown::preview;
    return true;
}

std::optional<QRectF> ViewState::zoomAt(const QRectF& frame, const QSizeF& box, double factor,
                                        std::optional<QPointF> anchor) {
    const std::optional<zoom::Step> step =
        zoom::step(frame, box, zoomScale_, zoomFactor_, factor, anchor);
    if (!step)
        return std::nullopt;
    zoomScale_ = step->zoomScale;
    zoomFactor_ = step->zoomFactor;
    return step->frame;
}

bool ViewState::endPan() {
    panning_ = false;
    if (!std::exchange(panMoved_, false))
        return false;
    panEnded_ = true;
    return true;
}

} // namespace vividra
