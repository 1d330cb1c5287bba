#include <QBuffer>
#include <QColorSpace>
#include <QImageWriter>
#include <QPainter>
#include <QSaveFile>

#include <algorithm>
#include <array>
#include <cmath>

#include "model/colour/photo_colour.h"
#include "model/effects/image_tools.h"
#include "model/files/gif_writer.h"
#include "model/files/heif_codec.h"
#include "model/files/jpeg2000_codec.h"
#include "model/files/photo_metadata.h"
#include "model/files/picture_pixels.h"

namespace vividra {
namespace {

constexpr std::array<const char*, 13> kExtensions = {"jpg",  "jpeg", "jpe",     "jp2", "jpx",
                                                     "png",  "tiff", "tif",     "gif", "bmp",
                                                     "heif", "heic", "original"};

// The picture drawn at its size in points into a bitmap of the truncated size,
// anchored at the lower-left corner. A picture already 1 pixel per whole point
// is used as it is.
QImage rasterise(const Picture& picture) {
    const int width = static_cast<int>(picture.size.width());
    const int height = static_cast<int>(picture.size.height());
    if (width <= 0 || height <= 0 || picture.image.isNull())
        return {};
    if (picture.image.size() == QSize(width, height) && picture.size == QSizeF(width, height))
        return pixels::toWorkingFormat(picture.image);
    QImage bitmap(width, height, QImage::Format_ARGB32_Premultiplied);
    if (bitmap.isNull())
        return {};
    bitmap.fill(Qt::transparent);
    QPainter painter(&bitmap);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(
        QRectF(0, height - picture.size.height(), picture.size.width(), picture.size.height()),
        picture.image);
    painter.end();
    return bitmap;
}

// JPEG and BMP have no alpha: transparent parts become white rather than the
// dark premultiplied colours. An opaque bitmap is only relabelled (no copy);
// the result then borrows the bitmap's pixels.
QImage flattenedOnWhite(const QImage& bitmap) {
    if (pixels::isOpaque(bitmap))
        return QImage(bitmap.constBits(), bitmap.width(), bitmap.height(), bitmap.bytesPerLine(),
                      QImage::Format_RGB32);
    QImage flat(bitmap.size(), QImage::Format_RGB32);
    if (flat.isNull())
        return {};
    flat.fill(Qt::white);
    QPainter painter(&flat);
    painter.drawImage(0, 0, bitmap);
    return flat;
}

// Either the whole new file replaces the old one or nothing changes.
template <typename Write> bool writeAtomically(const QString& path, Write&& write) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // QSaveFile commits even when the last buffered write failed for a full disk, and
    // would put a cut-off file in the old one's place: flush and look first.
    if (!write(file) || !file.flush() || file.error() != QFileDevice::NoError) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool writeBytes(const QString& path, const QByteArray& bytes) {
    if (bytes.isEmpty())
        return false;
    return writeAtomically(path,
                           [&](QSaveFile& file) { return file.write(bytes) == bytes.size(); });
}

QByteArray encodeWithQt(const QImage& image, const char* format, int quality = -1) {
    // Room for a byte a pixel, which few files pass, so the buffer seldom moves as it grows.
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(image.width()) * image.height());
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (quality >= 0)
        writer.setQuality(quality);
    // Qt would embed its own reading of a profile; the photo's own bytes go in after.
    QImage bare = image;
    bare.setColorSpace(QColorSpace());
    return !image.isNull() && writer.write(bare) ? bytes : QByteArray();
}

// With the photo's profile and metadata, for the formats that carry them.
bool writeTagged(const QString& path, const QByteArray& encoded, const Picture& picture,
                 QSize pixels) {
    if (encoded.isEmpty())
        return false;
    return writeBytes(path, picture.metadata ? metadata::embed(encoded, *picture.metadata, pixels)
                                             : encoded);
}

// GIF and BMP carry no profile: their pixels go out in sRGB.
QImage inSrgb(QImage bitmap, const Picture& picture) {
    if (picture.metadata && !picture.metadata->iccProfile.isEmpty() && !bitmap.isNull())
        colour::convertToSrgb(bitmap, picture.metadata->iccProfile);
    return bitmap;
}

int jpegQuality(double factor) {
    return factor >= 1.0 ? 100 : std::clamp(static_cast<int>(std::lround(factor * 100)), 0, 100);
}

} // namespace

int ImageTools::formatCode(const QString& extension) {
    for (size_t i = 0; i < kExtensions.size(); ++i)
        if (extension == QLatin1String(kExtensions[i]))
            return static_cast<int>(i);
    return -1;
}

bool ImageTools::heicEncodingAvailable() {
    return heif::canEncode();
}

bool ImageTools::writeImage(const Picture& picture, const QString& path, int code, double factor) {
    if (code < 0 || code > 12)
        return false;
    if (code >= 10)
        return writeHeicImage(picture, path);
    const QImage bitmap = rasterise(picture);
    if (bitmap.isNull())
        return false;
    const QSize pixels = bitmap.size();
    switch (code) {
    case 0:
    case 1:
    case 2:
        return writeTagged(path,
                           encodeWithQt(flattenedOnWhite(bitmap), "jpeg", jpegQuality(factor)),
                           picture, pixels);
    case 3:
    case 4:
        // OpenJPEG writes no JPX, so ".jpx" gets JP2 data, which JPX readers accept.
        return writeTagged(path, jpeg2000::encode(bitmap, factor), picture, pixels);
    case 5:
        // Qt's quality 70 is zlib level 2: a photo comes out about 8 % larger than
        // at the default level, five times sooner.
        return writeTagged(path, encodeWithQt(bitmap, "png", 70), picture, pixels);
    case 6:
    case 7:
        return writeTagged(path, encodeWithQt(bitmap, "tiff"), picture, pixels);
    case 8:
        return writeBytes(path, gif::encode(inSrgb(bitmap, picture)));
    case 9:
        return writeBytes(path, encodeWithQt(flattenedOnWhite(inSrgb(bitmap, picture)), "bmp"));
    default:
        return false;
    }
}

bool ImageTools::writeHeicImage(const Picture& picture, const QString& path) {
    // Without an HEVC encoder nothing could be written; say so instead of
    // pretending the file exists.
    if (!heicEncodingAvailable())
        return false;
    // The same bitmap every other format writes: the picture at its whole points.
    const QImage bitmap = rasterise(picture);
    return !bitmap.isNull() &&
           writeBytes(path, heif::encode(bitmap, 100,
                                         picture.metadata ? *picture.metadata : PhotoMetadata()));
}

} // namespace vividra
