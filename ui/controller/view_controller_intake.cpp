// The controller's intake of pictures: the open dialog, drops and open-with requests.
#include <QColorDialog>
#include <QFileInfo>

#include "model/effects/image_tools.h"
#include "model/effects/preview_rendering.h"
#include "model/paint/compositing.h"
#include "model/platform/defaults_store.h"
#include "model/view/zoom.h"
#include "ui/canvas/custom_drag_view.h"
#include "ui/canvas/draw_view.h"
#include "ui/controller/view_controller.h"
#include "ui/controls/check_box.h"
#include "ui/controls/segmented_control.h"
#include "ui/shell/dialogs.h"

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

const QStringList& ViewController::openDialogExtensions() {
    return ImageTools::pictureFileExtensions();
}

void ViewController::openPicture() {
    if (renderingPending())
        return;
    if (!originalImagePath.isEmpty() &&
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
    takeInPicture(chosen, QStringLiteral("addImage"));
}

void ViewController::openRequested(const platform::Notification& note) {
    if (note.userInfo.isEmpty())
        return;
    const QStringList paths = note.userInfo.value(QStringLiteral("0")).toStringList();
    if (paths.isEmpty()) {
        platform::showNotice(kCouldNotLoad);
        return;
    }
    takeInPicture(paths.front(), QStringLiteral("addImage"));
}

void ViewController::pictureDropped(const platform::Notification& note) {
    if (note.userInfo.isEmpty())
        return;
    const QString path = note.userInfo.value(QStringLiteral("path")).toString();
    if (path.isEmpty()) {
        platform::showNotice(kCouldNotLoad);
        return;
    }
    takeInPicture(path, QStringLiteral("addImage"));
}

void ViewController::resetPicture() {
    if (originalImagePath.isEmpty())
        return;
    if (!platform::askYesNo(QStringLiteral(
            "All unsaved changes will be lost. Are you sure you want to reset the image?")))
        return;
    // The same picture as a new session: work asked for before the reset is dropped.
    beginNewSession();
    imageViewBackground->resetDrawing();
    currentMaskRect = QRectF();
    currentColor = QBrush(Qt::white);
    resetControlsToDefaults();
    imageViewBackground->makeBrushCircleImage();
    currentZoomInImage = Picture();
    startIntake(originalImagePath, QStringLiteral("reset"), true);
}

void ViewController::takeInPicture(const QString& path, const QString& action) {
    // A new session; whatever the old one still had in the line is dropped, so a
    // request that arrives while a job runs is taken in once the line is free.
    clearSessionForNewPicture();
    imageViewBackground->secondPath = makePath();
    currentZoomInImage = Picture();
    startIntake(path, action, false);
}

void ViewController::startIntake(const QString& path, const QString& action, bool reset) {
    originalImagePath = path;
    infoProvider.isImageAdded = true;
    jobs.enqueue(SessionJobs::Kind::intake, [this, path, action, reset]() -> SessionJobs::Work {
        // A reset starts again from the picture as taken in, even if its file has gone or
        // changed since. Otherwise only the header is read here; decoding happens in the
        // background.
        const Picture kept = reset ? currentOriginal() : Picture();
        const QSize pixels = kept.isEmpty() ? ImageTools::pixelSizeOfFile(path) : kept.image.size();
        // A new picture, and the same one reset, start fitted to the box.
        const QSizeF box = boxSize();
        viewState.fit();
        const ViewGeometry view = zoom::geometryFor(QRectF(QPointF(0, 0), box), box, pixels);

        LayerRenderInput in;
        in.kind = LayerRenderInput::Kind::both;
        in.path = path;
        in.original = kept;
        in.background = settings.background;
        in.foreground = settings.foreground;
        in.adjustments = settings.adjustments;
        in.eraserOn = settings.brush.eraser;
        in.view = view;

        imageView->pictureRect = imageViewBackground->pictureRect = view.pictureRect;
        imageView->originalRect = imageViewBackground->originalRect =
            QRectF(0, 0, pixels.width(), pixels.height());
        maskImageWidth = view.maskWidth;
        maskImageHeight = view.maskHeight;
        currentMaskRect = view.maskRect;
        imageViewBackground->foregroundImageViewOrigin = QPointF();
        imageViewBackground->scale = 1.0;
        for (DrawView* v : {imageView, imageViewBackground})
            v->setViewGeometry(view);
        const bool readable = !pixels.isEmpty();
        // A new photo shows a first look from a fraction of its data while the rest decodes.
        FirstLook first;
        if (readable && !reset) {
            first.post = jobs.interim();
            first.preview.fullSize = QSizeF(pixels);
            first.preview.background = settings.background;
            first.preview.foreground = settings.foreground;
            first.preview.adjustments = settings.adjustments;
            first.preview.view = view;
        }
        return [this, in = std::move(in), action, reset, readable, path, first = std::move(first),
                made = settingsChanges_](const SessionJobs::Cancel& cancel) mutable {
            in.cancel = cancel;
            if (first.post && !cancel->load()) {
                const QImage shown = renderFirstLook(path, first.preview);
                if (!shown.isNull() && !cancel->load())
                    first.post([this, shown, view = first.preview.view, made] {
                        // The first look is the edited picture: not while the original
                        // is asked for.
                        if (viewState.showsOriginal())
                            return;
                        imageView->showWindow(shown, view);
                        shownMadeAt_ = made;
                    });
            }
            LayerRenderResult result;
            if (readable)
                result = renderLayers(std::move(in));
            return SessionJobs::Apply(
                [this, action, reset, result = std::move(result), made]() mutable {
                    finishIntake(action, std::move(result), reset, made);
                });
        };
    });
}

void ViewController::finishIntake(const QString& action, LayerRenderResult result, bool reset,
                                  std::uint64_t made) {
    if (!result.ok || result.composite.size != imageView->originalRect.size()) {
        clearSessionForNewPicture();
        imageView->pictureRect = imageViewBackground->pictureRect = QRectF();
        imageViewBackground->resetCursorRects();
        platform::showNotice(result.reason.isEmpty() ? kCouldNotLoad : result.reason);
        return;
    }
    rememberOriginal(result.original);
    foregroundImage = result.foregroundImage;
    backgroundImage = result.backgroundImage;
    preEraseImage = result.preEraseImage;
    foregroundRecipe_ = result.foregroundRecipe.value_or(LayerRecipe());
    backgroundRecipe_ = result.backgroundRecipe.value_or(LayerRecipe());
    currentMaskImage = result.revealWindow;
    zoomEraseImage = result.eraseWindow;
    canvasBuiltFor_ = result.view;
    lastImage = result.composite;
    viewState.rebuilt();

    imageViewBackground->setVisible(!viewState.showsOriginal());
    layersMadeAt_ = made;
    showComposite(result.composite, result.shownComposite, result.view, made);
    for (DrawView* view : {imageView, imageViewBackground})
        view->originalImagePath = originalImagePath;
    // Modes chosen before the picture came in apply to it.
    syncSurfaceModes();
    chooseLiveColor(result.revealWindow, result.eraseWindow);

    imageViewBackground->path = makePath();
    imageViewBackground->secondPath = makePath();
    imageViewBackground->strokePaths.clear();
    // A kept colour picked from another picture does not carry over to a new one; the same
    // picture taken in again (a loaded profile) keeps it.
    if (!reset)
        settings.keep.on = false;
    imageViewBackground->picking = false;
    showKeepSettings();
    if (settings.keep.on)
        imageViewBackground->strokePaths = withKeptColour({}, settings.keep.key());
    imageViewBackground->foregroundImageViewOrigin = QPointF();
    imageViewBackground->makeBrushCircleImage();
    imageViewBackground->update();

    startHistory(action);
    if (reset)
        changesMade = false;
    // The window was resized while the picture was being taken in.
    boxResized();
    prepareInstantPreview();
    if (settings.keep.on)
        applyKeptColour(false);
    if (result.damaged && !reset)
        platform::showNotice(ImageTools::damagedPictureNotice());
}

} // namespace vividra
