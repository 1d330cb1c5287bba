#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>

#include "model/platform/picture.h"

// EXIF, XMP, IPTC and colour profiles through Exiv2. Exiv2 throws, and hands out
// deprecated pointers; all of that stays inside these functions, which never throw.
namespace vividra::metadata {

// The containers read and written here. Exiv2 is told which one a file is, never left to
// guess: its guesses reach parsers (of video files, say) that hostile input sends round
// in circles.
enum class Container { jpeg, png, tiff, jpeg2000 };

// What a file of that kind in memory holds. A block that cannot be read is left out, with a
// log line saying which.
PhotoMetadata read(const QByteArray& file, Container container);

// The EXIF and XMP of an exported picture: upright (Orientation 1), `pixels` wide and high,
// and without the embedded thumbnail, which would show the unedited photo. Empty in, empty
// out.
QByteArray exportedExif(const QByteArray& exif, QSize pixels);
QByteArray exportedXmp(const QByteArray& xmp, QSize pixels);

// `encoded` (JPEG, PNG, TIFF or JPEG 2000) with the colour profile and the exported
// metadata embedded. PNG takes its EXIF as an eXIf chunk. Where a block cannot be
// written the file goes without it, and the log says so; the pictures are never lost.
QByteArray embed(const QByteArray& encoded, const PhotoMetadata& metadata, QSize pixels);

} // namespace vividra::metadata
