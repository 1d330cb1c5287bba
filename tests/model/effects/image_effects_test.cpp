#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "kernels/pixel_memory.h"
#include "model/effects/image_tools.h"
#include "tests/support/sample_pictures.h"

namespace vividra {
namespace {

using Apply = std::function<Picture(const Picture&)>;

std::vector<std::pair<std::string, Apply>> everyPrimitive() {
    return {
        {"photo", [](const Picture& p) { return ImageTools::applyPhotoEffect(p, "Chrome"); }},
        {"sepia", [](const Picture& p) { return ImageTools::applySepia(p, 0.8f); }},
        {"blur", [](const Picture& p) { return ImageTools::applyGaussianBlur(p, 2.0f); }},
        {"kuwahara", [](const Picture& p) { return ImageTools::applyKuwahara(p, 2); }},
        {"sketch", [](const Picture& p) { return ImageTools::applySketch(p, 0.05, 1.0); }},
        {"brightness", [](const Picture& p) { return ImageTools::applyBrightness(p, 0.2f); }},
        {"contrast", [](const Picture& p) { return ImageTools::applyContrast(p, 1.5f); }},
        {"saturation", [](const Picture& p) { return ImageTools::applySaturation(p, 0.3f); }},
        {"exposure", [](const Picture& p) { return ImageTools::applyExposure(p, 0.5f); }},
        {"gamma", [](const Picture& p) { return ImageTools::applyGamma(p, 1.4f); }},
        {"hue", [](const Picture& p) { return ImageTools::applyHue(p, 90.0f); }},
        {"rgb", [](const Picture& p) { return ImageTools::applyRGB(p, 1.0f, 0.5f, 0.0f); }},
        {"adjustments",
         [](const Picture& p) {
             fx::Adjustments steps;
             steps.contrast = 1.3f, steps.hue = 40.0f;
             return ImageTools::applyAdjustments(p, steps);
         }},
    };
}

// Photo-like colours, opaque or in four bands of alpha from none to full.
QImage varied(int width, int height, bool transparent) {
    return transparent ? test::withAlphaBands(width, height) : test::photoLike(width, height);
}

TEST(ImageEffects, ChannelsReachTheFiltersInTheirOrder) {
    // (200, 100, 50) at alpha 128, red, green and blue apart: the filters see straight
    // colours in their order, alpha passes.
    QImage straight(8, 8, QImage::Format_ARGB32);
    straight.fill(qRgba(200, 100, 50, 128));
    const Picture half(straight.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    const int grey = qRound(0.2125 * 200 + 0.7154 * 100 + 0.0721 * 50);
    const std::pair<Picture, QRgb> cases[] = {
        {ImageTools::applyRGB(half, 1.0f, 0.5f, 0.0f), qRgb(200, 50, 0)},
        {ImageTools::applyBrightness(half, 0.2f), qRgb(251, 151, 101)},
        {ImageTools::applyContrast(half, 2.0f), qRgb(255, 73, 0)},
        {ImageTools::applyExposure(half, 1.0f), qRgb(255, 200, 100)},
        {ImageTools::applySaturation(half, 0.0f), qRgb(grey, grey, grey)}};
    for (const auto& [out, want] : cases) {
        const QRgb p = qUnpremultiply(out.image.pixel(3, 3));
        EXPECT_EQ(qAlpha(p), 128);
        EXPECT_LE(std::max({std::abs(qRed(p) - qRed(want)), std::abs(qGreen(p) - qGreen(want)),
                            std::abs(qBlue(p) - qBlue(want))}),
                  2)
            << std::hex << p;
    }
}

// Pixels denser than points, as a 144 dpi file gives: the size in points passes through.
// With the pixel pool allowed less and less, every primitive gives its whole result or an
// empty picture, never a part or an exception; once the limit is lifted it works again.
TEST(ImageEffects, EveryPrimitiveKeepsSizeAlphaAndItsInputAndRunsOutWhole) {
    for (const bool transparent : {false, true}) {
        const Picture input(varied(24, 16, transparent), QSizeF(12, 8));
        const QImage before = input.image.copy();
        for (const auto& [name, apply] : everyPrimitive()) {
            SCOPED_TRACE(name + (transparent ? " transparent" : ""));
            const Picture out = apply(input);
            ASSERT_EQ(out.image.size(), input.image.size());
            EXPECT_EQ(out.size, input.size);
            EXPECT_EQ(out.image.format(), QImage::Format_ARGB32_Premultiplied);
            EXPECT_FALSE(out.sharesPixelsWith(input));
            EXPECT_EQ(input.image, before);
            // The sketch is opaque by design; no colour above its alpha, as premultiplied data.
            for (int i = 0; i < 24 * 16; ++i) {
                const QRgb p = reinterpret_cast<const QRgb*>(out.image.constBits())[i];
                const QRgb q = reinterpret_cast<const QRgb*>(input.image.constBits())[i];
                ASSERT_TRUE(qAlpha(p) == qAlpha(q) || name == "sketch") << i;
                ASSERT_LE(std::max({qRed(p), qGreen(p), qBlue(p)}), qAlpha(p)) << i;
            }
            {
                fx::PixelMemoryLimitForTesting limit(0);
                EXPECT_TRUE(apply(input).isEmpty());
                // One picture's pixels are 1536 bytes; the straight copy needs as much again;
                // a megabyte is plenty.
                for (const std::size_t bytes : {1535, 1536, 3072, 8192, 40000, 1 << 20}) {
                    fx::setPixelMemoryLimitForTesting(bytes);
                    const Picture limited = apply(input);
                    EXPECT_TRUE((limited.isEmpty() && bytes < 1 << 20) ||
                                (limited.image == out.image && limited.size == input.size))
                        << bytes;
                }
            }
            EXPECT_EQ(apply(input).image, out.image);
        }
    }
}

TEST(ImageEffects, NeutralValuesAndUnknownLooksChangeNothing) {
    for (const bool transparent : {false, true}) {
        const Picture input(varied(20, 12, transparent));
        // The colour kernels' own neutral values are exact (every_kernel_test); through
        // premultiplied pictures, and for the painting and the blur, at most a level moves.
        const Picture neutral[] = {ImageTools::applySepia(input, 0.0f),
                                   ImageTools::applyKuwahara(input, 0),
                                   ImageTools::applyGaussianBlur(input, 0.0f)};
        // Bytes of premultiplied ARGB32, alpha the fourth: alpha exact, colours within a level
        // when unpremultiplying and premultiplying again may move one.
        for (const Picture& same : neutral)
            for (qsizetype i = 0; i < input.image.sizeInBytes(); ++i)
                ASSERT_LE(std::abs(input.image.constBits()[i] - same.image.constBits()[i]),
                          i % 4 != 3 && transparent ? 1 : 0)
                    << i;
        EXPECT_TRUE(ImageTools::applyPhotoEffect(input, "Sepia").sharesPixelsWith(input));
        EXPECT_TRUE(ImageTools::applyPhotoEffect(input, "noir").sharesPixelsWith(input));
        EXPECT_TRUE(ImageTools::applyAdjustments(input, fx::Adjustments{}).sharesPixelsWith(input));
    }
    EXPECT_TRUE(ImageTools::applySepia(Picture(), 1.0f).isEmpty());
}

} // namespace
} // namespace vividra
