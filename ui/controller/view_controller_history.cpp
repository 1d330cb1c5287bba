// The controller's history: recording states, undo and redo.
#include <algorithm>
#include <utility>

#include "model/history/control_values.h"
#include "model/history/history_memory.h"
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

void ViewController::commitState(const QString& action) {
    // The kept colour as it is now, in the place the strokes hold it.
    const std::optional<fx::HueKey> key =
        settings.keep.on ? std::optional(settings.keep.key()) : std::nullopt;
    const QList<CustomPathRef> a0 = withKeptColour(
        statesList.isEmpty() ? QList<CustomPathRef>() : statesList.last()->paths, key);
    const QList<CustomPathRef> b0 = withKeptColour(
        actualStatesList.isEmpty() ? QList<CustomPathRef>() : actualStatesList.last()->paths, key);

    const DrawView* surface = imageViewBackground;
    // Worked out as the composition does, so the recorded stroke paints the same pixels.
    // Before a picture is shown the rectangles are empty; the brush width is then taken as is.
    const double width = surface->pictureRect.width() > 0
                             ? surface->currentLineWidth * surface->originalRect.width() /
                                   surface->pictureRect.width()
                             : surface->currentLineWidth;
    auto strokeA = std::make_shared<CustomPath>(
        width, currentColor, saveStateTriggeredByDrawing ? copyPath(surface->path) : makePath());
    auto strokeB = std::make_shared<CustomPath>(
        width, currentColor,
        saveStateTriggeredByDrawing ? copyPath(surface->secondPath) : makePath());
    strokeA->edgeAware = strokeB->edgeAware = settings.brush.edgeAware;
    if (settings.brush.eraser) {
        strokeA->isErase = strokeB->isErase = true;
    } else if (settings.brush.customColor) {
        strokeA->color = strokeB->color = QBrush(settings.brush.colour);
        strokeA->isSolidColor = strokeB->isSolidColor = true;
    }

    auto stateA = std::make_shared<State>(currentColor, a0 + QList<CustomPathRef>{strokeA});
    auto stateB = std::make_shared<State>(currentColor, b0 + QList<CustomPathRef>{strokeB});

    // States share their layers until a rendering changes them; a layer set whose pixels
    // were dropped takes the session's again, which are the same pixels.
    StateLayersRef layers = actualStatesList.isEmpty() ? nullptr : actualStatesList.last()->layers;
    if (layers && layers->foregroundRecipe == foregroundRecipe_ &&
        layers->backgroundRecipe == backgroundRecipe_) {
        if (layers->foregroundImage.isEmpty())
            layers->foregroundImage = foregroundImage;
        if (layers->preEraseImage.isEmpty())
            layers->preEraseImage = preEraseImage;
    } else {
        layers = std::make_shared<StateLayers>(
            StateLayers{foregroundRecipe_, backgroundRecipe_, foregroundImage, preEraseImage});
    }

    const QString values = controllersStatesText();
    for (const StateRef& s : {stateA, stateB}) {
        s->controllersStates = values;
        s->keep = settings.keep;
        s->edgeAware = settings.brush.edgeAware;
        s->lastAction = action;
        s->layers = layers;
    }
    statesList.append(stateA);
    actualStatesList.append(stateB);
    emit historyChanged();
}

void ViewController::registerStateChange(const QString& action) {
    if (!needToSaveState) {
        needToSaveState = true;
        return;
    }
    if (currentState < numberOfStates) {
        while (currentState < statesList.size() - 1) {
            statesList.removeLast();
            actualStatesList.removeLast();
        }
        commitState(action);
        currentState += 1;
    } else {
        commitState(action);
        statesList.removeFirst();
        actualStatesList.removeFirst();
    }
    needToSaveState = true;
    trimHistory();
    emit historyChanged();
}

void ViewController::trimHistory() {
    QList<Picture> dropped = trimHistoryMemory(actualStatesList, currentState,
                                               {foregroundImage, preEraseImage, backgroundImage,
                                                lastImage, currentZoomInImage, currentOriginal()},
                                               historyMemoryBudget);
    // Unmapping a few hundred megabytes takes long enough to be felt in the window.
    if (!dropped.isEmpty())
        platform::runInBackground([dropped = std::move(dropped)]() mutable { dropped.clear(); });
}

bool ViewController::canUndo() const {
    return currentState > 0 && currentState < actualStatesList.size() && !jobs.busy() &&
           !renderingPending();
}

bool ViewController::canRedo() const {
    return statesList.size() > 1 && currentState >= 0 && currentState < statesList.size() - 1 &&
           currentState + 1 < actualStatesList.size() && !jobs.busy() && !renderingPending();
}

void ViewController::undo() {
    if (!canUndo())
        return;
    currentState -= 1;
    applyState(actualStatesList[currentState]);
}

void ViewController::redo() {
    if (!canRedo())
        return;
    const StateRef shown = actualStatesList[currentState];
    currentState += 1;
    applyState(actualStatesList[currentState], shown);
}

void ViewController::applyState(const StateRef& state, const StateRef& shown) {
    const EditSettings before = settings;
    // The controls first; a text of another line count restores none of them.
    if (const auto values = ControlValues::fromText(state->controllersStates))
        values->applyTo(settings);
    settings.keep = state->keep;
    settings.brush.edgeAware = state->edgeAware;
    showSettings();
    needToSaveState = false;
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
    emit historyChanged();
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
