#include "model/view/zoom.h"

#include <algorithm>
#include <cmath>

#include "model/effects/image_tools.h"

namespace vividra::zoom {

double ratio(const QRectF& frame, const QSizeF& box) {
    return box.width() > 0 ? frame.width() / box.width() : 1.0;
}

std::optional<Step> step(const QRectF& frame, const QSizeF& box, double zoomScale,
                         double zoomFactor, double factor, std::optional<QPointF> anchor) {
    if (box.isEmpty() || frame.isEmpty())
        return std::nullopt;
    const double r = ratio(frame, box);
    if (factor > 1.0 && r > kMaximumRatio)
        return std::nullopt;
    const double next = r * factor;
    Step s;
    QSizeF size;
    if (next < 1.0) {
        s.zoomScale = s.zoomFactor = 1.0;
        size = box;
    } else if (next > kMaximumRatio) {
        s.zoomScale = zoomScale * kMaximumRatio * box.width() / frame.width();
        s.zoomFactor = kMaximumRatio;
        size = box * kMaximumRatio;
    } else {
        s.zoomScale = zoomScale * factor;
        s.zoomFactor = zoomFactor * factor;
        size = frame.size() * factor;
    }
    const QPointF a = anchor.value_or(frame.center());
    const double grow = size.width() / frame.width();
    const double growY = size.height() / frame.height();
    // Whole points, so the box's window of the canvas starts on a pixel.
    s.frame = QRectF(std::round(a.x() - (a.x() - frame.x()) * grow),
                     std::round(a.y() - (a.y() - frame.y()) * growY), size.width(), size.height());
    return s;
}

QRectF clampPictureFrame(QRectF frame, const QSizeF& box) {
    double x = frame.x();
    double y = frame.y();
    if (x < box.width() - frame.width())
        x = box.width() - frame.width();
    if (x > 0)
        x = 0;
    if (y < box.height() - frame.height())
        y = box.height() - frame.height();
    if (y > 0)
        y = 0;
    frame.moveTo(std::round(x), std::round(y));
    return frame;
}

QRectF pan(const QRectF& frame, const QSizeF& box, double dx, double dy) {
    const auto within = [](double v, double low) { return std::clamp(v, std::min(low, 0.0), 0.0); };
    QRectF moved = frame;
    moved.moveTo(within(frame.x() + dx, box.width() - frame.width()),
                 within(frame.y() + dy, box.height() - frame.height()));
    return moved;
}

QRectF resized(const QRectF& frame, const QSizeF& oldBox, const QSizeF& newBox) {
    if (oldBox.isEmpty() || frame.isEmpty() || frame.width() <= oldBox.width())
        return QRectF(QPointF(0, 0), newBox);
    const double r = ratio(frame, oldBox);
    // The picture point at the old box's centre, as a fraction of the frame.
    const double fx = (oldBox.width() / 2 - frame.x()) / frame.width();
    const double fy = (oldBox.height() / 2 - frame.y()) / frame.height();
    const QSizeF size = newBox * r;
    const QRectF moved(std::round(newBox.width() / 2 - fx * size.width()),
                       std::round(newBox.height() / 2 - fy * size.height()), size.width(),
                       size.height());
    return clampPictureFrame(moved, newBox);
}

ViewGeometry geometryFor(const QRectF& frame, const QSizeF& box, const QSizeF& picture) {
    ViewGeometry g;
    g.pictureRect = QRectF(0, 0, frame.width(), frame.height());
    if (!picture.isEmpty())
        ImageTools::fitRect(g.pictureRect, picture.width(), picture.height());
    g.maskRect = QRectF(-frame.x(), -frame.y(), box.width(), box.height());
    g.maskWidth = frame.width();
    g.maskHeight = frame.height();
    return g;
}

QRectF frameOf(const ViewGeometry& g) {
    return {-g.maskRect.x(), -g.maskRect.y(), g.maskWidth, g.maskHeight};
}

} // namespace vividra::zoom
