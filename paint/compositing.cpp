#include "paint/compositing.h"

#include <QPainter>

#include <cmath>
#include <cstring>

#include "effects/image_tools.h"
#include "effects/kernels/parallel.h"
#include "effects/kernels/resample.h"
#include "effects/picture_pixels.h"
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
    if (canvas.isNull())
        return Picture();
    // Plain copies rather than QPainter, which splits large fills and blends across Qt's
    // private thread pool: onto a transparent canvas, destination-over is a copy.
    std::memset(canvas.bits(), 0, static_cast<std::size_t>(canvas.sizeInBytes()));
    if (!layer.isEmpty() && shownRect.width() > 0 && shownRect.height() > 0) {
        const QImage shown = screenCopy(layer, shownRect.size());
        if (shown.isNull())
            return Picture();
        // Placed as QPainter places an unscaled picture: at the rounded position.
        const int left = qRound(shownRect.x());
        const int top = qRound(h - shownRect.y() - shownRect.height());
        const QRect target = QRect(left, top, shown.width(), shown.height()) & canvas.rect();
        for (int y = target.top(); y <= target.bottom(); ++y)
            std::memcpy(canvas.scanLine(y) + static_cast<std::ptrdiff_t>(target.left()) * 4,
                        shown.constScanLine(y - top) +
                            static_cast<std::ptrdiff_t>(target.left() - left) * 4,
                        static_cast<std::size_t>(target.width()) * 4);
    }
    return Picture(canvas);
}

QImage screenCopy(const Picture& picture, const QSizeF& size) {
    const QSize target(std::max(1, static_cast<int>(std::lround(size.width()))),
                       std::max(1, static_cast<int>(std::lround(size.height()))));
    if (picture.isEmpty())
        return QImage();
    if (picture.image.size() == target)
        return picture.image;
    // Our own resampler rather than QImage::scaled, which hands large pictures to Qt's
    // private thread pool; the work stays with the job that asked for it.
    const QImage source = pixels::toWorkingFormat(picture.image);
    QImage shown(target, QImage::Format_ARGB32_Premultiplied);
    if (source.isNull() || shown.isNull())
        return QImage();
    if (!fx::resample(pixels::constView(source), {shown.bits(), shown.width(), shown.height(),
                                                  shown.bytesPerLine(), fx::ChannelOrder::BGRA}))
        return QImage();
    return shown;
}

} // namespace vividra
