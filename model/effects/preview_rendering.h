#pragma once

#include <QList>
#include <QSizeF>

#include "model/effects/effect_settings.h"
#include "model/paint/compositing.h"
#include "model/paint/custom_path.h"
#include "model/platform/picture.h"

namespace vividra {

// A layer of the preview as last rendered, so a change to one layer renders only that one.
struct PreviewLayer {
    EffectSettings effects;
    AdjustmentSettings adjustments;
    qint64 source = 0;
    qint64 detail = 0;
    Picture picture;
};

// A change shown at once: the layers rendered from a copy of the original reduced to the
// picture's size on screen when fitted, with the strokes painted at that scale. The
// full-resolution rendering replaces it when it is ready.
struct PreviewInput {
    Picture reduced;  // the original at its fitted size on screen
    Picture detailed; // the original at twice that size, for a sketch; may be empty
    QSizeF fullSize;  // the original's own size, in pixels
    EffectSettings background;
    EffectSettings foreground;
    AdjustmentSettings adjustments; // shared by both layers
    QList<CustomPathRef> strokes;   // in the original's pixels
    ViewGeometry view;
    // Where the layers are kept between previews; may be null.
    PreviewLayer* foregroundCache = nullptr;
    PreviewLayer* backgroundCache = nullptr;
};

// What the box shows of the preview, or a null picture when it could not be made.
QImage renderPreview(const PreviewInput& input);

// A layer's settings for a picture `scale` times the original's size: the radii that are
// counted in pixels shrink with it, so the look stays the same.
EffectSettings scaledForPreview(EffectSettings settings, double scale);

// A sketch draws the picture's fine detail, which a copy at screen size has lost: its
// preview is drawn from a larger copy and then reduced. A blur or painting before it smooths
// that detail away anyway, and would cost many times as much on the larger copy.
bool sketchDrawnInDetail(const EffectSettings& settings);

// The size of the copy a sketch preview is drawn from: the sketch draws the picture's fine
// grain, which a copy at screen size has averaged away, so it gets up to four times the
// screen size (at most the picture's own).
QSizeF sketchDetailSize(const QSizeF& fullSize, const QSizeF& previewSize);

// The reduced copy itself, made off the main thread.
Picture reducedOriginal(const Picture& original, const QSizeF& size);

// A JPEG file's picture at `size`, upright, decoded at a fraction of its resolution, which
// takes a small part of the full decode; empty for other kinds of file and on any failure.
// It shows a newly opened photo while the full picture is still being decoded.
Picture firstLookOfFile(const QString& path, const QSize& size);

} // namespace vividra
