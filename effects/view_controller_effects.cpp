// The controller's layer effect controls, render requests and layer renderings.
#include <QColorDialog>
#include <QFileInfo>
#include <QPushButton>

#include "controls/check_box.h"
#include "controls/combo_box.h"
#include "controls/progress_indicator.h"
#include "controls/segmented_control.h"
#include "controls/slider.h"
#include "effects/image_tools.h"
#include "effects/layer_rendering.h"
#include "paint/compositing.h"
#include "paint/draw_view.h"
#include "platform/work_queue.h"
#include "session/view_controller.h"

namespace vividra {

EffectSettings ViewController::effectSettings(bool foreground) const {
    EffectSettings s;
    if (foreground) {
        s.blackWhiteOn = checkForegroundBlackWhite->isChecked();
        s.blackWhiteEffect = comboForegroundBlackWhite->currentText();
        s.colorEffectsOn = checkForegroundColorEffects->isChecked();
        s.colorEffect = comboForegroundColorEffects->currentText();
        s.sepiaOn = checkForegroundSepia->isChecked();
        s.sepiaIntensity = sliderForegroundSepiaIntensity->floatValue();
        s.blurOn = checkForegroundBlur->isChecked();
        s.blurIntensity = sliderForegroundBlurIntensity->floatValue();
        s.oilPaintingOn = checkForegroundOilPainting->isChecked();
        s.oilPaintingIntensity = sliderForegroundOilPaintingIntensity->floatValue();
        s.sketchOn = checkForegroundSketch->isChecked();
        s.sketchIntensity = sliderForegroundSketchIntensity->floatValue();
        s.sketchEdge = sliderForegroundSketchEdge->floatValue();
    } else {
        s.blackWhiteOn = checkBackgroundBlackWhite->isChecked();
        s.blackWhiteEffect = comboBackgroundBlackWhite->currentText();
        s.colorEffectsOn = checkBackgroundColorEffects->isChecked();
        s.colorEffect = comboBackgroundColorEffects->currentText();
        s.sepiaOn = checkBackgroundSepia->isChecked();
        s.sepiaIntensity = sliderBackgroundSepiaIntensity->floatValue();
        s.blurOn = checkBackgroundBlur->isChecked();
        s.blurIntensity = sliderBackgroundBlurIntensity->floatValue();
        s.oilPaintingOn = checkBackgroundOilPainting->isChecked();
        s.oilPaintingIntensity = sliderBackgroundOilPaintingIntensity->floatValue();
        s.sketchOn = checkBackgroundSketch->isChecked();
        s.sketchIntensity = sliderBackgroundSketchIntensity->floatValue();
        s.sketchEdge = sliderBackgroundSketchEdge->floatValue();
    }
    return s;
}

AdjustmentSettings ViewController::adjustmentSettings() const {
    AdjustmentSettings a;
    a.brightness = sliderBrightness->floatValue();
    a.exposure = sliderExposure->floatValue();
    a.contrast = sliderContrast->floatValue();
    a.saturation = sliderSaturation->floatValue();
    a.gamma = sliderGamma->floatValue();
    a.hue = sliderHue->floatValue();
    a.red = sliderRed->floatValue();
    a.green = sliderGreen->floatValue();
    a.blue = sliderBlue->floatValue();
    return a;
}

void ViewController::connectEffectControls() {
    const auto onToggle = [this](CheckBox* box, ProcessType kind) {
        connect(box, &QAbstractButton::clicked, this, [this, box, kind] {
            box->showImageForState();
            requestLayerUpdate(kind);
        });
    };
    for (CheckBox* box :
         {checkForegroundBlackWhite, checkForegroundColorEffects, checkForegroundSepia,
          checkForegroundBlur, checkForegroundOilPainting, checkForegroundSketch})
        onToggle(box, ProcessType::foregroundPreview);
    for (CheckBox* box :
         {checkBackgroundBlackWhite, checkBackgroundColorEffects, checkBackgroundSepia,
          checkBackgroundBlur, checkBackgroundOilPainting, checkBackgroundSketch})
        onToggle(box, ProcessType::backgroundPreview);

    const auto onCombo = [this](ComboBox* combo, ProcessType kind) {
        connect(combo, &QComboBox::activated, this, [this, kind] { requestLayerUpdate(kind); });
    };
    onCombo(comboForegroundBlackWhite, ProcessType::foregroundPreview);
    onCombo(comboForegroundColorEffects, ProcessType::foregroundPreview);
    onCombo(comboBackgroundBlackWhite, ProcessType::backgroundPreview);
    onCombo(comboBackgroundColorEffects, ProcessType::backgroundPreview);

    // A slider asks for a rendering when the user lets go, not at every step of a drag.
    const auto onSlider = [this](Slider* slider, ProcessType kind) {
        connect(slider, &Slider::floatValueChanged, this, [this, slider, kind] {
            if (!slider->isSliderDown())
                requestLayerUpdate(kind);
        });
        connect(slider, &QSlider::sliderReleased, this, [this, kind] { requestLayerUpdate(kind); });
    };
    for (Slider* s : {sliderForegroundSepiaIntensity, sliderForegroundBlurIntensity,
                      sliderForegroundOilPaintingIntensity, sliderForegroundSketchIntensity,
                      sliderForegroundSketchEdge})
        onSlider(s, ProcessType::foregroundPreview);
    for (Slider* s : {sliderBackgroundSepiaIntensity, sliderBackgroundBlurIntensity,
                      sliderBackgroundOilPaintingIntensity, sliderBackgroundSketchIntensity,
                      sliderBackgroundSketchEdge})
        onSlider(s, ProcessType::backgroundPreview);
    for (Slider* s : {sliderBrightness, sliderExposure, sliderContrast, sliderSaturation,
                      sliderGamma, sliderHue, sliderRed, sliderGreen, sliderBlue})
        onSlider(s, ProcessType::imagePreview);
    connect(buttonAdjustReset, &QPushButton::clicked, this, &ViewController::OnAdjustReset);
}

void ViewController::OnAdjustReset() {
    sliderBrightness->setFloatValue(initialVal.brightness);
    sliderExposure->setFloatValue(initialVal.exposure);
    sliderContrast->setFloatValue(initialVal.contrast);
    sliderSaturation->setFloatValue(initialVal.saturation);
    sliderGamma->setFloatValue(initialVal.gamma);
    sliderHue->setFloatValue(initialVal.hue);
    sliderRed->setFloatValue(initialVal.red);
    sliderGreen->setFloatValue(initialVal.green);
    sliderBlue->setFloatValue(initialVal.blue);
    requestLayerUpdate(ProcessType::imagePreview);
}

void ViewController::requestLayerUpdate(ProcessType kind) {
    if (processIsRunning) {
        if (!processesQueue.contains(kind))
            processesQueue.append(kind);
    } else {
        startProcess(kind);
    }
    changesMade = true;
}

void ViewController::startProcess(ProcessType kind) {
    switch (kind) {
    case ProcessType::backgroundPreview:
        renderBackgroundLayer();
        break;
    case ProcessType::foregroundPreview:
        renderForegroundLayer();
        break;
    case ProcessType::imagePreview:
        renderBothLayers();
        break;
    case ProcessType::updateEraserMode:
        applyEraserMode(true);
        break;
    }
}

void ViewController::drainProcessesQueue() {
    // Only the first waiting request starts; its completion drains the rest, so
    // two renderings never write the layers at once.
    if (processesQueue.isEmpty())
        return;
    const ProcessType next = processesQueue.takeFirst();
    startProcess(next);
}

void ViewController::renderBackgroundLayer() {
    startRendering(LayerRenderInput::Kind::background);
}
void ViewController::renderForegroundLayer() {
    startRendering(LayerRenderInput::Kind::foreground);
}
void ViewController::renderBothLayers() {
    startRendering(LayerRenderInput::Kind::both);
}

void ViewController::startRendering(LayerRenderInput::Kind kind) {
    processIsRunning = true;
    LayerRenderInput in;
    in.kind = kind;
    in.background = effectSettings(false);
    in.foreground = effectSettings(true);
    in.adjustments = adjustmentSettings();
    in.neutral = initialVal;
    in.eraserOn = checkEraserMode->isChecked();
    if (originalImagePath.isEmpty())
        return;
    showProgress();
    infoProvider.processIsRunning = true;

    in.path = originalImagePath;
    in.original = currentOriginal();
    in.foregroundImage = foregroundImage;
    in.preEraseImage = preEraseImage;
    recordCurrentStroke(foregroundImage, preEraseImage);
    in.strokes = imageViewBackground->listOfPAths;
    in.pictureRect = imageViewBackground->curentRect;
    in.maskRect = currentMaskRect;
    in.maskWidth = maskImageWidth;
    in.maskHeight = maskImageHeight;
    // The layer being recomputed is empty while the job works.
    if (kind != LayerRenderInput::Kind::foreground)
        backgroundImage = Picture();
    if (kind != LayerRenderInput::Kind::background)
        foregroundImage = Picture();
    const Picture keptForeground = in.foregroundImage;

    platform::runInBackground([this, in = std::move(in), kind, keptForeground]() mutable {
        LayerRenderResult result = renderLayers(std::move(in));
        platform::runOnMain([this, result = std::move(result), kind, keptForeground]() mutable {
            finishRendering(kind, std::move(result), keptForeground);
        });
    });
}

void ViewController::finishRendering(LayerRenderInput::Kind kind, LayerRenderResult result,
                                     const Picture& keptForeground) {
    using Kind = LayerRenderInput::Kind;
    if (!result.ok) {
        // The original could not be read again: keep what was shown and stay usable.
        if (foregroundImage.isEmpty())
            foregroundImage = keptForeground;
        if (backgroundImage.isEmpty())
            backgroundImage = lastImage;
    } else {
        rememberOriginal(result.original);
        if (kind != Kind::background) {
            foregroundImage = result.foregroundImage;
            currentMaskImage = result.currentMaskImage;
        }
        backgroundImage = result.backgroundImage;
        if (kind != Kind::foreground)
            preEraseImage = result.preEraseImage;
        lastImage = result.composite;
        currentZoomInImage = result.composite;
        infoProvider.changesMadeAfterLastZoom = true;
        imageViewBackground->show();
        showComposite(result.shownComposite);
        if (checkEraserMode->isChecked())
            setBrushColor(patternColor(result.eraseWindow));
        else if (checkCustomColor->isChecked())
            setBrushColor(QBrush(colorPanel->currentColor()));
        else if (kind != Kind::background)
            setBrushColor(patternColor(result.revealWindow));
    }
    imageViewBackground->path = makePath();
    imageViewBackground->secondPath = makePath();
    imageViewBackground->update();
    hideProgress();
    infoProvider.processIsRunning = false;

    if (result.ok) {
        needToSaveState = needToSaveBackground = needToSaveForeground = true;
        registerStateChange(kind == Kind::background   ? QStringLiteral("updateBackgroundImage")
                            : kind == Kind::foreground ? QStringLiteral("updateForegroundImage")
                                                       : QStringLiteral("effects"));
    }
    if (!processesQueue.isEmpty()) {
        drainProcessesQueue();
        return;
    }
    processIsRunning = false;
    if (kind == Kind::foreground && result.ok)
        refreshViewCanvas();
}

void ViewController::refreshViewCanvas() {
    processIsRunning = true;
    infoProvider.processIsRunning = true;
    showProgress();
    struct Input {
        Picture foreground, preErase;
        QRectF pictureRect, maskRect;
        double maskWidth, maskHeight;
        bool eraser;
    };
    Input in{foregroundImage,
             preEraseImage,
             imageViewBackground->curentRect,
             currentMaskImage.isEmpty() ? QRectF(0, 0, maskImageWidth, maskImageHeight)
                                        : currentMaskRect,
             maskImageWidth,
             maskImageHeight,
             checkEraserMode->isChecked()};
    platform::runInBackground([this, in = std::move(in)] {
        const Picture canvas =
            displayCanvas(in.foreground, in.pictureRect, in.maskWidth, in.maskHeight);
        const Picture reveal = ImageTools::cropImage(canvas, in.maskRect);
        Picture erase;
        if (in.eraser)
            erase = ImageTools::cropImage(
                displayCanvas(in.preErase, in.pictureRect, in.maskWidth, in.maskHeight),
                in.maskRect);
        platform::runOnMain([this, canvas, reveal, erase] {
            currentMaskImage = canvas;
            chooseLiveColor(reveal, erase);
            hideProgress();
            infoProvider.processIsRunning = false;
            if (processesQueue.isEmpty())
                processIsRunning = false;
            else
                drainProcessesQueue();
        });
    });
}

} // namespace vividra
