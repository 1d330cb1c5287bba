// Files built to hurt the reader: cut off, claiming absurd shapes, tiles, components
// or frames. Each is refused with a reason or read whole within its own memory.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QtEndian>

#include "effects/image_tools.h"
#include "tests/persist/sample_pictures.h"

namespace vividra {
namespace {

using test::greyPng;
using test::photoLike;
using test::readAll;
using test::writeAll;

struct Read {
    std::optional<Picture> picture;
    QString reason;
    bool damaged = false;
};

Read readBytes(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    EXPECT_TRUE(writeAll(path, bytes));
    Read r;
    r.picture = ImageTools::readPicture(path, &r.reason, &r.damaged);
    return r;
}

// A JPEG 2000 codestream of our own with its image and tile grid rewritten.
QByteArray codestreamWithGrid(quint32 width, quint32 height, quint32 tile, quint16 components) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("small.jp2"));
    EXPECT_TRUE(ImageTools::writeImage(Picture(photoLike(16, 16)), path, 3, 1.0));
    const QByteArray jp2 = readAll(path);
    const QByteArray stream = jp2.mid(jp2.indexOf("jp2c") + 4);
    const qsizetype siz = stream.indexOf(QByteArray("\xff\x51", 2));
    const qsizetype sizEnd = siz + 2 + qFromBigEndian<quint16>(stream.constData() + siz + 2);
    QByteArray segment = stream.mid(siz, 40);
    qToBigEndian<quint16>(static_cast<quint16>(38 + 3 * components), segment.data() + 2);
    const quint32 fields[] = {width, height, 0, 0, tile, tile, 0, 0};
    for (int i = 0; i < 8; ++i)
        qToBigEndian<quint32>(fields[i], segment.data() + 6 + 4 * i);
    qToBigEndian<quint16>(components, segment.data() + 38);
    for (int i = 0; i < components; ++i)
        segment.append(QByteArray("\x07\x01\x01", 3));
    return stream.left(siz) + segment + stream.mid(sizEnd);
}

// A two-colour GIF with `frames` frames of w × h pixels on a screen of the given size.
QByteArray gifWithFrames(quint16 screenWidth, quint16 screenHeight, int frames, quint16 w,
                         quint16 h) {
    QByteArray gif("GIF89a", 6);
    QByteArray size(4, '\0');
    qToLittleEndian<quint16>(screenWidth, size.data());
    qToLittleEndian<quint16>(screenHeight, size.data() + 2);
    gif.append(size).append(QByteArray("\xf0\0\0\0\0\0\xff\xff\xff", 9));
    for (int i = 0; i < frames; ++i) {
        gif.append(QByteArray("\x21\xf9\x04\0\0\0\0\0", 8)); // graphic control
        QByteArray descriptor(",\0\0\0\0", 5);
        QByteArray extent(4, '\0');
        qToLittleEndian<quint16>(w, extent.data());
        qToLittleEndian<quint16>(h, extent.data() + 2);
        descriptor.append(extent).append('\0');
        // LZW at two bits: clear, one pixel of colour 0, end; then the block's end.
        gif.append(descriptor).append(QByteArray("\x02\x02\x44\x01\0", 5));
    }
    return gif.append(';');
}

bool isMidGrey(QRgb c) {
    return qAbs(qRed(c) - 128) <= 3 && qAbs(qGreen(c) - 128) <= 3 && qAbs(qBlue(c) - 128) <= 3 &&
           qAlpha(c) == 255;
}

// Where the first scan's coded data begins, and a cut `kept` of the way through it.
qsizetype scanData(const QByteArray& jpeg) {
    const qsizetype scan = jpeg.indexOf(QByteArray("\xff\xda", 2));
    return scan < 0 ? -1 : scan + 2 + qFromBigEndian<quint16>(jpeg.constData() + scan + 2);
}
QByteArray cutOff(const QByteArray& jpeg, double kept) {
    const qsizetype data = scanData(jpeg);
    return jpeg.left(data + static_cast<qsizetype>((jpeg.size() - data) * kept));
}

