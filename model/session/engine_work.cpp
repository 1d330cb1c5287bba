// The engine's kept work: its snapshot for the journal and work files, and taking it back.
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include "model/platform/log.h"
#include "model/session/session_engine.h"
#include "model/work/journal.h"
#include "model/work/work_file.h"

namespace vividra {

work::SessionWork SessionEngine::work() const {
    work::SessionWork w;
    w.originalPath = path_;
    w.originalHash = originalHash_;
    w.settings = settings_;
    w.brushLabel = brushLabel_;
    // Copies whose paths share their points until painting changes the session's own: the
    // writer reads them on its thread.
    w.strokes = snapshotStrokes(strokes_);
    w.states = history_.states();
    w.current = history_.currentIndex();
    return w;
}

void SessionEngine::setJournal(std::unique_ptr<work::Journal> journal) {
    journal_ = std::move(journal);
    if (!journal_)
        return;
    connect(journal_.get(), &work::Journal::failed, this, [this](const QString& reason) {
        platform::logLine(QStringLiteral("Work not kept: ") + reason);
        emit notice(QStringLiteral("Your edits could not be kept on disk: ") + reason);
    });
}

void SessionEngine::restore(const QString& path, work::SessionWork work) {
    endCleanly();
    emptySession();
    // The picture comes in with the restored settings, so its layers are those of the work.
    settings_ = work.settings;
    brushLabel_ = work.brushLabel.isEmpty() ? settings_.brushLabel() : work.brushLabel;
    brushSize_ = settings_.brush.size;
    emit settingsChanged();
    emit screenChanged();
    pendingWork_ = std::move(work);
    startIntake(path, QStringLiteral("addImage"), false);
}

void SessionEngine::takeWork(work::SessionWork work) {
    if (work.states.isEmpty())
        return;
    const QColor dialogColour = work.settings.brush.colour;
    history_.restore(std::move(work.states), work.current);
    // The layers just rendered belong to every state of the same recipes.
    history_.cacheLayers(foregroundRecipe_, foreground_, backgroundRecipe_, cleanBackground_);
    applyState(history_.current());
    if (!work.brushLabel.isEmpty())
        brushLabel_ = work.brushLabel;
    // The colour dialog's colour is no step of the history: it is the session's own.
    if (settings_.brush.colour != dialogColour)
        setBrushColour(dialogColour);
    changesMade_ = history_.states().size() > 1;
    journaledPath_ = path_;
}

void SessionEngine::journalWork() {
    // Taken once the change is whole: the history moves before the strokes and settings follow.
    if (!journal_ || journalDue_)
        return;
    journalDue_ = true;
    QTimer::singleShot(0, this, [this] {
        journalDue_ = false;
        if (!hasPicture() || pendingWork_ || history_.states().size() < 2 ||
            jobs_.count(SessionJobs::Kind::intake) > 0)
            return;
        journaledPath_ = path_;
        workEnded_ = false;
        journal_->submit(work());
    });
}

void SessionEngine::saveWork(const QString& destination) {
    if (!hasPicture())
        return;
    jobs_.enqueue(SessionJobs::Kind::other, [this, destination]() -> SessionJobs::Work {
        return
            [this, work = work(), composite = composite_, destination](const SessionJobs::Cancel&) {
                work::WorkFileContents contents;
                contents.work = work;
                contents.originalName = QFileInfo(work.originalPath).fileName();
                contents.preview =
                    screenCopy(composite,
                               QSizeF(composite.size).scaled(QSizeF(256, 256), Qt::KeepAspectRatio))
                        .convertToFormat(QImage::Format_RGB32);
                QFile original(work.originalPath);
                QString error = QStringLiteral("The photo could not be read: ") + work.originalPath;
                // The file must still be the photo the work was made on.
                bool saved = original.open(QIODevice::ReadOnly);
                if (saved) {
                    contents.original = original.readAll();
                    saved = work::bytesHash(contents.original) == work.originalHash;
                }
                saved = saved && work::writeWorkFile(destination, contents, &error);
                return SessionJobs::Apply(
                    [this, saved, error] { emit workSaved(saved, saved ? QString() : error); });
            };
    });
}

void SessionEngine::endCleanly() {
    // A session journaled before keeps its last word even when it went back to one state.
    const bool worthKeeping = history_.states().size() > 1 || journaledPath_ == path_;
    if (!journal_ || !hasPicture() || pendingWork_ || workEnded_ || !worthKeeping)
        return;
    work::SessionWork w = work();
    w.clean = true;
    journal_->submit(std::move(w));
    journal_->flush();
    workEnded_ = true;
}

} // namespace vividra
