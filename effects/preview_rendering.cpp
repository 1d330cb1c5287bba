#include "effects/preview_rendering.h"

#include <algorithm>
#include <cmath>

#include "effects/layer_rendering.h"

namespace vividra {

EffectSettings scaledForPreview(EffectSettings s, double scale) {
    s.blurIntensity = static_cast<float>(s.blurIntensity * scale);
    // The painting's radius is whole pixels; a radius that paints at all keeps painting.
    if (s.oilPaintingIntensity >= 1.0f)
        s.oilPaintingIntensity = std::max(
            1.0f, std::round(static_cast<float>(std::floor(s.oilPaintingIntensity) * scale)));
    return s;
}

Picture reducedOriginal(const Picture& original, const QSizeF& size) {
    const QImage shown = screenCopy(original, size);
    return shown.isNull() ? Picture() : Picture(shown);
}

Picture previewLayer(const PreviewInput& in, const EffectSettings& effects,
                     const std::optional<AdjustmentSettings>& adjustments, PreviewLayer* cache) {
    if (cache && cache->picture.image.size() == in.reduced.image.size() &&
        cache->effects == effects && cache->adjustments == adjustments &&
        cache->neutral == in.neutral && cache->source == in.reduced.image.cacheKey())
        return cache->picture;
    // A sketch draws the picture's fine detail, which a copy at screen size has lost: it is
    // drawn from a copy at twice the size and then reduced.
    const bool detailed = effects.sketchOn && !in.detailed.isEmpty();
    const Picture& from = detailed ? in.detailed : in.reduced;
    const double scale = from.size.width() / in.fullSize.width();
    Picture layer = effectChain(from, scaledForPreview(effects, scale), adjustments, in.neutral);
    if (detailed && !layer.isEmpty())
        layer = reducedOriginal(layer, in.reduced.size);
    if (cache && !layer.isEmpty())
        *cache = {effects, adjustments, in.neutral, in.reduced.image.cacheKey(), layer};
    return layer;
}

QImage renderPreview(const PreviewInput& in) {
    if (in.reduced.isEmpty() || in.fullSize.isEmpty())
        return QImage();
    const Picture foreground =
        previewLayer(in, in.foreground, in.foregroundAdjustments, in.foregroundCache);
    const Picture background =
        previewLayer(in, in.background, in.backgroundAdjustments, in.backgroundCache);
    if (foreground.isEmpty() || background.isEmpty())
        return QImage();
    // The strokes at the reduced scale: the paths are y-up from the picture's bottom edge,
    // which scaling keeps in place.
    const double sx = in.reduced.size.width() / in.fullSize.width();
    const double sy = in.reduced.size.height() / in.fullSize.height();
    QList<CustomPathRef> strokes;
    const QTransform toReduced = QTransform::fromScale(sx, sy);
    for (const CustomPathRef& s : in.strokes) {
        auto scaled = std::make_shared<CustomPath>(*s);
        scaled->path = std::make_shared<QPainterPath>(toReduced.map(*s->path));
        scaled->lineWidth = s->lineWidth * sx;
        strokes << scaled;
    }
    Picture target = background;
    target.image.detach();
    const Picture composite = compositeStrokes(std::move(target), strokes, patternColor(foreground),
                                               patternColor(background));
    return displayWindow(composite, in.view).image;
}

} // namespace vividra
