#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace vividra {

// Application-wide requests: files the desktop asks us to open, and help.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    // Closing the last window ends the application.
    static bool applicationShouldTerminateAfterLastWindowClosed() { return true; }

    // Posts "openWith" with every location, in the order given.
    void openURLs(const QStringList& locations);

    void OnHowToColorSplashPhoto();
    // The local help page that ships with the program; empty when none is found.
    static QUrl helpPageUrl();
    // The first help page that exists: in the data folder beside the program, in `dataDir`,
    // then in the source tree named by a build folder's "vividra-source-dir" note. Empty if none.
    static QString findHelpPage(const QString& programDir, const QString& dataDir);
};

} // namespace vividra
