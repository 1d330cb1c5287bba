#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QTransform>
#include <QtEndian>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "model/colour/photo_colour.h"
#include "model/effects/image_tools.h"
#include "model/files/heif_codec.h"
#include "model/files/jpeg2000_codec.h"
#include "model/files/jpeg_decoder.h"
#include "model/files/photo_metadata.h"
#include "model/files/picture_pixels.h"
#include "model/platform/log.h"

namespace vividra {
namespace {

enum class Kind { Unknown, Jpeg, Png, Gif, Bmp, Tiff, Jpeg2000, Heif };

bool startsWith(const QByteArray& head, const char* magic, size_t length) {
    return static_cast<size_t>(head.size()) >= length &&
           std::memcmp(head.constData(), magic, length) == 0;
}

// Working files named ".png" may hold JPEG data, so the bytes decide.
Kind sniff(const QByteArray& head) {
    if (startsWith(head, "\xff\xd8\xff", 3))
        return Kind::Jpeg;
    if (startsWith(head, "\x89PNG\r\n\x1a\n", 8))
        return Kind::Png;
    if (startsWith(head, "GIF87a", 6) || startsWith(head, "GIF89a", 6))
        return Kind::Gif;
    if (startsWith(head, "BM", 2))
        return Kind::Bmp;
    if (startsWith(head, "II*\0", 4) || startsWith(head, "MM\0*", 4) ||
        startsWith(head, "II+\0", 4) || startsWith(head, "MM\0+", 4))
        return Kind::Tiff;
    if (jpeg2000::looksLikeJpeg2000(head))
        return Kind::Jpeg2000;
    if (heif::looksLikeHeif(head))
        return Kind::Heif;
    return Kind::Unknown;
}

const char* qtFormat(Kind kind) {
    switch (kind) {
    case Kind::Jpeg:
        return "jpeg";
    case Kind::Png:
        return "png";
    case Kind::Gif:
        return "gif";
    case Kind::Bmp:
        return "bmp";
    case Kind::Tiff:
        return "tiff";
    default:
        return nullptr;
    }
}

void setReason(QString* reason, const QString& text) {
    if (reason)
        *reason = text;
}

QString noMemory() {
    return ImageTools::outOfMemoryReason();
}

QString tooLarge(const QSize& size) {
    return QStringLiteral("Picture too large: %1 × %2 pixels").arg(size.width()).arg(size.height());
}

std::atomic<qint64> pixelLimitInForce{ImageTools::maximumPixels};

bool withinLimit(const QSize& size) {
    return static_cast<qint64>(size.width()) * size.height() <= ImageTools::pixelLimit();
}

// Qt refuses images above 128 MB by default, which a 34-megapixel photo
// exceeds. Our own header check keeps absurd sizes out, so Qt's limit only has
// to leave room for the largest picture we accept, at 64 bits per pixel.
void raiseQtAllocationLimit() {
    static std::once_flag once;
    std::call_once(once, [] {
        QImageReader::setAllocationLimit(
            static_cast<int>(ImageTools::maximumPixels * 8 / (1024 * 1024)) + 1);
    });
}

// libjpeg fills a cut-off file with grey and calls it a warning. Walk the
// markers (skipping the entropy-coded data) and insist on reaching the end marker.
bool jpegIsComplete(const QByteArray& data) {
    const auto* p = reinterpret_cast<const unsigned char*>(data.constData());
    const qsizetype n = data.size();
    qsizetype i = 2;
    while (i + 1 < n) {
        if (p[i] != 0xff)
            return false;
        const unsigned char marker = p[i + 1];
        if (marker == 0xd9)
            return true;
        if (marker == 0xff) {
            ++i;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xd0 && marker <= 0xd7)) {
            i += 2;
            continue;
        }
        if (i + 3 >= n)
            return false;
        const qsizetype length = (qsizetype(p[i + 2]) << 8) | p[i + 3];
        i += 2 + length;
        if (marker == 0xda) {
            // Scan data runs to the next marker other than a stuffed zero or a restart.
            for (;;) {
                const void* hit =
                    i < n ? std::memchr(p + i, 0xff, static_cast<size_t>(n - i)) : nullptr;
                if (!hit)
                    return false;
                i = static_cast<const unsigned char*>(hit) - p;
                if (i + 1 >= n)
                    return false;
                const unsigned char next = p[i + 1];
                if (next == 0x00 || (next >= 0xd0 && next <= 0xd7) || next == 0xff) {
                    i += next == 0xff ? 1 : 2;
                    continue;
                }
                break;
            }
        }
    }
    return false;
}

// GIF decoders show whatever frames they got; walk the blocks to the trailer so
// a cut-off or mangled file is refused instead.
bool gifIsComplete(const QByteArray& data) {
    const auto* p = reinterpret_cast<const unsigned char*>(data.constData());
    const qsizetype n = data.size();
    if (n < 13)
        return false;
    auto colourTable = [](unsigned char flags) -> qsizetype {
        return (flags & 0x80) ? 3 * (qsizetype(2) << (flags & 7)) : 0;
    };
    // Sub-blocks: a length byte then that many bytes, ended by a zero length.
    auto skipSubBlocks = [&](qsizetype i) -> qsizetype {
        while (i < n && p[i] != 0)
            i += 1 + p[i];
        return i < n ? i + 1 : -1;
    };
    qsizetype i = 13 + colourTable(p[10]);
    while (i >= 0 && i < n) {
        switch (p[i]) {
        case 0x3b:
            return true;
        case 0x21:
            i = i + 2 < n ? skipSubBlocks(i + 2) : -1;
            break;
        case 0x2c:
            if (i + 10 >= n)
                return false;
            i += 10 + colourTable(p[i + 9]);
            i = i + 1 < n ? skipSubBlocks(i + 1) : -1;
            break;
        default:
            return false;
        }
    }
    return false;
}

// Qt reads a short uncompressed BMP as far as it goes; its rows must all be there.
bool bmpIsComplete(const QByteArray& data) {
    if (data.size() < 26)
        return false;
    const auto* p = reinterpret_cast<const uchar*>(data.constData());
    const quint32 offset = qFromLittleEndian<quint32>(p + 10);
    const quint32 headerSize = qFromLittleEndian<quint32>(p + 14);
    qint64 width, height;
    quint32 bits, compression = 0;
    if (headerSize == 12) {
        width = qFromLittleEndian<quint16>(p + 18);
        height = qFromLittleEndian<quint16>(p + 20);
        bits = qFromLittleEndian<quint16>(p + 24);
    } else {
        if (data.size() < 34)
            return false;
        width = qFromLittleEndian<qint32>(p + 18);
        height = std::abs(static_cast<qint64>(qFromLittleEndian<qint32>(p + 22)));
        bits = qFromLittleEndian<quint16>(p + 28);
        compression = qFromLittleEndian<quint32>(p + 30);
    }
    const bool uncompressed = compression == 0 || compression == 3 || compression == 6;
    if (!uncompressed)
        return true;
    const qint64 rowBytes = (width * bits + 31) / 32 * 4;
    return static_cast<qint64>(offset) + rowBytes * height <= data.size();
}

QSize uprightSize(QImageReader& reader) {
    QSize size = reader.size();
    if (reader.transformation() & QImageIOHandler::TransformationRotate90)
        size.transpose();
    return size;
}

struct Survey {
    QSize largest{0, 0};
    int bestIndex = 0;
    bool jumped = false;
    QImageIOHandler::Transformations firstTransformation = QImageIOHandler::TransformationNone;
};

// The size of every image in the file, from headers.
bool surveyQt(QImageReader& reader, Survey& survey, QString* reason) {
    // Qt paints a GIF's frames onto its logical screen, which may be larger than any
    // frame: a tiny file can ask for gigabytes there.
    if (reader.format() == "gif") {
        uchar head[10];
        if (reader.device()->peek(reinterpret_cast<char*>(head), 10) == 10) {
            const QSize screen(qFromLittleEndian<quint16>(head + 6),
                               qFromLittleEndian<quint16>(head + 8));
            if (!withinLimit(screen)) {
                setReason(reason, tooLarge(screen));
                return false;
            }
            survey.largest = screen;
        }
    }
    const int count = std::max(1, reader.imageCount());
    qint64 bestArea = -1;
    for (int i = 0; i < count; ++i) {
        if (i > 0) {
            survey.jumped = true;
            if (!reader.jumpToImage(i))
                break;
        }
        const QSize size = uprightSize(reader);
        if (i == 0)
            survey.firstTransformation = reader.transformation();
        if (!size.isValid() || size.isEmpty()) {
            if (i == 0) {
                setReason(reason, QStringLiteral("Unreadable picture header"));
                return false;
            }
            break;
        }
        if (!withinLimit(size)) {
            setReason(reason, tooLarge(size));
            return false;
        }
        survey.largest = survey.largest.expandedTo(size);
        const qint64 area = static_cast<qint64>(size.width()) * size.height();
        if (area > bestArea) {
            bestArea = area;
            survey.bestIndex = i;
        }
    }
    return true;
}

struct Source {
    Kind kind = Kind::Unknown;
    QByteArray bytes; // the whole file, for the decoders that take memory
    QFile file;
};

// Decoders that work from memory get the whole file; so do JPEG, GIF and BMP
// when they are decoded, for the completeness checks. TIFF and PNG stream.
bool openSource(const QString& path, Source& source, bool decoding, QString* reason) {
    source.file.setFileName(path);
    if (!source.file.open(QIODevice::ReadOnly)) {
        setReason(reason, QStringLiteral("Cannot open the file: ") + source.file.errorString());
        return false;
    }
    source.kind = sniff(source.file.peek(32));
    if (source.kind == Kind::Unknown) {
        setReason(reason, source.file.size() == 0 ? QStringLiteral("The file is empty")
                                                  : QStringLiteral("Not a picture file"));
        return false;
    }
    const bool checked =
        source.kind == Kind::Jpeg || source.kind == Kind::Gif || source.kind == Kind::Bmp;
    // Small files come into memory whole as well: a damaged JPEG can send Qt's reader
    // back to the end of a file tens of thousands of times, a system call each time.
    const bool small = source.file.size() <= 4 * 1024 * 1024;
    if ((decoding && checked) || small || source.kind == Kind::Jpeg2000 ||
        source.kind == Kind::Heif) {
        source.bytes = source.file.readAll();
        source.file.close();
    }
    return true;
}

// The picture stretched to the file's pixel size where its best image is smaller.
QImage toPixelSize(QImage image, const QSize& size) {
    image = pixels::toWorkingFormat(std::move(image));
    if (image.isNull() || image.size() == size)
        return image;
    QImage out(size, QImage::Format_ARGB32_Premultiplied);
    if (out.isNull())
        return {};
    out.fill(Qt::transparent);
    QPainter painter(&out);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QRect(QPoint(0, 0), size), image);
    return out;
}

