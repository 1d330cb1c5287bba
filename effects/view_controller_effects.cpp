// The controller's layer effect controls, render requests and layer renderings.
#include <QColorDialog>
#include <QFileInfo>
#include <QPushButton>

#include <utility>

#include "controls/check_box.h"
#include "controls/combo_box.h"
#include "controls/progress_indicator.h"
#include "controls/segmented_control.h"
#include "controls/slider.h"
#include "effects/image_tools.h"
#include "effects/layer_rendering.h"
#include "paint/compositing.h"
#include "paint/draw_view.h"
#include "session/view_controller.h"

namespace vividra {

EffectSettings ViewController::effectSettings(bool foreground) const {
    return foreground ? settings.foreground : settings.background;
}

AdjustmentSettings ViewController::adjustmentSettings() const {
    return settings.adjustments;
}

void ViewController::connectEffectControls() {
    // Each control writes its value into the settings, then runs its action.
    const auto onBox = [this](CheckBox* box, bool* field, void (ViewController::*action)()) {
        connect(box, &QAbstractButton::clicked, this, [this, box, field, action] {
            *field = box->isChecked();
            (this->*action)();
        });
    };
    const auto onCombo = [this](ComboBox* combo, QString* field, const QStringList& items,
                                void (ViewController::*action)()) {
        connect(combo, &QComboBox::activated, this, [this, field, items, action](int index) {
            *field = items.value(index, items.front());
            (this->*action)();
        });
    };
    // A slider asks for a rendering when the user lets go, not at every step of a drag.
    const auto onSlider = [this](Slider* slider, float* field, void (ViewController::*action)()) {
        connect(slider, &Slider::floatValueChanged, this, [this, slider, field, action](float v) {
            *field = v;
            if (!slider->isSliderDown())
                (this->*action)();
        });
        connect(slider, &QSlider::sliderReleased, this, action);
    };
    for (const bool fg : {true, false}) {
        const LayerControls c = layerControls(fg);
        EffectSettings& s = fg ? settings.foreground : settings.background;
        using V = ViewController;
        onBox(c.blackWhite, &s.blackWhiteOn,
              fg ? &V::OnForegroundBlackAndWhiteSelected : &V::OnBackgroundBlackAndWhiteSelected);
        onBox(c.colorEffects, &s.colorEffectsOn,
              fg ? &V::OnForegroundColorEffectsSelected : &V::OnBackgroundColorEffectsSelected);
        onBox(c.sepia, &s.sepiaOn,
              fg ? &V::OnForegroundSepiaSelected : &V::OnBackgroundSepiaSelected);
        onBox(c.blur, &s.blurOn, fg ? &V::OnForegroundBlurSelected : &V::OnBackgroundBlurSelected);
        onBox(c.oilPainting, &s.oilPaintingOn,
              fg ? &V::OnForegroundOilPaintingSelected : &V::OnBackgroundOilPaintingSelected);
        onBox(c.sketch, &s.sketchOn,
              fg ? &V::OnForegroundSketchSelected : &V::OnBackgroundSketchSelected);
        onCombo(c.blackWhiteEffect, &s.blackWhiteEffect, kBlackWhiteItems,
                fg ? &V::OnForegroundComboBlackAndWhiteChanged
                   : &V::OnBackgroundComboBlackAndWhiteChanged);
        onCombo(c.colorEffect, &s.colorEffect, kColorEffectItems,
                fg ? &V::OnForegroundComboColorEffectsChanged
                   : &V::OnBackgroundComboColorEffectsChanged);
        onSlider(c.sepiaIntensity, &s.sepiaIntensity,
                 fg ? &V::OnForegroundSepiaIntensityChanged
                    : &V::OnBackgroundSepiaIntensityChanged);
        onSlider(c.blurIntensity, &s.blurIntensity,
                 fg ? &V::OnForegroundBlurIntensityCHanged : &V::OnBackgroundBlurIntensityCHanged);
        onSlider(c.oilPaintingIntensity, &s.oilPaintingIntensity,
                 fg ? &V::OnForegroundOilPaintingIntensityChanged
                    : &V::OnBackgroundOilPaintingIntensityChanged);
        onSlider(c.sketchIntensity, &s.sketchIntensity,
                 fg ? &V::OnForegroundSketchIntensityChanged
                    : &V::OnBackgroundSketchIntensityChanged);
        onSlider(c.sketchEdge, &s.sketchEdge,
                 fg ? &V::OnForegroundSketchEdgeChanged : &V::OnBackgroundSketchEdgeChanged);
    }
    AdjustmentSettings& a = settings.adjustments;
    onSlider(sliderBrightness, &a.brightness, &ViewController::OnBrightnessChanged);
    onSlider(sliderExposure, &a.exposure, &ViewController::OnExposureChanged);
    onSlider(sliderContrast, &a.contrast, &ViewController::OnCOntrastChanged);
    onSlider(sliderSaturation, &a.saturation, &ViewController::OnSaturationChanged);
    onSlider(sliderGamma, &a.gamma, &ViewController::OnGammaChanged);
    onSlider(sliderHue, &a.hue, &ViewController::OnHueChanged);
    onSlider(sliderRed, &a.red, &ViewController::OnRedChanged);
    onSlider(sliderGreen, &a.green, &ViewController::OnGreenChanged);
    onSlider(sliderBlue, &a.blue, &ViewController::OnBlueChanged);
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
    settings.adjustments = initialVal;
    showSettings();
    requestLayerUpdate(ProcessType::imagePreview);
}

void ViewController::requestLayerUpdate(ProcessType kind) {
    changesMade = true;
    // Without a picture there is nothing to render; the settings are used at the next intake.
    if (originalImagePath.isEmpty())
        return;
    if (processIsRunning()) {
        if (!processesQueue.contains(kind))
            processesQueue.append(kind);
    } else {
        startProcess(kind);
    }
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
        applyEraserMode();
        break;
    }
}

