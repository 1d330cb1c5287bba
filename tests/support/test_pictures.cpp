#include "test_pictures.h"

#include <QColor>
#include <QImage>

namespace vividra::test {

QString writeColourPicture(const QString& folder, int w, int h, const QString& name) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixelColor(x, y, QColor::fromHsv((x * 300 / w) % 360, 255, 120 + (y * 120 / h)));
    const QString path = folder + QLatin1Char('/') + name;
    img.save(path);
    return path;
}

bool isGrey(QRgb c) {
    return qAbs(qRed(c) - qGreen(c)) <= 2 && qAbs(qGreen(c) - qBlue(c)) <= 2;
}

} // namespace vividra::test
