// The controller's view: zoom, panning, the Preview/Original switch and fitting the
// picture to a resized window.
//
// The picture view and the painting surface stay the size of the box; the picture view's
// frame, up to five times the box, lives in the session's geometry (`maskImageWidth` ×
// `maskImageHeight` and the box's window `currentMaskRect` of it). A change of view is
// shown at once by drawing the full picture's visible part scaled; the exact windows
// (the picture, the brush's reveal and erase colours) are then rebuilt in the session's
// job line, once the changes have stopped.
#include <QTimer>

#include "model/effects/image_tools.h"
#include "model/paint/compositing.h"
#include "model/view/zoom.h"
#include "ui/canvas/draw_view.h"
#include "ui/controller/view_controller.h"
#include "ui/controls/segmented_control.h"

namespace vividra {
namespace {

// A zoom step waits this long for the next before the view is rebuilt.
constexpr int kZoomRebuildDelayMs = 1000;
// With no end-of-resize event, a resize has ended after this quiet time.
constexpr int kResizeQuietMs = 250;

} // namespace

QSizeF ViewController::boxSize() const {
    return customViewImage->size();
}

QRectF ViewController::pictureFrame() const {
    return zoom::frameOf(canvasGeometry());
}

bool ViewController::viewBusy() const {
    return renderingPending() || infoProvider.jobsBusy();
}

void ViewController::zoomIn() {
    if (viewBusy() || originalImagePath.isEmpty())
        return;
    zoomBy(zoom::kZoomInFactor, std::nullopt);
}

void ViewController::zoomOut() {
    if (zoom::ratio(pictureFrame(), boxSize()) <= 1.0 || originalImagePath.isEmpty() || viewBusy())
        return;
    zoomBy(zoom::kZoomOutFactor, std::nullopt);
}

void ViewController::zoomAbout(double factor, const QPointF& boxPoint) {
    if (viewBusy() || originalImagePath.isEmpty())
        return;
    if (factor < 1.0 && zoom::ratio(pictureFrame(), boxSize()) <= 1.0)
        return;
    // The box point in the frame's y-up terms.
    zoomBy(factor, QPointF(boxPoint.x(), boxSize().height() - boxPoint.y()));
}

void ViewController::zoomBy(double factor, std::optional<QPointF> anchor) {
    viewRebuildTimer->stop();
    if (!imageView->showsPicture())
        return;
    const std::optional<QRectF> frame = viewState.zoomAt(pictureFrame(), boxSize(), factor, anchor);
    if (!frame)
        return;
    setPictureFrame(*frame);
    viewRebuildTimer->start(kZoomRebuildDelayMs);
}

void ViewController::resetZoom() {
    if (!imageView->showsPicture() || originalImagePath.isEmpty() || viewBusy())
        return;
    viewRebuildTimer->stop();
    viewState.fit();
    setPictureFrame(QRectF(QPointF(0, 0), boxSize()));
    refreshViewCanvas();
}

void ViewController::setPictureFrame(const QRectF& requested) {
    const QSizeF box = boxSize();
    const QRectF frame = zoom::clampPictureFrame(requested, box);
    const ViewGeometry g = zoom::geometryFor(frame, box, imageView->originalRect.size());
    currentMaskRect = g.maskRect;
    maskImageWidth = g.maskWidth;
    maskImageHeight = g.maskHeight;
    DrawView* surface = imageViewBackground;
    imageView->pictureRect = surface->pictureRect = g.pictureRect;
    surface->foregroundImageViewOrigin = frame.topLeft();
    // The brush keeps its size in picture pixels: it grows on screen with the picture.
    surface->scale = zoom::ratio(frame, box);
    surface->lineWidth = settings.brush.size;
    surface->currentLineWidth = surface->lineWidth * surface->scale;
    surface->makeBrushCircleImage();
    // The live colour was cut for the old view: no painting until it is cut again.
    viewState.moved();
    for (DrawView* view : {imageView, surface}) {
        view->path = makePath();
        view->secondPath = makePath();
        view->setViewGeometry(g);
    }
    showPreviewOrOriginal();
}

void ViewController::showPreviewOrOriginal() {
    const ViewGeometry g = imageView->viewGeometry();
    const bool original = viewState.showsOriginal();
    imageViewBackground->setVisible(!original);
    imageViewBackground->resetCursorRects();
    if (!original && keepNewerPreview())
        return;
    const Picture source = original ? currentOriginal() : lastImage;
    const ShownWindow& cached = original ? originalWindow_ : previewWindow_;
    // While a stroke is being composed the composite is away; the last window still shows
    // everything but that stroke, which the painting surface shows.
    const bool composing = !original && source.isEmpty();
    if (!original && !composing)
        shownMadeAt_ = layersMadeAt_;
    if (cached.geometry == g && !cached.image.isNull() &&
        (composing || (!source.isEmpty() && cached.source == source.image.cacheKey()))) {
        imageView->setImage(source);
        imageView->showWindow(cached.image, g);
        return;
    }
    if (composing)
        return;
    imageView->setImage(source);
    // Shown scaled for now; without a rebuild on its way, build the exact window.
    if (!viewState.rebuildPending())
        refreshViewCanvas();
}

void ViewController::showChosenPreviewOrOriginal() {
    viewState.show(segmentedControlPreviewOriginal->selectedSegment() == 1
                       ? ViewState::Shown::original
                       : ViewState::Shown::preview);
    if (originalImagePath.isEmpty() || !imageView->showsPicture()) {
        imageViewBackground->setVisible(!viewState.showsOriginal());
        imageViewBackground->resetCursorRects();
        return;
    }
    showPreviewOrOriginal();
}

void ViewController::showOriginalWhileHeld(bool held) {
    if (!viewState.holdOriginal(held))
        return;
    segmentedControlPreviewOriginal->setSelectedSegment(viewState.showsOriginal() ? 1 : 0);
    showChosenPreviewOrOriginal();
}

void ViewController::boxResized() {
    if (lastWindowResize)
        return;
    const QSizeF box = boxSize();
    const ViewGeometry g = canvasGeometry();
    if (originalImagePath.isEmpty() || !imageView->showsPicture() || g.maskRect.size() == box)
        return;
    setPictureFrame(zoom::resized(zoom::frameOf(g), g.maskRect.size(), box));
    if (zoom::ratio(pictureFrame(), box) <= 1.0)
        viewState.fit();
    resizeTimer_->start(kResizeQuietMs);
}

void ViewController::resizeEnded() {
    if (!originalImagePath.isEmpty() && !lastWindowResize && imageView->showsPicture())
        refreshViewCanvas();
}

void ViewController::panBy(const QPointF& delta) {
    if (infoProvider.leftMouseDragged || viewBusy() || originalImagePath.isEmpty() ||
        !imageView->showsPicture())
        return;
    const QRectF frame = pictureFrame();
    const QSizeF box = boxSize();
    if (zoom::ratio(frame, box) <= 1.0)
        return;
    // Widget rows run downwards, the frame's y upwards.
    const QRectF moved = zoom::pan(frame, box, std::round(delta.x()), -std::round(delta.y()));
    if (moved == frame)
        return;
    viewRebuildTimer->stop();
    setPictureFrame(moved);
    viewState.panned();
}

void ViewController::beginPan() {
    viewState.beginPan();
}

void ViewController::endPan() {
    // A left press during the pan started no stroke: the view is rebuilt even while the
    // left button is still held, or the brush would wait for the next move of the view.
    if (viewState.endPan())
        refreshViewCanvas();
}

void ViewController::refreshViewCanvas() {
    jobs.enqueue(SessionJobs::Kind::refresh, [this]() -> SessionJobs::Work {
        if (originalImagePath.isEmpty() || lastImage.isEmpty()) {
            viewState.rebuilt();
            return {};
        }
        const ViewGeometry g = canvasGeometry();
        const bool original = viewState.showsOriginal();
        struct Input {
            Picture shownSource, foreground, preErase;
            QString path;
            bool shown, reveal, erase;
        };
        Input in;
        in.shownSource = original ? currentOriginal() : lastImage;
        in.path = originalImagePath;
        const ShownWindow& cached = original ? originalWindow_ : previewWindow_;
        in.shown = !(cached.geometry == g && !in.shownSource.isEmpty() &&
                     cached.source == in.shownSource.image.cacheKey());
        const bool canvasDone = canvasBuiltFor_ == g && !currentMaskImage.isEmpty();
        in.reveal = !canvasDone;
        in.erase = settings.brush.eraser && !(canvasDone && !zoomEraseImage.isEmpty());
        if (!in.shown && !in.reveal && !in.erase) {
            // Everything on show was already cut for this view.
            finishViewRebuild(g, original, in.shownSource, QImage(), currentMaskImage,
                              zoomEraseImage);
            return {};
        }
        if (in.reveal)
            in.foreground = foregroundImage;
        if (in.erase)
            in.preErase = preEraseImage;
        return [this, in, g, original](const SessionJobs::Cancel&) {
            Picture source = in.shownSource;
            // The original is read again when its file changed since it was decoded.
            if (in.shown && source.isEmpty() && original)
                source = ImageTools::readPicture(in.path).value_or(Picture());
            QImage shown;
            if (in.shown)
                shown = displayWindow(source, g).image;
            const Picture reveal = in.reveal ? displayWindow(in.foreground, g) : Picture();
            const Picture erase = in.erase ? displayWindow(in.preErase, g) : Picture();
            return SessionJobs::Apply([this, g, original, source, shown, reveal, erase, in] {
                // The view moved meanwhile; the rebuild for where it is now is on its way.
                if (g != canvasGeometry())
                    return;
                finishViewRebuild(g, original, source, in.shown ? shown : QImage(),
                                  in.reveal ? reveal : currentMaskImage,
                                  in.erase ? erase : zoomEraseImage);
            });
        };
    });
}

void ViewController::finishViewRebuild(const ViewGeometry& g, bool original, const Picture& source,
                                       const QImage& shown, const Picture& reveal,
                                       const Picture& erase) {
    if (!shown.isNull()) {
        ShownWindow& cache = original ? originalWindow_ : previewWindow_;
        cache = {shown, g, source.image.cacheKey()};
    }
    currentMaskImage = reveal;
    zoomEraseImage = erase;
    canvasBuiltFor_ = g;
    if (viewState.showsOriginal() == original && (original || !keepNewerPreview())) {
        if (shown.isNull()) {
            showPreviewOrOriginal();
        } else {
            imageView->setImage(source);
            imageView->showWindow(shown, g);
            if (!original)
                shownMadeAt_ = layersMadeAt_;
        }
    }
    chooseLiveColor(reveal, erase);
    DrawView* surface = imageViewBackground;
    for (DrawView* view : {imageView, surface}) {
        view->path = makePath();
        view->secondPath = makePath();
        view->update();
    }
    surface->lineWidth = settings.brush.size;
    surface->currentLineWidth = surface->lineWidth * surface->scale;
    viewState.rebuilt();
    if (viewState.takeEndedPan()) {
        registerStateChange(QStringLiteral("rightMouse"));
    }
    startWaitingUpdates();
}

} // namespace vividra
