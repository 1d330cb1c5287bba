#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

// JPEG 2000 through OpenJPEG: Qt has no reader or writer for it here.
namespace vividra::jpeg2000 {

// A JP2 file (signature box) or a raw J2K codestream.
bool looksLikeJpeg2000(const QByteArray& head);

// The picture size from the header alone; an invalid size when unreadable, or
// when the file is refused as decode would refuse it.
QSize readSize(const QByteArray& file, qint64 maximumPixels, QString* reason);

// Decodes the whole file. Pictures claiming more than `maximumPixels`, more than 16
// components, or more tiles than the limit allows are refused before the decoder
// allocates anything. Null on failure, with `reason` set.
QImage decode(const QByteArray& file, qint64 maximumPixels, QString* reason);

// JP2 data for a Format_ARGB32_Premultiplied image; empty on failure. A factor of
// 1 or more is lossless; smaller factors trade quality for size. Alpha is kept
// when the picture has transparency.
QByteArray encode(const QImage& image, double factor);

} // namespace vividra::jpeg2000
