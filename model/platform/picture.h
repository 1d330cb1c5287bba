#pragma once

#include <QByteArray>
#include <QImage>
#include <QSizeF>

#include <memory>

namespace vividra {

// What a photo file says beside its pixels. The pixels stay in the photo's own RGB space,
// which the colour profile describes; no profile means sRGB.
struct PhotoMetadata {
    QByteArray iccProfile;
    QByteArray exif; // the TIFF-structured block, as a JPEG's APP1 holds it after "Exif\0\0"
    QByteArray xmp;  // the packet
    QByteArray iptc; // IIM records

    bool isEmpty() const {
        return iccProfile.isEmpty() && exif.isEmpty() && xmp.isEmpty() && iptc.isEmpty();
    }
};

// A picture as the editor passes it around: pixels plus a size in points.
// Working pictures have 1 point = 1 pixel; the two can differ for pictures
// read from files that declare a resolution. Pixels are kept as
// Format_ARGB32_Premultiplied, the format Qt paints and displays fastest.
struct Picture {
    QImage image;
    QSizeF size;
    // The photo's own, carried by the original and by what is exported from it; the layers
    // made from it share the original's colour space without holding it.
    std::shared_ptr<const PhotoMetadata> metadata;

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
