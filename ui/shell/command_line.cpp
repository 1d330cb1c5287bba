#include "ui/shell/command_line.h"

#include <QDir>
#include <QUrl>

namespace vividra {

CommandLine parseCommandLine(const QStringList& arguments, const QString& workingDirectory) {
    CommandLine result;
    bool optionsEnded = false;
    const QDir base(workingDirectory);
    for (const QString& arg : arguments) {
        if (!optionsEnded && arg == QStringLiteral("--")) {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
            if (arg == QStringLiteral("--help") || arg == QStringLiteral("-h"))
                result.showHelp = true;
            else if (arg == QStringLiteral("--version"))
                result.showVersion = true;
            else
                result.unknownOptions << arg;
            continue;
        }
        QString path = arg;
        if (arg.startsWith(QStringLiteral("file:"))) {
            const QUrl url(arg);
            if (url.isLocalFile())
                path = url.toLocalFile();
        }
        result.paths << QDir::cleanPath(base.absoluteFilePath(path));
    }
    return result;
}

} // namespace vividra
