#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtEndian>

#include <string_view>
#include <vector>

#include "effects/image_tools.h"
#include "effects/kernels/pixel_memory.h"
#include "tests/persist/sample_pictures.h"

namespace vividra {
namespace {

using test::photoLike;
using test::readAll;
using test::withOrientation;
using test::writeAll;

void putBig32(QByteArray& data, qsizetype at, quint32 value) {
    qToBigEndian(value, data.data() + at);
}

QByteArray bmpClaiming(qint32 width, qint32 height) {
    QByteArray bmp(54 + 64, '\0');
    bmp[0] = 'B';
    bmp[1] = 'M';
    qToLittleEndian<quint32>(static_cast<quint32>(bmp.size()), bmp.data() + 2);
    qToLittleEndian<quint32>(54, bmp.data() + 10);
    qToLittleEndian<quint32>(40, bmp.data() + 14);
    qToLittleEndian<qint32>(width, bmp.data() + 18);
    qToLittleEndian<qint32>(height, bmp.data() + 22);
    qToLittleEndian<quint16>(1, bmp.data() + 26);
    qToLittleEndian<quint16>(24, bmp.data() + 28);
    return bmp;
}

// A real file with the size fields of its header overwritten.
QByteArray withPatchedJpegSize(QByteArray jpeg) {
    const qsizetype sof = jpeg.indexOf(QByteArray("\xff\xc0", 2));
    qToBigEndian<quint16>(20000, jpeg.data() + sof + 5);
    qToBigEndian<quint16>(20000, jpeg.data() + sof + 7);
    return jpeg;
}

QByteArray withPatchedGifSize(QByteArray gif) {
    qToLittleEndian<quint16>(20000, gif.data() + 6);
    qToLittleEndian<quint16>(20000, gif.data() + 8);
    const qsizetype descriptor = 13 + 256 * 3; // right after the global colour table
    EXPECT_EQ(gif[descriptor], ',');
    qToLittleEndian<quint16>(20000, gif.data() + descriptor + 5);
    qToLittleEndian<quint16>(20000, gif.data() + descriptor + 7);
    return gif;
}

QByteArray withPatchedTiffSize(QByteArray tiff) {
    const bool little = tiff.startsWith("II");
    auto read16 = [&](qsizetype at) {
        return little ? qFromLittleEndian<quint16>(tiff.constData() + at)
                      : qFromBigEndian<quint16>(tiff.constData() + at);
    };
    auto read32 = [&](qsizetype at) {
        return little ? qFromLittleEndian<quint32>(tiff.constData() + at)
                      : qFromBigEndian<quint32>(tiff.constData() + at);
    };
    const qsizetype ifd = read32(4);
    for (int i = 0; i < read16(ifd); ++i) {
        const qsizetype entry = ifd + 2 + 12 * i;
        const quint16 tag = read16(entry);
        if (tag != 256 && tag != 257)
            continue;
        if (read16(entry + 2) == 3) {
            little ? qToLittleEndian<quint16>(20000, tiff.data() + entry + 8)
                   : qToBigEndian<quint16>(20000, tiff.data() + entry + 8);
        } else {
            little ? qToLittleEndian<quint32>(20000, tiff.data() + entry + 8)
                   : qToBigEndian<quint32>(20000, tiff.data() + entry + 8);
        }
    }
    return tiff;
}

QByteArray withPatchedJp2Size(QByteArray jp2) {
    const qsizetype ihdr = jp2.indexOf("ihdr");
    putBig32(jp2, ihdr + 4, 100000);
    putBig32(jp2, ihdr + 8, 100000);
    const qsizetype siz = jp2.indexOf(QByteArray("\xff\x51", 2));
    for (const int field : {6, 10, 22, 26}) // Xsiz, Ysiz, XTsiz, YTsiz
        putBig32(jp2, siz + field, 100000);
    return jp2;
}

QByteArray withPatchedHeifSize(QByteArray heif) {
    for (qsizetype ispe = heif.indexOf("ispe"); ispe >= 0; ispe = heif.indexOf("ispe", ispe + 4)) {
        putBig32(heif, ispe + 8, 20000);
        putBig32(heif, ispe + 12, 20000);
    }
    return heif;
}

TEST(PictureReader, ContentDecidesTheDecoderNotTheName) {
    QTemporaryDir dir;
    const Picture picture(photoLike(30, 20));
    const QString jpegAsPng = dir.filePath(QStringLiteral("history.png"));
    ASSERT_TRUE(ImageTools::writeImage(picture, jpegAsPng, 1, 1.0));
    EXPECT_TRUE(readAll(jpegAsPng).startsWith("\xff\xd8"));
    const QString pngAsJp2 = dir.filePath(QStringLiteral("odd.jp2"));
    ASSERT_TRUE(ImageTools::writeImage(picture, pngAsJp2, 5, 1.0));
    const QString jp2AsTiff = dir.filePath(QStringLiteral("odd.tiff"));
    ASSERT_TRUE(ImageTools::writeImage(picture, jp2AsTiff, 3, 1.0));
    const QString bare = dir.filePath(QStringLiteral("noextension"));
    ASSERT_TRUE(ImageTools::writeImage(picture, bare, 8, 1.0));

    for (const QString& path : {jpegAsPng, pngAsJp2, jp2AsTiff, bare}) {
        SCOPED_TRACE(path.toStdString());
        const std::optional<Picture> back = ImageTools::readPicture(path);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->size, QSizeF(30, 20));
        EXPECT_LT(test::compare(picture.image, back->image).mean, 4.0);
        EXPECT_EQ(ImageTools::pixelSizeOfFile(path), QSize(30, 20));
    }

