#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <optional>
#include <utility>

namespace vividra {

// What the box shows and how: Preview or Original, the zoom, a pan under way, and whether
// the view moved since the brush's colours were cut for it. Whether the user may paint is
// decided here alone; the window drives it and the drawing surfaces ask it.
class ViewState {
public:
    enum class Shown { preview, original };

    // A new session: Preview, fitted, nothing moving.
    void reset() { *this = ViewState(); }

    // Painting needs the edited picture on show, the view settled where it is, and the job
    // line idle (a stroke must land on the layers as they are).
    bool canPaint(bool lineIdle) const {
        return shown_ == Shown::preview && lineIdle && !panning_ && !rebuildPending_;
    }

    Shown shown() const { return shown_; }
    bool showsOriginal() const { return shown_ == Shown::original; }
    void show(Shown shown) { shown_ = shown; }
    // A quick look at the original from Preview while a key is held; letting go comes back.
    // False when nothing changes.
    bool holdOriginal(bool held);

    // The zoom relative to fit, as the steps made it.
    double zoomScale() const { return zoomScale_; }
    double zoomFactor() const { return zoomFactor_; }
    // One zoom step by `factor` about `anchor` (y-up box point, the frame's centre without
    // one): the new frame, not yet clamped, or nothing when the view stays.
    std::optional<QRectF> zoomAt(const QRectF& frame, const QSizeF& box, double factor,
                                 std::optional<QPointF> anchor = std::nullopt);
    void fit() { zoomScale_ = zoomFactor_ = 1.0; }

    // The view moved; its windows are cut again before the brush may paint.
    void moved() { rebuildPending_ = true; }
    void rebuilt() { rebuildPending_ = false; }
    bool rebuildPending() const { return rebuildPending_; }

    // A pan gesture holds a button down, and no stroke starts meanwhile.
    void beginPan() { panning_ = true; }
    bool panning() const { return panning_; }
    // The view moved by a pan (a drag or the wheel).
    void panned() { panMoved_ = true; }
    // The pan is over: true when it moved the view, which then wants rebuilding.
    bool endPan();
    // Once, after the rebuild that ends a pan: the pan becomes a state of the history.
    bool takeEndedPan() { return std::exchange(panEnded_, false); }

private:
    Shown shown_ = Shown::preview;
    bool originalHeld_ = false;
    double zoomScale_ = 1.0;
    double zoomFactor_ = 1.0;
    bool rebuildPending_ = false;
    bool panning_ = false;
    bool panMoved_ = false;
    bool panEnded_ = false;
};

} // namespace vividra
