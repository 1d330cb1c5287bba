#include "model/effects/image_tools.h"

#include <new>
#include <string_view>

#include "kernels/gaussian_blur.h"
#include "kernels/kuwahara.h"
#include "kernels/photo_look.h"
#include "kernels/sepia.h"
#include "kernels/sketch.h"
#include "model/files/picture_pixels.h"

namespace vividra {
namespace {

fx::ImageView viewOf(QImage& image) {
    return {image.bits(), image.width(), image.height(), image.bytesPerLine(),
            fx::ChannelOrder::BGRA};
}

// Whether a kernel may write over its own input.
enum class InPlace { Allowed, Forbidden };

// Runs a colour kernel over a working picture. Opaque pictures (premultiplied
// equals straight) go straight through; with transparency the kernel sees
// straight colours and its output is premultiplied again, so alpha passes
// through untouched. An empty picture when memory runs out.
template <typename Kernel>
Picture runKernel(const Picture& picture, InPlace inPlace, Kernel&& kernel) {
    if (picture.image.isNull() || picture.image.width() == 0 || picture.image.height() == 0)
        return picture;
    // Qt throws from the few allocations of its own it cannot report as a null image.
    try {
        const QImage source = pixels::toWorkingFormat(picture.image);
        if (source.isNull())
            return {};
        QImage out = pixels::pooledImage(source.width(), source.height());
        if (out.isNull())
            return {};
        const fx::ImageView target = viewOf(out);
        if (pixels::isOpaque(source)) {
            if (!kernel(pixels::constView(source), target))
                return {};
            return Picture(std::move(out), picture.size);
        }
        if (inPlace == InPlace::Allowed) {
            if (!pixels::unpremultiply(pixels::constView(source), target) ||
                !kernel(fx::ConstImageView(target), target))
                return {};
        } else {
            QImage straight = pixels::pooledImage(source.width(), source.height());
            if (straight.isNull())
                return {};
            const fx::ImageView straightView = viewOf(straight);
            if (!pixels::unpremultiply(pixels::constView(source), straightView) ||
                !kernel(fx::ConstImageView(straightView), target))
                return {};
        }
        if (!pixels::premultiply(target))
            return {};
        return Picture(std::move(out), picture.size);
    } catch (const std::bad_alloc&) {
        return {};
    }
}

// The look a name stands for, found without allocating: looks have short
// ASCII names.
std::optional<fx::Look> lookNamed(const QString& name) {
    char ascii[16];
    if (name.size() >= static_cast<qsizetype>(sizeof ascii))
        return std::nullopt;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        if (c == 0 || c > 0x7f)
            return std::nullopt;
        ascii[i] = static_cast<char>(c);
    }
    return fx::lookFromName(std::string_view(ascii, static_cast<std::size_t>(name.size())));
}

} // namespace

Picture ImageTools::applyPhotoEffect(const Picture& picture, const QString& name) {
    const std::optional<fx::Look> look = lookNamed(name);
    if (!look)
        return picture;
    return runKernel(picture, InPlace::Allowed,
                     [&](const fx::ConstImageView& in, const fx::ImageView& out) {
                         return fx::photoLook(in, out, *look);
                     });
}

Picture ImageTools::applySepia(const Picture& picture, float intensity) {
    return runKernel(picture, InPlace::Allowed,
                     [&](const fx::ConstImageView& in, const fx::ImageView& out) {
                         return fx::sepia(in, out, static_cast<double>(intensity));
                     });
}

Picture ImageTools::applyGaussianBlur(const Picture& picture, float radius) {
    return runKernel(picture, InPlace::Forbidden,
                     [&](const fx::ConstImageView& in, const fx::ImageView& out) {
                         return fx::gaussianBlur(in, out, static_cast<double>(radius));
                     });
}

Picture ImageTools::applyKuwahara(const Picture& picture, unsigned radius) {
    return runKernel(picture, InPlace::Forbidden,
                     [&](const fx::ConstImageView& in, const fx::ImageView& out) {
                         return fx::kuwahara(in, out, radius);
                     });
}

Picture ImageTools::applySketch(Picture picture, double texelSize, double edgeStrength) {
    // The sketch reads the whole picture before it writes a row, so an opaque working picture
    // that nobody else holds is drawn over: at full size that spares a picture's memory.
    QImage& image = picture.image;
    if (!image.isNull() && image.isDetached() &&
        image.format() == QImage::Format_ARGB32_Premultiplied && pixels::isOpaque(image)) {
        const fx::ImageView view = viewOf(image);
        if (!fx::sketch(fx::ConstImageView(view), view, texelSize, edgeStrength))
            return {};
        return picture;
    }
    return runKernel(picture, InPlace::Allowed,
                     [&](const fx::ConstImageView& in, const fx::ImageView& out) {
                         return fx::sketch(in, out, texelSize, edgeStrength);
                     });
}

Picture ImageTools::applyBrightness(const Picture& picture, float value) {
    return runKernel(picture, InPlace::Allowed,
                     [&](const fx::ConstImageView& in, const fx::ImageView& out) {
                         return fx::brightness(in, out, value);
                     });
}

Picture ImageTools::applyContrast(const Picture& picture, float value) {
    return runKernel(picture, InPlace::Allowed,
                     [&](const fx::ConstImageView& in, const fx::ImageView& out) {
                         return fx::contrast(in, out, value);
                     });
}

Picture ImageTools::applySaturation(const Picture& picture, float value) {
    return runKernel(picture, InPlace::Allowed,
                     [&](const fx::ConstImageView& in, const fx::ImageView& out) {
                         return fx::saturation(in, out, value);
                     });
}

Picture ImageTools::applyExposure(const Picture& picture, float value) {
    return runKernel(picture, InPlace::Allowed,
                     [&](const fx::ConstImageView& in, const fx::ImageView& out) {
                         return fx::exposure(in, out, value);
                     });
}

Picture ImageTools::applyGamma(const Picture& picture, float value) {
    return runKernel(picture, InPlace::Allowed,
                     [&](const fx::ConstImageView& in, const fx::ImageView& out) {
                         return fx::gamma(in, out, value);
                     });
}

Picture ImageTools::applyHue(const Picture& picture, float value) {
    return runKernel(picture, InPlace::Allowed,
                     [&](const fx::ConstImageView& in, const fx::ImageView& out) {
                         return fx::hue(in, out, value);
                     });
}

Picture ImageTools::applyRGB(const Picture& picture, float red, float green, float blue) {
    return runKernel(picture, InPlace::Allowed,
                     [&](const fx::ConstImageView& in, const fx::ImageView& out) {
                         return fx::rgb(in, out, red, green, blue);
                     });
}

Picture ImageTools::applyAdjustments(const Picture& picture, const fx::Adjustments& steps) {
    if (!steps.any())
        return picture;
    return runKernel(picture, InPlace::Allowed,
                     [&](const fx::ConstImageView& in, const fx::ImageView& out) {
                         return fx::applyAdjustments(in, out, steps);
                     });
}

} // namespace vividra