    // A raw JPEG 2000 codestream, as the body of a JP2 file.
    const QByteArray jp2 = readAll(jp2AsTiff);
    const QString codestream = dir.filePath(QStringLiteral("raw.j2k"));
    ASSERT_TRUE(writeAll(codestream, jp2.mid(jp2.indexOf("jp2c") + 4)));
    const std::optional<Picture> raw = ImageTools::readPicture(codestream);
    ASSERT_TRUE(raw);
    EXPECT_EQ(test::compare(picture.image, raw->image).max, 0);
}

TEST(PictureReader, GreyAndProgressiveJpegsDecode) {
    QTemporaryDir dir;
    const QImage colour = photoLike(40, 24);
    const QImage grey = colour.convertToFormat(QImage::Format_Grayscale8);
    const QString greyPath = dir.filePath(QStringLiteral("grey.jpg"));
    ASSERT_TRUE(writeAll(greyPath, test::qtJpeg(grey, 95, false)));
    const std::optional<Picture> greyBack = ImageTools::readPicture(greyPath);
    ASSERT_TRUE(greyBack);
    EXPECT_LT(test::compare(grey.convertToFormat(QImage::Format_ARGB32), greyBack->image).mean,
              2.0);
    const QString progressivePath = dir.filePath(QStringLiteral("progressive.jpg"));
    ASSERT_TRUE(writeAll(progressivePath, test::qtJpeg(colour, 95, true)));
    const std::optional<Picture> back = ImageTools::readPicture(progressivePath);
    ASSERT_TRUE(back);
    EXPECT_LT(test::compare(colour, back->image).mean, 2.0);
}

TEST(PictureReader, ExifOrientationComesInUpright) {
    QTemporaryDir dir;
    // Left half red, right half blue, stored 32 wide and 16 high.
    QImage stored(32, 16, QImage::Format_RGB32);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x)
            stored.setPixel(x, y, x < 16 ? qRgb(230, 20, 20) : qRgb(20, 20, 230));
    const QByteArray plain = test::qtJpeg(stored, 95, false);

    struct Case {
        quint16 orientation;
        QSize size;
        QPoint redAt, blueAt;
    };
    const Case cases[] = {
        {1, {32, 16}, {4, 8}, {28, 8}}, // as stored
        {6, {16, 32}, {8, 4}, {8, 28}}, // turn clockwise: the left edge goes to the top
        {8, {16, 32}, {8, 28}, {8, 4}}, // turn anticlockwise: the left edge goes to the bottom
        {3, {32, 16}, {28, 8}, {4, 8}}, // half turn
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.orientation);
        const QString path = dir.filePath(QStringLiteral("turned%1.jpg").arg(c.orientation));
        ASSERT_TRUE(writeAll(path, withOrientation(plain, c.orientation)));
        EXPECT_EQ(ImageTools::pixelSizeOfFile(path), c.size);
        const std::optional<Picture> picture = ImageTools::readPicture(path);
        ASSERT_TRUE(picture);
        ASSERT_EQ(picture->image.size(), c.size);
        EXPECT_EQ(picture->size, QSizeF(c.size));
        EXPECT_GT(qRed(picture->image.pixel(c.redAt)), 180);
        EXPECT_GT(qBlue(picture->image.pixel(c.blueAt)), 180);
    }
}

// Valid files of every format the reader takes, made here.
std::vector<std::pair<QString, QByteArray>> sampleFiles(const QTemporaryDir& dir) {
    const Picture picture(photoLike(48, 32));
    std::vector<std::pair<QString, QByteArray>> files;
    const std::pair<const char*, int> formats[] = {{"jpeg", 1}, {"png", 5}, {"tiff", 6}, {"gif", 8},
                                                   {"bmp", 9},  {"jp2", 3}, {"heic", 11}};
    for (const auto& [name, code] : formats) {
        const QString path = dir.filePath(QStringLiteral("sample.") + QLatin1String(name));
        if (ImageTools::writeImage(picture, path, code, 1.0))
            files.emplace_back(QLatin1String(name), readAll(path));
    }
    return files;
}