QString cutOff() {
    return QStringLiteral("The picture data is cut off or damaged");
}

// A JPEG through the pooled decoder, turned upright as Qt would turn it: a cut-off file's
// rows that arrived with the rest grey, and CMYK photos, which Qt's reader takes for
// Adobe's inverted inks without their profile. Null when it cannot be decoded so.
QImage decodeJpegUpright(const Source& source, const Survey& survey, bool& outOfMemory,
                         bool* wasCut) {
    outOfMemory = false;
    QImage image = jpeg::decode(source.bytes, outOfMemory, wasCut);
    if (image.isNull())
        return {};
    const auto turn = survey.firstTransformation;
    if (turn != QImageIOHandler::TransformationNone) {
        image = image.mirrored(turn & QImageIOHandler::TransformationMirror,
                               turn & QImageIOHandler::TransformationFlip);
        if (turn & QImageIOHandler::TransformationRotate90)
            image = image.transformed(QTransform().rotate(90));
    }
    image = toPixelSize(std::move(image), survey.largest);
    outOfMemory = image.isNull();
    return image;
}

std::optional<Picture> readCutOffJpeg(const Source& source, const Survey& survey, QString* reason,
                                      bool* damaged) {
    bool outOfMemory = false;
    bool wasCut = false;
    QImage image = decodeJpegUpright(source, survey, outOfMemory, &wasCut);
    if (image.isNull()) {
        setReason(reason, outOfMemory ? noMemory() : cutOff());
        return std::nullopt;
    }
    if (damaged)
        *damaged = wasCut;
    return Picture(std::move(image));
}

