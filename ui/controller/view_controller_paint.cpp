// The controller's side of painting: recording strokes and composing after one.
#include <QColorDialog>

#include "model/paint/compositing.h"
#include "ui/canvas/draw_view.h"
#include "ui/controller/view_controller.h"
#include "ui/controls/check_box.h"
#include "ui/controls/segmented_control.h"

namespace vividra {

namespace {

// The stroke on the surface as the list keeps it: its width in picture pixels and its colour.
CustomPathRef strokeOf(const DrawView* surface, const Picture& reveal, const Picture& erase) {
    const double width = surface->pictureRect.width() > 0
                             ? surface->currentLineWidth * surface->originalRect.width() /
                                   surface->pictureRect.width()
                             : surface->currentLineWidth;
    QBrush colour = surface->isErase   ? patternColor(erase)
                    : surface->isColor ? surface->color
                                       : patternColor(reveal);
    auto stroke = std::make_shared<CustomPath>(width, colour, copyPath(surface->secondPath));
    stroke->edgeAware = surface->edgeAware;
    if (surface->isErase)
        stroke->isErase = true;
    else if (surface->isColor)
        stroke->isSolidColor = true;
    return stroke;
}

} // namespace

CustomPathRef ViewController::currentStroke(const Picture& reveal, const Picture& erase) const {
    if (imageViewBackground->secondPath->isEmpty())
        return nullptr;
    return strokeOf(imageViewBackground, reveal, erase);
}

void ViewController::recordCurrentStroke(const Picture& reveal, const Picture& erase) {
    // The list keeps the path as it is now, and the surface goes on with a new one, so a
    // recorded stroke never changes afterwards and is painted once, not again with the next.
    DrawView* surface = imageViewBackground;
    surface->strokePaths.append(strokeOf(surface, reveal, erase));
    if (!surface->secondPath->isEmpty())
        surface->secondPath = makePath();
}

void ViewController::syncSurfaceModes() {
    DrawView* surface = imageViewBackground;
    surface->isErase = settings.brush.eraser;
    surface->isColor = settings.brush.customColor && !settings.brush.eraser;
    surface->edgeAware = settings.brush.edgeAware;
}

void ViewController::setBrushColor(const QBrush& colour) {
    imageViewBackground->color = colour;
    currentColor = colour;
    imageViewBackground->update();
}

void ViewController::showComposite(const Picture& composite, const QImage& window,
                                   const ViewGeometry& geometry, std::uint64_t made) {
    // A preview of newer settings stays until their own rendering replaces it.
    if (made < shownMadeAt_)
        return;
    if (!window.isNull())
        previewWindow_ = {window, geometry, composite.image.cacheKey()};
    if (!viewState.showsOriginal()) {
        shownMadeAt_ = made;
        imageView->setImage(composite);
        // A window cut for where the view was before a zoom or pan is not drawn; the
        // rebuild on its way cuts the one for where it is now.
        imageView->showWindow(window, geometry);
        imageViewBackground->show();
    } else if (!imageView->showsPicture()) {
        showPreviewOrOriginal();
    }
}

void ViewController::strokeFinished() {
    saveStateTriggeredByDrawing = true;
    registerStateChange(QStringLiteral("pathModified"));
    saveStateTriggeredByDrawing = false;
    if (originalImagePath.isEmpty())
        return;

    jobs.enqueue(SessionJobs::Kind::composite, [this]() -> SessionJobs::Work {
        if (backgroundImage.isEmpty())
            return {};
        const bool everything = currentZoomInImage.isEmpty();
        recordCurrentStroke(foregroundImage, preEraseImage);
        const QList<CustomPathRef> strokes = snapshotStrokes(
            everything ? imageViewBackground->strokePaths
                       : QList<CustomPathRef>{imageViewBackground->strokePaths.last()});
        // Hand the running composite over whole, so painting it needs no copy; a full
        // composition starts again from the clean background.
        Picture target = everything ? preEraseImage : std::exchange(currentZoomInImage, Picture());
        // The latest composite is that same picture: letting go of it here saves a full copy.
        lastImage = Picture();
        const QBrush reveal = patternColor(foregroundImage);
        const QBrush erase = patternColor(preEraseImage);
        const Picture original = currentOriginal();
        // The live stroke shows the brush's whole circle; an edge-aware one paints less, so
        // its result is shown as soon as it is painted.
        const bool show = strokes.last()->edgeAware;
        const ViewGeometry view = canvasGeometry();
        return [this, target = std::move(target), strokes, reveal, erase, original, show,
                view](const SessionJobs::Cancel&) mutable {
            Picture result =
                compositeStrokes(std::move(target), strokes, reveal, erase, original.image);
            const QImage shown =
                show && !result.isEmpty() ? displayWindow(result, view).image : QImage();
            return SessionJobs::Apply([this, result = std::move(result), shown, view] {
                if (result.isEmpty()) {
                    showJobFailure(QStringLiteral(
                        "There is not enough memory to paint this stroke into the picture."));
                    return;
                }
                currentZoomInImage = result;
                lastImage = result;
                if (shown.isNull() || view != canvasGeometry())
                    return;
                showComposite(result, shown, view, layersMadeAt_);
                // The strokes so far are in the picture now; a stroke under way stays drawn.
                if (imageViewBackground->currentPhase == QStringLiteral("mouseDown")) {
                    imageViewBackground->path = makePath();
                    imageViewBackground->update();
                }
            });
        };
    });
}

} // namespace vividra
