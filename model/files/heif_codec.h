#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include "model/platform/picture.h"

// HEIF and HEIC through libheif.
namespace vividra::heif {

// Whether the first bytes of a file are an HEIF container (HEIC, AVIF, ...).
bool looksLikeHeif(const QByteArray& head);

// The largest width and height over the file's top-level images, after their
// rotations; an invalid size when unreadable.
QSize readSize(const QByteArray& file, QString* reason);

// Decodes the primary image. Files whose images claim more than `maximumPixels`
// are refused before decoding. Null on failure, with `reason` set. `found`, when given,
// gets the image's colour profile (one made from its primaries and transfer where it
// names them instead) and its EXIF and XMP.
QImage decode(const QByteArray& file, qint64 maximumPixels, QString* reason,
              PhotoMetadata* found = nullptr);

// Whether libheif was built with an HEVC encoder.
bool canEncode();

// HEIC data for a Format_ARGB32_Premultiplied image at a quality of 0 to 100, with
// `metadata`'s profile, EXIF and XMP; empty on failure.
QByteArray encode(const QImage& image, int quality, const PhotoMetadata& metadata = {});

} // namespace vividra::heif
