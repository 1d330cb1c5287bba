// The controller's history: recording states, undo and redo.
#include <algorithm>
#include <utility>

#include "model/history/control_values.h"
#include "model/history/state_restore.h"
#include "model/paint/compositing.h"
#include "model/platform/work_queue.h"
#include "ui/canvas/draw_view.h"
#include "ui/controller/view_controller.h"
#include "ui/controls/check_box.h"

namespace vividra {

QString ViewController::controllersStatesText() const {
    return ControlValues::record(settings).toText();
}

StateRef ViewController::makeState(const QString& action, StateLayersRef layers) const {
    const StateRef shown = history.current();
    // The kept colour as it is now, in the place the strokes hold it.
    const std::optional<fx::HueKey> key =
        settings.keep.on ? std::optional(settings.keep.key()) : std::nullopt;
    const QList<CustomPathRef> before =
        withKeptColour(shown ? shown->paths : QList<CustomPathRef>(), key);

    const DrawView* surface = imageViewBackground;
    // Worked out as the composition does, so the recorded stroke paints the same pixels.
    // Before a picture is shown the rectangles are empty; the brush width is then taken as is.
    const double width = surface->pictureRect.width() > 0
                             ? surface->currentLineWidth * surface->originalRect.width() /
                                   surface->pictureRect.width()
                             : surface->currentLineWidth;
    auto stroke = std::make_shared<CustomPath>(
        width, currentColor,
        saveStateTriggeredByDrawing ? copyPath(surface->secondPath) : makePath());
    stroke->edgeAware = settings.brush.edgeAware;
    if (settings.brush.eraser) {
        stroke->isErase = true;
    } else if (settings.brush.customColor) {
        stroke->color = QBrush(settings.brush.colour);
        stroke->isSolidColor = true;
    }

    auto state = std::make_shared<State>(currentColor, before + QList<CustomPathRef>{stroke});
    state->controllersStates = controllersStatesText();
    state->keep = settings.keep;
    state->edgeAware = settings.brush.edgeAware;
    state->lastAction = action;
    state->layers = std::move(layers);
    return state;
}

StateLayersRef ViewController::sessionLayers() const {
    return std::make_shared<StateLayers>(
        StateLayers{foregroundRecipe_, backgroundRecipe_, foregroundImage, preEraseImage});
}

void ViewController::startHistory(const QString& action) {
    history.clear();
    history.record(makeState(action, sessionLayers()));
}

void ViewController::registerStateChange(const QString& action, StateLayersRef layers) {
    // A layer set whose pixels were dropped takes the session's again, the same pixels.
    history.cacheLayers(foregroundRecipe_, foregroundImage, backgroundRecipe_, preEraseImage);
    // Layers change only by their own states; every other edit keeps those of the state shown.
    if (!layers)
        layers = history.current() ? history.current()->layers : sessionLayers();
    history.record(makeState(action, std::move(layers)));
    trimHistory();
}

void ViewController::recordLayerChange(LayerUpdate kind) {
    const StateRef shown = history.current();
    // Changes made while a picture comes in are recorded when their renderings end.
    if (kind == LayerUpdate::eraserMode || !shown || !shown->layers ||
        jobs.count(SessionJobs::Kind::intake) > 0)
        return;
    const StateLayersRef& base = shown->layers;
    const LayerRecipe foreground{settings.foreground, settings.adjustments};
    const LayerRecipe background{settings.background, settings.adjustments};
    const bool foregroundChanges =
        kind != LayerUpdate::background && base->foregroundRecipe != foreground;
    const bool backgroundChanges =
        kind != LayerUpdate::foreground && base->backgroundRecipe != background;
    StateLayersRef layers = base;
    if (foregroundChanges || backgroundChanges) {
        // The pixels of a changed layer follow when its rendering ends.
        layers = std::make_shared<StateLayers>(*base);
        if (foregroundChanges) {
            layers->foregroundRecipe = foreground;
            layers->foregroundImage = Picture();
        }
        if (backgroundChanges) {
            layers->backgroundRecipe = background;
            layers->preEraseImage = Picture();
        }
    } else if (shown->controllersStates == controllersStatesText()) {
        return;
    }
    registerStateChange(kind == LayerUpdate::background   ? QStringLiteral("updateBackgroundImage")
                        : kind == LayerUpdate::foreground ? QStringLiteral("updateForegroundImage")
                                                          : QStringLiteral("effects"),
                        std::move(layers));
}

void ViewController::trimHistory() {
    history.trimMemory({foregroundImage, preEraseImage, backgroundImage, lastImage,
                        currentZoomInImage, currentOriginal()});
}

bool ViewController::pictureWorkRunning() const {
    return jobs.busy() || renderingPending();
}

bool ViewController::canUndo() const {
    return history.canUndo() && !pictureWorkRunning();
}

bool ViewController::canRedo() const {
    return history.canRedo() && !pictureWorkRunning();
}

void ViewController::undo() {
    if (!canUndo())
        return;
    applyState(history.undo());
}

void ViewController::redo() {
    if (!canRedo())
        return;
    const StateRef shown = history.current();
    applyState(history.redo(), shown);
}

void ViewController::applyState(const StateRef& state, const StateRef& shown) {
    const EditSettings before = settings;
    // The controls first; a text of another line count restores none of them.
    if (const auto values = ControlValues::fromText(state->controllersStates))
        values->applyTo(settings);
    settings.keep = state->keep;
    settings.brush.edgeAware = state->edgeAware;
    showSettings();
    syncSurfaceModes();
    DrawView* surface = imageViewBackground;
    surface->lineWidth = settings.brush.size;
    surface->currentLineWidth = surface->lineWidth * surface->scale;
    surface->makeBrushCircleImage();
    surface->resetCursorRects();
    surface->path = makePath();
    surface->secondPath = makePath();
    // The surface's own copies: later strokes never touch a recorded one.
    surface->strokePaths = snapshotStrokes(state->paths);
    surface->update();
    if (originalImagePath.isEmpty() || !state->layers)
        return;

    // The live colour's windows depend on the layers and the brush modes, not on strokes.
    const bool sameBrushModes = before.brush.eraser == settings.brush.eraser &&
                                before.brush.customColor == settings.brush.customColor;
    jobs.enqueue(
        SessionJobs::Kind::other,
        [this, state, shown, sameBrushModes, made = ++settingsChanges_]() -> SessionJobs::Work {
            const StateLayers layers = *state->layers;
            const QList<CustomPathRef> strokes = snapshotStrokes(state->paths);
            const Picture original = currentOriginal();
            const QString path = originalImagePath;
            const ViewGeometry view = canvasGeometry();
            const bool sameLayers = layers.foregroundImage.sharesPixelsWith(foregroundImage) &&
                                    layers.preEraseImage.sharesPixelsWith(preEraseImage);
            // A redo over the same layers only adds strokes to the composite shown now.
            const bool addsStrokes =
                sameLayers && shown && !currentZoomInImage.isEmpty() &&
                shown->paths.size() <= state->paths.size() &&
                std::equal(shown->paths.begin(), shown->paths.end(), state->paths.begin());
            const Picture base = addsStrokes ? currentZoomInImage : Picture();
            const qsizetype baseStrokes = addsStrokes ? shown->paths.size() : 0;
            const bool refreshCanvas = !sameLayers || !sameBrushModes;
            return [this, state, layers, strokes, original, path, view, base, baseStrokes,
                    refreshCanvas, made](const SessionJobs::Cancel&) {
                RestoredPictures r =
                    restoreStatePictures(layers, strokes, original, path, base, baseStrokes);
                const QImage screen = r.ok ? displayWindow(r.composite, view).image : QImage();
                return SessionJobs::Apply(
                    [this, state, r = std::move(r), screen, view, refreshCanvas, made] {
                        if (!r.ok) {
                            // The pictures stay as they were; the window stays usable.
                            if (!r.reason.isEmpty())
                                showJobFailure(r.reason);
                            return;
                        }
                        if (!r.original.isEmpty())
                            rememberOriginal(r.original);
                        // The pictures replaced here may hold the last reference to their pixels;
                        // freeing 96 MB is felt in the window, so it happens on a pool thread.
                        QList<Picture> replaced{std::exchange(foregroundImage, r.foregroundImage),
                                                std::exchange(preEraseImage, r.preEraseImage),
                                                std::exchange(backgroundImage, r.composite),
                                                std::exchange(lastImage, r.composite),
                                                std::exchange(currentZoomInImage, r.composite)};
                        platform::runInBackground(
                            [replaced = std::move(replaced)]() mutable { replaced.clear(); });
                        foregroundRecipe_ = state->layers->foregroundRecipe;
                        backgroundRecipe_ = state->layers->backgroundRecipe;
                        // Rendered again or not, these are the state's layers: keep them with it.
                        state->layers->foregroundImage = foregroundImage;
                        state->layers->preEraseImage = preEraseImage;
                        layersMadeAt_ = made;
                        showComposite(r.composite, screen, view, made);
                        // The live colour windows come from the restored layers and brush modes.
                        if (refreshCanvas) {
                            canvasBuiltFor_.reset();
                            refreshViewCanvas();
                        }
                        trimHistory();
                    });
            };
        });
}

} // namespace vividra
