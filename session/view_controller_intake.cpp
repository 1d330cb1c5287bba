// The controller's intake of pictures: the open panel, drops and open-with requests.
#include <QColorDialog>
#include <QFileInfo>

#include "controls/check_box.h"
#include "controls/segmented_control.h"
#include "effects/image_tools.h"
#include "paint/compositing.h"
#include "paint/draw_view.h"
#include "platform/defaults_store.h"
#include "platform/dialogs.h"
#include "session/custom_drag_view.h"
#include "session/view_controller.h"

namespace vividra {
namespace {

const QString kCouldNotLoad = QStringLiteral("The image could not be loaded.");

} // namespace

const QStringList& ViewController::openPanelExtensions() {
    static const QStringList extensions{
        QStringLiteral("jpg"),  QStringLiteral("jpeg"), QStringLiteral("jpe"),
        QStringLiteral("jp2"),  QStringLiteral("jpx"),  QStringLiteral("png"),
        QStringLiteral("tiff"), QStringLiteral("tif"),  QStringLiteral("gif"),
        QStringLiteral("bmp"),  QStringLiteral("heif"), QStringLiteral("heic")};
    return extensions;
}

void ViewController::OnSelectImage() {
    if (processIsRunning())
        return;
    if (!originalImagePath.isEmpty() &&
        !platform::askYesNo(QStringLiteral(
            "All unsaved changes will be lost. Are you sure you want to select a new image?")))
        return;
    platform::OpenPanel panel;
    panel.title = QStringLiteral("Open Photo");
    panel.extensions = openPanelExtensions();
    panel.directory = platform::defaults::folder(platform::defaults::kAddImagePath);
    const QString chosen = platform::dialogs().runOpenPanel(panel);
    if (chosen.isEmpty())
        return;
    platform::defaults::setString(platform::defaults::kAddImagePath,
                                  QFileInfo(chosen).absolutePath());
    takeInPicture(chosen, QStringLiteral("addImage"));
}

void ViewController::openData(const platform::Notification& note) {
    if (note.userInfo.isEmpty())
        return;
    const QStringList paths = note.userInfo.value(QStringLiteral("0")).toStringList();
    if (paths.isEmpty()) {
        platform::showNotice(kCouldNotLoad);
        return;
    }
    takeInPicture(paths.front(), QStringLiteral("addImage"));
}

void ViewController::ImageDragged(const platform::Notification& note) {
    if (note.userInfo.isEmpty())
        return;
    const QString path = note.userInfo.value(QStringLiteral("path")).toString();
    if (path.isEmpty()) {
        platform::showNotice(kCouldNotLoad);
        return;
    }
    takeInPicture(path, QStringLiteral("addImage"));
}

void ViewController::OnReset() {
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
    segmentedControlPreviewOriginal->setSelectedSegment(0);
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
        // Only the header is read here; decoding happens in the background.
        const QSize pixels = ImageTools::pixelSizeOfFile(path);
        const QSizeF area = customViewImage->size();
        QRectF fitted(0, 0, area.width(), area.height());
        if (!pixels.isEmpty())
            ImageTools::fitRect(fitted, pixels.width(), pixels.height());

        LayerRenderInput in;
        in.kind = LayerRenderInput::Kind::both;
        in.path = path;
        in.original = reset ? currentOriginal() : Picture();
        in.background = settings.background;
        in.foreground = settings.foreground;
        in.neutral = initialVal;
        in.eraserOn = settings.brush.eraser;
        in.pictureRect = fitted;
        in.maskRect = QRectF(0, 0, area.width(), area.height());
        in.maskWidth = area.width();
        in.maskHeight = area.height();

        imageView->curentRect = imageViewBackground->curentRect = fitted;
        imageView->originalRect = imageViewBackground->originalRect =
            QRectF(0, 0, pixels.width(), pixels.height());
        maskImageWidth = area.width();
        maskImageHeight = area.height();
        CanvasGeometry geometry{fitted, in.maskRect, in.maskWidth, in.maskHeight};
        const bool readable = !pixels.isEmpty();
        return [this, in = std::move(in), action, reset, readable,
                geometry](const SessionJobs::Cancel& cancel) mutable {
            in.cancel = cancel;
            LayerRenderResult result;
            if (readable)
                result = renderLayers(std::move(in));
            return SessionJobs::Apply(
                [this, action, reset, geometry, result = std::move(result)]() mutable {
                    if (result.ok)
                        canvasBuiltFor_ = geometry;
                    finishIntake(action, std::move(result), reset);
                });
        };
    });
}

void ViewController::finishIntake(const QString& action, LayerRenderResult result, bool reset) {
    if (!result.ok || result.composite.size != imageView->originalRect.size()) {
        clearSessionForNewPicture();
        imageView->curentRect = imageViewBackground->curentRect = QRectF();
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
    currentMaskImage = result.currentMaskImage;
    lastImage = result.composite;
    currentMaskRect = QRectF(0, 0, maskImageWidth, maskImageHeight);

    imageViewBackground->show();
    showComposite(result.shownComposite);
    for (DrawView* view : {imageView, imageViewBackground})
        view->originalImagePath = originalImagePath;
    // Modes chosen before the picture came in apply to it.
    syncSurfaceModes();
    chooseLiveColor(result.revealWindow, result.eraseWindow);

    imageViewBackground->path = makePath();
    imageViewBackground->secondPath = makePath();
    imageViewBackground->listOfPAths.clear();
    imageViewBackground->foregroundImageViewOrigin = QPointF();
    imageViewBackground->makeBrushCircleImage();
    imageViewBackground->update();

    statesList.clear();
    actualStatesList.clear();
    needToSaveBackground = needToSaveForeground = true;
    commitState(action);
    currenState = 0;
    needToSaveState = false;
    if (reset)
        changesMade = false;
}

} // namespace vividra
