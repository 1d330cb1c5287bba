// The picture reader over arbitrary bytes: whatever the decoder the content
// chooses, the file is refused with a reason or read whole at its header's size.
#include <cstdint>
#include <cstdlib>

#include "model/effects/image_tools.h"
#include "tests/fuzz/fuzz_check.h"

using vividra::ImageTools;

namespace {

// One input must decode within a second and 512 MB under the sanitizers, which
// slow the per-pixel work of JPEG 2000 ten times over: a megapixel does.
constexpr qint64 kFuzzPixelLimit = 1'000'000;

// Qt's decoders describe every damaged input on the log; millions of lines help no one.
void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qInstallMessageHandler(quiet);
    ImageTools::setPixelLimitForTesting(kFuzzPixelLimit);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Through a real file, since the reader takes paths and streams some formats.
    const QString path = inputFile(data, size, QStringLiteral("input"));
    const QSize headerSize = ImageTools::pixelSizeOfFile(path);
    QString reason;
    bool damaged = false;
    const std::optional<vividra::Picture> picture =
        ImageTools::readPicture(path, &reason, &damaged);
    if (!picture) {
        FUZZ_CHECK(!reason.isEmpty());
        return 0;
    }
    FUZZ_CHECK(!picture->image.isNull() &&
               picture->image.format() == QImage::Format_ARGB32_Premultiplied);
    FUZZ_CHECK(picture->image.size() == headerSize);
    FUZZ_CHECK(static_cast<qint64>(headerSize.width()) * headerSize.height() <= kFuzzPixelLimit);
    // Every row is there to read, as the filters will.
    const QImage& image = picture->image;
    unsigned sum = 0;
    for (int y = 0; y < image.height(); y += std::max(1, image.height() / 8))
        sum += image.constScanLine(y)[static_cast<qsizetype>(image.width()) * 4 - 1];
    (void)sum;
    return 0;
}
