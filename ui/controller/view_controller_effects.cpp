// The controller's layer effect controls, render requests and layer renderings.
#include <QColorDialog>
#include <QFileInfo>
#include <QPushButton>

#include <utility>

#include "model/effects/image_tools.h"
#include "model/effects/layer_rendering.h"
#include "model/paint/compositing.h"
#include "ui/canvas/draw_view.h"
#include "ui/controller/view_controller.h"
#include "ui/controls/check_box.h"
#include "ui/controls/combo_box.h"
#include "ui/controls/progress_indicator.h"
#include "ui/controls/segmented_control.h"
#include "ui/controls/slider.h"

namespace vividra {

void ViewController::connectEffectControls() {
    // Each control writes its value into the settings, then asks for its layers again.
    const auto onBox = [this](CheckBox* box, bool* field, LayerUpdate update) {
        connect(box, &QAbstractButton::clicked, this, [this, box, field, update] {
            *field = box->isChecked();
            box->showImageForState();
            requestLayerUpdate(update);
        });
    };
    const auto onCombo = [this](ComboBox* combo, QString* field, const QStringList& items,
                                LayerUpdate update) {
        connect(combo, &QComboBox::activated, this, [this, field, items, update](int index) {
            *field = items.value(index, items.front());
            requestLayerUpdate(update);
        });
    };
    // A slider asks for a rendering when the user lets go; while it is dragged the preview
    // follows it.
    const auto onSlider = [this](Slider* slider, float* field, LayerUpdate update) {
        connect(slider, &Slider::floatValueChanged, this, [this, slider, field, update](float v) {
            *field = v;
            if (slider->isSliderDown())
                showInstantPreview();
            else
                requestLayerUpdate(update);
        });
        connect(slider, &QSlider::sliderReleased, this,
                [this, update] { requestLayerUpdate(update); });
    };
    for (const bool fg : {true, false}) {
        const LayerControls c = layerControls(fg);
        EffectSettings& s = fg ? settings.foreground : settings.background;
        const LayerUpdate layer = fg ? LayerUpdate::foreground : LayerUpdate::background;
        onBox(c.blackWhite, &s.blackWhiteOn, layer);
        onBox(c.colorEffects, &s.colorEffectsOn, layer);
        onBox(c.sepia, &s.sepiaOn, layer);
        onBox(c.blur, &s.blurOn, layer);
        onBox(c.oilPainting, &s.oilPaintingOn, layer);
        onBox(c.sketch, &s.sketchOn, layer);
        onCombo(c.blackWhiteEffect, &s.blackWhiteEffect, kBlackWhiteItems, layer);
        onCombo(c.colorEffect, &s.colorEffect, kColorEffectItems, layer);
        onSlider(c.sepiaIntensity, &s.sepiaIntensity, layer);
        onSlider(c.blurIntensity, &s.blurIntensity, layer);
        onSlider(c.oilPaintingIntensity, &s.oilPaintingIntensity, layer);
        onSlider(c.sketchIntensity, &s.sketchIntensity, layer);
        onSlider(c.sketchEdge, &s.sketchEdge, layer);
    }
    AdjustmentSettings& a = settings.adjustments;
    const std::pair<Slider*, float*> adjustments[] = {{sliderBrightness, &a.brightness},
                                                      {sliderExposure, &a.exposure},
                                                      {sliderContrast, &a.contrast},
                                                      {sliderSaturation, &a.saturation},
                                                      {sliderGamma, &a.gamma},
                                                      {sliderHue, &a.hue},
                                                      {sliderRed, &a.red},
                                                      {sliderGreen, &a.green},
                                                      {sliderBlue, &a.blue}};
    for (const auto& [slider, field] : adjustments)
        onSlider(slider, field, LayerUpdate::both);
    connect(buttonAdjustReset, &QPushButton::clicked, this, &ViewController::resetAdjustments);
}

void ViewController::resetAdjustments() {
    settings.adjustments = AdjustmentSettings();
    showSettings();
    requestLayerUpdate(LayerUpdate::both);
}

void ViewController::requestLayerUpdate(LayerUpdate kind) {
    changesMade = true;
    // The eraser's mode changes what the brush paints, not how the layers look.
    if (kind != LayerUpdate::eraserMode)
        ++settingsChanges_;
    // Without a picture there is nothing to render; the settings are used at the next intake.
    if (originalImagePath.isEmpty())
        return;
    recordLayerChange(kind);
    showInstantPreview();
    if (renderingPending()) {
        if (!waitingUpdates.contains(kind))
            waitingUpdates.append(kind);
        // A rendering that this request renders again is stopped: its result would be stale.
        using Kind = LayerRenderInput::Kind;
        const bool covers =
            kind == LayerUpdate::both ||
            (kind == LayerUpdate::foreground && runningRender_ == Kind::foreground) ||
            (kind == LayerUpdate::background && runningRender_ == Kind::background);
        if (jobs.running(SessionJobs::Kind::rendering) && runningRender_ && covers)
            jobs.cancelRunning();
    } else {
        startLayerUpdate(kind);
    }
}

void ViewController::startLayerUpdate(LayerUpdate kind) {
    switch (kind) {
    case LayerUpdate::background:
        startRendering(LayerRenderInput::Kind::background);
        break;
    case LayerUpdate::foreground:
        startRendering(LayerRenderInput::Kind::foreground);
        break;
    case LayerUpdate::both:
        startRendering(LayerRenderInput::Kind::both);
        break;
    case LayerUpdate::eraserMode:
        applyEraserMode();
        break;
    }
}

void ViewController::startWaitingUpdates() {
    // Every waiting request joins the line at once; the line still runs them one at a time,
    // each with the settings of the moment it starts.
    const QList<LayerUpdate> waiting = std::exchange(waitingUpdates, {});
    for (const LayerUpdate kind : waiting)
        startLayerUpdate(kind);
}

void ViewController::startRendering(LayerRenderInput::Kind kind) {
    // A rendering that fails never reaches finishRendering: the updates waiting behind it
    // start all the same.
    jobs.enqueue(
        SessionJobs::Kind::rendering, [this, kind] { return beginRendering(kind); },
        [this] {
            runningRender_.reset();
            startWaitingUpdates();
        });
}

SessionJobs::Work ViewController::beginRendering(LayerRenderInput::Kind kind) {
    if (originalImagePath.isEmpty())
        return {};
    LayerRenderInput in;
    in.kind = kind;
    in.background = settings.background;
    in.foreground = settings.foreground;
    in.adjustments = settings.adjustments;
    in.eraserOn = settings.brush.eraser;
    in.path = originalImagePath;
    in.original = currentOriginal();
    in.foregroundImage = foregroundImage;
    in.preEraseImage = preEraseImage;
    in.foregroundRecipe = foregroundRecipe_;
    in.backgroundRecipe = backgroundRecipe_;
    recordCurrentStroke(foregroundImage, preEraseImage);
    in.strokes = snapshotStrokes(imageViewBackground->strokePaths);
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
    g.pictureRect = imageViewBackground->pictureRect;
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
        // A layer of older settings is rendered too, whatever was asked for.
        const bool newForeground = result.foregroundRecipe.has_value();
        const bool newBackground = result.backgroundRecipe.has_value();
        if (newForeground) {
            foregroundImage = result.foregroundImage;
            if (viewUnmoved) {
                currentMaskImage = result.revealWindow;
                canvasBuiltFor_ = result.view;
            } else {
                canvasBuiltFor_.reset();
            }
        }
        if (settings.brush.eraser && viewUnmoved && newBackground)
            zoomEraseImage = result.eraseWindow;
        backgroundImage = result.backgroundImage;
        if (newBackground)
            preEraseImage = result.preEraseImage;
        if (result.foregroundRecipe)
            foregroundRecipe_ = *result.foregroundRecipe;
        if (result.backgroundRecipe)
            backgroundRecipe_ = *result.backgroundRecipe;
        lastImage = result.composite;
        currentZoomInImage = result.composite;
        layersMadeAt_ = renderStartedAt_;
        showComposite(result.composite, result.shownComposite, result.view, renderStartedAt_);
        // A rendering that kept the foreground builds no reveal window: the revealing brush
        // stays as it is.
        if (viewUnmoved && (newForeground || settings.brush.eraser || settings.brush.customColor))
            chooseLiveColor(newForeground ? result.revealWindow : currentMaskImage,
                            result.eraseWindow);
    }
    imageViewBackground->path = makePath();
    imageViewBackground->secondPath = makePath();
    imageViewBackground->update();

    if (result.ok) {
        // The change was recorded when it was made; its state takes the pixels now. Only
        // changes made while the picture came in have no state yet.
        history.cacheLayers(foregroundRecipe_, foregroundImage, backgroundRecipe_, preEraseImage);
        if (!history.holdsLayers(foregroundRecipe_, backgroundRecipe_))
            registerStateChange(kind == Kind::background   ? QStringLiteral("updateBackgroundImage")
                                : kind == Kind::foreground ? QStringLiteral("updateForegroundImage")
                                                           : QStringLiteral("effects"),
                                sessionLayers());
        else
            trimHistory();
    }
    startWaitingUpdates();
    if (result.ok && result.foregroundRecipe && !result.backgroundRecipe)
        refreshViewCanvas();
}

} // namespace vividra
