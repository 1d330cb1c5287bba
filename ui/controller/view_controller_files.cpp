// The controller's questions about files: opening pictures, exporting, profiles, and the
// unsaved-changes questions of New, Quit and closing.
#include <QDateTime>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMainWindow>
#include <QProgressDialog>
#include <QScreen>
#include <QTimer>
#include <QUrl>

#include "model/effects/image_tools.h"
#include "model/files/export_file.h"
#include "model/files/keep_sidecar.h"
#include "model/platform/defaults_store.h"
#include "model/platform/log.h"
#include "model/work/work_file.h"
#include "ui/controller/view_controller.h"
#include "ui/dialogs/output_format_window.h"
#include "ui/shell/dialogs.h"

namespace vividra {
namespace {

const QString kCouldNotLoad = QStringLiteral("The image could not be loaded.");
const QString kNoImage =
    QStringLiteral("There is no image to save. Please add an image and try again.");
const QString kCouldNotSave = QStringLiteral("Could not save the image.");
const QString kUnsavedExit = QStringLiteral(
    "You have unsaved changes that will be lost. Are you sure you want to exit the application?");
const QString kUnsavedContinue =
    QStringLiteral("You have unsaved changes that will be lost. Continue?");
const QString kProfileExtension = QStringLiteral("clr");

// The progress window waits this long, so quick exports do not flash it.
constexpr int kProgressDelayMs = 300;

} // namespace

// Pictures.

const QStringList& ViewController::openDialogExtensions() {
    static const QStringList extensions =
        ImageTools::pictureFileExtensions() + QStringList{work::kWorkFileExtension};
    return extensions;
}

void ViewController::openPicture() {
    if (engine_.renderingPending())
        return;
    if (engine_.hasPicture() &&
        !platform::askYesNo(QStringLiteral(
            "All unsaved changes will be lost. Are you sure you want to select a new image?")))
        return;
    platform::OpenDialog dialog;
    dialog.title = QStringLiteral("Open Photo");
    dialog.extensions = openDialogExtensions();
    dialog.directory = platform::defaults::folder(platform::defaults::kAddImagePath);
    const QString chosen = platform::dialogs().runOpenDialog(dialog);
    if (chosen.isEmpty())
        return;
    platform::defaults::setString(platform::defaults::kAddImagePath,
                                  QFileInfo(chosen).absolutePath());
    openPhoto(chosen);
}

void ViewController::openRequested(const platform::Notification& note) {
    if (note.userInfo.isEmpty())
        return;
    const QStringList paths = note.userInfo.value(QStringLiteral("0")).toStringList();
    if (paths.isEmpty()) {
        platform::showNotice(kCouldNotLoad);
        return;
    }
    openPhoto(paths.front());
}

void ViewController::pictureDropped(const platform::Notification& note) {
    if (note.userInfo.isEmpty())
        return;
    const QString path = note.userInfo.value(QStringLiteral("path")).toString();
    if (path.isEmpty()) {
        platform::showNotice(kCouldNotLoad);
        return;
    }
    openPhoto(path);
}

void ViewController::resetPicture() {
    if (!engine_.hasPicture())
        return;
    if (!platform::askYesNo(QStringLiteral(
            "All unsaved changes will be lost. Are you sure you want to reset the image?")))
        return;
    engine_.reset();
}

// The shell.

void ViewController::quit() {
    if (engine_.hasUnsavedChanges() && !platform::askYesNo(kUnsavedExit))
        return;
    // Ending the application closes the window, which must not ask the same question again.
    quitConfirmed_ = true;
    emit terminateRequested();
}

bool ViewController::confirmClose() {
    if (engine_.hasUnsavedChanges() && !quitConfirmed_ && !platform::askYesNo(kUnsavedExit))
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
    engine_.end();
}

void ViewController::newSession() {
    if (!platform::askYesNo(kUnsavedContinue))
        return;
    selectedFormat_ = QStringLiteral("Default");
    engine_.clear();
}

// Export.

std::function<void(const QUrl&)>& ViewController::ratingPageOpener() {
    static std::function<void(const QUrl&)> opener = [](const QUrl& url) {
        QDesktopServices::openUrl(url);
    };
    return opener;
}

void ViewController::exportPicture() {
    if (!engine_.hasPicture()) {
        platform::showNotice(kNoImage);
        return;
    }
    if (exportProgress_)
        return;
    selectedFormat_ = QStringLiteral("Default");
    {
        OutputFormatWindow formatWindow(window_);
        formatWindow.exec();
    }
    if (selectedFormat_ == QStringLiteral("Default"))
        return;
    if (!engine_.hasPicture()) {
        platform::showNotice(kNoImage);
        return;
    }
    const QString original = engine_.picturePath();
    platform::SaveDialog dialog;
    dialog.title = QStringLiteral("Export Image");
    dialog.directory = platform::defaults::folder(platform::defaults::kSaveImagePath);
    dialog.extensions = exporting::dialogExtensions();
    dialog.suggestedName = exporting::suggestedName(original, selectedFormat_);
    const QString chosen = platform::dialogs().runSaveDialog(dialog);
    if (chosen.isEmpty())
        return;
    const QString destination = exporting::destinationPath(chosen, selectedFormat_, original);
    platform::defaults::setString(platform::defaults::kSaveImagePath,
                                  QFileInfo(destination).absolutePath());
    showExportProgress(engine_.exportTo(destination, selectedFormat_));
}

void ViewController::showExportProgress(const SessionEngine::CancelFlag& cancel) {
    auto* dialog = new QProgressDialog(QStringLiteral("Exporting the image…"),
                                       QStringLiteral("Cancel"), 0, 0, window_);
    dialog->setWindowTitle(QStringLiteral("Export Image"));
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    // Shown by the timer below, not by the dialog's own guess: reset() stops the
    // dialog's timer, which would otherwise show it even after it was closed.
    dialog->reset();
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // The Cancel button, the close button and Escape all stop the export.
    const auto stop = [this, cancel] {
        cancel->store(true);
        closeExportProgress();
    };
    connect(dialog, &QProgressDialog::canceled, this, stop);
    connect(dialog, &QDialog::rejected, this, stop);
    // Only while this export still runs: a finished one's dialog waits for deletion.
    QTimer::singleShot(kProgressDelayMs, dialog, [this, dialog] {
        if (exportProgress_ == dialog)
            dialog->show();
    });
    exportProgress_ = dialog;
}

void ViewController::closeExportProgress() {
    if (QProgressDialog* dialog = exportProgress_) {
        exportProgress_ = nullptr;
        dialog->blockSignals(true);
        dialog->close();
        dialog->deleteLater();
    }
}

void ViewController::finishExport(exporting::Outcome outcome, const QString& error) {
    closeExportProgress();
    switch (outcome) {
    case exporting::Outcome::cancelled:
        return;
    case exporting::Outcome::encodeFailed:
        platform::showNotice(kCouldNotSave);
        return;
    case exporting::Outcome::copyFailed:
        platform::logLine(QStringLiteral("Copy failed: ") + error);
        platform::showNotice(kCouldNotSave);
        return;
    case exporting::Outcome::saved:
        break;
    }
    platform::Alert saved;
    saved.style = platform::Alert::Style::Informational;
    saved.informativeText = QStringLiteral("Image saved successfully.");
    saved.buttons = {QStringLiteral("OK")};
    platform::dialogs().runAlert(saved);
    askForRating();
}

void ViewController::askForRating() {
    using namespace platform::defaults;
    const std::optional<QString> state = string(kShowRateMessage);
    if (!state) {
        // The first good export only arms the prompt.
        setString(kShowRateMessage, QStringLiteral("Yes"));
        return;
    }
    if (*state != QStringLiteral("Yes") || rateMessageShown_)
        return;
    platform::Alert prompt;
    prompt.informativeText = QStringLiteral("If you enjoy using Vividra, would you mind taking a "
                                            "moment to rate it? Thanks for your support!");
    prompt.buttons = {QStringLiteral("Yes, Rate Vividra"), QStringLiteral("Remind me later"),
                      QStringLiteral("No, Thanks")};
    const int answer = platform::dialogs().runAlert(prompt);
    rateMessageShown_ = true;
    if (answer == platform::kFirstButton) {
        ratingPageOpener()(QUrl(QStringLiteral("appstream://org.vividra.Vividra")));
        setString(kShowRateMessage, QStringLiteral("No"));
    } else if (answer != platform::kSecondButton) {
        setString(kShowRateMessage, QStringLiteral("No"));
    }
}

// Profiles.

void ViewController::saveProfile() {
    if (engine_.profilePath().isEmpty())
        saveProfileAs();
    else
        writeProfile(engine_.profilePath());
}

void ViewController::saveProfileAs() {
    platform::SaveDialog dialog;
    dialog.title = QStringLiteral("Save Profile");
    dialog.extensions = {kProfileExtension};
    dialog.kind = QStringLiteral("Profiles");
    dialog.suggestedName = QStringLiteral("profile.clr");
    dialog.directory = platform::defaults::folder(platform::defaults::kSaveAsProfilePath);
    const QString chosen = platform::dialogs().runSaveDialog(dialog);
    if (chosen.isEmpty())
        return;
    platform::defaults::setString(platform::defaults::kSaveAsProfilePath,
                                  QFileInfo(chosen).absolutePath());
    writeProfile(chosen);
}

void ViewController::writeProfile(const QString& path) {
    switch (engine_.saveProfile(path)) {
    case SessionEngine::ProfileSaved::saved:
        return;
    case SessionEngine::ProfileSaved::failed:
        platform::showNotice(QStringLiteral("Could not save profile."));
        return;
    case SessionEngine::ProfileSaved::savedWithoutKeptColour:
        platform::showNotice(
            QStringLiteral(
                "The profile was saved, but not its kept colour: could not write \"%1\".")
                .arg(QFileInfo(sidecar::pathFor(path)).fileName()));
        return;
    }
}

void ViewController::loadProfile() {
    if (engine_.hasUnsavedChanges() && !platform::askYesNo(kUnsavedContinue))
        return;
    platform::OpenDialog dialog;
    dialog.title = QStringLiteral("Load Profile");
    dialog.extensions = {kProfileExtension};
    dialog.kind = QStringLiteral("Profiles");
    dialog.directory = platform::defaults::folder(platform::defaults::kLoadProfilePath);
    const QString chosen = platform::dialogs().runOpenDialog(dialog);
    if (chosen.isEmpty())
        return;
    platform::defaults::setString(platform::defaults::kLoadProfilePath,
                                  QFileInfo(chosen).absolutePath());
    switch (engine_.loadProfile(chosen)) {
    case SessionEngine::ProfileLoaded::loaded:
        return;
    case SessionEngine::ProfileLoaded::failed:
        platform::showNotice(QStringLiteral("Could not load profile."));
        return;
    case SessionEngine::ProfileLoaded::loadedWithoutKeptColour:
        platform::showNotice(
            QStringLiteral("The profile was loaded without its kept colour: \"%1\" is damaged.")
                .arg(QFileInfo(sidecar::pathFor(chosen)).fileName()));
        return;
    }
}

} // namespace vividra
