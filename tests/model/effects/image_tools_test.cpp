#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "model/effects/image_tools.h"

namespace vividra {
namespace {

// Each pixel names its own place: red = column, green = row counted from the
// bottom (y-up), so a crop can be checked against the picture's coordinates.
Picture coordinatePicture(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    for (int row = 0; row < height; ++row)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, row, qRgb(x, height - 1 - row, 77));
    return Picture(image);
}

TEST(ImageGeometry, CropIsAnchoredAtTheLowerLeftCornerInPoints) {
    const Picture picture = coordinatePicture(100, 100);

    // Clipped to the picture, across its edges or inside them all: columns from `left`, rows
    // (y-up) from `bottom`.
    const struct {
        QRectF rect;
        int left, bottom, width, height;
    } crops[] = {{{-10, 20, 50, 200}, 0, 20, 40, 80}, {{60, 10, 30, 20}, 60, 10, 30, 20}};
    for (const auto& c : crops) {
        const Picture crop = ImageTools::cropImage(picture, c.rect);
        ASSERT_EQ(crop.image.size(), QSize(c.width, c.height));
        EXPECT_EQ(crop.size, QSizeF(c.width, c.height));
        EXPECT_FALSE(crop.sharesPixelsWith(picture));
        for (int row = 0; row < c.height; ++row)
            for (int x = 0; x < c.width; ++x) {
                ASSERT_EQ(qRed(crop.image.pixel(x, row)), c.left + x);
                ASSERT_EQ(qGreen(crop.image.pixel(x, row)), c.bottom + c.height - 1 - row) << row;
            }
    }

    // Degenerate or outside rectangles give the input itself.
    for (const QRectF& rect :
         {QRectF(10, 10, 0.5, 40), QRectF(150, 0, 20, 20), QRectF(0, 101, 20, 20),
          QRectF(100, 0, 20, 20), QRectF(-30, 0, 20, 20), QRectF(0, 0, 40, 0.99)}) {
        const Picture same = ImageTools::cropImage(picture, rect);
        EXPECT_TRUE(same.sharesPixelsWith(picture)) << rect.x() << "," << rect.y();
        EXPECT_EQ(same.size, picture.size);
    }

    // 40 × 40 pixels standing for 20 × 20 points: the bottom half (y-up) is red.
    QImage image(40, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(qRgb(0, 0, 255));
    for (int row = 20; row < 40; ++row)
        for (int x = 0; x < 40; ++x)
            image.setPixel(x, row, qRgb(255, 0, 0));
    const Picture dense =
        ImageTools::cropImage(Picture(image, QSizeF(20, 20)), QRectF(0, 0, 20, 10));
    ASSERT_EQ(dense.image.size(), QSize(20, 10));
    EXPECT_EQ(dense.image.pixel(10, 5), qRgb(255, 0, 0));
}

TEST(ImageGeometry, ClippedSizeIsTheIntersectionWithTheBounds) {
    const Picture picture(QImage(100, 60, QImage::Format_ARGB32_Premultiplied));
    EXPECT_EQ(ImageTools::clippedSize(QRectF(-10, 20, 50, 200), picture), QSizeF(40, 40));
    EXPECT_EQ(ImageTools::clippedSize(QRectF(10, 10, 20, 20), picture), QSizeF(20, 20));
    EXPECT_EQ(ImageTools::clippedSize(QRectF(90.5, -5, 30, 10), picture), QSizeF(9.5, 5));
    const QSizeF outside = ImageTools::clippedSize(QRectF(150, 0, 20, 20), picture);
    EXPECT_LE(outside.width(), 0);
}

TEST(ImageGeometry, FitRectCentresTheLargestRectangleOfTheAspect) {
    const struct {
        QRectF area;
        int width, height;
        QRectF fitted;
    } cases[] = {
        {{0, 0, 200, 100}, 400, 400, {50, 0, 100, 100}},
        {{0, 0, 100, 200}, 400, 400, {0, 50, 100, 100}},
        {{0, 0, 800, 400}, 4000, 3000, {400.0 / 3, 0, 1600.0 / 3, 400}},
        // An offset rectangle keeps its origin in the other axis.
        {{10, 20, 300, 300}, 300, 150, {10, 95, 300, 150}},
        // Same aspect: unchanged whichever branch is taken.
        {{5, 5, 160, 90}, 1920, 1080, {5, 5, 160, 90}},
    };
    for (const auto& c : cases) {
        QRectF area = c.area;
        ImageTools::fitRect(area, c.width, c.height);
        EXPECT_NEAR(area.x(), c.fitted.x(), 1e-9);
        EXPECT_NEAR(area.y(), c.fitted.y(), 1e-9);
        EXPECT_NEAR(area.width(), c.fitted.width(), 1e-9);
        EXPECT_NEAR(area.height(), c.fitted.height(), 1e-9);
    }
}

TEST(ImageGeometry, RedrawStretchesTheSourceOverTheWholeTarget) {
    QImage source(2, 2, QImage::Format_ARGB32_Premultiplied);
    source.setPixel(0, 0, qRgb(255, 0, 0));
    source.setPixel(1, 0, qRgb(0, 255, 0));
    source.setPixel(0, 1, qRgb(0, 0, 255));
    source.setPixel(1, 1, qRgb(255, 255, 255));
    QImage blank(40, 20, QImage::Format_ARGB32_Premultiplied);
    blank.fill(Qt::transparent);
    Picture target(blank);
    ImageTools::redrawImage(target, Picture(source));
    ASSERT_EQ(target.image.size(), QSize(40, 20));
    EXPECT_EQ(target.image.pixel(1, 1), qRgb(255, 0, 0));
    EXPECT_EQ(target.image.pixel(38, 1), qRgb(0, 255, 0));
    EXPECT_EQ(target.image.pixel(1, 18), qRgb(0, 0, 255));
    EXPECT_EQ(target.image.pixel(38, 18), qRgb(255, 255, 255));
    EXPECT_EQ(source.pixel(0, 0), qRgb(255, 0, 0));
}

TEST(ImageGeometry, ImageAtPixelSizeTakesTheFilesPixelSize) {
    QTemporaryDir dir;
    QImage pixels(2000, 1000, QImage::Format_ARGB32_Premultiplied);
    pixels.fill(qRgb(10, 200, 30));
    const QString path = dir.filePath(QStringLiteral("wide.png"));
    ASSERT_TRUE(ImageTools::writeImage(Picture(pixels), path, 5, 1.0));

    // A picture reporting half the size in points, as a 144 dpi file would.
    const Picture reported(pixels.scaled(1000, 500), QSizeF(1000, 500));
    const Picture atPixels = ImageTools::imageAtPixelSize(reported, path);
    EXPECT_EQ(atPixels.size, QSizeF(2000, 1000));
    EXPECT_EQ(atPixels.image.size(), QSize(2000, 1000));
    EXPECT_EQ(atPixels.image.pixel(1999, 999), qRgb(10, 200, 30));
    EXPECT_EQ(reported.size, QSizeF(1000, 500));

    const Picture right(pixels, QSizeF(2000, 1000));
    EXPECT_TRUE(ImageTools::imageAtPixelSize(right, path).sharesPixelsWith(right));

    EXPECT_TRUE(
        ImageTools::imageAtPixelSize(right, dir.filePath(QStringLiteral("gone.png"))).isEmpty());
}

} // namespace
} // namespace vividra