TEST(DamagedPictures, CutOffJpegsOpenWithTheMissingRowsGrey) {
    QTemporaryDir dir;
    const QImage photo = photoLike(256, 192);
    const QByteArray whole = test::qtJpeg(photo, 90, false);
    const Read complete = readBytes(dir, QStringLiteral("whole.jpg"), whole);
    ASSERT_TRUE(complete.picture);
    EXPECT_FALSE(complete.damaged);

    for (const double kept : {0.3, 0.8}) {
        SCOPED_TRACE(kept);
        const Read cut = readBytes(dir, QStringLiteral("cut.jpg"), cutOff(whole, kept));
        ASSERT_TRUE(cut.picture) << cut.reason.toStdString();
        EXPECT_TRUE(cut.damaged);
        const QImage& image = cut.picture->image;
        ASSERT_EQ(image.size(), QSize(256, 192));
        // The first rows arrived whole; the last row of pixels did not arrive.
        for (int x = 0; x < 256; ++x) {
            EXPECT_EQ(image.pixel(x, 3), complete.picture->image.pixel(x, 3)) << x;
            EXPECT_TRUE(isMidGrey(image.pixel(x, 191))) << x;
        }
    }

    // Progressive: the first scans cover every row, coarsely.
    const QByteArray progressive = test::qtJpeg(photo, 90, true);
    const Read coarse =
        readBytes(dir, QStringLiteral("coarse.jpg"), progressive.left(progressive.size() * 6 / 10));
    ASSERT_TRUE(coarse.picture) << coarse.reason.toStdString();
    EXPECT_TRUE(coarse.damaged);
    EXPECT_EQ(coarse.picture->image.size(), QSize(256, 192));
    EXPECT_FALSE(isMidGrey(coarse.picture->image.pixel(250, 188)));

    // Turned upright like a whole file: stored 256 wide, shown 192 wide.
    const Read upright =
        readBytes(dir, QStringLiteral("turned.jpg"), cutOff(test::withOrientation(whole, 6), 0.6));
    ASSERT_TRUE(upright.picture) << upright.reason.toStdString();
    EXPECT_TRUE(upright.damaged);
    EXPECT_EQ(upright.picture->image.size(), QSize(192, 256));
    EXPECT_EQ(ImageTools::pixelSizeOfFile(dir.filePath(QStringLiteral("turned.jpg"))),
              QSize(192, 256));

    // No row at all: the headers, or a byte of scan data, are still unreadable.
    const qsizetype data = scanData(whole);
    for (const qsizetype length : {data - 20, data, data + 1}) {
        const Read nothing = readBytes(dir, QStringLiteral("nothing.jpg"), whole.left(length));
        EXPECT_FALSE(nothing.picture) << length;
        EXPECT_FALSE(nothing.reason.isEmpty()) << length;
        EXPECT_FALSE(nothing.damaged) << length;
    }
}

// An 8-bit BMP of mid grey, rows padded to four bytes, bottom row first.
QByteArray greyBmp(qint32 width, qint32 height) {
    const qsizetype row = (static_cast<qsizetype>(width) + 3) / 4 * 4;
    const qsizetype offset = 54 + 256 * 4;
    QByteArray bmp(offset, '\0');
    bmp[0] = 'B';
    bmp[1] = 'M';
    qToLittleEndian<quint32>(static_cast<quint32>(offset + row * height), bmp.data() + 2);
    qToLittleEndian<quint32>(static_cast<quint32>(offset), bmp.data() + 10);
    qToLittleEndian<quint32>(40, bmp.data() + 14);
    qToLittleEndian<qint32>(width, bmp.data() + 18);
    qToLittleEndian<qint32>(height, bmp.data() + 22);
    qToLittleEndian<quint16>(1, bmp.data() + 26);
    qToLittleEndian<quint16>(8, bmp.data() + 28);
    qToLittleEndian<quint32>(256, bmp.data() + 46);
    for (int i = 0; i < 256; ++i)
        for (int c = 0; c < 3; ++c)
            bmp[54 + 4 * i + c] = static_cast<char>(i);
    return bmp.append(QByteArray(row * height, '\x80'));
}

