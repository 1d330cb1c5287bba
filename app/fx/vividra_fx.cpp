// vividra-fx: reads a picture as the editor does, applies filter steps left to
// right and writes the result through the editor's encoder. For benchmarks and
// for tuning the looks without the window.

#include <QCoreApplication>
#include <QImage>
#include <QLoggingCategory>
#include <QStringList>

#include <cstdio>

#include "app/fx/fx_arguments.h"
#include "app/fx/fx_folder.h"
#include "model/effects/image_tools.h"
#include "model/work/work_file.h"

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
    "from the top-left corner, or in percentages of the width and height when each ends in %\n"
    "       vividra-fx --thumbnail WORK.vividra OUTPUT.png SIZE\n"
    "writes the work file's preview at most SIZE pixels wide and high, for file managers\n";

void printLine(const QString& line) {
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
}

int usage(const QString& problem) {
    printLine(QStringLiteral("vividra-fx: ") + problem);
    std::fputs(kUsage, stderr);
    return 2;
}

// The file manager's thumbnailer: the preview kept inside a work file, never the work itself.
int thumbnail(const QStringList& arguments) {
    bool sized = false;
    const int size = arguments.value(3).toInt(&sized);
    if (arguments.size() != 4 || !sized || size < 1)
        return usage(QStringLiteral("--thumbnail takes a work file, an output and a size"));
    QImage preview = vividra::work::workFilePreview(arguments[1]);
    if (preview.isNull()) {
        printLine(QStringLiteral("vividra-fx: no preview in %1").arg(arguments[1]));
        return 1;
    }
    if (preview.width() > size || preview.height() > size)
        preview = preview.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (!preview.save(arguments[2], "PNG")) {
        printLine(QStringLiteral("vividra-fx: cannot write %1").arg(arguments[2]));
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QString problem;
    if (app.arguments().value(1) == QStringLiteral("--thumbnail"))
        return thumbnail(app.arguments().mid(1));
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
