// vividra-fx: reads a picture as the editor does, applies filter steps left to
// right and writes the result through the editor's encoder. For benchmarks and
// for tuning the looks without the window.

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

#include "app/fx_arguments.h"
#include "effects/image_tools.h"

namespace {

using vividra::FxArguments;
using vividra::ImageTools;
using vividra::Picture;

constexpr const char* kUsage =
    "usage: vividra-fx INPUT OUTPUT [OPERATION ARGUMENTS]...\n"
    "operations: photo NAME | sepia K | blur R | kuwahara R | sketch T S | brightness B |\n"
    "            contrast K | saturation S | exposure E | gamma G | hue H | rgb R G B\n"
    "radii as the editor's sliders allow: blur 0 to 100, kuwahara 0 to 20\n";

void printLine(const QString& line) {
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
}

int usage(const QString& problem) {
    printLine(QStringLiteral("vividra-fx: ") + problem);
    std::fputs(kUsage, stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QString problem;
    const std::optional<FxArguments> command = FxArguments::parse(app.arguments().mid(1), problem);
    if (!command)
        return usage(problem);

    QString reason;
    std::optional<Picture> picture = ImageTools::readPicture(command->input, &reason);
    if (!picture) {
        printLine(QStringLiteral("vividra-fx: cannot read %1: %2").arg(command->input, reason));
        return 1;
    }
    for (const FxArguments::Step& step : command->steps)
        picture = step(*picture);
    if (!ImageTools::writeImage(*picture, command->output, command->formatCode, 1.0)) {
        printLine(QStringLiteral("vividra-fx: cannot write %1").arg(command->output));
        return 1;
    }
    return 0;
}
