#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

class QWidget;

namespace vividra {

// Application-wide requests: files the desktop asks us to open, and help.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    // Closing the last window ends the application.
    static bool applicationShouldTerminateAfterLastWindowClosed() { return true; }

    // Posts "openWith" with every location, in the order given.
    void openURLs(const QStringList& locations);

    // A later launch: the window comes to the front, then opens what it was given.
    void launchedAgain(QWidget& window, const QStringList& locations);

    void showHelpPage();
    // The local help page that ships with the program; empty when none is found.
    static QUrl helpPageUrl();
};

} // namespace vividra