void ViewController::drainProcessesQueue() {
    // Every waiting request joins the line at once; the line still runs them one at a time,
    // each with the settings of the moment it starts.
    const QList<ProcessType> waiting = std::exchange(processesQueue, {});
    for (const ProcessType kind : waiting)
        startProcess(kind);
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
    jobs.enqueue(SessionJobs::Kind::rendering, [this, kind] { return beginRendering(kind); });
}

SessionJobs::Work ViewController::beginRendering(LayerRenderInput::Kind kind) {
    if (originalImagePath.isEmpty())
        return {};
    LayerRenderInput in;
    in.kind = kind;
    in.background = settings.background;
    in.foreground = settings.foreground;
    in.adjustments = settings.adjustments;
    in.neutral = initialVal;
    in.eraserOn = settings.brush.eraser;
    in.path = originalImagePath;
    in.original = currentOriginal();
    in.foregroundImage = foregroundImage;
    in.preEraseImage = preEraseImage;
    recordCurrentStroke(foregroundImage, preEraseImage);
    in.strokes = snapshotStrokes(imageViewBackground->listOfPAths);
    const CanvasGeometry geometry = canvasGeometry();
    in.pictureRect = geometry.pictureRect;
    in.maskRect = geometry.maskRect;
    in.maskWidth = geometry.maskWidth;
    in.maskHeight = geometry.maskHeight;
    return [this, in = std::move(in), kind, geometry](const SessionJobs::Cancel& cancel) mutable {
        in.cancel = cancel;
        LayerRenderResult result = renderLayers(std::move(in));
        return SessionJobs::Apply([this, kind, geometry, result = std::move(result)]() mutable {
            if (result.ok && kind != LayerRenderInput::Kind::background)
                canvasBuiltFor_ = geometry;
            finishRendering(kind, std::move(result));
        });
    };
}

ViewController::CanvasGeometry ViewController::canvasGeometry() const {
    CanvasGeometry g;
    g.pictureRect = imageViewBackground->curentRect;
    g.maskRect = currentMaskImage.isEmpty() ? QRectF(0, 0, maskImageWidth, maskImageHeight)
                                            : currentMaskRect;
    g.maskWidth = maskImageWidth;
    g.maskHeight = maskImageHeight;
    return g;
}

void ViewController::finishRendering(LayerRenderInput::Kind kind, LayerRenderResult result) {
    using Kind = LayerRenderInput::Kind;
    if (!result.ok) {
        // The layers stay as they were and the window stays usable.
        if (!result.reason.isEmpty() && !result.cancelled)
            showJobFailure(result.reason);
    } else {
        rememberOriginal(result.original);
        if (kind != Kind::background) {
            foregroundImage = result.foregroundImage;
            currentMaskImage = result.currentMaskImage;
        }
        backgroundImage = result.backgroundImage;
        if (kind != Kind::foreground)
            preEraseImage = result.preEraseImage;
        if (result.foregroundRecipe)
            foregroundRecipe_ = *result.foregroundRecipe;
        if (result.backgroundRecipe)
            backgroundRecipe_ = *result.backgroundRecipe;
        lastImage = result.composite;
        currentZoomInImage = result.composite;
        infoProvider.changesMadeAfterLastZoom = true;
        showComposite(result.shownComposite);
        // A background rendering builds no reveal window: the revealing brush stays as it is.
        if (kind != Kind::background || settings.brush.eraser || settings.brush.customColor)
            chooseLiveColor(result.revealWindow, result.eraseWindow);
    }
    imageViewBackground->path = makePath();
    imageViewBackground->secondPath = makePath();
    imageViewBackground->update();

    if (result.ok) {
        needToSaveState = needToSaveBackground = needToSaveForeground = true;
        registerStateChange(kind == Kind::background   ? QStringLiteral("updateBackgroundImage")
                            : kind == Kind::foreground ? QStringLiteral("updateForegroundImage")
                                                       : QStringLiteral("effects"));
    }
    drainProcessesQueue();
    if (kind == Kind::foreground && result.ok)
        refreshViewCanvas();
}

void ViewController::refreshViewCanvas() {
    jobs.enqueue(SessionJobs::Kind::refresh, [this]() -> SessionJobs::Work {
        const CanvasGeometry geometry = canvasGeometry();
        // The rendering that asked for this already built the canvas for the view as it is.
        if (canvasBuiltFor_ == geometry || originalImagePath.isEmpty())
            return {};
        const Picture foreground = foregroundImage;
        const Picture preErase = preEraseImage;
        const bool eraser = settings.brush.eraser;
        return [this, geometry, foreground, preErase, eraser](const SessionJobs::Cancel&) {
            const Picture canvas = displayCanvas(foreground, geometry.pictureRect,
                                                 geometry.maskWidth, geometry.maskHeight);
            const Picture reveal = ImageTools::cropImage(canvas, geometry.maskRect);
            Picture erase;
            if (eraser)
                erase =
                    ImageTools::cropImage(displayCanvas(preErase, geometry.pictureRect,
                                                        geometry.maskWidth, geometry.maskHeight),
                                          geometry.maskRect);
            return SessionJobs::Apply([this, geometry, canvas, reveal, erase] {
                currentMaskImage = canvas;
                canvasBuiltFor_ = geometry;
                chooseLiveColor(reveal, erase);
            });
        };
    });
}

} // namespace vividra
