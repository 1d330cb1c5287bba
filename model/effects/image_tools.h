#pragma once

#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <optional>

#include "kernels/adjustments.h"
#include "model/platform/picture.h"

namespace vividra {

// The picture operations the rest of the program calls: effects and adjustments
// over the filter kernels, geometry, reading picture files and encoding them.
// Stateless; every function may be called from any thread at the same time.
//
// Rectangles are in points with the origin at the lower-left corner of the
// picture and y growing upwards; conversion to Qt's top-down rows happens inside.
class ImageTools {
public:
    // Effects and adjustments. Each returns a new picture of the input's size in
    // points; the input is left unchanged. Colours change, alpha passes through.
    // When memory runs out the result is an empty Picture; nothing is thrown.
    static Picture applyPhotoEffect(const Picture& picture, const QString& name);
    static Picture applySepia(const Picture& picture, float intensity);
    static Picture applyGaussianBlur(const Picture& picture, float radius);
    static Picture applyKuwahara(const Picture& picture, unsigned radius);
    // Draws over `picture` itself when nothing else holds its pixels.
    static Picture applySketch(Picture picture, double texelSize, double edgeStrength);
    static Picture applyBrightness(const Picture& picture, float value);
    static Picture applyContrast(const Picture& picture, float value);
    static Picture applySaturation(const Picture& picture, float value);
    static Picture applyExposure(const Picture& picture, float value);
    static Picture applyGamma(const Picture& picture, float value);
    static Picture applyHue(const Picture& picture, float value);
    static Picture applyRGB(const Picture& picture, float red, float green, float blue);
    // All set adjustments in one pass, in the kernels' fixed order.
    static Picture applyAdjustments(const Picture& picture, const fx::Adjustments& steps);

    // Geometry.
    static void fitRect(QRectF& rect, double width, double height);

    // Reading. The picture in the file at its pixel size (the largest width and
    // height over all its images), upright, as Format_ARGB32_Premultiplied.
    // The decoder is chosen by the content, not the name. Nothing on failure,
    // running out of memory included (nothing is thrown); `reason` then says why
    // in one line. A JPEG cut off after some rows is read with the missing rows
    // grey and sets `damaged`.
    static std::optional<Picture> readPicture(const QString& path, QString* reason = nullptr,
                                              bool* damaged = nullptr);
    // What to tell the user, once, when a picture was read `damaged`.
    static QString damagedPictureNotice();
    // The reason readPicture gives when memory runs out.
    static QString outOfMemoryReason();
    // The pixel size a file's pictures come in at, from the headers alone; 0×0
    // when the file cannot be read as a picture.
    static QSize pixelSizeOfFile(const QString& path);
    // The file extensions the open and save dialogs offer.
    static const QStringList& pictureFileExtensions();
    // Pictures whose header claims more pixels than this are refused unread.
    static constexpr qint64 maximumPixels = 250'000'000;
    // The limit in force: maximumPixels, unless lowered for fuzzing, where one input
    // must decode within a few hundred megabytes.
    static qint64 pixelLimit();
    static void setPixelLimitForTesting(qint64 pixels);

    // Encoding.
    static int formatCode(const QString& extension);
    static bool writeImage(const Picture& picture, const QString& path, int code, double factor);
    static bool writeHeicImage(const Picture& picture, const QString& path);
    // Whether this build of libheif can encode HEVC, so "HEIF" and "HEIC" can be offered.
    static bool heicEncodingAvailable();
};

} // namespace vividra
