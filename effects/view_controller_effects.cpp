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
    const LayerControls c = layerControls(foreground);
    EffectSettings s;
    s.blackWhiteOn = c.blackWhite->isChecked();
    s.blackWhiteEffect = c.blackWhiteEffect->currentText();
    s.colorEffectsOn = c.colorEffects->isChecked();
    s.colorEffect = c.colorEffect->currentText();
    s.sepiaOn = c.sepia->isChecked();
    s.sepiaIntensity = c.sepiaIntensity->floatValue();
    s.blurOn = c.blur->isChecked();
    s.blurIntensity = c.blurIntensity->floatValue();
    s.oilPaintingOn = c.oilPainting->isChecked();
    s.oilPaintingIntensity = c.oilPaintingIntensity->floatValue();
    s.sketchOn = c.sketch->isChecked();
    s.sketchIntensity = c.sketchIntensity->floatValue();
    s.sketchEdge = c.sketchEdge->floatValue();
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
    // A slider asks for a rendering when the user lets go, not at every step of a drag.
    const auto onSlider = [this](Slider* slider, void (ViewController::*action)()) {
        connect(slider, &Slider::floatValueChanged, this, [this, slider, action] {
            if (!slider->isSliderDown())
                (this->*action)();
        });
        connect(slider, &QSlider::sliderReleased, this, action);
    };
    connect(checkForegroundBlackWhite, &QAbstractButton::clicked, this,
            &ViewController::OnForegroundBlackAndWhiteSelected);
    connect(checkForegroundColorEffects, &QAbstractButton::clicked, this,
            &ViewController::OnForegroundColorEffectsSelected);
    connect(checkForegroundSepia, &QAbstractButton::clicked, this,
            &ViewController::OnForegroundSepiaSelected);
    connect(checkForegroundBlur, &QAbstractButton::clicked, this,
            &ViewController::OnForegroundBlurSelected);
    connect(checkForegroundOilPainting, &QAbstractButton::clicked, this,
            &ViewController::OnForegroundOilPaintingSelected);
    connect(checkForegroundSketch, &QAbstractButton::clicked, this,
            &ViewController::OnForegroundSketchSelected);
    connect(comboForegroundBlackWhite, &QComboBox::activated, this,
            &ViewController::OnForegroundComboBlackAndWhiteChanged);
    connect(comboForegroundColorEffects, &QComboBox::activated, this,
            &ViewController::OnForegroundComboColorEffectsChanged);
    onSlider(sliderForegroundSepiaIntensity, &ViewController::OnForegroundSepiaIntensityChanged);
    onSlider(sliderForegroundBlurIntensity, &ViewController::OnForegroundBlurIntensityCHanged);
    onSlider(sliderForegroundOilPaintingIntensity,
             &ViewController::OnForegroundOilPaintingIntensityChanged);
    onSlider(sliderForegroundSketchIntensity, &ViewController::OnForegroundSketchIntensityChanged);
    onSlider(sliderForegroundSketchEdge, &ViewController::OnForegroundSketchEdgeChanged);
    connect(checkBackgroundBlackWhite, &QAbstractButton::clicked, this,
            &ViewController::OnBackgroundBlackAndWhiteSelected);
    connect(checkBackgroundColorEffects, &QAbstractButton::clicked, this,
            &ViewController::OnBackgroundColorEffectsSelected);
    connect(checkBackgroundSepia, &QAbstractButton::clicked, this,
            &ViewController::OnBackgroundSepiaSelected);
    connect(checkBackgroundBlur, &QAbstractButton::clicked, this,
            &ViewController::OnBackgroundBlurSelected);
    connect(checkBackgroundOilPainting, &QAbstractButton::clicked, this,
            &ViewController::OnBackgroundOilPaintingSelected);
    connect(checkBackgroundSketch, &QAbstractButton::clicked, this,
            &ViewController::OnBackgroundSketchSelected);
    connect(comboBackgroundBlackWhite, &QComboBox::activated, this,
            &ViewController::OnBackgroundComboBlackAndWhiteChanged);
    connect(comboBackgroundColorEffects, &QComboBox::activated, this,
            &ViewController::OnBackgroundComboColorEffectsChanged);
    onSlider(sliderBackgroundSepiaIntensity, &ViewController::OnBackgroundSepiaIntensityChanged);
    onSlider(sliderBackgroundBlurIntensity, &ViewController::OnBackgroundBlurIntensityCHanged);
    onSlider(sliderBackgroundOilPaintingIntensity,
             &ViewController::OnBackgroundOilPaintingIntensityChanged);
    onSlider(sliderBackgroundSketchIntensity, &ViewController::OnBackgroundSketchIntensityChanged);
    onSlider(sliderBackgroundSketchEdge, &ViewController::OnBackgroundSketchEdgeChanged);
    onSlider(sliderBrightness, &ViewController::OnBrightnessChanged);
    onSlider(sliderExposure, &ViewController::OnExposureChanged);
    onSlider(sliderContrast, &ViewController::OnCOntrastChanged);
    onSlider(sliderSaturation, &ViewController::OnSaturationChanged);
    onSlider(sliderGamma, &ViewController::OnGammaChanged);
    onSlider(sliderHue, &ViewController::OnHueChanged);
    onSlider(sliderRed, &ViewController::OnRedChanged);
    onSlider(sliderGreen, &ViewController::OnGreenChanged);
    onSlider(sliderBlue, &ViewController::OnBlueChanged);
    connect(buttonAdjustReset, &QPushButton::clicked, this, &ViewController::OnAdjustReset);
}

