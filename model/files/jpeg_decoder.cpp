#include "model/files/jpeg_decoder.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <new>

#include <jpeglib.h>
// After jpeglib.h, which it needs.
#include <jerror.h>

#include "model/colour/photo_colour.h"
#include "model/files/picture_pixels.h"

namespace vividra::jpeg {
namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf escape;
    bool ranOut = false;
    bool rowsBeforeEnd = false;
};

[[noreturn]] void escapeOnError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->escape, 1);
}

// Warnings about stray bytes are common in camera files and harmless. Running
// out of data is noted: libjpeg then fills every block still to come with
// zeros, which is mid grey, so the picture is whole if any row came before.
void noteMessage(j_common_ptr info, int level) {
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    if (level >= 0 || info->err->msg_code != JWRN_JPEG_EOF || errors->ranOut)
        return;
    errors->ranOut = true;
    const auto* d = reinterpret_cast<j_decompress_ptr>(info);
    // No scan started yet, or the first one cut within its first row of blocks.
    errors->rowsBeforeEnd =
        d->input_scan_number > 1 || (d->input_scan_number == 1 && d->input_iMCU_row > 0);
}

struct Decoded {
    QImage image;
    JOCTET* icc = nullptr;
    unsigned iccLength = 0;
    bool outOfMemory = false;
    bool cmyk = false; // the rows hold inks, converted after the decode
    bool adobe = false;
};

// Kept free of objects with destructors between setjmp and longjmp.
bool run(jpeg_decompress_struct& info, ErrorManager& errors, const QByteArray& file, Decoded& out) {
    if (setjmp(errors.escape)) {
        out.outOfMemory = errors.base.msg_code == JERR_OUT_OF_MEMORY;
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(file.constData()),
                 static_cast<unsigned long>(file.size()));
    jpeg_save_markers(&info, JPEG_APP0 + 2, 0xffff);
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK)
        return false;
    out.cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    if (info.jpeg_color_space != JCS_YCbCr && info.jpeg_color_space != JCS_RGB &&
        info.jpeg_color_space != JCS_GRAYSCALE && !out.cmyk)
        return false;
    out.adobe = info.saw_Adobe_marker;
    // Alpha 0xff: already premultiplied ARGB32. Inks take the same four bytes a pixel.
    info.out_color_space = out.cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    info.dct_method = JDCT_ISLOW;
    jpeg_read_icc_profile(&info, &out.icc, &out.iccLength);
    if (!jpeg_start_decompress(&info))
        return false;
    out.image = pixels::pooledImage(static_cast<int>(info.output_width),
                                    static_cast<int>(info.output_height));
    if (out.image.isNull()) {
        out.outOfMemory = true;
        return false;
    }
    uchar* bits = out.image.bits();
    const qsizetype stride = out.image.bytesPerLine();
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[16];
        const JDIMENSION left = info.output_height - info.output_scanline;
        const int count = static_cast<int>(left < 16 ? left : 16);
        for (int i = 0; i < count; ++i)
            rows[i] = bits + static_cast<qsizetype>(info.output_scanline + i) * stride;
        if (jpeg_read_scanlines(&info, rows, static_cast<JDIMENSION>(count)) == 0)
            return false;
    }
    jpeg_finish_decompress(&info);
    return !errors.ranOut || errors.rowsBeforeEnd;
}

} // namespace

QImage decode(const QByteArray& file, bool& outOfMemory, bool* cutOff) noexcept {
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = escapeOnError;
    errors.base.emit_message = noteMessage;
    Decoded out;
    bool ok = run(info, errors, file, out);
    jpeg_destroy_decompress(&info);
    if (ok && out.cmyk) {
        const colour::CmykToSrgb toSrgb(
            QByteArray::fromRawData(reinterpret_cast<const char*>(out.icc),
                                    static_cast<qsizetype>(out.iccLength)),
            out.adobe);
        for (int y = 0; y < out.image.height(); ++y)
            toSrgb.convert(out.image.scanLine(y), out.image.scanLine(y), out.image.width());
    }
    std::free(out.icc);
    outOfMemory = out.outOfMemory;
    if (cutOff)
        *cutOff = ok && errors.ranOut;
    return ok ? out.image : QImage();
}

} // namespace vividra::jpeg
