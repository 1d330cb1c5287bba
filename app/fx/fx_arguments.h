#pragma once

#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

#include "model/platform/picture.h"

namespace vividra {

// What vividra-fx is asked to do: INPUT OUTPUT [OPERATION ARGUMENTS]...
struct FxArguments {
    using Step = std::function<Picture(const Picture&)>;

    QString input;
    QString output;
    int formatCode = -1; // the encoder's code for OUTPUT's extension
    std::vector<Step> steps;

    // The arguments after the program name; nothing, with `problem` set, when
    // an operation, a value or the output's extension is not understood.
    static std::optional<FxArguments> parse(const QStringList& args, QString& problem);
};

// The folder form: --profile FILE [--keep-hue H [--tolerance T]] [--subject X,Y,W,H]
// INPUT... --out FOLDER, options in any order, each also as --name=value; after "--" every
// argument is an input.
struct FxFolderArguments {
    // A box around the subject, from the top-left corner: picture pixels, or percentages of
    // the width and height.
    struct SubjectBox {
        double x = 0, y = 0, width = 0, height = 0;
        bool percent = false;
        // In the pixels of a picture of the given size; empty when nothing of it is inside.
        QRect in(const QSize& picture) const;
    };

    QString profile;
    std::optional<float> keepHue;   // degrees, 0 to 360
    std::optional<float> tolerance; // degrees, 0 to 180; only with a hue
    std::optional<SubjectBox> subject;
    QStringList inputs;
    QString outFolder;

    // Whether the arguments ask for this form: the first starts with "--".
    static bool isFolderForm(const QStringList& args);
    // Nothing, with `problem` set, for an unknown, repeated or missing option, a value
    // out of its range, or no input.
    static std::optional<FxFolderArguments> parse(const QStringList& args, QString& problem);
};

} // namespace vividra