std::optional<Picture> readWithQt(Source& source, QString* reason, bool* damaged) {
    QBuffer buffer(&source.bytes);
    QIODevice* device = source.bytes.isEmpty() ? static_cast<QIODevice*>(&source.file) : &buffer;
    if (device == &buffer)
        buffer.open(QIODevice::ReadOnly);
    QImageReader reader(device, qtFormat(source.kind));
    reader.setAutoTransform(true);
    Survey survey;
    if (!surveyQt(reader, survey, reason))
        return std::nullopt;
    if (source.kind == Kind::Jpeg && !jpegIsComplete(source.bytes))
        return readCutOffJpeg(source, survey, reason, damaged);
    const bool complete = source.kind == Kind::Gif   ? gifIsComplete(source.bytes)
                          : source.kind == Kind::Bmp ? bmpIsComplete(source.bytes)
                                                     : true;
    if (!complete) {
        setReason(reason, cutOff());
        return std::nullopt;
    }
    // Single-image JPEGs (every history file) take the pooled decoder.
    if (source.kind == Kind::Jpeg && !survey.jumped) {
        bool outOfMemory = false;
        QImage decoded = decodeJpegUpright(source, survey, outOfMemory, nullptr);
        if (!decoded.isNull())
            return Picture(std::move(decoded));
        if (outOfMemory) {
            setReason(reason, noMemory());
            return std::nullopt;
        }
    }
    if (survey.jumped) {
        device->seek(0);
        reader.setDevice(device);
        if (survey.bestIndex > 0)
            reader.jumpToImage(survey.bestIndex);
    }
    QImage image;
    if (!reader.read(&image) || image.isNull()) {
        setReason(reason, QStringLiteral("Damaged picture data: ") + reader.errorString());
        return std::nullopt;
    }
    const QSize size = survey.largest.expandedTo(image.size());
    image = toPixelSize(std::move(image), size);
    if (image.isNull()) {
        setReason(reason, noMemory());
        return std::nullopt;
    }
    return Picture(std::move(image));
}

