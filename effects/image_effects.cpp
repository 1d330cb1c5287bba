#include "effects/image_tools.h"

#include "effects/kernels/gaussian_blur.h"
#include "effects/kernels/kuwahara.h"
#include "effects/kernels/photo_look.h"
#include "effects/kernels/sepia.h"
#include "effects/kernels/sketch.h"
#include "effects/picture_pixels.h"

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
// through untouched.
template <typename Kernel>
Picture runKernel(const Picture& picture, InPlace inPlace, Kernel&& kernel) {
    if (picture.image.isNull() || picture.image.width() == 0 || picture.image.height() == 0)
        return picture;
    const QImage source = pixels::toWorkingFormat(picture.image);
    QImage out = pixels::pooledImage(source.width(), source.height());
    if (out.isNull())
        return picture;
    const fx::ImageView target = viewOf(out);
    if (pixels::isOpaque(source)) {
        kernel(pixels::constView(source), target);
        return Picture(std::move(out), picture.size);
    }
    if (inPlace == InPlace::Allowed) {
        pixels::unpremultiply(pixels::constView(source), target);
        kernel(fx::ConstImageView(target), target);
    } else {
        QImage straight = pixels::pooledImage(source.width(), source.height());
        if (straight.isNull())
            return picture;
        const fx::ImageView straightView = viewOf(straight);
        pixels::unpremultiply(pixels::constView(source), straightView);
        kernel(fx::ConstImageView(straightView), target);
    }
    pixels::premultiply(target);
    return Picture(std::move(out), picture.size);
}

} // namespace

Picture ImageTools::applyPhotoEffect(const Picture& picture, const QString& name) {
    const std::optional<fx::Look> look = fx::lookFromName(name.toStdString());
    if (!look)
        return picture;
    return runKernel(picture, InPlace::Allowed,
                     [&](const fx::ConstImageView& in, const fx::ImageView& out) {
                         fx::photoLook(in, out, *look);
                     });
}

Picture ImageTools::applySepia(const Picture& picture, float intensity) {
    return runKernel(picture, InPlace::Allowed,
                     [&](const fx::ConstImageView& in, const fx::ImageView& out) {
                         fx::sepia(in, out, static_cast<double>(intensity));
                     });
}

Picture ImageTools::applyGaussianBlur(const Picture& picture, float radius) {
    return runKernel(picture, InPlace::Forbidden,
                     [&](const fx::ConstImageView& in, const fx::ImageView& out) {
                         fx::gaussianBlur(in, out, static_cast<double>(radius));
                     });
}

Picture ImageTools::applyKuwahara(const Picture& picture, unsigned radius) {
    return runKernel(picture, InPlace::Forbidden,
                     [&](const fx::ConstImageView& in, const fx::ImageView& out) {
                         fx::kuwahara(in, out, radius);
                     });
}

Picture ImageTools::applySketch(const Picture& picture, double texelSize, double edgeStrength) {
    return runKernel(picture, InPlace::Forbidden,
                     [&](const fx::ConstImageView& in, const fx::ImageView& out) {
                         fx::sketch(in, out, texelSize, edgeStrength);
                     });
}

Picture ImageTools::applyBrightness(const Picture& picture, float value) {
    return runKernel(picture, InPlace::Allowed,
                     [&](const fx::ConstImageView& in, const fx::ImageView& out) {
                         fx::brightness(in, out, value);
                     });
}

Picture ImageTools::applyContrast(const Picture& picture, float value) {
    return runKernel(picture, InPlace::Allowed,
                     [&](const fx::ConstImageView& in, const fx::ImageView& out) {
                         fx::contrast(in, out, value);
                     });
}

Picture ImageTools::applySaturation(const Picture& picture, float value) {
    return runKernel(picture, InPlace::Allowed,
                     [&](const fx::ConstImageView& in, const fx::ImageView& out) {
                         fx::saturation(in, out, value);
                     });
}

Picture ImageTools::applyExposure(const Picture& picture, float value) {
    return runKernel(picture, InPlace::Allowed,
                     [&](const fx::ConstImageView& in, const fx::ImageView& out) {
                         fx::exposure(in, out, value);
                     });
}

Picture ImageTools::applyGamma(const Picture& picture, float value) {
    return runKernel(
        picture, InPlace::Allowed,
        [&](const fx::ConstImageView& in, const fx::ImageView& out) { fx::gamma(in, out, value); });
}

Picture ImageTools::applyHue(const Picture& picture, float value) {
    return runKernel(
        picture, InPlace::Allowed,
        [&](const fx::ConstImageView& in, const fx::ImageView& out) { fx::hue(in, out, value); });
}

Picture ImageTools::applyRGB(const Picture& picture, float red, float green, float blue) {
    return runKernel(picture, InPlace::Allowed,
                     [&](const fx::ConstImageView& in, const fx::ImageView& out) {
                         fx::rgb(in, out, red, green, blue);
                     });
}

Picture ImageTools::applyAdjustments(const Picture& picture, const fx::Adjustments& steps) {
    if (!steps.any())
        return picture;
    return runKernel(picture, InPlace::Allowed,
                     [&](const fx::ConstImageView& in, const fx::ImageView& out) {
                         fx::applyAdjustments(in, out, steps);
                     });
}

} // namespace vividra
