// vividra-fx: reads a picture as the editor does, applies filter steps left to
// right and writes the result through the editor's encoder. For benchmarks and
// for tuning the looks without the window.

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QStringList>

#include <cstdio>

#include "app/fx/fx_arguments.h"
#include "app/fx/fx_folder.h"
#include "model/effects/image_tools.h"

namespace {

using vividra::FxArguments;
using vividra::FxFolderArguments;
using vividra::ImageTools;
using vividra::Picture;

constexpr const char* kUsage =
    "usage: vividra-fx INPUT OUTPUT [OPERATION ARGUMENTS]...\n"
    "       vividra-fx --profile LOOK.clr [--keep-hue H [--tolerance T]] INPUT... --out FOLDER\n"
    "operations: photo NAME | sepia K | blur R | kuwahara R | sketch T S | brightness B |\n"
    "            contrast K | saturation S | exposure E | gamma G | hue H | rgb R G B\n"
    "radii as the editor's sliders allow: blur 0 to 100, kuwahara 0 to 20\n"
    "the second form applies the profile to each INPUT and writes FOLDER/NAME with the\n"
    "input's extension (or .png); the colour kept is hue H (0 to 360) with tolerance T\n"
    "(0 to 180), else the one in the profile's LOOK.keep, if any\n"
    "--subject X,Y,W,H also keeps the subject selected inside that box, in picture pixels\n"
    "from the top-left corner, or in percentages of the width and height when each ends in %\n";

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
    if (FxFolderArguments::isFolderForm(app.arguments().mid(1))) {
        // Each picture's failure gets a line of ours; the readers' own chatter would bury it.
        QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio*=false"));
        const std::optional<FxFolderArguments> folder =
            FxFolderArguments::parse(app.arguments().mid(1), problem);
        return folder ? vividra::fxfolder::run(*folder, stderr) : usage(problem);
    }
    const std::optional<FxArguments> command = FxArguments::parse(app.arguments().mid(1), problem);
    if (!command)
        return usage(problem);

    QString reason;
    std::optional<Picture> picture = ImageTools::readPicture(command->input, &reason);
    if (!picture) {
        printLine(QStringLiteral("vividra-fx: cannot read %1: %2").arg(command->input, reason));
        return 1;
    }
    // The steps make new pictures; what is written keeps the photo's profile and metadata.
    const auto metadata = picture->metadata;
    for (const FxArguments::Step& step : command->steps)
        picture = step(*picture);
    picture->metadata = metadata;
    if (!ImageTools::writeImage(*picture, command->output, command->formatCode, 1.0)) {
        printLine(QStringLiteral("vividra-fx: cannot write %1").arg(command->output));
        return 1;
    }
    return 0;
}
