// The controller's side of painting: recording strokes and composing after one.
#include <QColorDialog>
#include <QDateTime>
#include <QFileInfo>

#include "controls/check_box.h"
#include "controls/segmented_control.h"
#include "paint/compositing.h"
#include "paint/draw_view.h"
#include "platform/work_queue.h"
#include "session/view_controller.h"

namespace vividra {

void ViewController::recordCurrentStroke(const Picture& reveal, const Picture& erase) {
    DrawView* surface = imageViewBackground;
    const double width = surface->curentRect.width() > 0
                             ? surface->currentLineWidth * surface->originalRect.width() /
                                   surface->curentRect.width()
                             : surface->currentLineWidth;
    QBrush colour = surface->isErase   ? patternColor(erase)
                    : surface->isColor ? surface->color
                                       : patternColor(reveal);
    auto stroke = std::make_shared<CustomPath>(width, colour, surface->secondPath);
    if (surface->isErase)
        stroke->isErase = true;
    else if (surface->isColor)
        stroke->isSolidColor = true;
    surface->listOfPAths.append(stroke);
}

void ViewController::setBrushColor(const QBrush& colour) {
    imageViewBackground->color = colour;
    currentColor = colour;
    imageViewBackground->update();
}

void ViewController::showComposite(const QImage& shown) {
    if (segmentedControlPreviewOriginal->selectedSegment() == 0) {
        imageView->setShownImage(shown);
        imageViewBackground->show();
    } else {
        imageView->setShownImage(currentOriginal().image);
        imageViewBackground->hide();
    }
}

Picture ViewController::currentOriginal() const {
    const QFileInfo info(originalImagePath);
    const QString stamp = originalImagePath + QString::number(info.size()) +
                          QString::number(info.lastModified().toMSecsSinceEpoch());
    return stamp == originalStamp_ ? original_ : Picture();
}

void ViewController::rememberOriginal(const Picture& original) {
    const QFileInfo info(originalImagePath);
    original_ = original;
    originalStamp_ = originalImagePath + QString::number(info.size()) +
                     QString::number(info.lastModified().toMSecsSinceEpoch());
}

void ViewController::PathModified() {
    needToSaveState = true;
    saveStateTriggeredByDrawing = true;
    registerStateChange(QStringLiteral("pathModified"));
    saveStateTriggeredByDrawing = false;
    if (backgroundImage.isEmpty())
        return;

    infoProvider.changesMadeAfterLastZoom = true;
    infoProvider.processIsRunning = true;

    const bool everything = currentZoomInImage.isEmpty();
    recordCurrentStroke(foregroundImage, preEraseImage);
    const QList<CustomPathRef> strokes =
        everything ? imageViewBackground->listOfPAths
                   : QList<CustomPathRef>{imageViewBackground->listOfPAths.last()};
    // Hand the running composite over whole, so painting it needs no copy.
    Picture target = everything ? backgroundImage : std::exchange(currentZoomInImage, Picture());
    lastImage = Picture();
    const QBrush reveal = patternColor(foregroundImage);
    const QBrush erase = patternColor(preEraseImage);
    platform::runInBackground([this, target = std::move(target), strokes, reveal, erase]() mutable {
        Picture result = compositeStrokes(std::move(target), strokes, reveal, erase);
        platform::runOnMain([this, result = std::move(result)] {
            currentZoomInImage = result;
            lastImage = result;
            infoProvider.processIsRunning = false;
        });
    });
}

} // namespace vividra
