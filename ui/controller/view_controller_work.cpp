// The controller's questions about kept work: continuing a photo's work, and restoring after
// a crash.
#include <QDateTime>
#include <QFileInfo>

#include "model/platform/defaults_store.h"
#include "model/platform/log.h"
#include "model/platform/temporary_directory.h"
#include "model/work/journal.h"
#include "model/work/work_file.h"
#include "ui/controller/view_controller.h"
#include "ui/shell/dialogs.h"

namespace vividra {
namespace {

int ask(const QString& question, const QString& detail, const QStringList& buttons) {
    platform::Alert alert;
    alert.style = platform::Alert::Style::Informational;
    alert.messageText = question;
    alert.informativeText = detail;
    alert.buttons = buttons;
    return platform::dialogs().runAlert(alert);
}

} // namespace

void ViewController::openPhoto(const QString& path) {
    if (QFileInfo(path).suffix().compare(work::kWorkFileExtension, Qt::CaseInsensitive) == 0) {
        openWorkFile(path);
        return;
    }
    // The session open now may be this photo's own work: ended first, what is found is its
    // latest, and Start Over leaves nothing of it behind.
    engine_.endCleanly();
    work::Journal* journal = engine_.journal();
    const QByteArray hash = journal ? work::contentHash(path) : QByteArray();
    QString damage;
    std::optional<work::SessionWork> kept = journal ? journal->find(hash, &damage) : std::nullopt;
    if (!damage.isEmpty())
        platform::showNotice(damage);
    if (kept &&
        ask(QStringLiteral("Continue where you left off?"),
            QStringLiteral("This photo has edits kept from your last session."),
            {QStringLiteral("Continue"), QStringLiteral("Start Over")}) == platform::kFirstButton) {
        engine_.restore(path, std::move(*kept));
        return;
    }
    if (kept)
        journal->remove(hash);
    engine_.open(path);
}

void ViewController::openWorkFile(const QString& path) {
    QString error;
    std::optional<work::SessionWork> opened =
        work::openWorkFile(path, platform::temporaryDirectory() + QStringLiteral("work"), &error);
    if (!opened) {
        platform::showNotice(error);
        return;
    }
    const QString original = opened->originalPath;
    engine_.restore(original, std::move(*opened));
}

void ViewController::saveWorkAs() {
    if (!engine_.hasPicture()) {
        platform::showNotice(
            QStringLiteral("There is no work to save. Please add an image and try again."));
        return;
    }
    platform::SaveDialog dialog;
    dialog.title = QStringLiteral("Save Work As");
    dialog.kind = QStringLiteral("Vividra Work");
    dialog.extensions = {work::kWorkFileExtension};
    dialog.directory = platform::defaults::folder(platform::defaults::kAddImagePath);
    dialog.suggestedName = QFileInfo(engine_.picturePath()).completeBaseName() + QLatin1Char('.') +
                           work::kWorkFileExtension;
    QString chosen = platform::dialogs().runSaveDialog(dialog);
    if (chosen.isEmpty())
        return;
    if (QFileInfo(chosen).suffix().compare(work::kWorkFileExtension, Qt::CaseInsensitive) != 0)
        chosen += QLatin1Char('.') + work::kWorkFileExtension;
    engine_.saveWork(chosen);
}

void ViewController::offerRecovery() {
    work::Journal* journal = engine_.journal();
    if (!journal)
        return;
    journal->prune(QDateTime::currentDateTime());
    std::optional<work::SessionWork> kept = journal->lastUnclean();
    if (!kept)
        return;
    const QString question =
        QStringLiteral("Vividra closed unexpectedly. Restore your last photo and its edits?");
    const QByteArray hash = kept->originalHash;
    if (work::contentHash(kept->originalPath) != hash) {
        // The edits stay kept until the photo is found, or the user lets them go.
        const int answer =
            ask(question,
                QStringLiteral("The photo is no longer at %1. Locate it to restore its edits.")
                    .arg(kept->originalPath),
                {QStringLiteral("Locate Photo…"), QStringLiteral("Not Now"),
                 QStringLiteral("Discard")});
        if (answer == platform::kSecondButton + 1) {
            journal->remove(hash);
            return;
        }
        if (answer != platform::kFirstButton)
            return;
        platform::OpenDialog dialog;
        dialog.title = QStringLiteral("Locate Photo");
        dialog.extensions = openDialogExtensions();
        dialog.directory = QFileInfo(kept->originalPath).absolutePath();
        const QString chosen = platform::dialogs().runOpenDialog(dialog);
        if (chosen.isEmpty())
            return;
        if (work::contentHash(chosen) != hash) {
            platform::showNotice(QStringLiteral(
                "That is not the photo the edits were made on. They are kept for it."));
            return;
        }
        kept->originalPath = chosen;
        engine_.restore(chosen, std::move(*kept));
        return;
    }
    if (ask(question, QString(), {QStringLiteral("Restore"), QStringLiteral("Discard")}) ==
        platform::kFirstButton) {
        const QString path = kept->originalPath;
        engine_.restore(path, std::move(*kept));
    } else {
        journal->remove(hash);
    }
}

} // namespace vividra
