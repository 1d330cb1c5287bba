#include "model/effects/preview_rendering.h"

#include <QFile>
#include <QImageReader>

#include <algorithm>
#include <cmath>

#include "model/effects/layer_rendering.h"

namespace vividra {

EffectSettings scaledForPreview(EffectSettings s, double scale) {
    s.blurIntensity = static_cast<float>(s.blurIntensity * scale);
    // The painting's radius is whole pixels; a radius that paints at all keeps painting.
    if (s.oilPaintingIntensity >= 1.0f)
        s.oilPaintingIntensity = std::max(
            1.0f, std::round(static_cast<float>(std::floor(s.oilPaintingIntensity) * scale)));
    return s;
}

bool sketchDrawnInDetail(const EffectSettings& s) {
    return s.sketchOn && !s.blurOn && !s.oilPaintingOn;
}

QSizeF sketchDetailSize(const QSizeF& full, const QSizeF& preview) {
    if (preview.isEmpty())
        return full;
    const double factor = std::clamp(full.width() / preview.width(), 1.0, 4.0);
    return preview * factor;
}

Picture reducedOriginal(const Picture& original, const QSizeF& size) {
    const QImage shown = screenCopy(original, size);
    return shown.isNull() ? Picture() : Picture(shown);
}

Picture firstLookOfFile(const QString& path, const QSize& size) {
    QFile file(path);
    if (size.isEmpty() || !file.open(QIODevice::ReadOnly) || file.peek(3) != "\xff\xd8\xff")
        return Picture();
    // Qt's JPEG reader scales in the decoder (libjpeg's DCT scaling) when asked for a
    // smaller size, then smooths to the exact size. The size asked for is the stored one:
    // the turn the file asks for comes after.
    QImageReader reader(&file, "jpeg");
    reader.setAutoTransform(true);
    const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
    reader.setScaledSize(turned ? size.transposed() : size);
    QImage image;
    if (!reader.read(&image) || image.size() != size)
        return Picture();
    image.convertTo(QImage::Format_ARGB32_Premultiplied);
    return image.isNull() ? Picture() : Picture(std::move(image));
}

Picture previewLayer(const PreviewInput& in, const EffectSettings& effects, PreviewLayer* cache) {
    const AdjustmentSettings& adjustments = in.adjustments;
    const bool detailed = sketchDrawnInDetail(effects) && !in.detailed.isEmpty();
    const qint64 detail = detailed ? in.detailed.image.cacheKey() : 0;
    if (cache && cache->picture.image.size() == in.reduced.image.size() &&
        cache->effects == effects && cache->adjustments == adjustments &&
        cache->source == in.reduced.image.cacheKey() && cache->detail == detail)
        return cache->picture;
    const Picture& from = detailed ? in.detailed : in.reduced;
    const double scale = from.size.width() / in.fullSize.width();
    Picture layer = effectChain(from, scaledForPreview(effects, scale), adjustments);
    if (detailed && !layer.isEmpty())
        layer = reducedOriginal(layer, in.reduced.size);
    if (cache && !layer.isEmpty())
        *cache = {effects, adjustments, in.reduced.image.cacheKey(), detail, layer};
    return layer;
}

QImage renderPreview(const PreviewInput& in) {
    if (in.reduced.isEmpty() || in.fullSize.isEmpty())
        return QImage();
    const Picture foreground = previewLayer(in, in.foreground, in.foregroundCache);
    const Picture background = previewLayer(in, in.background, in.backgroundCache);
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
                                               patternColor(background), in.reduced.image);
    return displayWindow(composite, in.view).image;
}

} // namespace vividra
