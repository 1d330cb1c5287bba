// The controller's brush controls: size, eraser, custom colour and the colour panel.
#include <QColorDialog>
#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QPushButton>

#include "controls/check_box.h"
#include "controls/progress_indicator.h"
#include "controls/segmented_control.h"
#include "controls/slider.h"
#include "effects/image_tools.h"
#include "paint/compositing.h"
#include "paint/draw_view.h"
#include "platform/log.h"
#include "platform/temporary_directory.h"
#include "platform/work_queue.h"
#include "session/view_controller.h"

namespace vividra {

void ViewController::connectBrushControls() {
    // While the knob is dragged only the label follows; the brush changes when it is let go.
    connect(sliderBrushSize, &Slider::floatValueChanged, this, [this](float value) {
        if (sliderBrushSize->isSliderDown())
            labelBrushSize->setText(QString::number(static_cast<int>(value)) +
                                    QStringLiteral(" px"));
        else
            OnBrushSizeChanged();
    });
    connect(sliderBrushSize, &QSlider::sliderReleased, this, &ViewController::OnBrushSizeChanged);
    connect(checkEraserMode, &QAbstractButton::clicked, this,
            &ViewController::OnEraserModeSelected);
    connect(checkCustomColor, &QAbstractButton::clicked, this,
            &ViewController::OnCustomColorSelected);
    connect(buttonCustomColor, &QPushButton::clicked, this, &ViewController::OnCustomColor);
    connect(colorPanel, &QColorDialog::currentColorChanged, this,
            [this](const QColor&) { ColorUpdateWithColorPanel(); });
}

QString ViewController::saveCompositeToTemp() {
    recordCurrentStroke(foregroundImage, preEraseImage);
    const Picture composite =
        compositeStrokes(backgroundImage, imageViewBackground->listOfPAths,
                         patternColor(foregroundImage), patternColor(preEraseImage));
    const QString path = platform::temporaryDirectory() + QStringLiteral("image") +
                         QString::number(QDateTime::currentMSecsSinceEpoch()) +
                         QStringLiteral(".png");
    if (QFile::exists(path)) {
        QFile file(path);
        if (!file.remove())
            platform::logLine(QStringLiteral("Remove failed: ") + file.errorString());
    }
    return ImageTools::writeImage(composite, path, 1, 1.0) ? path : QString();
}

Picture ViewController::flattenForExport() {
    // Every stroke again, onto the layer, at the width it has on screen.
    DrawView* surface = imageViewBackground;
    const double width = surface->currentLineWidth;
    recordCurrentStroke(foregroundImage, preEraseImage);
    surface->listOfPAths.last()->lineWidth = width;
    return compositeStrokes(backgroundImage, surface->listOfPAths, patternColor(foregroundImage),
                            patternColor(preEraseImage));
}

void ViewController::refreshComposite(bool eraseWindow,
                                      std::function<void(const RefreshResult&)> then) {
    infoProvider.processIsRunning = true;
    showProgress();
    recordCurrentStroke(foregroundImage, preEraseImage);
    struct Input {
        Picture background, foreground, preErase, mask;
        QList<CustomPathRef> strokes;
        QRectF pictureRect, maskRect;
        double maskWidth, maskHeight;
        bool eraseWindow;
    };
    Input in{backgroundImage,
             foregroundImage,
             preEraseImage,
             currentMaskImage,
             imageViewBackground->listOfPAths,
             imageViewBackground->curentRect,
             currentMaskRect,
             maskImageWidth,
             maskImageHeight,
             eraseWindow};
    platform::runInBackground([this, in = std::move(in), then = std::move(then)]() mutable {
        RefreshResult r;
        r.composite = compositeStrokes(in.background, in.strokes, patternColor(in.foreground),
                                       patternColor(in.preErase));
        r.shown = screenCopy(r.composite, in.pictureRect.size());
        r.revealWindow = ImageTools::cropImage(in.mask, in.maskRect);
        if (in.eraseWindow) {
            const Picture canvas =
                displayCanvas(in.preErase, in.pictureRect, in.maskWidth, in.maskHeight);
            r.eraseWindow = ImageTools::cropImage(canvas, in.maskRect);
        }
        platform::runOnMain([this, r = std::move(r), then = std::move(then)] {
            if (!r.composite.isEmpty()) {
                lastImage = r.composite;
                currentZoomInImage = r.composite;
                showComposite(r.shown);
            }
            for (DrawView* view : {imageView, imageViewBackground}) {
                view->path = makePath();
                view->secondPath = makePath();
                view->update();
            }
            then(r);
            if (!commitStateIsRunning)
                hideProgress();
            infoProvider.processIsRunning = false;
        });
    });
}

void ViewController::chooseLiveColor(const Picture& revealWindow, const Picture& eraseWindow) {
    if (checkEraserMode->isChecked())
        setBrushColor(patternColor(eraseWindow));
    else if (checkCustomColor->isChecked())
        setBrushColor(QBrush(colorPanel->currentColor()));
    else
        setBrushColor(patternColor(revealWindow));
}

void ViewController::OnBrushSizeChanged() {
    changesMade = true;
    const float value = sliderBrushSize->floatValue();
    labelBrushSize->setText(QString::number(static_cast<int>(value)) + QStringLiteral(" px"));
    DrawView* surface = imageViewBackground;
    if (infoProvider.processIsRunning || originalImagePath.isEmpty()) {
        // Without a picture the brush still takes the new size for the next one.
        if (originalImagePath.isEmpty()) {
            surface->lineWidth = value;
            surface->currentLineWidth = value * surface->scale;
            surface->makeBrushCircleImage();
        }
        return;
    }
    const double previous = surface->currentLineWidth;
    surface->currentLineWidth = surface->scale * value;
    surface->makeBrushCircleImage();
    surface->currentLineWidth = previous;
    refreshComposite(false, [this, value](const RefreshResult&) {
        DrawView* s = imageViewBackground;
        s->lineWidth = value;
        s->currentLineWidth = s->lineWidth * s->scale;
        s->update();
        needToSaveState = true;
        registerStateChange(QStringLiteral("brushSizeChanged"));
    });
}

void ViewController::OnEraserModeSelected() {
    checkEraserMode->showImageForState();
    if (infoProvider.processIsRunning || processIsRunning) {
        if (!processesQueue.contains(ProcessType::updateEraserMode))
            processesQueue.append(ProcessType::updateEraserMode);
    } else {
        applyEraserMode();
    }
    changesMade = true;
}

void ViewController::applyEraserMode(bool fromQueue) {
    checkEraserMode->showImageForState();
    // A switch that waited for a rendering hands the queue on when it is done.
    const auto finish = [this, fromQueue] {
        if (!fromQueue)
            return;
        if (processesQueue.isEmpty())
            processIsRunning = false;
        else
            drainProcessesQueue();
    };
    if (originalImagePath.isEmpty()) {
        finish();
        return;
    }
    const bool on = checkEraserMode->isChecked();
    currentMaskRect = QRectF(-imageView->x(), -imageView->y(), customViewImage->width(),
                             customViewImage->height());
    if (currentMaskImage.isEmpty())
        currentMaskRect = QRectF(0, 0, maskImageWidth, maskImageHeight);
    refreshComposite(on, [this, on, finish](const RefreshResult& r) {
        DrawView* s = imageViewBackground;
        s->isErase = on;
        if (on) {
            s->isColor = false;
            setBrushColor(patternColor(r.eraseWindow));
        } else {
            chooseLiveColor(r.revealWindow, r.eraseWindow);
        }
        s->makeBrushCircleImage();
        needToSaveState = true;
        registerStateChange(QStringLiteral("customColorSelected"));
        finish();
    });
}

void ViewController::OnCustomColorSelected() {
    changesMade = true;
    checkCustomColor->showImageForState();
    if (originalImagePath.isEmpty() || infoProvider.processIsRunning)
        return;
    const bool on = checkCustomColor->isChecked();
    refreshComposite(checkEraserMode->isChecked(), [this, on](const RefreshResult& r) {
        DrawView* s = imageViewBackground;
        s->isColor = on;
        if (on && !checkEraserMode->isChecked())
            setBrushColor(QBrush(colorPanel->currentColor()));
        else
            chooseLiveColor(r.revealWindow, r.eraseWindow);
        needToSaveState = true;
        registerStateChange(QStringLiteral("customColorSelected"));
    });
}

void ViewController::OnCustomColor() {
    colorPanel->show();
    colorPanel->raise();
    colorPanel->activateWindow();
    changesMade = true;
}

void ViewController::ColorUpdateWithColorPanel() {
    const QColor colour = colorPanel->currentColor();
    buttonCustomColor->setStyleSheet(
        QStringLiteral("QPushButton { background: %1; border: none; border-radius: 6px; }")
            .arg(colour.name()));
    if (colorIsChangeing) {
        colorChangeTriggered = true;
        return;
    }
    colorIsChangeing = true;
    checkCustomColor->showImageForState();
    if (originalImagePath.isEmpty() || infoProvider.processIsRunning) {
        colorIsChangeing = false;
        return;
    }
    refreshComposite(checkEraserMode->isChecked(), [this](const RefreshResult& r) {
        DrawView* s = imageViewBackground;
        if (checkCustomColor->isChecked()) {
            s->isColor = true;
            setBrushColor(QBrush(colorPanel->currentColor()));
        } else {
            s->isColor = false;
            chooseLiveColor(r.revealWindow, r.eraseWindow);
        }
        colorIsChangeing = false;
        if (colorChangeTriggered) {
            colorChangeTriggered = false;
            // The panel moved on meanwhile: apply its latest colour once more.
            platform::runOnMain([this] { ColorUpdateWithColorPanel(); });
        }
    });
}

} // namespace vividra
