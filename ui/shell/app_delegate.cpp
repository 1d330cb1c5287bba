#include "ui/shell/app_delegate.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QWidget>

#include "model/platform/help_page.h"
#include "model/platform/notification_center.h"
#include "model/platform/temporary_directory.h"

namespace vividra {

void AppDelegate::openURLs(const QStringList& locations) {
    platform::NotificationCenter::defaultCenter().post(platform::kOpenWith,
                                                       {{QStringLiteral("0"), locations}});
}

void AppDelegate::launchedAgain(QWidget& window, const QStringList& locations) {
    // A window manager will not raise a minimised window; it has to be restored first.
    if (window.isMinimized())
        window.showNormal();
    window.raise();
    window.activateWindow();
    if (!locations.isEmpty())
        openURLs(locations);
}

QUrl AppDelegate::helpPageUrl() {
    const QString found = platform::findHelpPage(QCoreApplication::applicationDirPath(),
                                                 QStringLiteral(VIVIDRA_DATA_DIR));
    if (!found.isEmpty())
        return QUrl::fromLocalFile(found);
    // Last resort: the copy built into the program, written out to our working folder.
    const QString copy = platform::temporaryDirectory() + QStringLiteral("help.html");
    QFile::remove(copy);
    if (QFile::copy(QStringLiteral(":/help/index.html"), copy))
        return QUrl::fromLocalFile(copy);
    return {};
}

void AppDelegate::showHelpPage() {
    const QUrl url = helpPageUrl();
    if (url.isValid())
        QDesktopServices::openUrl(url);
}

} // namespace vividra
