#include "model/files/photo_metadata.h"

#include <QtEndian>

#include <exiv2/exiv2.hpp>

#include <array>
#include <mutex>

#include "model/platform/log.h"

namespace vividra::metadata {
namespace {

std::mutex xmpToolkit;

// Exiv2's XMP toolkit is not thread-safe on its own: it is handed a lock. Its messages
// about damaged blocks would go to standard error; the log lines below say what matters.
void initialise() {
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize(
            [](void*, bool lock) {
                if (lock)
                    xmpToolkit.lock();
                else
                    xmpToolkit.unlock();
            },
            nullptr);
    });
}

const Exiv2::byte* bytesOf(const QByteArray& data) {
    return reinterpret_cast<const Exiv2::byte*>(data.constData());
}

QByteArray toBytes(const Exiv2::byte* data, long size) {
    return size > 0 ? QByteArray(reinterpret_cast<const char*>(data), size) : QByteArray();
}

// Exiv2 0.27 hands out std::auto_ptr, which stays inside this file.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
Exiv2::Image::AutoPtr openAs(Container container, const QByteArray& data) {
    Exiv2::BasicIo::AutoPtr io(new Exiv2::MemIo(bytesOf(data), static_cast<long>(data.size())));
    switch (container) {
    case Container::jpeg:
        return Exiv2::Image::AutoPtr(new Exiv2::JpegImage(io, false));
    case Container::png:
        return Exiv2::Image::AutoPtr(new Exiv2::PngImage(io, false));
    case Container::tiff:
        return Exiv2::Image::AutoPtr(new Exiv2::TiffImage(io, false));
    case Container::jpeg2000:
        break;
    }
    return Exiv2::Image::AutoPtr(new Exiv2::Jp2Image(io, false));
}
#pragma GCC diagnostic pop

// What our own encoders wrote, by its first bytes.
Container containerOf(const QByteArray& encoded) {
    if (encoded.startsWith("\xff\xd8"))
        return Container::jpeg;
    if (encoded.startsWith("\x89PNG"))
        return Container::png;
    if (encoded.startsWith("II*") || encoded.startsWith("MM\0*"))
        return Container::tiff;
    return Container::jpeg2000;
}

// Runs `work`, turning whatever Exiv2 throws into a log line; whether it went through.
template <typename Work> bool guarded(const char* what, Work&& work) {
    try {
        work();
        return true;
    } catch (const std::exception& e) {
        platform::logLine(QStringLiteral("Metadata: %1 dropped (%2)")
                              .arg(QLatin1String(what), QString::fromLocal8Bit(e.what())));
    } catch (...) {
        platform::logLine(QStringLiteral("Metadata: %1 dropped").arg(QLatin1String(what)));
    }
    return false;
}

QByteArray encodeExif(const Exiv2::ExifData& exif, Exiv2::ByteOrder order) {
    Exiv2::Blob blob;
    Exiv2::ExifParser::encode(blob, order, exif);
    return toBytes(blob.data(), static_cast<long>(blob.size()));
}

QByteArray encodeXmp(const Exiv2::XmpData& xmp) {
    std::string packet;
    if (xmp.empty() || Exiv2::XmpParser::encode(packet, xmp) != 0)
        return {};
    return QByteArray::fromStdString(packet);
}

quint32 crc32(const QByteArray& data) {
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xedb88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    quint32 c = 0xffffffffu;
    for (const char byte : data)
        c = table[(c ^ static_cast<quint8>(byte)) & 0xff] ^ (c >> 8);
    return c ^ 0xffffffffu;
}

// `chunk` put in before the first chunk named `before`.
QByteArray withPngChunk(const QByteArray& png, const char* type, const QByteArray& data,
                        const char* before) {
    const qsizetype at = png.indexOf(before);
    if (data.isEmpty() || at < 12)
        return png;
    const QByteArray body = QByteArray(type) + data;
    QByteArray chunk(4, '\0');
    qToBigEndian(static_cast<quint32>(data.size()), chunk.data());
    chunk += body;
    QByteArray crc(4, '\0');
    qToBigEndian(crc32(body), crc.data());
    return QByteArray(png).insert(at - 4, chunk + crc);
}