// From the fuzzer: a JPEG whose marker lengths run past its end. Qt's reader went back to
// the end of the file some thirty thousand times for it, a system call each time.
TEST(PictureBombs, MarkersRunningPastTheEndAreRefused) {
    QTemporaryDir dir;
    const Read read = readBytes(
        dir, QStringLiteral("markers.jpg"),
        QByteArray::fromBase64(
            "/9j/4AAQSkZJRgABAQEAZABkAAD/2wBDAAYEBQYFBAcIBQcGBgYGChAKCgk5ChQODwwQFwAAAAYUFhYaHSUfGh"
            "sjHBYWICwgI9bYECkqKRkfLTAtKDAlKCko/9sAQwEHBwcKCAoTCgoAAAAAAAAAAAAAA//aAAwDAQACEAMQAAAB"
            "tpgl/8QAGBAAAgMAAAAAAAAAAAAAAAAAAAMBBCH/2gAIAQEAAQUCXXLvYAA7/+fu9wIDAAAAAAAAAAAAAAAAAA"
            "ACAwUS/9oACAAAAAAAAAABxBDPP2r/ABURAQEAAMi0RBL/AP/Z"));
    EXPECT_FALSE(read.picture);
    EXPECT_FALSE(read.reason.isEmpty());
    EXPECT_EQ(ImageTools::pixelSizeOfFile(dir.filePath(QStringLiteral("markers.jpg"))),
              QSize(0, 0));
}

TEST(PictureBombs, ExtremeShapesAreRefusedOrOpenWithinTheirOwnMemory) {
    QTemporaryDir dir;
    // Forty million pixels in one column and in one row: 160 MB each, under our limit.
    for (const QSize shape : {QSize(1, 40'000'000), QSize(40'000'000, 1)}) {
        SCOPED_TRACE(shape.width());
        // libpng refuses sides over a million pixels before allocating anything.
        const Read png = readBytes(
            dir, QStringLiteral("line.png"),
            greyPng(static_cast<quint32>(shape.width()), static_cast<quint32>(shape.height())));
        EXPECT_FALSE(png.picture);
        EXPECT_FALSE(png.reason.isEmpty());
        // The BMP reader has no such limit: the picture opens whole.
        const Read bmp =
            readBytes(dir, QStringLiteral("line.bmp"), greyBmp(shape.width(), shape.height()));
        ASSERT_TRUE(bmp.picture) << bmp.reason.toStdString();
        ASSERT_EQ(bmp.picture->image.size(), shape);
        EXPECT_TRUE(isMidGrey(bmp.picture->image.pixel(0, 0)));
        EXPECT_TRUE(isMidGrey(bmp.picture->image.pixel(shape.width() - 1, shape.height() - 1)));
    }
}