void ViewController::OnForegroundBlackAndWhiteSelected() {
    checkForegroundBlackWhite->showImageForState();
    requestLayerUpdate(ProcessType::foregroundPreview);
}

void ViewController::OnForegroundColorEffectsSelected() {
    checkForegroundColorEffects->showImageForState();
    requestLayerUpdate(ProcessType::foregroundPreview);
}

void ViewController::OnForegroundSepiaSelected() {
    checkForegroundSepia->showImageForState();
    requestLayerUpdate(ProcessType::foregroundPreview);
}

void ViewController::OnForegroundBlurSelected() {
    checkForegroundBlur->showImageForState();
    requestLayerUpdate(ProcessType::foregroundPreview);
}

void ViewController::OnForegroundOilPaintingSelected() {
    checkForegroundOilPainting->showImageForState();
    requestLayerUpdate(ProcessType::foregroundPreview);
}

void ViewController::OnForegroundSketchSelected() {
    checkForegroundSketch->showImageForState();
    requestLayerUpdate(ProcessType::foregroundPreview);
}

void ViewController::OnForegroundComboBlackAndWhiteChanged() {
    requestLayerUpdate(ProcessType::foregroundPreview);
}

void ViewController::OnForegroundComboColorEffectsChanged() {
    requestLayerUpdate(ProcessType::foregroundPreview);
}

void ViewController::OnForegroundSepiaIntensityChanged() {
    requestLayerUpdate(ProcessType::foregroundPreview);
}

void ViewController::OnForegroundBlurIntensityCHanged() {
    requestLayerUpdate(ProcessType::foregroundPreview);
}

void ViewController::OnForegroundOilPaintingIntensityChanged() {
    requestLayerUpdate(ProcessType::foregroundPreview);
}

void ViewController::OnForegroundSketchIntensityChanged() {
    requestLayerUpdate(ProcessType::foregroundPreview);
}

void ViewController::OnForegroundSketchEdgeChanged() {
    requestLayerUpdate(ProcessType::foregroundPreview);
}

void ViewController::OnBackgroundBlackAndWhiteSelected() {
    checkBackgroundBlackWhite->showImageForState();
    requestLayerUpdate(ProcessType::backgroundPreview);
}

void ViewController::OnBackgroundColorEffectsSelected() {
    checkBackgroundColorEffects->showImageForState();
    requestLayerUpdate(ProcessType::backgroundPreview);
}

void ViewController::OnBackgroundSepiaSelected() {
    checkBackgroundSepia->showImageForState();
    requestLayerUpdate(ProcessType::backgroundPreview);
}

void ViewController::OnBackgroundBlurSelected() {
    checkBackgroundBlur->showImageForState();
    requestLayerUpdate(ProcessType::backgroundPreview);
}

void ViewController::OnBackgroundOilPaintingSelected() {
    checkBackgroundOilPainting->showImageForState();
    requestLayerUpdate(ProcessType::backgroundPreview);
}

void ViewController::OnBackgroundSketchSelected() {
    checkBackgroundSketch->showImageForState();
    requestLayerUpdate(ProcessType::backgroundPreview);
}

void ViewController::OnBackgroundComboBlackAndWhiteChanged() {
    requestLayerUpdate(ProcessType::backgroundPreview);
}

void ViewController::OnBackgroundComboColorEffectsChanged() {
    requestLayerUpdate(ProcessType::backgroundPreview);
}

void ViewController::OnBackgroundSepiaIntensityChanged() {
    requestLayerUpdate(ProcessType::backgroundPreview);
}

void ViewController::OnBackgroundBlurIntensityCHanged() {
    requestLayerUpdate(ProcessType::backgroundPreview);
}

void ViewController::OnBackgroundOilPaintingIntensityChanged() {
    requestLayerUpdate(ProcessType::backgroundPreview);
}

void ViewController::OnBackgroundSketchIntensityChanged() {
    requestLayerUpdate(ProcessType::backgroundPreview);
}

void ViewController::OnBackgroundSketchEdgeChanged() {
    requestLayerUpdate(ProcessType::backgroundPreview);
}

void ViewController::OnBrightnessChanged() {
    requestLayerUpdate(ProcessType::imagePreview);
}

void ViewController::OnExposureChanged() {
    requestLayerUpdate(ProcessType::imagePreview);
}

void ViewController::OnCOntrastChanged() {
    requestLayerUpdate(ProcessType::imagePreview);
}

void ViewController::OnSaturationChanged() {
    requestLayerUpdate(ProcessType::imagePreview);
}

void ViewController::OnGammaChanged() {
    requestLayerUpdate(ProcessType::imagePreview);
}

void ViewController::OnHueChanged() {
    requestLayerUpdate(ProcessType::imagePreview);
}

void ViewController::OnRedChanged() {
    requestLayerUpdate(ProcessType::imagePreview);
}

void ViewController::OnGreenChanged() {
    requestLayerUpdate(ProcessType::imagePreview);
}

void ViewController::OnBlueChanged() {
    requestLayerUpdate(ProcessType::imagePreview);
}

void ViewController::OnAdjustReset() {
    setAdjustmentSliders(initialVal);
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
