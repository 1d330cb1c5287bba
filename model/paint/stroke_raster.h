#pragma once

#include <QColor>
#include <QImage>
#include <QPainterPath>

namespace vividra {

// Paints a stroke with round caps and joins into `target` (ARGB32 premultiplied).
// The stroke is the union of capsules around the path's segments, so the result
// does not depend on how the picture is split into bands; edges are
// antialiased by distance. `source` (same format) is copied in place where it
// is set, else `colour` is painted. `path` is in target rows, shifted up by
// `top` when `target` is a band of a taller picture whose rows start at `top`.
// With `guide` (the original picture, full height, same format), the stroke is edge-aware:
// each pixel is painted only as far as the guide there is like the guide's colour where
// its sub-path starts.
void rasterStroke(QImage& target, const QPainterPath& path, double width, const QImage& source,
                  const QColor& colour, int top = 0, const QImage* guide = nullptr);

} // namespace vividra
