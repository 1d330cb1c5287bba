#pragma once

#include <QStringList>

namespace vividra {

struct CommandLine {
    QStringList paths;          // absolute paths of the pictures to open, in order
    QStringList unknownOptions; // ignored, each reported on standard error
    bool showHelp = false;
    bool showVersion = false;
};

// Reads the arguments after the program name. Everything that is not an option
// is a picture to open; "--" ends the options; file:// addresses become paths.
CommandLine parseCommandLine(const QStringList& arguments, const QString& workingDirectory);

} // namespace vividra
