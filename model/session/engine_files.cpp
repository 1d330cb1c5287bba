// The engine's files: taking a picture in, exporting it, and saving and loading profiles.
#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include "model/effects/image_tools.h"
#include "model/files/export_file.h"
#include "model/files/keep_sidecar.h"
#include "model/files/profile_file.h"
#include "model/platform/log.h"
#include "model/platform/temporary_directory.h"
#include "model/session/session_engine.h"
#include "model/view/zoom.h"

namespace vividra {
namespace {

const QString kCouldNotLoad = QStringLiteral("The image could not be loaded.");

struct FirstLook {
    SessionJobs::Post post;
    PreviewInput preview;
};

// On a pool thread, from copies: the new picture at its fitted size with the layers'
// settings applied, as a preview would show it, or nothing when the file gives no quick look.
QImage renderFirstLook(const QString& path, PreviewInput& preview) {
    const QSizeF fitted = preview.view.pictureRect.size();
    const QSize size(std::max(1, static_cast<int>(std::lround(fitted.width()))),
                     std::max(1, static_cast<int>(std::lround(fitted.height()))));
    preview.reduced = firstLookOfFile(path, size);
    return preview.reduced.isEmpty() ? QImage() : renderPreview(preview);
}

} // namespace

void SessionEngine::startIntake(const QString& path, const QString& action, bool reset) {
    path_ = path;
    jobs_.enqueue(SessionJobs::Kind::intake, [this, path, action, reset]() -> SessionJobs::Work {
        // A reset starts again from the picture as taken in, even if its file has gone or
        // changed since. Otherwise only the header is read here; decoding happens in the
        // background.
        const Picture kept = reset ? original_ : Picture();
        // A reset while the photo was still coming in has no key for its work yet.
        const bool needsHash = !reset || originalHash_.isEmpty();
        const QSize pixels = kept.isEmpty() ? ImageTools::pixelSizeOfFile(path) : kept.image.size();
        // A new picture, and the same one reset, start fitted to the box.
        viewState_.fit();
        pictureSize_ = QSizeF(pixels);
        scale_ = 1.0;
        const ViewGeometry view = zoom::geometryFor(QRectF(QPointF(0, 0), box_), box_, pixels);
        setGeometry(view);
        emit brushChanged();

        LayerRenderInput in = renderInput(LayerRenderInput::Kind::both);
        in.path = path;
        in.original = kept;
        const bool readable = !pixels.isEmpty();
        // A new photo shows a first look from a fraction of its data while the rest decodes.
        FirstLook first;
        if (readable && !reset) {
            first.post = jobs_.interim();
            first.preview.fullSize = QSizeF(pixels);
            first.preview.background = settings_.background;
            first.preview.foreground = settings_.foreground;
            first.preview.adjustments = settings_.adjustments;
            first.preview.view = view;
        }
        return [this, in = std::move(in), action, reset, readable, needsHash, path,
                first = std::move(first),
                made = settingsChanges_](const SessionJobs::Cancel& cancel) mutable {
            in.cancel = cancel;
            if (first.post && !cancel->load()) {
                const QImage shown = renderFirstLook(path, first.preview);
                if (!shown.isNull() && !cancel->load())
                    first.post([this, shown, view = first.preview.view, made] {
                        // The first look is the edited picture: not while the original is
                        // asked for.
                        if (viewState_.showsOriginal())
                            return;
                        if (showWindow(Screen::Source::preview, shown, view))
                            shownMadeAt_ = made;
                    });
            }
            LayerRenderResult result;
            if (readable)
                result = renderLayers(std::move(in));
            // The key of the photo's kept work, taken while its bytes are fresh in the cache:
            // the file may be gone by the time the work is written.
            const QByteArray hash = readable && needsHash ? work::contentHash(path) : QByteArray();
            return SessionJobs::Apply(
                [this, action, reset, needsHash, result = std::move(result), made, hash]() mutable {
                    if (needsHash)
                        originalHash_ = hash;
                    finishIntake(action, std::move(result), reset, made);
                });
        };
    });
}

void SessionEngine::failIntake(const QString& reason) {
    emptySession();
    emit screenChanged();
    emit brushChanged();
    emit notice(reason.isEmpty() ? kCouldNotLoad : reason);
}

void SessionEngine::finishIntake(const QString& action, LayerRenderResult result, bool reset,
                                 std::uint64_t made) {
    if (!result.ok || QSizeF(result.composite.size) != pictureSize_) {
        failIntake(result.reason);
        return;
    }
    original_ = result.original;
    followPictureColours();
    foreground_ = result.foregroundImage;
    cleanBackground_ = result.preEraseImage;
    foregroundRecipe_ = result.foregroundRecipe.value_or(LayerRecipe());
    backgroundRecipe_ = result.backgroundRecipe.value_or(LayerRecipe());
    revealWindow_ = result.revealWindow;
    eraseWindow_ = result.eraseWindow;
    windowsCutFor_ = result.view;
    composite_ = result.composite;
    paintTarget_ = Picture();
    viewState_.rebuilt();

    // The picture starts without strokes. A kept colour picked from another picture does not
    // carry over to a new one; the same picture taken in again (a loaded profile) keeps it.
    if (!reset)
        settings_.keep.on = false;
    picking_ = false;
    strokes_.clear();
    if (settings_.keep.on)
        strokes_ = withKeptColour({}, settings_.keep.key());
    clearLiveStroke();

    layersMadeAt_ = made;
    showComposite(result.composite, result.shownComposite, result.view, made);
    // Modes chosen before the picture came in apply to it.
    brushSize_ = settings_.brush.size;
    syncBrushModes();
    chooseLiveColour(result.revealWindow, result.eraseWindow);

    emit settingsChanged();

    if (action == QStringLiteral("profileLoaded")) {
        // A loaded profile is one more step of the history: undo goes back to before it.
        recordChange(QStringLiteral("addImage"), sessionLayers(), false, true);
    } else {
        startHistory(action);
    }
    if (reset)
        changesMade_ = false;
    // The window was resized while the picture was being taken in.
    fitToBox();
    prepareInstantPreview();
    if (settings_.keep.on)
        applyKeptColour(false);
    if (result.damaged && !reset)
        emit notice(ImageTools::damagedPictureNotice());
    if (pendingWork_)
        takeWork(*std::exchange(pendingWork_, std::nullopt));
}

SessionEngine::CancelFlag SessionEngine::exportTo(const QString& destination,
                                                  const QString& format) {
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    // The file is the user's request: once the export has its copies, a new picture taken in
    // meanwhile neither stops it nor silences its report. One that has not started yet has
    // lost the pictures it was to write, and goes as if cancelled.
    jobs_.enqueueOutliving(
        SessionJobs::Kind::other,
        [this, destination, format, cancel]() -> SessionJobs::Work {
            if (!hasPicture() || cancel->load()) {
                emit exportEnded(exporting::Outcome::cancelled, QString());
                return {};
            }
            // What flattening needs is copied here; the strokes are painted in the work.
            QList<CustomPathRef> strokes = flattenedStrokes();
            exporting::Request request;
            // Without a working folder the picture is encoded beside its destination, hidden.
            const QString folder =
                platform::temporaryDirectoryProblem().isEmpty()
                    ? platform::temporaryDirectory()
                    : QFileInfo(destination).absolutePath() + QStringLiteral("/.");
            request.temporary = exporting::temporaryPath(folder, path_, format,
                                                         QDateTime::currentMSecsSinceEpoch());
            request.destination = destination;
            request.code = exporting::encodingCode(destination, path_);
            return [this, request = std::move(request), strokes = std::move(strokes),
                    background = cleanBackground_, reveal = foreground_, original = original_,
                    cancel](const SessionJobs::Cancel&) mutable {
                request.picture = compositeStrokes(background, strokes, patternColor(reveal),
                                                   patternColor(background), original.image);
                request.picture.metadata = original.metadata;
                QString error;
                const exporting::Outcome outcome = exporting::run(request, *cancel, &error);
                return SessionJobs::Apply(
                    [this, outcome, error] { emit exportEnded(outcome, error); });
            };
        },
        [this, cancel] {
            cancel->store(true);
            emit exportEnded(exporting::Outcome::cancelled, QString());
        });
    return cancel;
}

SessionEngine::ProfileSaved SessionEngine::saveProfile(const QString& path) {
    profilePath_ = path;
    // The old profile is replaced in one step rather than removed first, so a failed write
    // keeps it. Only a file that is not there gives the removal's log line.
    QFile existing(path);
    if (!existing.exists() && !existing.remove())
        platform::logLine(QStringLiteral("Remove failed: ") + existing.errorString());
    if (!profile::writeFile(path, profile::text(settings_, brushLabel_)))
        return ProfileSaved::failed;
    // The kept colour and the brush's mode go beside it; with neither, an old file of them
    // would bring back a kept colour this profile does not have.
    const QString extras = sidecar::pathFor(path);
    if (settings_.keep.on || settings_.brush.edgeAware) {
        if (!sidecar::write(path, settings_.keep, settings_.brush.edgeAware))
            return ProfileSaved::savedWithoutKeptColour;
    } else if (QFileInfo::exists(extras) && !QFile::remove(extras)) {
        platform::logLine(QStringLiteral("Remove failed: ") + extras);
    }
    changesMade_ = false;
    return ProfileSaved::saved;
}

SessionEngine::ProfileLoaded SessionEngine::loadProfile(const QString& path) {
    profilePath_ = path;
    const std::optional<QString> text = profile::readFile(path);
    const std::optional<profile::Values> values =
        text ? profile::parse(*text, settings_) : std::nullopt;
    if (!values)
        return ProfileLoaded::failed;
    // A profile without a file beside it keeps no colour; the brush's mode stays as it is.
    bool damaged = false;
    const std::optional<sidecar::Extras> extras = sidecar::read(path, &damaged);
    settings_ = values->settings;
    settings_.keep = extras ? extras->keep : KeepColourSettings{};
    settings_.brush.edgeAware = extras ? extras->edgeAware : settings_.brush.edgeAware;
    brushLabel_ = values->brushLabel;
    brushSize_ = settings_.brush.size;
    syncBrushModes();
    emit settingsChanged();
    clearLiveStroke();
    if (hasPicture()) {
        // The picture again with the new settings, in one rendering rather than control by
        // control; its history goes on, so undo returns to before the profile.
        paintTarget_ = Picture();
        ++settingsChanges_;
        startIntake(path_, QStringLiteral("profileLoaded"), true);
    } else {
        history_.clear();
        startHistory(QStringLiteral("resetInterface"));
    }
    return damaged ? ProfileLoaded::loadedWithoutKeptColour : ProfileLoaded::loaded;
}

} // namespace vividra
