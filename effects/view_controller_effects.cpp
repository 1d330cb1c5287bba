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
    // A slider asks for a rendering when the user lets go; while it is dragged the preview
    // follows it.
    const auto onSlider = [this](Slider* slider, float* field, void (ViewController::*action)()) {
        connect(slider, &Slider::floatValueChanged, this, [this, slider, field, action](float v) {
            *field = v;
            if (slider->isSliderDown())
                showInstantPreview();
            else
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
    // The eraser's mode changes what the brush paints, not how the layers look.
    if (kind != ProcessType::updateEraserMode)
        ++settingsChanges_;
    // Without a picture there is nothing to render; the settings are used at the next intake.
    if (originalImagePath.isEmpty())
        return;
    showInstantPreview();
    if (processIsRunning()) {
        if (!processesQueue.contains(kind))
            processesQueue.append(kind);
        // A rendering that this request renders again is stopped: its result would be stale.
        using Kind = LayerRenderInput::Kind;
        const bool covers =
            kind == ProcessType::imagePreview ||
            (kind == ProcessType::foregroundPreview && runningRender_ == Kind::foreground) ||
            (kind == ProcessType::backgroundPreview && runningRender_ == Kind::background);
        if (jobs.running(SessionJobs::Kind::rendering) && runningRender_ && covers)
            jobs.cancelRunning();
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
    in.view = canvasGeometry();
    runningRender_ = kind;
    renderStartedAt_ = settingsChanges_;
    return [this, in = std::move(in), kind](const SessionJobs::Cancel& cancel) mutable {
        in.cancel = cancel;
        LayerRenderResult result = renderLayers(std::move(in));
        return SessionJobs::Apply([this, kind, result = std::move(result)]() mutable {
            runningRender_.reset();
            finishRendering(kind, std::move(result));
        });
    };
}

ViewController::CanvasGeometry ViewController::canvasGeometry() const {
    CanvasGeometry g;
    g.pictureRect = imageViewBackground->curentRect;
    g.maskRect = currentMaskRect;
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
        // Windows cut for where the view was before a zoom or pan are not used; the
        // rebuild on its way cuts them for where it is now.
        const bool viewUnmoved = result.view == canvasGeometry();
        if (kind != Kind::background) {
            foregroundImage = result.foregroundImage;
            if (viewUnmoved) {
                currentMaskImage = result.revealWindow;
                canvasBuiltFor_ = result.view;
            } else {
                canvasBuiltFor_.reset();
            }
        }
        if (settings.brush.eraser && viewUnmoved && kind != Kind::foreground)
            zoomEraseImage = result.eraseWindow;
        backgroundImage = result.backgroundImage;
        if (kind != Kind::foreground)
            preEraseImage = result.preEraseImage;
        if (result.foregroundRecipe)
            foregroundRecipe_ = *result.foregroundRecipe;
        if (result.backgroundRecipe)
            backgroundRecipe_ = *result.backgroundRecipe;
        lastImage = result.composite;
        currentZoomInImage = result.composite;
        layersMadeAt_ = renderStartedAt_;
        infoProvider.changesMadeAfterLastZoom = true;
        showComposite(result.composite, result.shownComposite, result.view, renderStartedAt_);
        // A background rendering builds no reveal window: the revealing brush stays as it is.
        if (viewUnmoved &&
            (kind != Kind::background || settings.brush.eraser || settings.brush.customColor))
            chooseLiveColor(kind == Kind::background ? currentMaskImage : result.revealWindow,
                            result.eraseWindow);
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

} // namespace vividra
