#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <thread>
#include <vector>

#include "model/effects/image_tools.h"
#include "model/platform/temporary_directory.h"
#include "tests/support/read_only_for_root.h"
#include "tests/support/sample_pictures.h"

namespace vividra {
namespace {

using namespace test;

// What a format keeps of a picture's alpha.
enum class Alpha { kept, onWhite, cutAtHalf };

QImage asStored(const QImage& picture, Alpha alpha) {
    if (alpha == Alpha::kept)
        return picture;
    QImage stored = picture.convertToFormat(QImage::Format_ARGB32);
    if (alpha == Alpha::onWhite) {
        stored.fill(Qt::white);
        QPainter(&stored).drawImage(0, 0, picture);
        return stored;
    }
    for (int i = 0; i < stored.width() * stored.height(); ++i) {
        QRgb& c = reinterpret_cast<QRgb*>(stored.bits())[i];
        c = qRgba(qRed(c), qGreen(c), qBlue(c), qAlpha(c) < 128 ? 0 : 255);
    }
    return stored;
}

// Each code, named exactly by its extension, writes a file that starts as its format's do, and
// reads back, by its content under another format's name, within the format's error, its
// transparency kept, flattened on white or cut at half, also with every other code writing at
// once; HEIC codes write only where an encoder exists, and leave no frames behind.
TEST(PictureEncoder, EveryCodeRoundTripsWithinItsFormatsError) {
    QTemporaryDir dir;
    const Picture picture(test::withAlphaBands(61, 37));
    const QByteArray jpeg("\xff\xd8\xff"), jp2("\x00\x00\x00\x0cjP  \r\n\x87\n", 12);
    const bool heic = ImageTools::heicEncodingAvailable();
    // Each row's names take consecutive codes from its first.
    const struct {
        int code;
        QStringList names;
        QByteArray magic;
        Alpha alpha;
        double mean;
        int max;
    } formats[] = {{0, {"jpg", "jpeg", "jpe"}, jpeg, Alpha::onWhite, 1.5, 16},
                   {3, {"jp2", "jpx"}, jp2, Alpha::kept, 0, 0},
                   {5, {"png"}, "\x89PNG", Alpha::kept, 0, 0},
                   {6, {"tiff", "tif"}, "II*", Alpha::kept, 0, 0},
                   {8, {"gif"}, "GIF8", Alpha::cutAtHalf, 4.0, 48},
                   {9, {"bmp"}, "BM", Alpha::onWhite, 0, 1},
                   {10, {"heif", "heic", "original"}, {}, Alpha::kept, 3, 255}};
    for (const char* other : {"PNG", "Jpg", "", "jpg ", ".jpg", "webp", "jpegs", "tga"})
        EXPECT_EQ(ImageTools::formatCode(QLatin1String(other)), -1) << other;
    // Every code twice at once, each on a thread of its own.
    std::vector<std::thread> threads;
    for (const auto& f : formats)
        for (int code = f.code; code < f.code + f.names.size(); ++code)
            for (const QString twin : {"a", "b"})
                threads.emplace_back([&, code, twin] {
                    SCOPED_TRACE(code);
                    EXPECT_EQ(ImageTools::formatCode(f.names[code - f.code]), code);
                    const QString path = dir.filePath(QStringLiteral("round%1").arg(code) + twin +
                                                      (code == 5 ? ".jpg" : ".png"));
                    const bool written = ImageTools::writeImage(picture, path, code, 1.0);
                    EXPECT_EQ(written, code < 10 || heic);
                    EXPECT_EQ(QFile::exists(path), written);
                    if (!written)
                        return;
                    const QByteArray bytes = readAll(path);
                    EXPECT_TRUE(bytes.startsWith(f.magic));
                    EXPECT_TRUE(code < 10 || bytes.mid(4, 8) == "ftypheic");
                    const std::optional<Picture> back = ImageTools::readPicture(path);
                    ASSERT_TRUE(back);
                    ASSERT_EQ(back->image.size(), QSize(61, 37));
                    EXPECT_EQ(ImageTools::pixelSizeOfFile(path), QSize(61, 37));
                    EXPECT_EQ(back->size, QSizeF(61, 37));
                    EXPECT_EQ(back->image.format(), QImage::Format_ARGB32_Premultiplied);
                    const test::Difference d =
                        compare(asStored(picture.image, f.alpha), back->image);
                    EXPECT_LE(d.mean, f.mean);
                    EXPECT_LE(d.max, f.max);
                });
    for (std::thread& t : threads)
        t.join();
    EXPECT_TRUE(QDir(platform::temporaryDirectory())
                    .entryList({QStringLiteral("frame*")}, QDir::Files)
                    .isEmpty());
}

TEST(PictureEncoder, CompressionFactorTradesSizeForQuality) {
    QTemporaryDir dir;
    const Picture picture(photoLike(96, 64));
    for (const int code : {1, 3}) {
        // The file's size and its mean error at a factor.
        const auto written = [&](double factor) {
            const QString path = dir.filePath(QStringLiteral("%1 at %2").arg(code).arg(factor));
            EXPECT_TRUE(ImageTools::writeImage(picture, path, code, factor));
            return std::pair(QFileInfo(path).size(),
                             compare(picture.image, ImageTools::readPicture(path)->image).mean);
        };
        const auto [bestSize, bestError] = written(1.0);
        const auto [halfSize, halfError] = written(0.5);
        EXPECT_LT(halfSize, bestSize * 3 / 4) << code;
        EXPECT_GT(halfError, bestError) << code;
        EXPECT_LT(halfError, 6.0) << code;
    }
}

TEST(PictureEncoder, GifDithersGradientsInsteadOfBanding) {
    QTemporaryDir dir;
    // A smooth two-colour sky needs more shades than any palette entry spacing
    // allows; dithering keeps the local average on the gradient.
    QImage sky(256, 64, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 256; ++x)
            sky.setPixel(x, y, qRgb(60 + x / 4, 120 + x / 3, 255 - y));
    for (int x = 0; x < 256; x += 32)
        sky.setPixel(x, 0, qRgb(255, x, 0)); // colours the palette must not lose
    const QString path = dir.filePath(QStringLiteral("sky.gif"));
    ASSERT_TRUE(ImageTools::writeImage(Picture(sky), path, 8, 1.0));
    const QImage back = ImageTools::readPicture(path)->image;
    for (int x0 = 0; x0 < 256; x0 += 16) {
        double want = 0, got = 0;
        for (int y = 8; y < 56; ++y)
            for (int x = x0; x < x0 + 16; ++x) {
                want += qGreen(sky.pixel(x, y));
                got += qGreen(back.pixel(x, y));
            }
        EXPECT_NEAR(got / (48 * 16), want / (48 * 16), 1.0) << x0;
    }
    for (int x = 0; x < 256; x += 32)
        EXPECT_EQ(back.pixel(x, 0), sky.pixel(x, 0)) << x;
}

TEST(PictureEncoder, RasterisesAtTheTruncatedSizeInPoints) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("size.png"));
    ASSERT_TRUE(
        ImageTools::writeImage(Picture(photoLike(101, 51), QSizeF(100.7, 50.2)), path, 5, 1));
    EXPECT_EQ(ImageTools::readPicture(path)->image.size(), QSize(100, 50));

