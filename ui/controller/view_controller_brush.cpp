// The controller's brush controls: size, eraser, custom colour and the colour dialog.
#include <QColorDialog>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "model/paint/compositing.h"
#include "ui/canvas/draw_view.h"
#include "ui/controller/view_controller.h"
#include "ui/controls/check_box.h"
#include "ui/controls/segmented_control.h"
#include "ui/controls/slider.h"

namespace vividra {

void ViewController::connectBrushControls() {
    // While the knob is dragged only the label follows; the brush changes when it is let go.
    connect(sliderBrushSize, &Slider::floatValueChanged, this, [this](float value) {
        if (sliderBrushSize->isSliderDown())
            labelBrushSize->setText(QString::number(static_cast<int>(value)) +
                                    QStringLiteral(" px"));
        else
            applyBrushSize();
    });
    connect(sliderBrushSize, &QSlider::sliderReleased, this, &ViewController::applyBrushSize);
    connect(checkEraserMode, &QAbstractButton::clicked, this, [this] {
        settings.brush.eraser = checkEraserMode->isChecked();
        eraserModeToggled();
    });
    connect(checkCustomColor, &QAbstractButton::clicked, this, [this] {
        settings.brush.customColor = checkCustomColor->isChecked();
        customColourToggled();
    });
    connect(buttonCustomColor, &QPushButton::clicked, this, &ViewController::showColourDialog);
    connect(colourDialog, &QColorDialog::currentColorChanged, this, [this](const QColor& colour) {
        settings.brush.colour = colour;
        applyDialogColour();
    });
}

Picture ViewController::flattenForExport() {
    // Every stroke again, from the clean background, the current one at its width on screen.
    DrawView* surface = imageViewBackground;
    const double width = surface->currentLineWidth;
    recordCurrentStroke(foregroundImage, preEraseImage);
    QList<CustomPathRef> strokes = snapshotStrokes(surface->strokePaths);
    strokes.last()->lineWidth = width;
    return compositeStrokes(preEraseImage, strokes, patternColor(foregroundImage),
                            patternColor(preEraseImage), currentOriginal().image);
}

void ViewController::refreshComposite(bool eraseWindow,
                                      std::function<void(const RefreshResult&)> then) {
    jobs.enqueue(SessionJobs::Kind::refresh,
                 [this, eraseWindow, then = std::move(then)]() -> SessionJobs::Work {
                     if (originalImagePath.isEmpty())
                         return {};
                     recordCurrentStroke(foregroundImage, preEraseImage);
                     struct Input {
                         Picture preErase, foreground, reveal, original;
                         QList<CustomPathRef> strokes;
                         ViewGeometry view;
                         bool eraseWindow;
                     };
                     Input in;
                     in.preErase = preEraseImage;
                     in.foreground = foregroundImage;
                     in.original = currentOriginal();
                     in.strokes = snapshotStrokes(imageViewBackground->strokePaths);
                     in.view = canvasGeometry();
                     // The reveal window is cut again only when the view moved since it was cut.
                     if (canvasBuiltFor_ == in.view)
                         in.reveal = currentMaskImage;
                     // The erase window is built only if the eraser is still on when the job
                     // starts.
                     in.eraseWindow = eraseWindow && settings.brush.eraser;
                     return [this, in = std::move(in), then](const SessionJobs::Cancel&) mutable {
                         RefreshResult r;
                         r.composite =
                             compositeStrokes(in.preErase, in.strokes, patternColor(in.foreground),
                                              patternColor(in.preErase), in.original.image);
                         r.shown = displayWindow(r.composite, in.view).image;
                         r.revealWindow = in.reveal.isEmpty()
                                              ? displayWindow(in.foreground, in.view)
                                              : in.reveal;
                         if (in.eraseWindow)
                             r.eraseWindow = displayWindow(in.preErase, in.view);
                         return SessionJobs::Apply([this, r = std::move(r), view = in.view, then] {
                             if (!r.composite.isEmpty()) {
                                 lastImage = r.composite;
                                 currentZoomInImage = r.composite;
                                 showComposite(r.composite, r.shown, view, layersMadeAt_);
                             }
                             if (view == canvasGeometry()) {
                                 currentMaskImage = r.revealWindow;
                                 canvasBuiltFor_ = view;
                                 if (!r.eraseWindow.isEmpty())
                                     zoomEraseImage = r.eraseWindow;
                             }
                             for (DrawView* v : {imageView, imageViewBackground}) {
                                 v->path = makePath();
                                 v->secondPath = makePath();
                                 v->update();
                             }
                             then(r);
                         });
                     };
                 });
}

void ViewController::chooseLiveColor(const Picture& revealWindow, const Picture& eraseWindow) {
    if (settings.brush.eraser)
        setBrushColor(patternColor(eraseWindow));
    else if (settings.brush.customColor)
        setBrushColor(QBrush(settings.brush.colour));
    else
        setBrushColor(patternColor(revealWindow));
}

void ViewController::applyBrushSize() {
    changesMade = true;
    const float value = sliderBrushSize->floatValue();
    settings.brush.size = value;
    labelBrushSize->setText(settings.brushLabel());
    DrawView* surface = imageViewBackground;
    if (originalImagePath.isEmpty()) {
        // Without a picture the brush still takes the new size for the next one.
        surface->lineWidth = value;
        surface->currentLineWidth = value * surface->scale;
        surface->makeBrushCircleImage();
        return;
    }
    // The cursor shows the new size at once; the brush takes it when the refresh's turn comes.
    const double previous = surface->currentLineWidth;
    surface->currentLineWidth = surface->scale * value;
    surface->makeBrushCircleImage();
    surface->currentLineWidth = previous;
    refreshComposite(false, [this](const RefreshResult&) {
        DrawView* s = imageViewBackground;
        s->lineWidth = settings.brush.size;
        s->currentLineWidth = s->lineWidth * s->scale;
        s->update();
        registerStateChange(QStringLiteral("brushSizeChanged"));
    });
}

void ViewController::eraserModeToggled() {
    checkEraserMode->showImageForState();
    changesMade = true;
    // Behind a rendering the switch waits its turn in the render queue; otherwise it
    // joins the line at once, whatever job runs there.
    if (renderingPending()) {
        if (!waitingUpdates.contains(LayerUpdate::eraserMode))
            waitingUpdates.append(LayerUpdate::eraserMode);
    } else {
        applyEraserMode();
    }
}

void ViewController::applyEraserMode() {
    checkEraserMode->showImageForState();
    if (originalImagePath.isEmpty()) {
        syncSurfaceModes();
        imageViewBackground->makeBrushCircleImage();
        return;
    }
    // The surface takes the modes as the settings are when the refresh ends.
    refreshComposite(true, [this](const RefreshResult& r) {
        syncSurfaceModes();
        chooseLiveColor(r.revealWindow, r.eraseWindow);
        imageViewBackground->makeBrushCircleImage();
        registerStateChange(QStringLiteral("customColorSelected"));
    });
}

void ViewController::customColourToggled() {
    changesMade = true;
    checkCustomColor->showImageForState();
    if (originalImagePath.isEmpty()) {
        syncSurfaceModes();
        return;
    }
    refreshComposite(true, [this](const RefreshResult& r) {
        syncSurfaceModes();
        chooseLiveColor(r.revealWindow, r.eraseWindow);
        registerStateChange(QStringLiteral("customColorSelected"));
    });
}

void ViewController::showColourDialog() {
    colourDialog->show();
    colourDialog->raise();
    colourDialog->activateWindow();
    changesMade = true;
}

void ViewController::applyDialogColour() {
    buttonCustomColor->setStyleSheet(
        QStringLiteral("QPushButton { background: %1; border: none; border-radius: 6px; }")
            .arg(settings.brush.colour.name()));
    if (colourChangeRunning) {
        colourChangeWaiting = true;
        return;
    }
    checkCustomColor->showImageForState();
    if (originalImagePath.isEmpty())
        return;
    // While one refresh is on its way, later colours are gathered into one more.
    colourChangeRunning = true;
    refreshComposite(true, [this](const RefreshResult& r) {
        syncSurfaceModes();
        chooseLiveColor(r.revealWindow, r.eraseWindow);
        colourChangeRunning = false;
        if (colourChangeWaiting) {
            colourChangeWaiting = false;
            // The dialog moved on meanwhile: apply its latest colour once more.
            QTimer::singleShot(0, this, [this] { applyDialogColour(); });
        }
    });
}

} // namespace vividra
