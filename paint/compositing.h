#pragma once

#include <QBrush>
#include <QList>
#include <QRectF>

#include "paint/custom_path.h"
#include "platform/picture.h"

namespace vividra {

// A pattern colour: paints `picture` in place, tiled from the target's origin.
QBrush patternColor(const Picture& picture);

// Paints one stroke into `target`: erase strokes copy `erase`, solid strokes
// their own colour, the others `reveal` (or `revealColor` when it is set).
// Paths are in y-up picture pixels; they are mapped into image rows so the
// pattern stays aligned with the target's pixels.
void paintStroke(QImage& target, const CustomPath& stroke, const QBrush& revealColor,
                 const QBrush& eraseColor);
// The same for a band of rows of a taller picture: `target` holds rows
// `top` onwards of a picture `fullHeight` rows high.
void paintStroke(QImage& target, const CustomPath& stroke, const QBrush& revealColor,
                 const QBrush& eraseColor, int top, int fullHeight);

// Paints the strokes into the target itself, oldest first, and returns it.
// A 0×0 target gives back a 0×0 picture untouched.
Picture compositeStrokes(Picture target, const QList<CustomPathRef>& strokes,
                         const QBrush& revealColor, const QBrush& eraseColor);

// The display canvas of a layer: the layer drawn at the size and place it has
// on screen (`shownRect`, y-up in the canvas) into a transparent canvas of
// `canvasWidth` × `canvasHeight`.
Picture displayCanvas(const Picture& layer, const QRectF& shownRect, double canvasWidth,
                      double canvasHeight);

// The picture drawn scaled to `size` for the screen; smooth, done off the main thread.
QImage screenCopy(const Picture& picture, const QSizeF& size);

} // namespace vividra
