#include "effects/picture_pixels.h"

#include <atomic>
#include <cstdint>

#include "effects/kernels/parallel.h"
#include "effects/kernels/pixel_memory.h"

namespace vividra::pixels {
namespace {

struct PooledBlock {
    void* data;
    std::size_t bytes;
};

void releaseBlock(void* info) {
    const PooledBlock* block = static_cast<PooledBlock*>(info);
    fx::releasePixels(block->data, block->bytes);
    delete block;
}

} // namespace

QImage pooledImage(int width, int height) {
    if (width <= 0 || height <= 0)
        return {};
    const qsizetype stride = static_cast<qsizetype>(width) * 4;
    const std::size_t bytes = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height);
    void* data = fx::allocatePixels(bytes);
    if (!data)
        return {};
    return QImage(static_cast<uchar*>(data), width, height, stride,
                  QImage::Format_ARGB32_Premultiplied, releaseBlock, new PooledBlock{data, bytes});
}

QImage toWorkingFormat(QImage image) {
    switch (image.format()) {
    case QImage::Format_ARGB32_Premultiplied:
        return image;
    case QImage::Format_RGB32:
        // Opaque RGB32 is 0xffRRGGBB, which is already valid premultiplied ARGB.
        image.reinterpretAsFormat(QImage::Format_ARGB32_Premultiplied);
        return image;
    default:
        return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
}

bool isOpaque(const QImage& image) {
    if (image.format() == QImage::Format_RGB32)
        return true;
    if (image.depth() != 32 || !image.hasAlphaChannel())
        return !image.hasAlphaChannel();
    std::atomic<bool> opaque{true};
    const int width = image.width();
    fx::parallelRows(image.height(), [&](int begin, int end) {
        for (int y = begin; y < end && opaque.load(std::memory_order_relaxed); ++y) {
            const auto* row = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
            std::uint32_t all = 0xff000000u;
            for (int x = 0; x < width; ++x)
                all &= row[x];
            if ((all >> 24) != 0xffu)
                opaque.store(false, std::memory_order_relaxed);
        }
    });
    return opaque.load();
}

void unpremultiply(const fx::ConstImageView& in, const fx::ImageView& out) {
    fx::parallelRows(in.height, [&](int begin, int end) {
        for (int y = begin; y < end; ++y) {
            const std::uint8_t* src = in.row(y);
            std::uint8_t* dst = out.row(y);
            for (int x = 0; x < in.width * 4; x += 4) {
                const unsigned a = src[x + 3];
                for (int c = 0; c < 3; ++c) {
                    const unsigned v = a == 0 ? 0 : (src[x + c] * 255u + a / 2) / a;
                    dst[x + c] = static_cast<std::uint8_t>(v > 255 ? 255 : v);
                }
                dst[x + 3] = static_cast<std::uint8_t>(a);
            }
        }
    });
}

void premultiply(const fx::ImageView& pixels) {
    fx::parallelRows(pixels.height, [&](int begin, int end) {
        for (int y = begin; y < end; ++y) {
            std::uint8_t* p = pixels.row(y);
            for (int x = 0; x < pixels.width * 4; x += 4) {
                const unsigned a = p[x + 3];
                for (int c = 0; c < 3; ++c) {
                    const unsigned t = p[x + c] * a + 128;
                    p[x + c] = static_cast<std::uint8_t>((t + (t >> 8)) >> 8);
                }
            }
        }
    });
}

} // namespace vividra::pixels
