// The controller's questions about kept work: continuing a photo's work, and restoring after
// a crash.
#include <QDateTime>
#include <QFileInfo>

#include "model/platform/log.h"
#include "model/work/journal.h"
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
    work::Journal* journal = engine_.journal();
    const QByteArray hash = journal ? work::contentHash(path) : QByteArray();
    QString damage;
    std::optional<work::SessionWork> kept = journal ? journal->find(hash, &damage) : std::nullopt;
    if (!damage.isEmpty())
        platform::showNotice(damage);
    // The session open now is this photo's work itself: it is ended first, then found again.
    if (kept &&
        ask(QStringLiteral("Continue where you left off?"),
            QStringLiteral("This photo has edits kept from your last session."),
            {QStringLiteral("Continue"), QStringLiteral("Start Over")}) == platform::kFirstButton) {
        engine_.endCleanly();
        if (std::optional<work::SessionWork> latest = journal->find(hash))
            kept = std::move(latest);
        engine_.restore(path, std::move(*kept));
        return;
    }
    if (kept)
        journal->remove(hash);
    engine_.open(path);
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