// Exiv2 writes PNG profiles without a name, which libpng, and so most viewers, refuse;
// and EXIF as text, where readers now expect the standard chunk. Both are written here.
QByteArray withPngColourAndExif(const QByteArray& png, const QByteArray& icc,
                                const QByteArray& exif) {
    const QByteArray named =
        icc.isEmpty() ? QByteArray() : QByteArrayLiteral("ICC Profile\0\0") + qCompress(icc).mid(4);
    // Both at the end of the headers, before the image data; the pictures written here have
    // no palette, which the profile would have to precede.
    return withPngChunk(withPngChunk(png, "iCCP", named, "IEND"), "eXIf", exif, "IEND");
}

const QByteArray kJpegEnd("\xff\xd9", 2);
const QByteArray kPngEnd("\0\0\0\0IEND\xae\x42\x60\x82", 12);

// Where a JPEG's first scan or a PNG's first image data begins: all before it is headers,
// where the blocks go. -1 for other formats, or when the headers do not lead there.
qsizetype imageDataStart(const QByteArray& file) {
    const auto* p = reinterpret_cast<const uchar*>(file.constData());
    const qsizetype n = file.size();
    if (file.startsWith("\xff\xd8")) {
        for (qsizetype i = 2; i + 4 <= n;) {
            if (p[i] != 0xff)
                return -1;
            if (p[i + 1] == 0xda)
                return i;
            i += 2 + qFromBigEndian<quint16>(p + i + 2);
        }
    } else if (file.startsWith("\x89PNG\r\n\x1a\n")) {
        for (qsizetype i = 8; i + 8 <= n;) {
            if (file.mid(i + 4, 4) == "IDAT")
                return i;
            i += 12 + static_cast<qsizetype>(qFromBigEndian<quint32>(p + i));
        }
    }
    return -1;
}

enum class Blocks { all, withoutExif, profileOnly };

// One attempt at writing the blocks into a copy of `encoded`; throws what Exiv2 throws.
QByteArray write(const QByteArray& encoded, const PhotoMetadata& metadata, QSize pixels,
                 Blocks blocks) {
    const Container container = containerOf(encoded);
    auto image = openAs(container, encoded);
    const bool png = container == Container::png;
    if (!metadata.iccProfile.isEmpty() && !png) {
        Exiv2::DataBuf profile(bytesOf(metadata.iccProfile),
                               static_cast<long>(metadata.iccProfile.size()));
        image->setIccProfile(profile, true);
    }
    if (blocks != Blocks::profileOnly) {
        if (const QByteArray exif = exportedExif(metadata.exif, pixels);
            !exif.isEmpty() && !png && blocks == Blocks::all) {
            Exiv2::ExifData data;
            Exiv2::ExifParser::decode(data, bytesOf(exif), static_cast<uint32_t>(exif.size()));
            image->setExifData(data);
        }
        if (const QByteArray xmp = exportedXmp(metadata.xmp, pixels); !xmp.isEmpty()) {
            Exiv2::XmpData data;
            if (Exiv2::XmpParser::decode(data, xmp.toStdString()) == 0)
                image->setXmpData(data);
        }
        if (!metadata.iptc.isEmpty()) {
            Exiv2::IptcData data;
            if (Exiv2::IptcParser::decode(data, bytesOf(metadata.iptc),
                                          static_cast<uint32_t>(metadata.iptc.size())) == 0)
                image->setIptcData(data);
        }
    }
    image->writeMetadata();
    Exiv2::BasicIo& io = image->io();
    if (io.open() != 0)
        throw Exiv2::Error(Exiv2::kerDataSourceOpenFailed, "memory", "");
    QByteArray out(static_cast<qsizetype>(io.size()), Qt::Uninitialized);
    const long read = io.read(reinterpret_cast<Exiv2::byte*>(out.data()), io.size());
    io.close();
    if (read != static_cast<long>(out.size()))
        throw Exiv2::Error(Exiv2::kerInputDataReadFailed);
    if (png)
        out = withPngColourAndExif(out, metadata.iccProfile,
                                   blocks == Blocks::all ? exportedExif(metadata.exif, pixels)
                                                         : QByteArray());
    return out;
}

} // namespace

