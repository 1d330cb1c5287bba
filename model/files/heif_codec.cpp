#include "model/files/heif_codec.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <QThread>
#include <QtEndian>

#include <libheif/heif.h>

#include "kernels/parallel.h"
#include "model/colour/photo_colour.h"
#include "model/files/photo_metadata.h"
#include "model/files/picture_pixels.h"

namespace vividra::heif {
namespace {

// Loads libheif's plugins once for the whole process; never undone, since
// pool threads may still be decoding at exit.
void initialise() {
    static std::once_flag once;
    std::call_once(once, [] { heif_init(nullptr); });
}

struct ContextDeleter {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleDeleter {
    void operator()(const heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageDeleter {
    void operator()(const heif_image* i) const { heif_image_release(i); }
};
struct EncoderDeleter {
    void operator()(heif_encoder* e) const { heif_encoder_release(e); }
};
using Context = std::unique_ptr<heif_context, ContextDeleter>;
using Handle = std::unique_ptr<const heif_image_handle, HandleDeleter>;
using Image = std::unique_ptr<const heif_image, ImageDeleter>;
using Encoder = std::unique_ptr<heif_encoder, EncoderDeleter>;

QByteArray metadataBlock(const heif_image_handle* handle, heif_item_id id) {
    QByteArray block(static_cast<qsizetype>(heif_image_handle_get_metadata_size(handle, id)),
                     Qt::Uninitialized);
    if (heif_image_handle_get_metadata(handle, id, block.data()).code != heif_error_Ok)
        return {};
    return block;
}

// The profile as stored, or one made from the primaries and transfer an nclx box names.
QByteArray colourProfile(const heif_image_handle* handle) {
    switch (heif_image_handle_get_color_profile_type(handle)) {
    case heif_color_profile_type_prof:
    case heif_color_profile_type_rICC: {
        QByteArray icc(static_cast<qsizetype>(heif_image_handle_get_raw_color_profile_size(handle)),
                       Qt::Uninitialized);
        if (heif_image_handle_get_raw_color_profile(handle, icc.data()).code != heif_error_Ok)
            return {};
        return icc;
    }
    case heif_color_profile_type_nclx: {
        heif_color_profile_nclx* nclx = nullptr;
        if (heif_image_handle_get_nclx_color_profile(handle, &nclx).code != heif_error_Ok || !nclx)
            return {};
        const QByteArray icc = colour::profileFromPrimaries(
            {nclx->color_primary_red_x, nclx->color_primary_red_y, nclx->color_primary_green_x,
             nclx->color_primary_green_y, nclx->color_primary_blue_x, nclx->color_primary_blue_y,
             nclx->color_primary_white_x, nclx->color_primary_white_y},
            static_cast<int>(nclx->transfer_characteristics));
        heif_nclx_color_profile_free(nclx);
        return icc;
    }
    default:
        return {};
    }
}

PhotoMetadata metadataOf(const heif_image_handle* handle) {
    PhotoMetadata found;
    found.iccProfile = colourProfile(handle);
    const int count = heif_image_handle_get_number_of_metadata_blocks(handle, nullptr);
    std::vector<heif_item_id> ids(static_cast<size_t>(std::clamp(count, 0, 64)));
    heif_image_handle_get_list_of_metadata_block_IDs(handle, nullptr, ids.data(),
                                                     static_cast<int>(ids.size()));
    for (const heif_item_id id : ids) {
        const QByteArray type = heif_image_handle_get_metadata_type(handle, id);
        if (type == "Exif" && found.exif.isEmpty()) {
            // Four bytes of offset to the TIFF header come first.
            const QByteArray block = metadataBlock(handle, id);
            if (block.size() > 4) {
                const quint32 offset = qFromBigEndian<quint32>(block.constData());
                if (offset < static_cast<quint32>(block.size() - 4))
                    found.exif = block.mid(4 + offset);
            }
        } else if (type == "mime" && found.xmp.isEmpty() &&
                   QByteArray(heif_image_handle_get_metadata_content_type(handle, id)) ==
                       "application/rdf+xml") {
            found.xmp = metadataBlock(handle, id);
        }
    }
    return found;
}

void setReason(QString* reason, const QString& text) {
    if (reason)
        *reason = text;
}

QString describe(const heif_error& error) {
    return QString::fromUtf8(error.message ? error.message : "unknown error");
}

// The file's bytes must outlive the context: it reads them in place.
Context open(const QByteArray& file, QString* reason) {
    initialise();
    Context context(heif_context_alloc());
    if (!context) {
        setReason(reason, QStringLiteral("HEIF decoder unavailable"));
        return {};
    }
    const heif_error error = heif_context_read_from_memory_without_copy(
        context.get(), file.constData(), static_cast<size_t>(file.size()), nullptr);
    if (error.code != heif_error_Ok) {
        setReason(reason, QStringLiteral("Unreadable HEIF file: ") + describe(error));
        return {};
    }
    return context;
}

struct Sizes {
    QSize largest;      // after each image's rotation and cropping
    qint64 decoded = 0; // the most pixels any image decodes to before cropping
};

Sizes surveySizes(heif_context* context, QString* reason) {
    const int count = heif_context_get_number_of_top_level_images(context);
    if (count <= 0) {
        setReason(reason, QStringLiteral("HEIF file holds no image"));
        return {};
    }
    std::vector<heif_item_id> ids(static_cast<size_t>(count));
    heif_context_get_list_of_top_level_image_IDs(context, ids.data(), count);
    Sizes sizes{QSize(0, 0), 0};
    for (const heif_item_id id : ids) {
        heif_image_handle* raw = nullptr;
        if (heif_context_get_image_handle(context, id, &raw).code != heif_error_Ok)
            continue;
        Handle handle(raw);
        const QSize shown(heif_image_handle_get_width(raw), heif_image_handle_get_height(raw));
        sizes.largest = sizes.largest.expandedTo(shown);
        const qint64 stored = static_cast<qint64>(heif_image_handle_get_ispe_width(raw)) *
                              heif_image_handle_get_ispe_height(raw);
        sizes.decoded =
            std::max({sizes.decoded, stored, static_cast<qint64>(shown.width()) * shown.height()});
    }
    if (sizes.largest.isEmpty()) {
        setReason(reason, QStringLiteral("HEIF file holds no readable image"));
        return {};
    }
    return sizes;
}

// A derived image (a grid of tiles or an overlay) is decoded onto a canvas whose size
// is in its own descriptor, not in the sizes libheif reports for the image, so a file
// of a few hundred bytes can ask for gigabytes. The container is read here, as far as
// needed to find the primary image's canvas and how many images it is made of.
class Boxes {
public:
    explicit Boxes(const QByteArray& file)
        : data_(reinterpret_cast<const uchar*>(file.constData())), size_(file.size()) {}

    struct Box {
        qsizetype body = 0; // after the header
        qsizetype end = 0;
        QByteArray type;
    };

    // The boxes from `at` to `end`, in order; stops at the first malformed one.
    std::vector<Box> children(qsizetype at, qsizetype end) const {
        std::vector<Box> out;
        while (at + 8 <= end) {
            quint64 length = u32(at);
            qsizetype header = 8;
            if (length == 1) {
                if (at + 16 > end)
                    break;
                length = (quint64(u32(at + 8)) << 32) | u32(at + 12);
                header = 16;
            } else if (length == 0) {
                length = static_cast<quint64>(end - at);
            }
            if (length < static_cast<quint64>(header) || length > static_cast<quint64>(end - at))
                break;
            out.push_back({at + header, at + static_cast<qsizetype>(length),
                           QByteArray(reinterpret_cast<const char*>(data_ + at + 4), 4)});
            at += static_cast<qsizetype>(length);
        }
        return out;
    }
    const Box* find(const std::vector<Box>& boxes, const char* type) const {
        for (const Box& b : boxes)
            if (b.type == type)
                return &b;
        return nullptr;
    }
    bool has(qsizetype at, qsizetype count) const {
        return at >= 0 && count >= 0 && at + count <= size_;
    }
    quint32 u8(qsizetype at) const { return data_[at]; }
    quint32 u16(qsizetype at) const { return (quint32(data_[at]) << 8) | data_[at + 1]; }
    quint32 u32(qsizetype at) const { return (quint32(u16(at)) << 16) | u16(at + 2); }
    // An unsigned number of 0, 2, 4 or 8 bytes; nothing past `end`.
    std::optional<quint64> number(qsizetype& at, int bytes, qsizetype end) const {
        if (at + bytes > end)
            return std::nullopt;
        quint64 v = 0;
        for (int i = 0; i < bytes; ++i)
            v = (v << 8) | data_[at + i];
        at += bytes;
        return v;
    }

private:
    const uchar* data_;
    qsizetype size_;
};

struct Canvas {
    QSize size;
    qint64 parts = 0; // images it is made of
};

std::optional<Canvas> primaryCanvas(const QByteArray& file) {
    const Boxes boxes(file);
    const auto top = boxes.children(0, file.size());
    const Boxes::Box* meta = boxes.find(top, "meta");
    if (!meta)
        return std::nullopt;
    const auto inMeta = boxes.children(meta->body + 4, meta->end);
    const Boxes::Box* pitm = boxes.find(inMeta, "pitm");
    const Boxes::Box* iinf = boxes.find(inMeta, "iinf");
    const Boxes::Box* iloc = boxes.find(inMeta, "iloc");
    if (!pitm || !iinf || !iloc || pitm->end - pitm->body < 6)
        return std::nullopt;
    const quint32 primary =
        boxes.u8(pitm->body) == 0 ? boxes.u16(pitm->body + 4) : boxes.u32(pitm->body + 4);

    // The primary item's type.
    QByteArray type;
    const qsizetype entries = iinf->body + 4 + (boxes.u8(iinf->body) == 0 ? 2 : 4);
    for (const Boxes::Box& infe : boxes.children(entries, iinf->end)) {
        const quint32 version = infe.end - infe.body >= 12 ? boxes.u8(infe.body) : 0;
        if (infe.type != "infe" || version < 2)
            continue;
        const qsizetype id = infe.body + 4;
        const quint32 item = version == 2 ? boxes.u16(id) : boxes.u32(id);
        const qsizetype at = id + (version == 2 ? 2 : 4) + 2;
        if (item == primary && at + 4 <= infe.end)
            type = QByteArray(file.constData() + at, 4);
    }
    if (type != "grid" && type != "iovl")
        return std::nullopt;

    // Where its descriptor is: the first extent of its location.
    qsizetype at = iloc->body;
    const int version = static_cast<int>(boxes.u8(at));
    at += 4;
    if (at + 2 > iloc->end)
        return std::nullopt;
    const int offsetSize = static_cast<int>(boxes.u8(at) >> 4);
    const int lengthSize = static_cast<int>(boxes.u8(at) & 15);
    const int baseSize = static_cast<int>(boxes.u8(at + 1) >> 4);
    const int indexSize = version >= 1 ? static_cast<int>(boxes.u8(at + 1) & 15) : 0;
    at += 2;
    const auto count = boxes.number(at, version < 2 ? 2 : 4, iloc->end);
    std::optional<qint64> descriptor;
    for (quint64 i = 0; count && i < *count && !descriptor; ++i) {
        const auto item = boxes.number(at, version < 2 ? 2 : 4, iloc->end);
        const auto method = version >= 1 ? boxes.number(at, 2, iloc->end) : quint64{0};
        const auto reference = boxes.number(at, 2, iloc->end);
        const auto base = boxes.number(at, baseSize, iloc->end);
        const auto extents = boxes.number(at, 2, iloc->end);
        if (!item || !method || !reference || !base || !extents)
            return std::nullopt;
        for (quint64 e = 0; e < *extents; ++e) {
            const auto index = boxes.number(at, indexSize, iloc->end);
            const auto offset = boxes.number(at, offsetSize, iloc->end);
            const auto length = boxes.number(at, lengthSize, iloc->end);
            if (!index || !offset || !length)
                return std::nullopt;
            if (*item != primary || e > 0 || *base > quint64(file.size()) ||
                *offset > quint64(file.size()))
                continue;
            qint64 start = static_cast<qint64>(*base + *offset);
            if ((*method & 15) == 1) {
                const Boxes::Box* idat = boxes.find(inMeta, "idat");
                if (!idat)
                    return std::nullopt;
                start += idat->body;
            }
            descriptor = start;
        }
    }
    if (!descriptor)
        return std::nullopt;

    // The canvas: after the grid's rows and columns, or the overlay's fill colour.
    qsizetype d = static_cast<qsizetype>(*descriptor);
    if (!boxes.has(d, 2))
        return std::nullopt;
    const bool wide = boxes.u8(d + 1) & 1;
    d += type == "grid" ? 4 : 2 + 8;
    const auto width = boxes.number(d, wide ? 4 : 2, file.size());
    const auto height = boxes.number(d, wide ? 4 : 2, file.size());
    if (!width || !height)
        return std::nullopt;
    Canvas canvas;
    canvas.size = QSize(static_cast<int>(std::min<quint64>(*width, INT_MAX)),
                        static_cast<int>(std::min<quint64>(*height, INT_MAX)));

    // The images it is made of: the primary's "dimg" references.
    if (const Boxes::Box* iref = boxes.find(inMeta, "iref"); iref && boxes.has(iref->body, 4)) {
        const int idSize = boxes.u8(iref->body) == 0 ? 2 : 4;
        for (const Boxes::Box& r : boxes.children(iref->body + 4, iref->end)) {
            qsizetype p = r.body;
            const auto from = boxes.number(p, idSize, r.end);
            const auto references = boxes.number(p, 2, r.end);
            if (r.type == "dimg" && from && references && *from == primary)
                canvas.parts += static_cast<qint64>(*references);
        }
    }
    return canvas;
}

heif_error appendBytes(heif_context*, const void* data, size_t size, void* user) {
    static_cast<QByteArray*>(user)->append(static_cast<const char*>(data),
                                           static_cast<qsizetype>(size));
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, "Success"};
}

} // namespace

bool looksLikeHeif(const QByteArray& head) {
    if (head.size() < 12)
        return false;
    const heif_filetype_result kind = heif_check_filetype(
        reinterpret_cast<const uint8_t*>(head.constData()), static_cast<int>(head.size()));
    return kind == heif_filetype_yes_supported || kind == heif_filetype_yes_unsupported;
}

QSize readSize(const QByteArray& file, QString* reason) {
    Context context = open(file, reason);
    return context ? surveySizes(context.get(), reason).largest : QSize();
}

QImage decode(const QByteArray& file, qint64 maximumPixels, QString* reason, PhotoMetadata* found) {
    Context context = open(file, reason);
    if (!context)
        return {};
    const Sizes sizes = surveySizes(context.get(), reason);
    if (!sizes.largest.isValid())
        return {};
    if (sizes.decoded > maximumPixels) {
        setReason(reason, QStringLiteral("Picture too large: %1 pixels").arg(sizes.decoded));
        return {};
    }
    if (const std::optional<Canvas> canvas = primaryCanvas(file)) {
        const qint64 pixels = static_cast<qint64>(canvas->size.width()) * canvas->size.height();
        if (pixels > maximumPixels) {
            setReason(reason, QStringLiteral("Picture too large: %1 × %2 pixels")
                                  .arg(canvas->size.width())
                                  .arg(canvas->size.height()));
            return {};
        }
        // Each part is decoded on its own; a tile per 16,384 pixels of the limit
        // keeps a file of one small tile repeated from running for minutes.
        if (canvas->parts > std::max<qint64>(64, maximumPixels / 16384)) {
            setReason(reason,
                      QStringLiteral("HEIF picture made of too many tiles: %1").arg(canvas->parts));
            return {};
        }
    }
    heif_image_handle* rawHandle = nullptr;
    heif_error error = heif_context_get_primary_image_handle(context.get(), &rawHandle);
    if (error.code != heif_error_Ok) {
        setReason(reason, QStringLiteral("HEIF file has no primary image: ") + describe(error));
        return {};
    }
    Handle handle(rawHandle);
    if (found)
        *found = metadataOf(rawHandle);
    const bool alpha = heif_image_handle_has_alpha_channel(rawHandle) != 0;
    const bool premultiplied = alpha && heif_image_handle_is_premultiplied_alpha(rawHandle) != 0;
    heif_image* rawImage = nullptr;
    error = heif_decode_image(rawHandle, &rawImage, heif_colorspace_RGB,
                              alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                              nullptr);
    if (error.code != heif_error_Ok) {
        setReason(reason, QStringLiteral("Damaged HEIF data: ") + describe(error));
        return {};
    }
    Image image(rawImage);
    int stride = 0;
    const uint8_t* plane =
        heif_image_get_plane_readonly(rawImage, heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(rawImage, heif_channel_interleaved);
    const int height = heif_image_get_height(rawImage, heif_channel_interleaved);
    if (!plane || width <= 0 || height <= 0) {
        setReason(reason, QStringLiteral("Damaged HEIF data"));
        return {};
    }
    // The picture must be the size its header declares, which is what the file is
    // taken in at before it is decoded.
    const QSize declared(heif_image_handle_get_width(rawHandle),
                         heif_image_handle_get_height(rawHandle));
    if (QSize(width, height) != declared) {
        setReason(reason, QStringLiteral("Damaged HEIF data: a %1 × %2 picture declared as %3 × %4")
                              .arg(width)
                              .arg(height)
                              .arg(declared.width())
                              .arg(declared.height()));
        return {};
    }
    const QImage::Format format = !alpha          ? QImage::Format_RGB888
                                  : premultiplied ? QImage::Format_RGBA8888_Premultiplied
                                                  : QImage::Format_RGBA8888;
    // Wraps libheif's plane; the conversion makes the copy we keep.
    const QImage wrapped(plane, width, height, stride, format);
    QImage out = wrapped.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    // Like every reader, at the file's pixel size: the largest of its images.
    if (!out.isNull() && out.size() != sizes.largest)
        out = out.scaled(sizes.largest, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (out.isNull())
        setReason(reason, QStringLiteral("Not enough memory to open this picture."));
    return out;
}

bool canEncode() {
    initialise();
    return heif_have_encoder_for_format(heif_compression_HEVC) != 0;
}

QByteArray encode(const QImage& source, int quality, const PhotoMetadata& metadata) {
    if (source.isNull() || !canEncode())
        return {};
    const bool alpha = !pixels::isOpaque(source);
    // An opaque picture of 32-bit pixels goes into libheif's plane as it is read, which
    // spares a converted copy of the whole picture (72 MB at 24 MP).
    const bool direct = !alpha && (source.format() == QImage::Format_ARGB32_Premultiplied ||
                                   source.format() == QImage::Format_ARGB32 ||
                                   source.format() == QImage::Format_RGB32);
    const QImage rgb =
        direct ? source
               : source.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    if (rgb.isNull())
        return {};
    const int width = rgb.width();
    const int height = rgb.height();

    heif_image* rawImage = nullptr;
    if (heif_image_create(width, height, heif_colorspace_RGB,
                          alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                          &rawImage)
            .code != heif_error_Ok)
        return {};
    Image image(rawImage);
    if (heif_image_add_plane(rawImage, heif_channel_interleaved, width, height, 8).code !=
        heif_error_Ok)
        return {};
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(rawImage, heif_channel_interleaved, &stride);
    if (!plane)
        return {};
    const size_t rowBytes = static_cast<size_t>(width) * (alpha ? 4 : 3);
    const auto copyRows = [&](int begin, int end) {
        for (int y = begin; y < end; ++y) {
            uint8_t* out = plane + static_cast<ptrdiff_t>(y) * stride;
            if (!direct) {
                std::memcpy(out, rgb.constScanLine(y), rowBytes);
                continue;
            }
            const auto* in = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
            for (int x = 0; x < width; ++x, out += 3) {
                out[0] = static_cast<uint8_t>(qRed(in[x]));
                out[1] = static_cast<uint8_t>(qGreen(in[x]));
                out[2] = static_cast<uint8_t>(qBlue(in[x]));
            }
        }
    };
    // Rows the pool could not take are all done again here.
    if (!fx::parallelRows(height, copyRows))
        copyRows(0, height);
    if (!metadata.iccProfile.isEmpty())
        heif_image_set_raw_color_profile(rawImage, "prof", metadata.iccProfile.constData(),
                                         static_cast<size_t>(metadata.iccProfile.size()));

    Context context(heif_context_alloc());
    heif_encoder* rawEncoder = nullptr;
    if (!context ||
        heif_context_get_encoder_for_format(context.get(), heif_compression_HEVC, &rawEncoder)
                .code != heif_error_Ok)
        return {};
    Encoder encoder(rawEncoder);
    heif_encoder_set_lossy_quality(rawEncoder, std::clamp(quality, 0, 100));
    // At quality 100 nearly every coefficient is coded, and x265's search hardly
    // pays: "ultrafast" encodes a 24 MP photo in about a third of the time of "fast"
    // for a file about 12 % larger. libheif then widens its blocks to 64, turns
    // adaptive quantisation and psychovisual tuning back on and stops skipping
    // recursion, which cost time for no smaller file here; the lightest
    // rate-distortion level loses nothing measurable either. A smallest block of 32
    // would save about 40 % more, but x265 then writes a file that depends on the
    // encodes before it in the process. One worker per core.
    heif_encoder_set_parameter(rawEncoder, "preset", "ultrafast");
    heif_encoder_set_parameter(rawEncoder, "x265:ctu", "32");
    heif_encoder_set_parameter(rawEncoder, "x265:aq-mode", "0");
    heif_encoder_set_parameter(rawEncoder, "x265:psy-rd", "0");
    heif_encoder_set_parameter(rawEncoder, "x265:rd", "1");
    heif_encoder_set_parameter(rawEncoder, "x265:rskip", "1");
    heif_encoder_set_parameter(rawEncoder, "x265:pools",
                               std::to_string(std::max(1, QThread::idealThreadCount())).c_str());
    heif_image_handle* rawHandle = nullptr;
    if (heif_context_encode_image(context.get(), rawImage, rawEncoder, nullptr, &rawHandle).code !=
        heif_error_Ok)
        return {};
    Handle handle(rawHandle);
    // A block that does not go in costs only itself.
    const QSize pixels(width, height);
    if (const QByteArray exif = metadata::exportedExif(metadata.exif, pixels); !exif.isEmpty())
        heif_context_add_exif_metadata(context.get(), rawHandle, exif.constData(),
                                       static_cast<int>(exif.size()));
    if (const QByteArray xmp = metadata::exportedXmp(metadata.xmp, pixels); !xmp.isEmpty())
        heif_context_add_XMP_metadata(context.get(), rawHandle, xmp.constData(),
                                      static_cast<int>(xmp.size()));

    QByteArray bytes;
    heif_writer writer{};
    writer.writer_api_version = 1;
    writer.write = appendBytes;
    if (heif_context_write(context.get(), &writer, &bytes).code != heif_error_Ok)
        return {};
    return bytes;
}

} // namespace vividra::heif
