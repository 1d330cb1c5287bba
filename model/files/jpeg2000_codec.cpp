#include "model/files/jpeg2000_codec.h"

#include <QThread>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>

#include <openjpeg.h>

#include "model/files/picture_pixels.h"

namespace vividra::jpeg2000 {
namespace {

constexpr unsigned char kJp2Signature[] = {0x00, 0x00, 0x00, 0x0c, 0x6a, 0x50,
                                           0x20, 0x20, 0x0d, 0x0a, 0x87, 0x0a};
constexpr unsigned char kCodestreamSignature[] = {0xff, 0x4f, 0xff, 0x51};

bool startsWith(const QByteArray& data, const unsigned char* prefix, size_t length) {
    return static_cast<size_t>(data.size()) >= length &&
           std::memcmp(data.constData(), prefix, length) == 0;
}

bool isJp2(const QByteArray& data) {
    return startsWith(data, kJp2Signature, sizeof kJp2Signature);
}

// A growable byte buffer that OpenJPEG reads from or writes into, seeking as it
// goes (the JP2 writer goes back to fill in box lengths).
struct MemoryStream {
    QByteArray* bytes = nullptr;
    const char* readData = nullptr;
    qint64 size = 0;
    qint64 position = 0;
};

OPJ_SIZE_T readBytes(void* buffer, OPJ_SIZE_T count, void* user) {
    auto* s = static_cast<MemoryStream*>(user);
    const qint64 left = s->size - s->position;
    if (left <= 0)
        return static_cast<OPJ_SIZE_T>(-1);
    const qint64 n = std::min<qint64>(left, static_cast<qint64>(count));
    std::memcpy(buffer, s->readData + s->position, static_cast<size_t>(n));
    s->position += n;
    return static_cast<OPJ_SIZE_T>(n);
}

OPJ_SIZE_T writeBytes(void* buffer, OPJ_SIZE_T count, void* user) {
    auto* s = static_cast<MemoryStream*>(user);
    const qint64 end = s->position + static_cast<qint64>(count);
    if (end > s->bytes->size())
        s->bytes->resize(end);
    std::memcpy(s->bytes->data() + s->position, buffer, count);
    s->position = end;
    s->size = std::max(s->size, end);
    return count;
}

OPJ_OFF_T skipBytes(OPJ_OFF_T count, void* user) {
    auto* s = static_cast<MemoryStream*>(user);
    const qint64 target = s->position + count;
    if (target < 0 || (s->bytes == nullptr && target > s->size))
        return -1;
    s->position = target;
    return count;
}

OPJ_BOOL seekTo(OPJ_OFF_T position, void* user) {
    auto* s = static_cast<MemoryStream*>(user);
    if (position < 0 || (s->bytes == nullptr && position > s->size))
        return OPJ_FALSE;
    s->position = position;
    return OPJ_TRUE;
}

struct CodecDeleter {
    void operator()(opj_codec_t* c) const { opj_destroy_codec(c); }
};
struct StreamDeleter {
    void operator()(opj_stream_t* s) const { opj_stream_destroy(s); }
};
struct ImageDeleter {
    void operator()(opj_image_t* i) const { opj_image_destroy(i); }
};
using Codec = std::unique_ptr<opj_codec_t, CodecDeleter>;
using Stream = std::unique_ptr<opj_stream_t, StreamDeleter>;
using Image = std::unique_ptr<opj_image_t, ImageDeleter>;

Stream makeStream(MemoryStream& memory, bool input) {
    Stream stream(opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, input ? OPJ_TRUE : OPJ_FALSE));
    if (!stream)
        return stream;
    opj_stream_set_user_data(stream.get(), &memory, nullptr);
    if (input) {
        opj_stream_set_user_data_length(stream.get(), static_cast<OPJ_UINT64>(memory.size));
        opj_stream_set_read_function(stream.get(), readBytes);
    } else {
        opj_stream_set_write_function(stream.get(), writeBytes);
    }
    opj_stream_set_skip_function(stream.get(), skipBytes);
    opj_stream_set_seek_function(stream.get(), seekTo);
    return stream;
}

// OpenJPEG reports through callbacks; keep the first error as the reason.
void keepError(const char* message, void* user) {
    auto* text = static_cast<QString*>(user);
    if (text->isEmpty())
        *text = QString::fromUtf8(message).trimmed();
}
void ignoreMessage(const char*, void*) {}

void quieten(opj_codec_t* codec, QString* errors) {
    opj_set_error_handler(codec, keepError, errors);
    opj_set_warning_handler(codec, ignoreMessage, nullptr);
    opj_set_info_handler(codec, ignoreMessage, nullptr);
}

void setReason(QString* reason, const QString& text) {
    if (reason)
        *reason = text;
}

// The image and tile grid from the codestream's SIZ segment, read before OpenJPEG
// sees the file: it allocates its bookkeeping for every tile and component while
// reading the header, so a tiny file can ask for gigabytes there.
struct Grid {
    qint64 width = 0;
    qint64 height = 0;
    qint64 tilesAcross = 0;
    qint64 tilesDown = 0;
    int components = 0;
};

std::optional<Grid> readGrid(const QByteArray& file) {
    // SOC then SIZ starts every codestream, bare or in a JP2 file's "jp2c" box.
    const qsizetype at = file.indexOf(QByteArray("\xff\x4f\xff\x51", 4));
    if (at < 0 || file.size() < at + 42)
        return std::nullopt;
    const auto* p = reinterpret_cast<const uchar*>(file.constData()) + at + 4;
    const auto u32 = [p](int offset) {
        return static_cast<qint64>(qFromBigEndian<quint32>(p + offset));
    };
    const qint64 xsiz = u32(4), ysiz = u32(8), xosiz = u32(12), yosiz = u32(16);
    const qint64 xtsiz = u32(20), ytsiz = u32(24), xtosiz = u32(28), ytosiz = u32(32);
    if (xsiz <= xosiz || ysiz <= yosiz || xtsiz == 0 || ytsiz == 0 || xtosiz > xosiz ||
        ytosiz > yosiz)
        return std::nullopt;
    Grid grid;
    grid.width = xsiz - xosiz;
    grid.height = ysiz - yosiz;
    grid.tilesAcross = (xsiz - xtosiz + xtsiz - 1) / xtsiz;
    grid.tilesDown = (ysiz - ytosiz + ytsiz - 1) / ytsiz;
    grid.components = qFromBigEndian<quint16>(p + 36);
    return grid;
}

// Why a file is refused unread, or empty. OpenJPEG's bookkeeping costs about 20 KB per
// tile and component: a tile-component per 16,384 pixels of the limit keeps it to a
// sixth of the pixels' own memory. No layout we show has more than five components.
QString refusal(const QByteArray& file, qint64 maximumPixels) {
    const std::optional<Grid> grid = readGrid(file);
    if (!grid)
        return {};
    // Divisions, not products: each side may be up to 2^32.
    if (grid->width > maximumPixels / grid->height)
        return QStringLiteral("Picture too large: %1 × %2 pixels")
            .arg(grid->width)
            .arg(grid->height);
    if (grid->components > 16)
        return QStringLiteral("JPEG 2000 file with %1 components").arg(grid->components);
    const qint64 tileLimit = std::max<qint64>(64, maximumPixels / 16384);
    if (grid->tilesAcross > tileLimit || grid->tilesDown > tileLimit ||
        grid->tilesAcross * grid->tilesDown * std::max(1, grid->components) > tileLimit)
        return QStringLiteral("JPEG 2000 file with too many tiles: %1 × %2")
            .arg(grid->tilesAcross)
            .arg(grid->tilesDown);
    return {};
}

struct Header {
    Codec codec;
    Stream stream;
    Image image;
    MemoryStream memory;
    QString errors;
};

bool readHeader(const QByteArray& file, qint64 maximumPixels, Header& h, QString* reason) {
    if (const QString refused = refusal(file, maximumPixels); !refused.isEmpty()) {
        setReason(reason, refused);
        return false;
    }
    h.memory.readData = file.constData();
    h.memory.size = file.size();
    h.codec.reset(opj_create_decompress(isJp2(file) ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
    h.stream = makeStream(h.memory, true);
    if (!h.codec || !h.stream) {
        setReason(reason, QStringLiteral("JPEG 2000 decoder unavailable"));
        return false;
    }
    quieten(h.codec.get(), &h.errors);
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    opj_image_t* image = nullptr;
    const bool ok = opj_setup_decoder(h.codec.get(), &parameters) &&
                    opj_read_header(h.stream.get(), h.codec.get(), &image);
    h.image.reset(image);
    if (!ok || !image || image->x1 <= image->x0 || image->y1 <= image->y0 || image->numcomps == 0) {
        setReason(reason, QStringLiteral("Unreadable JPEG 2000 header") +
                              (h.errors.isEmpty() ? QString() : QStringLiteral(": ") + h.errors));
        return false;
    }
    return true;
}

// One component as 8-bit samples over the full picture grid.
struct Channel {
    const opj_image_comp_t* comp = nullptr;

    int sample(int x, int y) const {
        const int cx = std::min<int>(x / static_cast<int>(comp->dx), comp->w - 1);
        const int cy = std::min<int>(y / static_cast<int>(comp->dy), comp->h - 1);
        int v = comp->data[static_cast<size_t>(cy) * comp->w + cx];
        if (comp->sgnd)
            v += 1 << (comp->prec - 1);
        const int prec = static_cast<int>(comp->prec);
        if (prec > 8)
            v = (v + (1 << (prec - 9))) >> (prec - 8);
        else if (prec < 8)
            v = v * 255 / ((1 << prec) - 1);
        return std::clamp(v, 0, 255);
    }
};

inline int clamp255(double v) {
    return std::clamp(static_cast<int>(std::lround(v)), 0, 255);
}

QImage toQImage(const opj_image_t* image) {
    const int width = static_cast<int>(image->x1 - image->x0);
    const int height = static_cast<int>(image->y1 - image->y0);
    const int count = static_cast<int>(image->numcomps);
    for (int i = 0; i < count; ++i) {
        const opj_image_comp_t& c = image->comps[i];
        if (!c.data || c.w == 0 || c.h == 0 || c.dx == 0 || c.dy == 0 || c.prec == 0 || c.prec > 31)
            return {};
    }
    const bool cmyk = image->color_space == OPJ_CLRSPC_CMYK && count >= 4;
    const bool grey = count < 3 || image->color_space == OPJ_CLRSPC_GRAY;
    const bool ycc = image->color_space == OPJ_CLRSPC_SYCC && count >= 3;
    int alphaIndex = -1;
    for (int i = 0; i < count; ++i)
        if (image->comps[i].alpha)
            alphaIndex = i;
    if (alphaIndex < 0 && !cmyk && ((grey && count == 2) || (!grey && count >= 4)))
        alphaIndex = grey ? 1 : 3;
    if (cmyk && alphaIndex < 4)
        alphaIndex = count >= 5 ? 4 : -1;

    QImage out(width, height, alphaIndex >= 0 ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (out.isNull())
        return {};
    Channel ch[5];
    for (int i = 0; i < std::min(count, 5); ++i)
        ch[i].comp = &image->comps[i];
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < width; ++x) {
            int r, g, b;
            if (grey) {
                r = g = b = ch[0].sample(x, y);
            } else if (cmyk) {
                const int k = 255 - ch[3].sample(x, y);
                r = (255 - ch[0].sample(x, y)) * k / 255;
                g = (255 - ch[1].sample(x, y)) * k / 255;
                b = (255 - ch[2].sample(x, y)) * k / 255;
            } else if (ycc) {
                const double luma = ch[0].sample(x, y);
                const double cb = ch[1].sample(x, y) - 128.0;
                const double cr = ch[2].sample(x, y) - 128.0;
                r = clamp255(luma + 1.402 * cr);
                g = clamp255(luma - 0.344136 * cb - 0.714136 * cr);
                b = clamp255(luma + 1.772 * cb);
            } else {
                r = ch[0].sample(x, y);
                g = ch[1].sample(x, y);
                b = ch[2].sample(x, y);
            }
            const int a = alphaIndex >= 0 ? ch[alphaIndex].sample(x, y) : 255;
            row[x] = qRgba(r, g, b, a);
        }
    }
    return pixels::toWorkingFormat(std::move(out));
}

// Resolution levels halve the picture; OpenJPEG refuses more levels than the
// smaller side can hold.
int resolutionsFor(int width, int height) {
    int levels = 1;
    for (int side = std::min(width, height); side >= 2 && levels < 6; side /= 2)
        ++levels;
    return levels;
}

} // namespace

bool looksLikeJpeg2000(const QByteArray& head) {
    return isJp2(head) || startsWith(head, kCodestreamSignature, sizeof kCodestreamSignature);
}

QSize readSize(const QByteArray& file, qint64 maximumPixels, QString* reason) {
    Header h;
    if (!readHeader(file, maximumPixels, h, reason))
        return {};
    return {static_cast<int>(h.image->x1 - h.image->x0),
            static_cast<int>(h.image->y1 - h.image->y0)};
}

QImage decode(const QByteArray& file, qint64 maximumPixels, QString* reason) {
    Header h;
    if (!readHeader(file, maximumPixels, h, reason))
        return {};
    const qint64 width = h.image->x1 - h.image->x0;
    const qint64 height = h.image->y1 - h.image->y0;
    if (width * height > maximumPixels) {
        setReason(reason,
                  QStringLiteral("Picture too large: %1 × %2 pixels").arg(width).arg(height));
        return {};
    }
    opj_codec_set_threads(h.codec.get(), std::max(1, QThread::idealThreadCount()));
    if (!opj_decode(h.codec.get(), h.stream.get(), h.image.get()) ||
        !opj_end_decompress(h.codec.get(), h.stream.get())) {
        setReason(reason, QStringLiteral("Damaged JPEG 2000 data") +
                              (h.errors.isEmpty() ? QString() : QStringLiteral(": ") + h.errors));
        return {};
    }
    QImage out = toQImage(h.image.get());
    if (out.isNull())
        setReason(reason, QStringLiteral("Unsupported JPEG 2000 layout"));
    return out;
}

QByteArray encode(const QImage& source, double factor) {
    if (source.isNull())
        return {};
    const QImage straight = source.convertToFormat(QImage::Format_ARGB32);
    const bool alpha = !pixels::isOpaque(source);
    const int width = straight.width();
    const int height = straight.height();
    const int count = alpha ? 4 : 3;

    opj_image_cmptparm_t parts[4];
    std::memset(parts, 0, sizeof parts);
    for (int i = 0; i < count; ++i) {
        parts[i].dx = parts[i].dy = 1;
        parts[i].w = static_cast<OPJ_UINT32>(width);
        parts[i].h = static_cast<OPJ_UINT32>(height);
        parts[i].prec = 8;
        parts[i].sgnd = 0;
    }
    Image image(opj_image_create(static_cast<OPJ_UINT32>(count), parts, OPJ_CLRSPC_SRGB));
    if (!image)
        return {};
    image->x0 = image->y0 = 0;
    image->x1 = static_cast<OPJ_UINT32>(width);
    image->y1 = static_cast<OPJ_UINT32>(height);
    if (alpha)
        image->comps[3].alpha = 1;
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(straight.constScanLine(y));
        const size_t base = static_cast<size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            image->comps[0].data[base + x] = qRed(row[x]);
            image->comps[1].data[base + x] = qGreen(row[x]);
            image->comps[2].data[base + x] = qBlue(row[x]);
            if (alpha)
                image->comps[3].data[base + x] = qAlpha(row[x]);
        }
    }

    opj_cparameters_t parameters;
    opj_set_default_encoder_parameters(&parameters);
    parameters.tcp_numlayers = 1;
    parameters.cp_disto_alloc = 1;
    parameters.tcp_mct = 1;
    parameters.numresolution = resolutionsFor(width, height);
    if (factor >= 1.0) {
        parameters.irreversible = 0;
        parameters.tcp_rates[0] = 0; // lossless
    } else {
        // Compression ratio 100^(1 − factor): 0.9 gives 1.6:1, 0.5 gives 10:1, 0 gives 100:1.
        parameters.irreversible = 1;
        parameters.tcp_rates[0] = static_cast<float>(std::pow(100.0, 1.0 - std::max(0.0, factor)));
    }

    Codec codec(opj_create_compress(OPJ_CODEC_JP2));
    if (!codec)
        return {};
    QString errors;
    quieten(codec.get(), &errors);
    if (!opj_setup_encoder(codec.get(), &parameters, image.get()))
        return {};
    opj_codec_set_threads(codec.get(), std::max(1, QThread::idealThreadCount()));

    QByteArray bytes;
    MemoryStream memory;
    memory.bytes = &bytes;
    Stream stream = makeStream(memory, false);
    if (!stream || !opj_start_compress(codec.get(), image.get(), stream.get()) ||
        !opj_encode(codec.get(), stream.get()) || !opj_end_compress(codec.get(), stream.get()))
        return {};
    bytes.resize(memory.size);
    return bytes;
}

} // namespace vividra::jpeg2000
