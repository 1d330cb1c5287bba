#include "model/files/picture_pixels.h"

#include <cstring>

#include <atomic>
#include <cstdint>
#include <new>

#include "kernels/parallel.h"
#include "kernels/pixel_memory.h"

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

bool detachPooled(QImage& image) noexcept {
    if (image.isNull() || image.isDetached())
        return true;
    const QImage::Format format = image.format();
    if (format != QImage::Format_ARGB32_Premultiplied && format != QImage::Format_ARGB32 &&
        format != QImage::Format_RGB32) {
        image.detach();
        return !image.isNull();
    }
    QImage copy = pooledImage(image.width(), image.height());
    if (copy.isNull())
        return false;
    const std::size_t row = static_cast<std::size_t>(image.width()) * 4;
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(copy.scanLine(y), image.constScanLine(y), row);
    // The pooled image is premultiplied; straight pixels keep their own label.
    if (format == QImage::Format_ARGB32)
        copy.reinterpretAsFormat(QImage::Format_ARGB32);
    image = std::move(copy);
    return true;
}

QImage pooledImage(int width, int height) noexcept {
    if (width <= 0 || height <= 0)
        return {};
    const qsizetype stride = static_cast<qsizetype>(width) * 4;
    const std::size_t bytes = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height);
    void* data = fx::allocatePixels(bytes);
    if (!data)
        return {};
    auto* block = new (std::nothrow) PooledBlock{data, bytes};
    if (!block) {
        fx::releasePixels(data, bytes);
        return {};
    }
    // Qt allocates its own small record for the image and throws if it cannot;
    // the cleanup function is not yet registered then, so the block is ours.
    try {
        QImage image(static_cast<uchar*>(data), width, height, stride,
                     QImage::Format_ARGB32_Premultiplied, releaseBlock, block);
        if (!image.isNull())
            return image;
    } catch (const std::bad_alloc&) {
    }
    releaseBlock(block);
    return {};
}

QImage toWorkingFormat(QImage image) {
    switch (image.format()) {
    case QImage::Format_ARGB32_Premultiplied:
        return image;
    case QImage::Format_RGB32:
        // Opaque RGB32 is 0xffRRGGBB, which is already valid premultiplied ARGB.
        // Relabelling a shared image copies it first, which can run out of memory.
        if (!image.reinterpretAsFormat(QImage::Format_ARGB32_Premultiplied))
            return {};
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
    // Rows the pool could not check count as transparent: the slower path is
    // right for opaque pictures too.
    const bool checked = fx::parallelRows(image.height(), [&](int begin, int end) {
        for (int y = begin; y < end && opaque.load(std::memory_order_relaxed); ++y) {
            const auto* row = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
            std::uint32_t all = 0xff000000u;
            for (int x = 0; x < width; ++x)
                all &= row[x];
            if ((all >> 24) != 0xffu)
                opaque.store(false, std::memory_order_relaxed);
        }
    });
    return checked && opaque.load();
}

bool unpremultiply(const fx::ConstImageView& in, const fx::ImageView& out) {
    const std::ptrdiff_t rowBytes = 4 * static_cast<std::ptrdiff_t>(in.width);
    return fx::parallelRows(in.height, [&](int begin, int end) {
        for (int y = begin; y < end; ++y) {
            const std::uint8_t* src = in.row(y);
            std::uint8_t* dst = out.row(y);
            for (std::ptrdiff_t x = 0; x < rowBytes; x += 4) {
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

bool premultiply(const fx::ImageView& pixels) {
    const std::ptrdiff_t rowBytes = 4 * static_cast<std::ptrdiff_t>(pixels.width);
    return fx::parallelRows(pixels.height, [&](int begin, int end) {
        for (int y = begin; y < end; ++y) {
            std::uint8_t* p = pixels.row(y);
            for (std::ptrdiff_t x = 0; x < rowBytes; x += 4) {
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