// What the file says beside its pixels, read from memory or from the file mapped. A raw
// JPEG 2000 codestream has no boxes to hold any.
PhotoMetadata metadataOf(Source& source) {
    using metadata::Container;
    const std::optional<Container> container = [&]() -> std::optional<Container> {
        switch (source.kind) {
        case Kind::Jpeg:
            return Container::jpeg;
        case Kind::Png:
            return Container::png;
        case Kind::Tiff:
            return Container::tiff;
        case Kind::Jpeg2000:
            if (source.bytes.startsWith(QByteArrayLiteral("\0\0\0\x0cjP  ")))
                return Container::jpeg2000;
            return std::nullopt;
        default:
            return std::nullopt;
        }
    }();
    if (!container)
        return {};
    if (!source.bytes.isEmpty())
        return metadata::read(source.bytes, *container);
    const qint64 size = source.file.size();
    uchar* mapped = source.file.map(0, size);
    if (!mapped)
        return {};
    const PhotoMetadata found = metadata::read(
        QByteArray::fromRawData(reinterpret_cast<const char*>(mapped), size), *container);
    source.file.unmap(mapped);
    return found;
}

// Pixels stay in the photo's own RGB space under its profile. Grey and CMYK photos come
// to sRGB (CMYK ones in the decoder); a profile that cannot be used is dropped, and the
// picture taken as sRGB.
void settleColour(Picture& picture, PhotoMetadata& found) {
    if (found.iccProfile.isEmpty())
        return;
    switch (colour::kindOf(found.iccProfile)) {
    case colour::ProfileKind::rgb:
        return;
    case colour::ProfileKind::grey: {
        const std::array<QRgb, 256> colours = colour::greyToSrgb(found.iccProfile);
        QImage& image = picture.image;
        for (int y = 0; y < image.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                const QRgb straight = qUnpremultiply(row[x]);
                const QRgb c = colours[static_cast<size_t>(qGreen(straight))];
                row[x] = qPremultiply(qRgba(qRed(c), qGreen(c), qBlue(c), qAlpha(straight)));
            }
        }
        break;
    }
    case colour::ProfileKind::cmyk:
        break;
    case colour::ProfileKind::unusable:
        platform::logLine(QStringLiteral("Colour profile ignored: it is damaged or of a kind "
                                         "the editor does not take; the picture is taken as sRGB"));
        break;
    }
    found.iccProfile.clear();
}