TEST(PictureBombs, TileComponentAndFrameCountsAreRefusedOrBounded) {
    QTemporaryDir dir;
    // 65,025 tiles of one pixel, just under OpenJPEG's own limit, and 16,384 components
    // (the most the format allows): each makes the decoder's header bookkeeping
    // gigabytes from a file of a few kilobytes.
    const std::pair<QByteArray, const char*> grids[] = {
        {codestreamWithGrid(255, 255, 1, 3), "tiles"},
        {codestreamWithGrid(16, 16, 16, 16384), "components"},
        {codestreamWithGrid(100'000, 100'000, 1024, 3), "too large"},
    };
    for (const auto& [bytes, why] : grids) {
        SCOPED_TRACE(why);
        const Read bomb = readBytes(dir, QStringLiteral("bomb.j2k"), bytes);
        EXPECT_FALSE(bomb.picture);
        EXPECT_TRUE(bomb.reason.contains(QLatin1String(why))) << bomb.reason.toStdString();
        EXPECT_EQ(ImageTools::pixelSizeOfFile(dir.filePath(QStringLiteral("bomb.j2k"))),
                  QSize(0, 0));
    }
    // From the fuzzer: sides near 2^32 once overflowed the pixel count itself.
    const Read wide = readBytes(
        dir, QStringLiteral("wide.j2k"),
        QByteArray::fromBase64("/0//UQCVZMuNAF0A/0//UQAAulkM////////AAQAALEAAAAAAAD//////0X/////"));
    EXPECT_FALSE(wide.picture);
    EXPECT_FALSE(wide.reason.isEmpty());
    // Our own grid still reads: the rewriting above is all that makes them bombs.
    const Read plain =
        readBytes(dir, QStringLiteral("plain.j2k"), codestreamWithGrid(16, 16, 16, 3));
    ASSERT_TRUE(plain.picture) << plain.reason.toStdString();
    EXPECT_EQ(plain.picture->image.size(), QSize(16, 16));

    // HEIC: libheif writes even one picture as a grid of one tile, whose canvas size is
    // in the grid's own descriptor. Claiming 20,000 × 20,000 there, with the image's
    // declared size left at 8 × 8, once had libheif allocate 2.3 GB for 17 seconds.
    if (ImageTools::heicEncodingAvailable()) {
        const QString path = dir.filePath(QStringLiteral("grid.heic"));
        ASSERT_TRUE(ImageTools::writeImage(Picture(photoLike(8, 8)), path, 11, 1.0));
        QByteArray heic = readAll(path);
        const qsizetype grid = heic.indexOf("idat") + 4; // version, flags, rows, columns, sizes
        ASSERT_GT(grid, 4);
        ASSERT_EQ(qFromBigEndian<quint16>(heic.constData() + grid + 4), 8);
        const Read plainGrid = readBytes(dir, QStringLiteral("plain.heic"), heic);
        ASSERT_TRUE(plainGrid.picture) << plainGrid.reason.toStdString();
        EXPECT_EQ(plainGrid.picture->image.size(), QSize(8, 8));
        // From the fuzzer: a canvas one pixel narrower than declared decoded to a picture
        // of another size than the file was taken in at.
        QByteArray narrower = heic;
        qToBigEndian<quint16>(7, narrower.data() + grid + 4);
        const Read mismatch = readBytes(dir, QStringLiteral("narrower.heic"), narrower);
        EXPECT_FALSE(mismatch.picture);
        EXPECT_TRUE(mismatch.reason.contains(QLatin1String("Damaged")))
            << mismatch.reason.toStdString();
        qToBigEndian<quint16>(20000, heic.data() + grid + 4);
        qToBigEndian<quint16>(20000, heic.data() + grid + 6);
        const Read huge = readBytes(dir, QStringLiteral("huge.heic"), heic);
        EXPECT_FALSE(huge.picture);
        EXPECT_TRUE(huge.reason.contains(QLatin1String("too large"))) << huge.reason.toStdString();
    }

    // Thousands of frames: the largest frame's size is the picture's, read once.
    const struct {
        QSize screen;
        int frames;
        QSize frame;
    } animations[] = {{{2, 2}, 20'000, {2, 2}}, {{1000, 1000}, 5000, {1, 1}}};
    for (const auto& a : animations) {
        SCOPED_TRACE(a.frames);
        const Read many = readBytes(dir, QStringLiteral("many.gif"),
                                    gifWithFrames(static_cast<quint16>(a.screen.width()),
                                                  static_cast<quint16>(a.screen.height()), a.frames,
                                                  static_cast<quint16>(a.frame.width()),
                                                  static_cast<quint16>(a.frame.height())));
        ASSERT_TRUE(many.picture) << many.reason.toStdString();
        EXPECT_EQ(many.picture->image.size(), a.screen);
    }
    // A screen far larger than its frames, as the fuzzer found: Qt paints onto the
    // screen, so the screen is the picture's size, and a huge one is refused unread.
    const QString wideGif = dir.filePath(QStringLiteral("wide.gif"));
    ASSERT_TRUE(writeAll(wideGif, gifWithFrames(12802, 2, 3, 2, 2)));
    const std::optional<Picture> screen = ImageTools::readPicture(wideGif);
    ASSERT_TRUE(screen);
    EXPECT_EQ(screen->image.size(), QSize(12802, 2));
    EXPECT_EQ(ImageTools::pixelSizeOfFile(wideGif), QSize(12802, 2));
    const Read huge =
        readBytes(dir, QStringLiteral("huge.gif"), gifWithFrames(20000, 20000, 1, 1, 1));
    EXPECT_FALSE(huge.picture);
    EXPECT_TRUE(huge.reason.contains(QLatin1String("too large"))) << huge.reason.toStdString();
}

} // namespace
} // namespace vividra
