#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

#include "platform/picture.h"

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

} // namespace vividra