std::optional<Picture> readPictureOrThrow(const QString& path, QString* reason, bool* damaged) {
    Source source;
    if (!openSource(path, source, true, reason))
        return std::nullopt;
    PhotoMetadata found;
    std::optional<Picture> picture;
    switch (source.kind) {
    case Kind::Jpeg2000:
        picture = Picture(jpeg2000::decode(source.bytes, ImageTools::pixelLimit(), reason));
        break;
    case Kind::Heif:
        picture = Picture(heif::decode(source.bytes, ImageTools::pixelLimit(), reason, &found));
        break;
    default:
        found = metadataOf(source);
        picture = readWithQt(source, reason, damaged);
        break;
    }
    if (source.kind == Kind::Jpeg2000)
        found = metadataOf(source);
    if (!picture || picture->image.isNull())
        return std::nullopt;
    picture->image = pixels::toWorkingFormat(std::move(picture->image));
    if (picture->image.isNull()) {
        setReason(reason, noMemory());
        return std::nullopt;
    }
    // Qt's own reading of the profile, which it would act on in places, gives way to ours.
    picture->image.setColorSpace(QColorSpace());
    settleColour(*picture, found);
    if (!found.isEmpty())
        picture->metadata = std::make_shared<const PhotoMetadata>(std::move(found));
    return picture;
}

} // namespace

std::optional<Picture> ImageTools::readPicture(const QString& path, QString* reason,
                                               bool* damaged) {
    raiseQtAllocationLimit();
    if (damaged)
        *damaged = false;
    // Qt and the standard library throw where an allocation cannot be reported
    // as an empty value; whatever was half-read is released on the way out.
    try {
        return readPictureOrThrow(path, reason, damaged);
    } catch (const std::bad_alloc&) {
        setReason(reason, noMemory());
        return std::nullopt;
    }
}

QSize ImageTools::pixelSizeOfFile(const QString& path) {
    raiseQtAllocationLimit();
    Source source;
    if (!openSource(path, source, false, nullptr))
        return {0, 0};
    QSize size;
    switch (source.kind) {
    case Kind::Jpeg2000:
        size = jpeg2000::readSize(source.bytes, ImageTools::pixelLimit(), nullptr);
        break;
    case Kind::Heif:
        size = heif::readSize(source.bytes, nullptr);
        break;
    default: {
        QBuffer buffer(&source.bytes);
        QIODevice* device =
            source.bytes.isEmpty() ? static_cast<QIODevice*>(&source.file) : &buffer;
        if (device == &buffer)
            buffer.open(QIODevice::ReadOnly);
        QImageReader reader(device, qtFormat(source.kind));
        reader.setAutoTransform(true);
        Survey survey;
        if (surveyQt(reader, survey, nullptr))
            size = survey.largest;
    }
    }
    return size.isValid() ? size : QSize(0, 0);
}

qint64 ImageTools::pixelLimit() {
    return pixelLimitInForce.load(std::memory_order_relaxed);
}

void ImageTools::setPixelLimitForTesting(qint64 pixels) {
    pixelLimitInForce.store(pixels, std::memory_order_relaxed);
}

QString ImageTools::damagedPictureNotice() {
    return QStringLiteral("The picture file is damaged; part of it may be missing.");
}

QString ImageTools::outOfMemoryReason() {
    return QStringLiteral("Not enough memory to open this picture.");
}

} // namespace vividra
