#pragma once

#include <QImage>

#include "kernels/image_view.h"

// Pixel-level helpers shared by the effects, the reader and the encoder.
namespace vividra::pixels {

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "ARGB32 pixels are taken as BGRA bytes");

// The image as Format_ARGB32_Premultiplied; an image already in that format is
// shared, not copied, and opaque RGB32 is relabelled in place. Null when memory
// runs out.
QImage toWorkingFormat(QImage image);

// A new Format_ARGB32_Premultiplied image, uninitialised, whose pixels come
// from the kernels' pool: full-size buffers are reused across steps and jobs
// instead of touching fresh pages each time. Null when memory runs out; never
// throws.
QImage pooledImage(int width, int height) noexcept;

// Makes `image` the only holder of its pixels, copying them into the pool when they are
// shared: a full-size copy into fresh pages costs many times the copy itself on this kind
// of machine. False, with `image` untouched, when memory runs out.
bool detachPooled(QImage& image) noexcept;

// True when every pixel of a 32-bit ARGB or RGB image has alpha 255.
bool isOpaque(const QImage& image);

// Straight (unpremultiplied) copy of premultiplied pixels, and back in place.
// False when the thread pool could not run for lack of memory.
[[nodiscard]] bool unpremultiply(const fx::ConstImageView& in, const fx::ImageView& out);
[[nodiscard]] bool premultiply(const fx::ImageView& pixels);

inline fx::ConstImageView constView(const QImage& image) {
    return {image.constBits(), image.width(), image.height(), image.bytesPerLine(),
            fx::ChannelOrder::BGRA};
}

} // namespace vividra::pixels
