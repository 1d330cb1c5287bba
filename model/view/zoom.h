#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <optional>

#include "model/paint/compositing.h"

namespace vividra::zoom {

// The picture view's frame is (x, y, w, h) in the box, y-up: the whole box when the
// picture is fitted, up to five times the box when enlarged. Its ratio to the box is
// the zoom ratio.
constexpr double kZoomInFactor = 1.1;
constexpr double kZoomOutFactor = 0.9;
constexpr double kMaximumRatio = 5.0;

// The ratio of a frame to the box.
double ratio(const QRectF& frame, const QSizeF& box);

struct Step {
    QRectF frame;           // the new frame, not yet clamped
    double zoomScale = 1.0; // the session's ratio fields after the step
    double zoomFactor = 1.0;
};

// One zoom step by `factor` (1.1 in, 0.9 out). Below a ratio of 1 the picture is fitted,
// above 5 it is held at 5. The point `anchor` of the box (y-up) stays where it is; without
// one, the frame's own centre does. Nothing when zooming in from above 5.
std::optional<Step> step(const QRectF& frame, const QSizeF& box, double zoomScale,
                         double zoomFactor, double factor,
                         std::optional<QPointF> anchor = std::nullopt);

// Keeps an enlarged frame covering the box, and a frame no larger than the box at the
// box's origin.
QRectF clampPictureFrame(QRectF frame, const QSizeF& box);

// A pan by (dx, dy), y-up, held inside the box's bounds on each side.
QRectF pan(const QRectF& frame, const QSizeF& box, double dx, double dy);

// The frame after the box was resized: a fitted picture fits the new box; an enlarged one
// keeps its ratio and the picture point at the box's centre, and is then clamped.
QRectF resized(const QRectF& frame, const QSizeF& oldBox, const QSizeF& newBox);

// Where everything is on screen for a frame: the picture aspect-fitted into the frame,
// and the box's window of it.
ViewGeometry geometryFor(const QRectF& frame, const QSizeF& box, const QSizeF& picture);

// The frame a geometry was built for.
QRectF frameOf(const ViewGeometry& geometry);

} // namespace vividra::zoom
