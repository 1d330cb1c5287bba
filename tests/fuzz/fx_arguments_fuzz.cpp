// vividra-fx's arguments, one a line: refused with a reason, or each step runs
// on a small picture and keeps its size.
#include <QImage>
#include <QStringList>

#include <cstdint>

#include "app/fx_arguments.h"
#include "tests/fuzz/fuzz_check.h"

using namespace vividra;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QStringList args =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size))
            .split(QLatin1Char('\n'));
    QString problem;
    const std::optional<FxArguments> command = FxArguments::parse(args, problem);
    if (!command) {
        FUZZ_CHECK(!problem.isEmpty());
        return 0;
    }
    FUZZ_CHECK(command->formatCode >= 0);
    QImage pixels(7, 5, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < pixels.height(); ++y)
        for (int x = 0; x < pixels.width(); ++x)
            pixels.setPixel(x, y, qRgba(x * 30, y * 50, 200, 255));
    Picture picture(pixels);
    for (const FxArguments::Step& step : command->steps) {
        picture = step(picture);
        FUZZ_CHECK(picture.image.size() == pixels.size());
    }
    return 0;
}
