#include "model/effects/image_tools.h"

#include <QPainter>

#include <cmath>

#include "model/files/picture_pixels.h"

namespace vividra {
namespace {

// Pixels for a size in points at 1 pixel per point; a fractional point still
// needs a pixel to land in.
QSize pixelsFor(const QSizeF& points) {
    return {static_cast<int>(std::ceil(points.width() - 1e-9)),
            static_cast<int>(std::ceil(points.height() - 1e-9))};
}

bool isWhole(double v) {
    return v == std::floor(v);
}

} // namespace

QSizeF ImageTools::clippedSize(const QRectF& rect, const Picture& picture) {
    const double width =
        std::min(rect.x() + rect.width(), picture.size.width()) - std::max(rect.x(), 0.0);
    const double height =
        std::min(rect.y() + rect.height(), picture.size.height()) - std::max(rect.y(), 0.0);
    return {width, height};
}

Picture ImageTools::cropImage(const Picture& picture, const QRectF& rect) {
    if (rect.width() < 1 || rect.height() < 1)
        return picture;
    const double pictureWidth = picture.size.width();
    const double pictureHeight = picture.size.height();
    if (rect.x() > pictureWidth || rect.y() > pictureHeight)
        return picture;
    const QSizeF clipped = clippedSize(rect, picture);
    if (clipped.width() <= 0 || clipped.height() <= 0 || picture.image.isNull())
        return picture;

    // The whole picture is drawn at (dx, dy) in the new picture's y-up space, so
    // the crop stays flush with the left and bottom edges.
    const double dx = rect.x() >= 0 ? -rect.x() : 0;
    const double dy = rect.y() >= 0 ? -rect.y() : 0;
    const QSize pixels = pixelsFor(clipped);
    // Qt's rows run downwards: the drawn picture's top edge (y-up dy + H) sits
    // at row pixelsHigh − (dy + H).
    const double top = pixels.height() - (dy + pictureHeight);

    const bool oneToOne = picture.image.size() == QSize(static_cast<int>(pictureWidth),
                                                        static_cast<int>(pictureHeight)) &&
                          isWhole(pictureWidth) && isWhole(pictureHeight);
    if (oneToOne && isWhole(dx) && isWhole(top) && pixels == clipped.toSize()) {
        QImage copy = picture.image.copy(
            QRect(static_cast<int>(-dx), static_cast<int>(-top), pixels.width(), pixels.height()));
        return Picture(pixels::toWorkingFormat(std::move(copy)), clipped);
    }
    QImage out(pixels, QImage::Format_ARGB32_Premultiplied);
    if (out.isNull())
        return picture;
    out.fill(Qt::transparent);
    QPainter painter(&out);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(dx, top, pictureWidth, pictureHeight), picture.image);
    painter.end();
    return Picture(std::move(out), clipped);
}

void ImageTools::redrawImage(Picture& target, const Picture& source) {
    if (target.image.isNull()) {
        const QSize pixels = pixelsFor(target.size);
        if (pixels.isEmpty())
            return;
        target.image = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        if (target.image.isNull())
            return;
        target.image.fill(Qt::transparent);
    }
    if (source.image.isNull())
        return;
    QPainter painter(&target.image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(QPointF(0, 0), QSizeF(target.image.size())), source.image);
}

const QStringList& ImageTools::pictureFileExtensions() {
    static const QStringList extensions{
        QStringLiteral("jpg"),  QStringLiteral("jpeg"), QStringLiteral("jpe"),
        QStringLiteral("jp2"),  QStringLiteral("jpx"),  QStringLiteral("png"),
        QStringLiteral("tiff"), QStringLiteral("tif"),  QStringLiteral("gif"),
        QStringLiteral("bmp"),  QStringLiteral("heif"), QStringLiteral("heic")};
    return extensions;
}

void ImageTools::fitRect(QRectF& rect, double width, double height) {
    if (width <= 0 || height <= 0 || rect.height() <= 0)
        return;
    const double aspect = width / height;
    const double w = rect.width();
    const double h = rect.height();
    if (w / h < aspect)
        rect = QRectF(rect.x(), rect.y() + (h - w / aspect) / 2, w, w / aspect);
    else
        rect = QRectF(rect.x() + (w - aspect * h) / 2, rect.y(), aspect * h, h);
}

} // namespace vividra
