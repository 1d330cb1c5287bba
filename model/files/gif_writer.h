#pragma once

#include <QByteArray>
#include <QImage>

// GIF through giflib: one frame, a 256-colour palette fitted to the picture and
// Floyd–Steinberg dithering, with a transparent index where the picture has
// transparency.
namespace vividra::gif {

// GIF data for a Format_ARGB32_Premultiplied image; empty on failure (including
// pictures wider or taller than GIF's 65535 pixels).
QByteArray encode(const QImage& image);

} // namespace vividra::gif
