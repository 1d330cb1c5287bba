#pragma once

#include <QBrush>
#include <QList>
#include <QPainterPath>

#include <memory>
#include <optional>

#include "kernels/colour_key.h"

namespace vividra {

struct SubjectSelection;

// Stroke geometry is shared, not copied: a recorded stroke and the painting
// surface can refer to the same path object.
using PathRef = std::shared_ptr<QPainterPath>;

inline PathRef makePath() {
    return std::make_shared<QPainterPath>();
}
// Extends a stroke to `to`. A segment back to the same point would be dropped, so it is
// nudged: a click still leaves a round dot.
inline void extendPath(QPainterPath& path, QPointF to) {
    if (path.currentPosition() == to)
        to.rx() += 0.01;
    path.lineTo(to);
}
inline PathRef copyPath(const PathRef& p) {
    return std::make_shared<QPainterPath>(p ? *p : QPainterPath());
}

// One recorded stroke. Widths are in picture pixels.
class CustomPath {
public:
    CustomPath(double width, QBrush brushColor, PathRef strokePath)
        : lineWidth(width), color(std::move(brushColor)), path(std::move(strokePath)) {}

    double lineWidth;
    QBrush color;
    PathRef path;
    bool isSolidColor = false;
    bool isErase = false;
    // Paints only where the original is like its colour under the point each sub-path
    // starts at, so a stroke stops at the subject's edges.
    bool edgeAware = false;
    // A kept colour rather than a stroke: reveals every pixel of the original near the
    // hue, over the whole picture, and has no path.
    std::optional<fx::HueKey> keep;
    // A selected subject rather than a stroke: reveals through its mask, and has no path.
    std::shared_ptr<const SubjectSelection> subject;
};

// A kept colour as the stroke list holds it.
inline std::shared_ptr<CustomPath> makeKeepStroke(const fx::HueKey& key) {
    auto stroke = std::make_shared<CustomPath>(0.0, QBrush(), std::make_shared<QPainterPath>());
    stroke->keep = key;
    return stroke;
}

using CustomPathRef = std::shared_ptr<CustomPath>;

// Strokes as a job takes them with it: each stroke and its path copied, so the
// job never shares an object that the painting surface may still change.
inline QList<CustomPathRef> snapshotStrokes(const QList<CustomPathRef>& strokes) {
    QList<CustomPathRef> copies;
    copies.reserve(strokes.size());
    for (const CustomPathRef& stroke : strokes) {
        auto copy = std::make_shared<CustomPath>(*stroke);
        copy->path = copyPath(stroke->path);
        copies.append(std::move(copy));
    }
    return copies;
}

} // namespace vividra
