#pragma once

#include <QImage>
#include <QSizeF>

namespace vividra {

// A picture as the editor passes it around: pixels plus a size in points.
// Working pictures have 1 point = 1 pixel; the two can differ for pictures
// read from files that declare a resolution. Pixels are kept as
// Format_ARGB32_Premultiplied, the format Qt paints and displays fastest.
struct Picture {
    QImage image;
    QSizeF size;

    Picture() = default;
    explicit Picture(QImage img) : image(std::move(img)), size(image.size()) {}
    Picture(QImage img, QSizeF points) : image(std::move(img)), size(points) {}

    bool isEmpty() const { return size.width() <= 0 || size.height() <= 0 || image.isNull(); }
    int pixelWidth() const { return image.width(); }
    int pixelHeight() const { return image.height(); }
    // True when both share the same pixel storage: a step that changes nothing hands its
    // input back instead of a copy.
    bool sharesPixelsWith(const Picture& other) const {
        return !image.isNull() && image.constBits() == other.image.constBits();
    }
};

} // namespace vividra
