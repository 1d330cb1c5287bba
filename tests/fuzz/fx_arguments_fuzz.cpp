// vividra-fx's arguments, one a line: refused with a reason, or each step runs
// on a small picture and keeps its size. In the folder form, what is accepted is whole
// and in range, and the inputs' output names are distinct file names.
#include <QImage>
#include <QSet>
#include <QStringList>

#include <cstdint>

#include "app/fx/fx_arguments.h"
#include "app/fx/fx_folder.h"
#include "tests/fuzz/fuzz_check.h"

using namespace vividra;

namespace {

void checkFolderForm(const QStringList& args) {
    QString problem;
    const std::optional<FxFolderArguments> folder = FxFolderArguments::parse(args, problem);
    if (!folder) {
        FUZZ_CHECK(!problem.isEmpty());
        return;
    }
    FUZZ_CHECK(!folder->profile.isEmpty() && !folder->outFolder.isEmpty() &&
               !folder->inputs.isEmpty());
    FUZZ_CHECK(!folder->tolerance || folder->keepHue);
    FUZZ_CHECK(!folder->keepHue || (*folder->keepHue >= 0 && *folder->keepHue <= 360));
    FUZZ_CHECK(!folder->tolerance || (*folder->tolerance >= 0 && *folder->tolerance <= 180));
    if (folder->subject) {
        const FxFolderArguments::SubjectBox& b = *folder->subject;
        FUZZ_CHECK(b.x >= 0 && b.y >= 0 && b.width > 0 && b.height > 0);
        FUZZ_CHECK(!b.percent || (b.x <= 100 && b.y <= 100 && b.width <= 100 && b.height <= 100));
        const QRect box = b.in(QSize(64, 48));
        FUZZ_CHECK(box.isEmpty() || QRect(0, 0, 64, 48).contains(box));
    }
    const std::vector<fxfolder::Output> outputs = fxfolder::planOutputs(folder->inputs);
    FUZZ_CHECK(outputs.size() == static_cast<size_t>(folder->inputs.size()));
    QSet<QString> names;
    for (const fxfolder::Output& out : outputs) {
        FUZZ_CHECK(out.formatCode >= 0 && !out.name.contains(QLatin1Char('/')));
        names.insert(out.name);
    }
    FUZZ_CHECK(names.size() == folder->inputs.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QStringList args =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size))
            .split(QLatin1Char('\n'));
    if (FxFolderArguments::isFolderForm(args)) {
        checkFolderForm(args);
        return 0;
    }
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
