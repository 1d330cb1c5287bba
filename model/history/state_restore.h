#pragma once

#include <QList>
#include <QString>

#include "model/history/state.h"
#include "model/paint/custom_path.h"
#include "model/platform/picture.h"

namespace vividra {

// The pictures of a recorded state, as a restore hands them to the main thread.
struct RestoredPictures {
    bool ok = false;
    QString reason; // what to tell the user when it failed, or empty
    Picture original;
    Picture foregroundImage;
    Picture preEraseImage;
    Picture composite;
};

// Brings back a state's layers and composes its strokes onto the clean background.
// Cached layer pixels are taken as they are; a dropped layer is rendered again from its
// recipe and `original` (read from `originalPath` when empty). Safe on a pool thread.
//
// With a `base`, the composite of the first `baseStrokes` strokes over the cached layers,
// only the strokes after those are painted onto a copy of it: painting strokes one by one
// gives the same pixels as painting them all at once.
RestoredPictures restoreStatePictures(const StateLayers& layers,
                                      const QList<CustomPathRef>& strokes, Picture original,
                                      const QString& originalPath, const Picture& base = Picture(),
                                      qsizetype baseStrokes = 0);

} // namespace vividra
