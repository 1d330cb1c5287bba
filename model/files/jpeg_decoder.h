#pragma once

#include <QByteArray>
#include <QImage>

// JPEG decoding straight into pooled picture memory with libjpeg-turbo. Qt's
// reader decodes into freshly allocated pages, which costs a sixth of the
// decode on a full-size photo; the pool hands back warm memory instead.
namespace vividra::jpeg {

// The picture as Format_ARGB32_Premultiplied, its EXIF orientation not applied. CMYK
// photos come in as sRGB, through their profile when they have one. Null for damaged
// data and for layouts left to Qt's reader, and when
// memory runs out, which sets `outOfMemory`. A file cut off after some rows
// decodes with the rest grey and sets `cutOff`; one cut off before any row is
// null. Never throws.
QImage decode(const QByteArray& file, bool& outOfMemory, bool* cutOff = nullptr) noexcept;

} // namespace vividra::jpeg
