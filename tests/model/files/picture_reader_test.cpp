// Reading pictures: every format by its content, and files built to hurt the reader (cut
// off, claiming absurd shapes, tiles, components or frames), each refused with a reason or
// read whole within its own memory.
#include <gtest/gtest.h>

#include <QPainter>
#include <QTemporaryDir>
#include <QtEndian>

#include <vector>

#include "kernels/pixel_memory.h"
#include "model/effects/image_tools.h"
#include "tests/support/sample_pictures.h"
#include "tests/support/sanitizers.h"

namespace vividra {
namespace {

using test::photoLike;

struct Read {
    std::optional<Picture> picture;
    QString reason;
    bool damaged = false;
    QSize fileSize; // as pixelSizeOfFile tells it
};

Read readBytes(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    EXPECT_TRUE(bytes.isNull() || test::writeAll(path, bytes)); // null: no file at all
    Read r;
    r.picture = ImageTools::readPicture(path, &r.reason, &r.damaged);
    r.fileSize = ImageTools::pixelSizeOfFile(path);
    return r;
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

// Whole, and cut off (its rows turned like a whole file's); the points looked at lie in the
// stored picture's first rows, which a cut file keeps.
TEST(PictureReader, ExifOrientationComesInUpright) {
    QTemporaryDir dir;
    // Left half red, right half blue, stored 64 wide and 32 high.
    QImage stored(64, 32, QImage::Format_RGB32);
    stored.fill(qRgb(20, 20, 230));
    QPainter(&stored).fillRect(0, 0, 32, 32, QColor(230, 20, 20));
    const QByteArray plain = test::qtJpeg(stored, 95, false);
    const std::tuple<quint16, QSize, QPoint, QPoint> cases[] = {
        {6, {32, 64}, {24, 8}, {24, 56}}, // turn clockwise: the left edge goes to the top
        {8, {32, 64}, {8, 56}, {8, 8}},   // turn anticlockwise: the left edge goes to the bottom
        {3, {64, 32}, {56, 24}, {8, 24}}, // half turn
    };
    for (const auto& [orientation, size, redAt, blueAt] : cases)
        for (const bool cut : {false, true}) {
            SCOPED_TRACE(testing::Message() << orientation << (cut ? " cut" : ""));
            const QByteArray turned = test::withOrientation(plain, orientation);
            const Read read =
                readBytes(dir, QStringLiteral("turned.jpg"), cut ? cutOff(turned, 0.6) : turned);
            ASSERT_TRUE(read.picture) << read.reason.toStdString();
            EXPECT_EQ(read.damaged, cut);
            EXPECT_EQ(read.fileSize, size);
            ASSERT_EQ(read.picture->image.size(), size);
            EXPECT_EQ(read.picture->size, QSizeF(size));
            EXPECT_GT(qRed(read.picture->image.pixel(redAt)), 180);
            EXPECT_GT(qBlue(read.picture->image.pixel(blueAt)), 180);
        }
}

TEST(PictureReader, RunningOutOfMemoryIsAReasonNotACrash) {
    QTemporaryDir dir;
    const QByteArray jpeg = test::qtJpeg(photoLike(300, 200), 95, false);
    // Nothing at all, and one byte short of the decoded pixels.
    for (const std::size_t bytes : {std::size_t{0}, std::size_t{300 * 200 * 4 - 1}}) {
        fx::PixelMemoryLimitForTesting limit(bytes);
        const Read read = readBytes(dir, QStringLiteral("photo.jpg"), jpeg);
        EXPECT_FALSE(read.picture) << bytes;
        EXPECT_EQ(read.reason, QStringLiteral("Not enough memory to open this picture.")) << bytes;
    }
}

bool isMidGrey(const QImage& part) {
    QImage grey(part.size(), QImage::Format_ARGB32);
    grey.fill(qRgb(128, 128, 128));
    return test::compare(part, grey).max <= 3;
}

TEST(DamagedPictures, CutOffJpegsOpenWithTheMissingRowsGrey) {
    QTemporaryDir dir;
    const QImage photo = photoLike(256, 192);
    const QByteArray whole = test::qtJpeg(photo, 90, false);
    const QByteArray progressive = test::qtJpeg(photo, 90, true);
    const QImage complete =
        readBytes(dir, QStringLiteral("whole.jpg"), whole).picture.value().image;
    // Baseline: the first rows arrived whole, the last row of pixels did not. Progressive: the
    // first scans cover every row, coarsely.
    const std::pair<QByteArray, bool> cuts[] = {
        {cutOff(whole, 0.3), false},
        {cutOff(whole, 0.8), false},
        {progressive.left(progressive.size() * 6 / 10), true}};
    for (const auto& [bytes, coarse] : cuts) {
        const Read cut = readBytes(dir, QStringLiteral("cut.jpg"), bytes);
        ASSERT_TRUE(cut.picture) << cut.reason.toStdString();
        EXPECT_TRUE(cut.damaged);
        ASSERT_EQ(cut.picture->image.size(), QSize(256, 192));
        EXPECT_TRUE(coarse || cut.picture->image.copy(0, 0, 256, 4) == complete.copy(0, 0, 256, 4));
        EXPECT_NE(isMidGrey(cut.picture->image.copy(coarse ? 250 : 0, 191, coarse ? 1 : 256, 1)),
                  coarse);
    }
}

// Real files with the size fields of their headers overwritten (JPEG 2000's: "huge.j2k").
QByteArray withHugeSize(const QString& format, QByteArray bytes) {
    if (format == "jpeg") {
        for (const int side : {5, 7})
            qToBigEndian<quint16>(20000, bytes.data() + bytes.indexOf("\xff\xc0") + side);
    } else if (format == "tiff") {
        // Our encoder writes little-endian TIFF; width and height are tags 256 and 257, whose
        // value, short or long, starts the entry's last four bytes.
        const qsizetype ifd = qFromLittleEndian<quint32>(bytes.constData() + 4);
        for (int i = 0; i < qFromLittleEndian<quint16>(bytes.constData() + ifd); ++i) {
            char* entry = bytes.data() + ifd + 2 + 12 * i;
            if (const quint16 tag = qFromLittleEndian<quint16>(entry); tag == 256 || tag == 257)
                qToLittleEndian<quint32>(20000, entry + 8);
        }
    } else if (format != "heic") {
        return {};
    }
    for (qsizetype at = bytes.indexOf("ispe"); at >= 0; at = bytes.indexOf("ispe", at + 4))
        for (const int side : {8, 12})
            qToBigEndian<quint32>(20000, bytes.data() + at + side);
    return bytes;
}

// A JPEG 2000 codestream of our own with its image and tile grid rewritten.
QByteArray codestreamWithGrid(quint32 width, quint32 height, quint32 tile, quint16 components) {
    const QByteArray stream = test::codestreamOf(test::encoded(Picture(photoLike(16, 16)), 3));
    const qsizetype siz = stream.indexOf(QByteArray("\xff\x51", 2));
    const qsizetype sizEnd = siz + 2 + qFromBigEndian<quint16>(stream.constData() + siz + 2);
    QByteArray segment = stream.mid(siz, 40);
    qToBigEndian<quint16>(static_cast<quint16>(38 + 3 * components), segment.data() + 2);
    const quint32 fields[] = {width, height, 0, 0, tile, tile, 0, 0};
    for (int i = 0; i < 8; ++i)
        qToBigEndian<quint32>(fields[i], segment.data() + 6 + 4 * i);
    qToBigEndian<quint16>(components, segment.data() + 38);
    return stream.left(siz) + segment + QByteArray("\x07\x01\x01", 3).repeated(components) +
           stream.mid(sizEnd);
}

QByteArray sides(quint16 width, quint16 height) {
    const quint16 le[] = {qToLittleEndian(width), qToLittleEndian(height)};
    return QByteArray(reinterpret_cast<const char*>(le), 4);
}

// A two-colour GIF with `frames` frames of w × h pixels on a screen of the given size.
QByteArray gifWithFrames(quint16 screenWidth, quint16 screenHeight, int frames, quint16 w,
                         quint16 h) {
    QByteArray gif =
        "GIF89a" + sides(screenWidth, screenHeight) + QByteArray("\xf0\0\0\0\0\0\xff\xff\xff", 9);
    // Each frame: a graphic control, a descriptor at the corner, then LZW at two bits
    // (clear, one pixel of colour 0, end) and the block's end.
    for (int i = 0; i < frames; ++i)
        gif += QByteArray("\x21\xf9\x04\0\0\0\0\0,\0\0\0\0", 13) + sides(w, h) +
               QByteArray("\0\x02\x02\x44\x01\0", 6);
    return gif + ';';
}

// HEIC: libheif writes even one picture as a grid of one tile, whose canvas size is in
// the grid's own descriptor (after version, flags, rows and columns); this one's is set to
// `width` × `height` with the image's declared size left at 8 × 8.
QByteArray heicGrid(quint16 width, quint16 height) {
    QByteArray heic = test::encoded(Picture(photoLike(8, 8)), 11);
    const qsizetype grid = heic.indexOf("idat") + 4;
    EXPECT_EQ(qFromBigEndian<quint16>(heic.constData() + grid + 4), 8);
    qToBigEndian<quint16>(width, heic.data() + grid + 4);
    qToBigEndian<quint16>(height, heic.data() + grid + 6);
    return heic;
}

// Broken and hostile files: each is refused with a reason or opens at the size given.
struct Bomb {
    QString name;
    QByteArray bytes;
    QSize opens = {}; // empty: refused
    const char* reason = "";
    QImage looks = {}; // what it opens to, within a level or two
};

std::vector<Bomb> bombs() {
    const QImage colour = photoLike(48, 32);
    const QImage grey = colour.convertToFormat(QImage::Format_Grayscale8);
    const QByteArray jp2 = test::encoded(Picture(colour), 3);
    // A BMP's header claiming 20,000 × 20,000 and the file's size to match, with no rows.
    QByteArray hugeBmp = test::greyBmp(20000, 1).left(54 + 256 * 4);
    qToLittleEndian<qint32>(20000, hugeBmp.data() + 22);
    qToLittleEndian<quint32>(54 + 256 * 4 + 20000u * 20000u, hugeBmp.data() + 2);
    std::vector<Bomb> bombs = {
        // Beyond our own encoder's files (picture_encoder_test): a raw codestream, progressive
        // and grey JPEGs, each under a name that says otherwise.
        {"codestream.png", test::codestreamOf(jp2), {48, 32}, "", colour},
        {"progressive.png", test::qtJpeg(colour, 95, true), {48, 32}, "", colour},
        {"grey.png", test::qtJpeg(grey, 95, false), {48, 32}, "", grey},
        // From the fuzzer: marker lengths running past the end, which once sent Qt's reader
        // back to the end of the file thirty thousand times, a system call each time.
        {"markers.jpg",
         QByteArray::fromBase64(
             "/9j/4AAQSkZJRgABAQEAZABkAAD/2wBDAAYEBQYFBAcIBQcGBgYGChAKCgk5ChQODwwQFwAAAAYUFhYaHSUf"
             "GhsjHBYWICwgI9bYECkqKRkfLTAtKDAlKCko/9sAQwEHBwcKCAoTCgoAAAAAAAAAAAAAA//aAAwDAQACEAMQ"
             "AAABtpgl/8QAGBAAAgMAAAAAAAAAAAAAAAAAAAMBBCH/2gAIAQEAAQUCXXLvYAA7/+fu9wIDAAAAAAAAAAAA"
             "AAAAAAACAwUS/9oACAAAAAAAAAABxBDPP2r/ABURAQEAAMi0RBL/AP/Z")},
        // Forty million pixels in a line, 160 MB, past Qt's default limit of 128 MB: libpng
        // refuses sides over a million before allocating anything, the BMP reader opens them
        // whole.
        {"column.png", test::greyPng(1, 40'000'000)},
        {"row.png", test::greyPng(40'000'000, 1)},
        {"column.bmp", test::greyBmp(1, 40'000'000), {1, 40'000'000}},
        {"row.bmp", test::greyBmp(40'000'000, 1), {40'000'000, 1}},
        // Headers alone claiming 20,000 × 20,000; Qt's own BMP check refuses what the file
        // cannot hold.
        {"huge.png", test::greyPng(20000, 20000, '\x80', 0), {}, "too large"},
        {"huge.bmp", hugeBmp},
        // 65,025 tiles of one pixel, just under OpenJPEG's own limit, and 16,384 components
        // (the most the format allows): each makes the decoder's header bookkeeping
        // gigabytes from a file of a few kilobytes.
        {"tiles.j2k", codestreamWithGrid(255, 255, 1, 3), {}, "tiles"},
        {"components.j2k", codestreamWithGrid(16, 16, 16, 16384), {}, "components"},
        {"huge.j2k", codestreamWithGrid(100'000, 100'000, 1024, 3), {}, "too large"},
        {"plain.j2k", codestreamWithGrid(16, 16, 16, 3), {16, 16}},
        // From the fuzzer: sides near 2^32 once overflowed the pixel count itself.
        {"wide.j2k", QByteArray::fromBase64(
                         "/0//UQCVZMuNAF0A/0//UQAAulkM////////AAQAALEAAAAAAAD//////0X/////")},
        // Thousands of frames: the largest frame's size is the picture's, read once. A screen
        // far larger than its frames, as the fuzzer found, is the picture's size too, and
        // is refused when too large.
        {"many.gif", gifWithFrames(2, 2, 20'000, 2, 2), {2, 2}},
        {"tiny frames.gif", gifWithFrames(1000, 1000, 5000, 1, 1), {1000, 1000}},
        {"wide.gif", gifWithFrames(12802, 2, 3, 2, 2), {12802, 2}},
        {"huge.gif", gifWithFrames(20000, 20000, 1, 1, 1), {}, "too large"},
        {"missing.png", {}},
        {"empty.png", ""},
        {"text.jpg", "P6\n2 2\n255\nnot really a picture"},
    };
    if (ImageTools::heicEncodingAvailable()) {
        bombs.push_back({"plain.heic", heicGrid(8, 8), {8, 8}});
        // From the fuzzer: a canvas one pixel narrower than declared decoded to a picture
        // of another size than the file was taken in at.
        bombs.push_back({"narrower.heic", heicGrid(7, 8), {}, "Damaged"});
        // This once had libheif allocate 2.3 GB for 17 seconds.
        bombs.push_back({"huge.heic", heicGrid(20000, 20000), {}, "too large"});
    }
    for (const QString format : {"jpeg", "png", "tiff", "gif", "bmp", "jp2", "heic"}) {
        const QByteArray bytes = test::encoded(Picture(colour), ImageTools::formatCode(format));
        if (bytes.isEmpty())
            continue;
        if (const QByteArray huge = withHugeSize(format, bytes); !huge.isEmpty())
            bombs.push_back({"huge header." + format, huge, {}, "too large"});
        QByteArray scrambled = bytes;
        for (qsizetype i = 12; i < scrambled.size(); i += 3)
            scrambled[i] = static_cast<char>(scrambled[i] ^ 0x5a);
        bombs.push_back({"scrambled." + format, scrambled});
        bombs.push_back({"head." + format, bytes.left(24)});
        // Half a JPEG opens with the rest grey (above); with no row at all, the headers or
        // a byte of scan data, it is still unreadable.
        if (format != "jpeg")
            bombs.push_back({"half." + format, bytes.left(bytes.size() / 2)});
        else
            for (const qsizetype at : {scanData(bytes) - 20, scanData(bytes), scanData(bytes) + 1})
                bombs.push_back({"no rows.jpg", bytes.left(at)});
    }
    return bombs;
}

// The ones that open run apart from the ones refused: under the sanitizers they take long.
void expectEach(bool opening) {
#ifdef VIVIDRA_THREAD_SANITIZER
    // Reading runs on the calling thread (the pixel loops are serial in that build), so the
    // thread sanitizer has nothing to watch here and only makes the huge files minutes long.
    GTEST_SKIP() << "single-threaded work: the address sanitizer run covers it";
#endif
    QTemporaryDir dir;
    for (const Bomb& bomb : bombs()) {
        if (bomb.opens.isEmpty() == opening)
            continue;
        SCOPED_TRACE(bomb.name.toStdString());
        const Read read = readBytes(dir, bomb.name, bomb.bytes);
        if (opening) {
            ASSERT_TRUE(read.picture) << read.reason.toStdString();
            EXPECT_EQ(read.picture->image.size(), bomb.opens);
            EXPECT_EQ(read.picture->size, QSizeF(bomb.opens));
            EXPECT_EQ(read.fileSize, bomb.opens);
            EXPECT_TRUE(bomb.looks.isNull() ||
                        test::compare(bomb.looks, read.picture->image).mean < 2);
        } else {
            EXPECT_FALSE(read.picture || read.damaged);
            EXPECT_TRUE(!read.reason.isEmpty() && read.reason.contains(QLatin1String(bomb.reason)))
                << read.reason.toStdString();
        }
    }
}

TEST(PictureBombs, AreRefusedWithAReason) {
    expectEach(false);
}

TEST(PictureBombs, OpenWithinTheirOwnMemory) {
    expectEach(true);
}

} // namespace
} // namespace vividra