    // Pixels denser than points: the file has the size in points, the picture scaled down.
    QImage dense(80, 40, QImage::Format_ARGB32_Premultiplied);
    dense.fill(qRgb(0, 0, 255));
    QPainter(&dense).fillRect(0, 0, 40, 40, Qt::red);
    ASSERT_TRUE(ImageTools::writeImage(Picture(dense, QSizeF(40, 20)), path, 5, 1));
    const QImage back = ImageTools::readPicture(path)->image;
    ASSERT_EQ(back.size(), QSize(40, 20));
    EXPECT_EQ(back.pixel(5, 10), qRgb(255, 0, 0));
    EXPECT_EQ(back.pixel(35, 10), qRgb(0, 0, 255));
}

// HEIC takes the bitmap every other format writes: random pictures, opaque and translucent
// with every alpha, at sizes in points whole, fractional and smaller than their pixels, give
// the same file as their PNG copy does, which holds exactly those pixels.
TEST(PictureEncoder, HeicEncodesTheBitmapThePngHolds) {
    if (!ImageTools::heicEncodingAvailable())
        GTEST_SKIP() << "no HEVC encoder";
    QTemporaryDir dir;
    QRandomGenerator random(23);
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        const int width = 20 + int(random.bounded(60)), height = 20 + int(random.bounded(60));
        QImage image = photoLike(width, height, random.generate());
        if (round % 2 == 1) {
            auto* pixels = reinterpret_cast<QRgb*>(image.bits());
            for (qsizetype i = 0; i < qsizetype(width) * height; ++i)
                pixels[i] = qPremultiply(qRgba(qRed(pixels[i]), qGreen(pixels[i]), qBlue(pixels[i]),
                                               static_cast<int>(random.bounded(256))));
        }
        const double scale = round < 2 ? 1.0 : round < 4 ? 0.97 : 0.5;
        const Picture picture(image, QSizeF(width * scale, height * scale));
        const QString png = dir.filePath(QStringLiteral("frame.png")),
                      direct = dir.filePath(QStringLiteral("direct.heic")),
                      viaPng = dir.filePath(QStringLiteral("via.heic"));
        ASSERT_TRUE(ImageTools::writeImage(picture, png, 5, 1.0));
        ASSERT_TRUE(ImageTools::writeImage(picture, direct, 11, 1.0));
        const Picture frame = ImageTools::readPicture(png).value();
        ASSERT_TRUE(ImageTools::writeImage(frame, viaPng, 11, 1.0));
        EXPECT_EQ(ImageTools::pixelSizeOfFile(direct), frame.image.size());
        EXPECT_EQ(readAll(direct), readAll(viaPng));
    }
}

