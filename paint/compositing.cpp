#include "paint/compositing.h"

#include <QPainter>

#include <cmath>

#include "effects/image_tools.h"
#include "effects/kernels/parallel.h"

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
    QBrush brush = stroke.isErase ? eraseColor : stroke.isSolidColor ? stroke.color : revealColor;
    if (brush.style() == Qt::TexturePattern && brush.textureImage().isNull())
        return;
    // Picture rows, then moved up by the band's first row.
    const QTransform yUp(1, 0, 0, -1, 0, fullHeight - top);
    const QPainterPath rows = yUp.map(*stroke.path);
    const double reach = stroke.lineWidth / 2 + 2;
    const QRectF bounds = rows.controlPointRect().adjusted(-reach, -reach, reach, reach);
    if (bounds.bottom() < 0 || bounds.top() > target.height())
        return;
    QPainter p(&target);
    p.setBrushOrigin(0, -top);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(brush, stroke.lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    // A sub-path of one point still leaves a round dot, like a click with a real brush.
    p.drawPath(rows);
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
