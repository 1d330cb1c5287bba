#include "app/app_delegate.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/notification_center.h"
#include "platform/temporary_directory.h"

namespace vividra {

void AppDelegate::openURLs(const QStringList& locations) {
    platform::NotificationCenter::defaultCenter().post(platform::kOpenWith,
                                                       {{QStringLiteral("0"), locations}});
}

QString AppDelegate::findHelpPage(const QString& programDir, const QString& dataDir) {
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

QUrl AppDelegate::helpPageUrl() {
    const QString found =
        findHelpPage(QCoreApplication::applicationDirPath(), QStringLiteral(VIVIDRA_DATA_DIR));
    if (!found.isEmpty())
        return QUrl::fromLocalFile(found);
    // Last resort: the copy built into the program, written out to our working folder.
    const QString copy = platform::temporaryDirectory() + QStringLiteral("help.html");
    QFile::remove(copy);
    if (QFile::copy(QStringLiteral(":/help/index.html"), copy))
        return QUrl::fromLocalFile(copy);
    return {};
}

void AppDelegate::OnHowToColorSplashPhoto() {
    const QUrl url = helpPageUrl();
    if (url.isValid())
        QDesktopServices::openUrl(url);
}

} // namespace vividra
