#include "paint/compositing.h"

#include <QPainter>

#include <cmath>

#include "effects/image_tools.h"
#include "effects/kernels/parallel.h"
#include "paint/stroke_raster.h"

namespace vividra {

QBrush patternColor(const Picture& picture) {
    if (picture.isEmpty())
        return QBrush(QImage());
    return QBrush(picture.image);
}

void paintStroke(QImage& target, const CustomPath& stroke, const QBrush& revealColor,
                 const QBrush& eraseColor) {
    paintStroke(target, stroke, revealColor, eraseColor, 0, target.height());
}

void paintStroke(QImage& target, const CustomPath& stroke, const QBrush& revealColor,
                 const QBrush& eraseColor, int top, int fullHeight) {
    if (!stroke.path || stroke.path->elementCount() == 0)
        return;
    const QBrush& brush = stroke.isErase        ? eraseColor
                          : stroke.isSolidColor ? stroke.color
                                                : revealColor;
    QImage source;
    if (brush.style() == Qt::TexturePattern) {
        source = brush.textureImage();
        if (source.isNull())
            return;
        if (source.format() != QImage::Format_ARGB32_Premultiplied)
            source = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    } else if (brush.style() == Qt::NoBrush) {
        return;
    }
    // Picture rows: the y-up path is flipped once here.
    const QPainterPath rows = QTransform(1, 0, 0, -1, 0, fullHeight).map(*stroke.path);
    rasterStroke(target, rows, stroke.lineWidth, source, brush.color(), top);
}

Picture compositeStrokes(Picture target, const QList<CustomPathRef>& strokes,
                         const QBrush& revealColor, const QBrush& eraseColor) {
    if (target.isEmpty())
        return Picture();
    for (const CustomPathRef& stroke : strokes)
        paintStroke(target.image, *stroke, revealColor, eraseColor);
    return target;
}

Picture displayCanvas(const Picture& layer, const QRectF& shownRect, double canvasWidth,
                      double canvasHeight) {
    const int w = static_cast<int>(canvasWidth);
    const int h = static_cast<int>(canvasHeight);
    if (w <= 0 || h <= 0)
        return Picture();
    QImage canvas(w, h, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    if (!layer.isEmpty() && shownRect.width() > 0 && shownRect.height() > 0) {
        const QImage shown = screenCopy(layer, shownRect.size());
        QPainter p(&canvas);
        p.setCompositionMode(QPainter::CompositionMode_DestinationOver);
        p.drawImage(QPointF(shownRect.x(), h - shownRect.y() - shownRect.height()), shown);
    }
    return Picture(canvas);
}

QImage screenCopy(const Picture& picture, const QSizeF& size) {
    const QSize pixels(std::max(1, static_cast<int>(std::lround(size.width()))),
                       std::max(1, static_cast<int>(std::lround(size.height()))));
    if (picture.isEmpty())
        return QImage();
    if (picture.image.size() == pixels)
        return picture.image;
    return picture.image.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace vividra
