#include "model/effects/image_tools.h"

namespace vividra {

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
