#pragma once

#include <QBrush>
#include <QList>
#include <QRectF>

#include <optional>

#include "model/paint/custom_path.h"
#include "model/platform/picture.h"

namespace vividra {

// A pattern colour: paints `picture` in place, tiled from the target's origin.
QBrush patternColor(const Picture& picture);

// Paints one stroke into `target`: erase strokes copy `erase`, solid strokes
// their own colour, the others `reveal` (or `revealColor` when it is set).
// Paths are in y-up picture pixels; they are mapped into image rows so the
// pattern stays aligned with the target's pixels. `guide`, the original at the
// target's size, decides what a kept colour reveals and where an edge-aware stroke
// stops; without it the reveal picture decides.
void paintStroke(QImage& target, const CustomPath& stroke, const QBrush& revealColor,
                 const QBrush& eraseColor, const QImage& guide = QImage());
// The same for a band of rows of a taller picture: `target` holds rows
// `top` onwards of a picture `fullHeight` rows high.
void paintStroke(QImage& target, const CustomPath& stroke, const QBrush& revealColor,
                 const QBrush& eraseColor, int top, int fullHeight, const QImage& guide = QImage());

// Whether any of the strokes leaves a mark (an empty path paints nothing; a kept
// colour may mark any pixel).
bool paintsAnything(const QList<CustomPathRef>& strokes);

// Paints the strokes into the target itself, oldest first, and returns it.
// A 0×0 target gives back a 0×0 picture untouched.
Picture compositeStrokes(Picture target, const QList<CustomPathRef>& strokes,
                         const QBrush& revealColor, const QBrush& eraseColor,
                         const QImage& guide = QImage());

// The kept colour in the list, if any: there is at most one.
const CustomPath* keptColour(const QList<CustomPathRef>& strokes);
// The strokes with `key` as their kept colour, or none when unset: a changed colour takes
// the old one's place, so the strokes painted after it still refine it; an unchanged one is
// left as the same object.
QList<CustomPathRef> withKeptColour(QList<CustomPathRef> strokes,
                                    const std::optional<fx::HueKey>& key);

// Where the picture is on screen. The picture view is a canvas of `maskWidth` ×
// `maskHeight` (the box when fitted, up to five times larger when enlarged) with the
// picture shown at `pictureRect` in it; the box shows the part `maskRect` of the canvas.
// Both rectangles are y-up in the canvas.
struct ViewGeometry {
    QRectF pictureRect;
    QRectF maskRect;
    double maskWidth = 0;
    double maskHeight = 0;
    bool operator==(const ViewGeometry&) const = default;
};

// The picture's rectangle in the box, in widget coordinates (rows downwards).
QRectF pictureInBox(const ViewGeometry& geometry);

// What the box shows of a layer, box-sized and transparent around the picture: the layer
// scaled to the shown size and placed at its rounded position, computed from only the
// part on show, so an enlarged view never scales the whole layer.
Picture displayWindow(const Picture& layer, const ViewGeometry& geometry);

// The picture drawn scaled to `size` for the screen; smooth, done off the main thread.
QImage screenCopy(const Picture& picture, const QSizeF& size);

} // namespace vividra