PhotoMetadata read(const QByteArray& file, Container container) {
    initialise();
    PhotoMetadata found;
    guarded("the file's metadata", [&] {
        auto image = openAs(container, file);
        image->readMetadata();
        if (image->iccProfileDefined())
            found.iccProfile = toBytes(image->iccProfile()->pData_, image->iccProfile()->size_);
        if (!image->exifData().empty())
            guarded("EXIF",
                    [&] { found.exif = encodeExif(image->exifData(), image->byteOrder()); });
        found.xmp = QByteArray::fromStdString(image->xmpPacket());
        if (!image->iptcData().empty())
            guarded("IPTC", [&] {
                const Exiv2::DataBuf iptc = Exiv2::IptcParser::encode(image->iptcData());
                found.iptc = toBytes(iptc.pData_, iptc.size_);
            });
    });
    return found;
}

QByteArray exportedExif(const QByteArray& exif, QSize pixels) {
    if (exif.isEmpty())
        return {};
    initialise();
    QByteArray out;
    guarded("EXIF", [&] {
        Exiv2::ExifData data;
        const Exiv2::ByteOrder order =
            Exiv2::ExifParser::decode(data, bytesOf(exif), static_cast<uint32_t>(exif.size()));
        Exiv2::ExifThumb(data).erase();
        data["Exif.Image.Orientation"] = static_cast<uint16_t>(1);
        data["Exif.Photo.PixelXDimension"] = static_cast<uint32_t>(pixels.width());
        data["Exif.Photo.PixelYDimension"] = static_cast<uint32_t>(pixels.height());
        out = encodeExif(data, order == Exiv2::invalidByteOrder ? Exiv2::littleEndian : order);
    });
    return out;
}

QByteArray exportedXmp(const QByteArray& xmp, QSize pixels) {
    if (xmp.isEmpty())
        return {};
    initialise();
    QByteArray out;
    guarded("XMP", [&] {
        Exiv2::XmpData data;
        // Cameras' own tools write packets the XMP toolkit rejects, such as one property given
        // twice; a packet that does not parse cannot be corrected, so it is not passed on.
        if (Exiv2::XmpParser::decode(data, xmp.toStdString()) != 0)
            throw Exiv2::Error(Exiv2::kerErrorMessage, "the packet is not valid XMP");
        // Only what the packet already says is corrected; a packet is not made to grow.
        const auto set = [&data](const char* key, const std::string& value) {
            if (data.findKey(Exiv2::XmpKey(key)) != data.end())
                data[key] = value;
        };
        set("Xmp.tiff.Orientation", "1");
        set("Xmp.exif.PixelXDimension", std::to_string(pixels.width()));
        set("Xmp.exif.PixelYDimension", std::to_string(pixels.height()));
        set("Xmp.tiff.ImageWidth", std::to_string(pixels.width()));
        set("Xmp.tiff.ImageLength", std::to_string(pixels.height()));
        out = encodeXmp(data);
    });
    return out;
}

QByteArray embed(const QByteArray& encoded, const PhotoMetadata& metadata, QSize pixels) {
    if (metadata.isEmpty())
        return encoded;
    initialise();
    // Exiv2 copies a whole file several times over as it writes; of a JPEG or a PNG it is
    // given the headers alone, closed as a file, and the picture data is joined after.
    const qsizetype data = imageDataStart(encoded);
    const QByteArray& end = encoded.startsWith("\xff\xd8") ? kJpegEnd : kPngEnd;
    const QByteArray subject = data > 0 ? encoded.left(data) + end : encoded;
    // A block the format cannot take (EXIF past a JPEG segment's 64 kB, say) costs that
    // block, not the others.
    for (const Blocks blocks : {Blocks::all, Blocks::withoutExif, Blocks::profileOnly}) {
        QByteArray out;
        if (!guarded("blocks for the exported picture",
                     [&] { out = write(subject, metadata, pixels, blocks); }))
            continue;
        if (data <= 0)
            return out;
        if (out.endsWith(end)) {
            out.chop(end.size());
            out.reserve(out.size() + encoded.size() - data);
            return out.append(encoded.constData() + data, encoded.size() - data);
        }
    }
    return encoded;
}

} // namespace vividra::metadata
