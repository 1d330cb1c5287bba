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

QUrl AppDelegate::helpPageUrl() {
    // Installed beside the program, or in the source tree when run from a build.
    const QString appDir = QCoreApplication::applicationDirPath();
    const QStringList candidates = {
        QDir(appDir).filePath(QStringLiteral("../share/vividra/help/index.html")),
        QStringLiteral(VIVIDRA_DATA_DIR "/help/index.html"),
        QStringLiteral(VIVIDRA_SOURCE_DIR "/resources/help/index.html")};
    for (const QString& path : candidates) {
        if (QFileInfo::exists(path))
            return QUrl::fromLocalFile(QFileInfo(path).canonicalFilePath());
    }
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
