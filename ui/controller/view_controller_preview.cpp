// The controller's instant previews: every change to the layers' settings is shown at once
// from a reduced copy of the original; the full-resolution rendering follows in the line.
#include "model/view/zoom.h"
#include "ui/canvas/draw_view.h"
#include "ui/controller/view_controller.h"
#include "ui/controls/segmented_control.h"

namespace vividra {

QSize ViewController::previewSize() const {
    // The picture's size on screen when fitted to the box as it is now.
    const QSizeF box = boxSize();
    const QSizeF fitted =
        zoom::geometryFor(QRectF(QPointF(0, 0), box), box, imageView->originalRect.size())
            .pictureRect.size();
    return {std::max(1, static_cast<int>(std::lround(fitted.width()))),
            std::max(1, static_cast<int>(std::lround(fitted.height())))};
}

bool ViewController::previewNeedsDetail() const {
    return sketchDrawnInDetail(settings.foreground) || sketchDrawnInDetail(settings.background);
}

QSize ViewController::previewDetailSize() const {
    return sketchDetailSize(imageView->originalRect.size(), previewSize()).toSize();
}

void ViewController::prepareInstantPreview() {
    jobs.enqueue(SessionJobs::Kind::other, [this]() -> SessionJobs::Work {
        const Picture original = currentOriginal();
        const QSize size = previewSize(), detailSize = previewDetailSize();
        const bool reduce = previewSource_.image.size() != size;
        // The detailed copy is kept only while a sketch needs it.
        const bool detail = previewNeedsDetail() && previewDetail_.image.size() != detailSize;
        if (original.isEmpty() || (!reduce && !detail))
            return {};
        return [this, original, size, detailSize, reduce, detail](const SessionJobs::Cancel&) {
            const Picture reduced = reduce ? reducedOriginal(original, size) : Picture();
            const Picture detailed = detail ? reducedOriginal(original, detailSize) : Picture();
            return SessionJobs::Apply([this, reduced, detailed] {
                if (!reduced.isEmpty())
                    previewSource_ = reduced;
                if (!detailed.isEmpty())
                    previewDetail_ = detailed;
                // A sketch previewed from the screen-size copy is shown again in detail.
                if (!detailed.isEmpty() && previewNeedsDetail() && layersMadeAt_ < shownMadeAt_)
                    showInstantPreview();
            });
        };
    });
}

bool ViewController::showInstantPreview() {
    if (originalImagePath.isEmpty() || !imageView->showsPicture() || viewState.showsOriginal())
        return false;
    const QSizeF full = imageView->originalRect.size();
    const QSize pixels = previewSize();
    if (previewSource_.image.size() != pixels) {
        const Picture original = currentOriginal();
        if (original.isEmpty())
            return false;
        previewSource_ = reducedOriginal(original, pixels);
    }
    // The sketch's detailed copy is many times larger: it is made in the line, and until
    // it is there a sketch is drawn from the screen-size copy.
    const bool sketch = previewNeedsDetail();
    if (!sketch)
        previewDetail_ = Picture();
    const bool detailed = previewDetail_.image.size() == previewDetailSize();
    if (!detailed && sketch)
        prepareInstantPreview();
    PreviewInput in;
    in.reduced = previewSource_;
    in.detailed = detailed ? previewDetail_ : Picture();
    in.fullSize = full;
    in.background = settings.background;
    in.foreground = settings.foreground;
    in.adjustments = settings.adjustments;
    in.strokes = imageViewBackground->strokePaths;
    if (CustomPathRef painting = currentStroke(Picture(), Picture()))
        in.strokes << painting;
    in.view = canvasGeometry();
    in.foregroundCache = &previewForeground_;
    in.backgroundCache = &previewBackground_;
    const QImage shown = renderPreview(in);
    if (shown.isNull())
        return false;
    imageView->showWindow(shown, in.view);
    if (imageView->shownImage().cacheKey() != shown.cacheKey())
        return false;
    shownMadeAt_ = settingsChanges_;
    lastPreview_ = {shown, in.view, static_cast<qint64>(shownMadeAt_)};
    // The preview holds every stroke, in the new colours.
    imageViewBackground->path = makePath();
    imageViewBackground->update();
    return true;
}

bool ViewController::keepNewerPreview() {
    if (layersMadeAt_ >= shownMadeAt_)
        return false;
    if (showInstantPreview())
        return true;
    // It cannot be made again just now (a reset is taking the picture in): as it was, then.
    const ViewGeometry g = imageView->viewGeometry();
    if (lastPreview_.geometry != g || lastPreview_.source != static_cast<qint64>(shownMadeAt_))
        return false;
    imageView->showWindow(lastPreview_.image, g);
    return true;
}

} // namespace vividra