TEST(PictureReader, BrokenFilesAreRefusedCleanly) {
    QTemporaryDir dir;
    const auto files = sampleFiles(dir);
    ASSERT_GE(files.size(), ImageTools::heicEncodingAvailable() ? 7u : 6u);
    for (const auto& [format, bytes] : files) {
        SCOPED_TRACE(format.toStdString());
        QByteArray scrambled = bytes;
        for (qsizetype i = 12; i < scrambled.size(); i += 3)
            scrambled[i] = static_cast<char>(scrambled[i] ^ 0x5a);
        const std::pair<const char*, QByteArray> broken[] = {
            {"half", bytes.left(bytes.size() / 2)},
            {"head", bytes.left(24)},
            {"scrambled", scrambled},
        };
        for (const auto& [how, data] : broken) {
            SCOPED_TRACE(how);
            // Half a JPEG opens with the rest grey (picture_bombs_test).
            if (format == QLatin1String("jpeg") && how == std::string_view("half"))
                continue;
            const QString path = dir.filePath(format + QLatin1Char('.') + QLatin1String(how));
            ASSERT_TRUE(writeAll(path, data));
            QString reason;
            EXPECT_FALSE(ImageTools::readPicture(path, &reason));
            EXPECT_FALSE(reason.isEmpty());
        }
    }
    const QString empty = dir.filePath(QStringLiteral("empty.png"));
    ASSERT_TRUE(writeAll(empty, QByteArray()));
    const QString text = dir.filePath(QStringLiteral("text.jpg"));
    ASSERT_TRUE(writeAll(text, "P6\n2 2\n255\nnot really a picture"));
    for (const QString& path : {empty, text, dir.filePath(QStringLiteral("missing.png"))}) {
        QString reason;
        EXPECT_FALSE(ImageTools::readPicture(path, &reason));
        EXPECT_FALSE(reason.isEmpty());
        EXPECT_EQ(ImageTools::pixelSizeOfFile(path), QSize(0, 0));
    }
}

TEST(PictureReader, HugeHeadersAreRefusedBeforeDecoding) {
    QTemporaryDir dir;
    std::vector<std::pair<QString, QByteArray>> claims = {
        {"png", test::greyPng(20000, 20000, '\x80', 0)},
        {"bmp", bmpClaiming(20000, 20000)},
    };
    for (const auto& [format, bytes] : sampleFiles(dir)) {
        if (format == QLatin1String("jpeg"))
            claims.emplace_back(format, withPatchedJpegSize(bytes));
        else if (format == QLatin1String("gif"))
            claims.emplace_back(format, withPatchedGifSize(bytes));
        else if (format == QLatin1String("tiff"))
            claims.emplace_back(format, withPatchedTiffSize(bytes));
        else if (format == QLatin1String("jp2"))
            claims.emplace_back(format, withPatchedJp2Size(bytes));
        else if (format == QLatin1String("heic"))
            claims.emplace_back(format, withPatchedHeifSize(bytes));
    }
    ASSERT_GE(claims.size(), 7u);
    for (const auto& [format, bytes] : claims) {
        SCOPED_TRACE(format.toStdString());
        const QString path = dir.filePath(QStringLiteral("huge.") + format);
        ASSERT_TRUE(writeAll(path, bytes));
        QString reason;
        QElapsedTimer timer;
        timer.start();
        EXPECT_FALSE(ImageTools::readPicture(path, &reason));
        // Qt's own BMP header check already refuses sizes the file cannot hold.
        if (format != QLatin1String("bmp")) {
            EXPECT_TRUE(reason.contains(QStringLiteral("too large"))) << reason.toStdString();
        }
        EXPECT_LT(timer.elapsed(), 2000);
    }
}

TEST(PictureReader, LargePhotosAboveQtsDefaultLimitOpen) {
    QTemporaryDir dir;
    // 34 megapixels: 136 MB as ARGB32, over Qt's default 128 MB.
    QImage big(6800, 5000, QImage::Format_RGB32);
    big.fill(qRgb(90, 140, 200));
    const QString path = dir.filePath(QStringLiteral("big.bmp"));
    ASSERT_TRUE(ImageTools::writeImage(Picture(big), path, 9, 1.0));
    big = QImage();
    const std::optional<Picture> picture = ImageTools::readPicture(path);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->image.size(), QSize(6800, 5000));
    EXPECT_EQ(picture->image.pixel(6799, 4999), qRgb(90, 140, 200));
}

TEST(PictureReader, RunningOutOfMemoryIsAReasonNotACrash) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("photo.jpg"));
    ASSERT_TRUE(writeAll(path, test::qtJpeg(photoLike(300, 200), 95, false)));
    const std::optional<Picture> want = ImageTools::readPicture(path);
    ASSERT_TRUE(want);
    // Nothing at all, and one byte short of the decoded pixels.
    for (const std::size_t bytes : {std::size_t{0}, std::size_t{300 * 200 * 4 - 1}}) {
        fx::PixelMemoryLimitForTesting limit(bytes);
        QString reason;
        EXPECT_FALSE(ImageTools::readPicture(path, &reason)) << bytes;
        EXPECT_EQ(reason, QStringLiteral("Not enough memory to open this picture.")) << bytes;
    }
    const std::optional<Picture> again = ImageTools::readPicture(path);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->image, want->image);
}

} // namespace
} // namespace vividra
