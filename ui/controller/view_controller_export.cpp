// The controller's export: format window, save dialog, encoding as a job, the rate prompt.
#include <QDateTime>
#include <QDesktopServices>
#include <QFileInfo>
#include <QProgressDialog>
#include <QTimer>
#include <QUrl>

#include "model/files/export_file.h"
#include "model/paint/compositing.h"
#include "model/platform/defaults_store.h"
#include "model/platform/log.h"
#include "model/platform/temporary_directory.h"
#include "ui/canvas/draw_view.h"
#include "ui/controller/view_controller.h"
#include "ui/dialogs/output_format_window.h"
#include "ui/shell/dialogs.h"

namespace vividra {
namespace {

const QString kNoImage =
    QStringLiteral("There is no image to save. Please add an image and try again.");
const QString kCouldNotSave = QStringLiteral("Could not save the image.");

// The progress window waits this long, so quick exports do not flash it.
constexpr int kProgressDelayMs = 300;

} // namespace

std::function<void(const QUrl&)>& ViewController::ratingPageOpener() {
    static std::function<void(const QUrl&)> opener = [](const QUrl& url) {
        QDesktopServices::openUrl(url);
    };
    return opener;
}

void ViewController::exportPicture() {
    if (originalImagePath.isEmpty()) {
        platform::showNotice(kNoImage);
        return;
    }
    if (exportProgress_)
        return;
    selectedFormat = QStringLiteral("Default");
    {
        OutputFormatWindow formatWindow(window_);
        formatWindow.exec();
    }
    if (selectedFormat == QStringLiteral("Default"))
        return;
    if (originalImagePath.isEmpty()) {
        platform::showNotice(kNoImage);
        return;
    }

    platform::SaveDialog dialog;
    dialog.title = QStringLiteral("Export Image");
    dialog.directory = platform::defaults::folder(platform::defaults::kSaveImagePath);
    dialog.extensions = exporting::dialogExtensions();
    dialog.suggestedName = exporting::suggestedName(originalImagePath, selectedFormat);
    const QString chosen = platform::dialogs().runSaveDialog(dialog);
    if (chosen.isEmpty())
        return;
    const QString destination =
        exporting::destinationPath(chosen, selectedFormat, originalImagePath);
    platform::defaults::setString(platform::defaults::kSaveImagePath,
                                  QFileInfo(destination).absolutePath());

    auto cancel = std::make_shared<std::atomic<bool>>(false);
    showExportProgress(cancel);
    const QString format = selectedFormat;
    // The file is the user's request: once the export has its copies, a new picture taken
    // in meanwhile neither stops it nor silences its report. One that has not started yet
    // has lost the pictures it was to write, and goes as if cancelled.
    jobs.enqueueOutliving(
        SessionJobs::Kind::other,
        [this, destination, format, cancel]() -> SessionJobs::Work {
            if (originalImagePath.isEmpty() || cancel->load()) {
                closeExportProgress();
                return {};
            }
            // What flattening needs is copied here; the strokes are painted in the work.
            DrawView* surface = imageViewBackground;
            const double width = surface->currentLineWidth;
            recordCurrentStroke(foregroundImage, preEraseImage);
            QList<CustomPathRef> strokes = snapshotStrokes(surface->strokePaths);
            strokes.last()->lineWidth = width;
            exporting::Request request;
            // Without a working folder the picture is encoded beside its destination, hidden.
            const QString folder =
                platform::temporaryDirectoryProblem().isEmpty()
                    ? platform::temporaryDirectory()
                    : QFileInfo(destination).absolutePath() + QStringLiteral("/.");
            request.temporary = exporting::temporaryPath(folder, originalImagePath, format,
                                                         QDateTime::currentMSecsSinceEpoch());
            request.destination = destination;
            request.code = exporting::encodingCode(destination, originalImagePath);
            return [this, request = std::move(request), strokes = std::move(strokes),
                    background = preEraseImage, reveal = foregroundImage,
                    original = currentOriginal(), cancel](const SessionJobs::Cancel&) mutable {
                request.picture = compositeStrokes(background, strokes, patternColor(reveal),
                                                   patternColor(background), original.image);
                QString error;
                const exporting::Outcome outcome = exporting::run(request, *cancel, &error);
                return SessionJobs::Apply([this, outcome, error] { finishExport(outcome, error); });
            };
        },
        [this, cancel] {
            cancel->store(true);
            closeExportProgress();
        });
}

void ViewController::showExportProgress(const std::shared_ptr<std::atomic<bool>>& cancel) {
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
    if (*state != QStringLiteral("Yes") || rateMessageShown)
        return;
    platform::Alert prompt;
    prompt.informativeText = QStringLiteral("If you enjoy using Vividra, would you mind taking a "
                                            "moment to rate it? Thanks for your support!");
    prompt.buttons = {QStringLiteral("Yes, Rate Vividra"), QStringLiteral("Remind me later"),
                      QStringLiteral("No, Thanks")};
    const int answer = platform::dialogs().runAlert(prompt);
    rateMessageShown = true;
    if (answer == platform::kFirstButton) {
        ratingPageOpener()(QUrl(QStringLiteral("appstream://org.vividra.Vividra")));
        setString(kShowRateMessage, QStringLiteral("No"));
    } else if (answer != platform::kSecondButton) {
        setString(kShowRateMessage, QStringLiteral("No"));
    }
}

} // namespace vividra
