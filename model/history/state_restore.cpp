#include "model/history/state_restore.h"

#include "model/effects/image_tools.h"
#include "model/effects/layer_rendering.h"
#include "model/files/picture_pixels.h"
#include "model/paint/compositing.h"

namespace vividra {

RestoredPictures restoreStatePictures(const StateLayers& layers,
                                      const QList<CustomPathRef>& strokes, Picture original,
                                      const QString& originalPath, const Picture& base,
                                      qsizetype baseStrokes) {
    RestoredPictures out;
    const QString noMemory =
        QStringLiteral("There is not enough memory to bring this state of the picture back.");
    Picture foreground = layers.foregroundImage;
    Picture preErase = layers.preEraseImage;
    if (foreground.isEmpty() || preErase.isEmpty()) {
        if (original.isEmpty()) {
            QString reason;
            auto read = ImageTools::readPicture(originalPath, &reason);
            if (!read) {
                // The picture moved away meanwhile: the session stays as it is.
                if (reason == ImageTools::outOfMemoryReason())
                    out.reason = reason;
                return out;
            }
            original = *read;
        }
        if (foreground.isEmpty())
            foreground = renderLayer(original, layers.foregroundRecipe);
        if (preErase.isEmpty())
            preErase = renderLayer(original, layers.backgroundRecipe);
        if (foreground.isEmpty() || preErase.isEmpty()) {
            out.reason = noMemory;
            return out;
        }
    }
    // Strokes paint into the picture itself; the clean background stays apart.
    const bool fromBase = !base.isEmpty() && baseStrokes <= strokes.size();
    Picture target = fromBase ? base : preErase;
    if (!pixels::detachPooled(target.image)) {
        out.reason = noMemory;
        return out;
    }
    out.composite =
        compositeStrokes(std::move(target), fromBase ? strokes.mid(baseStrokes) : strokes,
                         patternColor(foreground), patternColor(preErase), original.image);
    if (out.composite.isEmpty()) {
        out.reason = noMemory;
        return out;
    }
    out.original = original;
    out.foregroundImage = foreground;
    out.preEraseImage = preErase;
    out.ok = true;
    return out;
}

} // namespace vividra
