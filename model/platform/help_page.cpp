#include "model/platform/help_page.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

namespace vividra::platform {

QString findHelpPage(const QString& programDir, const QString& dataDir) {
    const QDir bin(programDir);
    QStringList candidates = {bin.filePath(QStringLiteral("../share/vividra/help/index.html")),
                              QDir(dataDir).filePath(QStringLiteral("help/index.html"))};
    // Only a build folder holds this note, so an installed program never reads the sources.
    QFile note(bin.filePath(QStringLiteral("vividra-source-dir")));
    if (note.open(QIODevice::ReadOnly | QIODevice::Text)) {
        const QString source = QString::fromUtf8(note.readAll()).trimmed();
        if (!source.isEmpty())
            candidates << QDir(source).filePath(QStringLiteral("resources/help/index.html"));
    }
    for (const QString& path : candidates) {
        if (QFileInfo::exists(path))
            return QFileInfo(path).canonicalFilePath();
    }
    return {};
}

} // namespace vividra::platform
