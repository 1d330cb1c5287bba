// The controller's part of the application shell: quitting, closing, File New.
#include <QCoreApplication>
#include <QFileInfo>
#include <QMainWindow>
#include <QScreen>

#include <filesystem>
#include <system_error>

#include "model/platform/file_manager.h"
#include "model/platform/log.h"
#include "model/platform/temporary_directory.h"
#include "ui/controller/view_controller.h"
#include "ui/shell/dialogs.h"

namespace vividra {
namespace {

const QString kUnsavedExit = QStringLiteral(
    "You have unsaved changes that will be lost. Are you sure you want to exit the application?");
const QString kUnsavedContinue =
    QStringLiteral("You have unsaved changes that will be lost. Continue?");

} // namespace

void ViewController::quit() {
    if (changesMade && !platform::askYesNo(kUnsavedExit))
        return;
    // Ending the application closes the window, which must not ask the same question again.
    quitConfirmed_ = true;
    emit terminateRequested();
}

bool ViewController::confirmClose() {
    if (changesMade && !quitConfirmed_ && !platform::askYesNo(kUnsavedExit))
        return false;
    if (window_) {
        // The next window opens where a fresh one would, at the top left of the usable screen.
        window_->resize(920, 560);
        if (const QScreen* screen = window_->screen())
            window_->move(screen->availableGeometry().topLeft());
    }
    return true;
}

void ViewController::endSession() {
    // Nothing may write into the working folder once it is emptied: drop the session's
    // jobs and wait for the work and picture writes still running.
    jobs.shutDown();
    const QString temp = platform::temporaryDirectory();
    if (!originalImagePath.isEmpty()) {
        QString error;
        const QString drops = temp + QStringLiteral("PhotosImages");
        if (QFileInfo::exists(drops) && !platform::removeItem(drops, &error))
            platform::logLine(QStringLiteral("Remove failed: ") + error);
    }
    QString error;
    const std::optional<QStringList> items = platform::listDirectory(temp, &error);
    if (!items) {
        platform::logLine(QStringLiteral("Remove failed: ") + error);
    } else {
        for (const QString& item : *items) {
            if (!platform::removeItem(temp + item, &error))
                platform::logLine(QStringLiteral("Remove failed: ") + error);
        }
    }
    lastWindowResize = true;
}

void ViewController::newSession() {
    if (!platform::askYesNo(kUnsavedContinue))
        return;
    resetInterface();
    currentProfilePath.clear();
}

} // namespace vividra