TEST(PictureEncoder, FailedWritesLeaveTheOldFileWholeOrNoFile) {
    QTemporaryDir dir;
    // Unknown codes and empty pictures write nothing.
    const QString none = dir.filePath(QStringLiteral("none"));
    for (const int code : {13, -1, 100})
        EXPECT_FALSE(ImageTools::writeImage(Picture(photoLike(8, 8)), none, code, 1.0));
    EXPECT_FALSE(ImageTools::writeImage(Picture(), none, 5, 1.0));
    EXPECT_FALSE(ImageTools::writeImage(Picture(photoLike(8, 8), QSizeF(0.9, 8)), none, 5, 1.0));
    EXPECT_FALSE(QFile::exists(none));

    const QString path = dir.filePath(QStringLiteral("keep.gif"));
    const QByteArray old("previous contents");
    ASSERT_TRUE(test::writeAll(path, old));

    // GIF cannot hold a picture wider than 65535 pixels: the encoder fails.
    QImage wide(70000, 1, QImage::Format_ARGB32_Premultiplied);
    wide.fill(Qt::red);
    EXPECT_FALSE(ImageTools::writeImage(Picture(wide), path, 8, 1.0));
    EXPECT_EQ(readAll(path), old);

    // A folder that cannot be written to.
    const QString locked = dir.filePath(QStringLiteral("locked"));
    const QString inside = locked + QStringLiteral("/picture.jpg");
    ASSERT_TRUE(test::writeAll(inside, old));
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner);
    {
        const test::ReadOnlyForRoot readOnly;
        EXPECT_FALSE(ImageTools::writeImage(Picture(photoLike(16, 16)), inside, 1, 1.0));
    }
    EXPECT_EQ(readAll(inside), old);
    EXPECT_EQ(QDir(locked).entryList(QDir::Files).size(), 1);
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace
} // namespace vividra
