// The engine's history: recording states, undo and redo.
#include <algorithm>
#include <utility>

#include "model/history/control_values.h"
#include "model/history/state_restore.h"
#include "model/platform/work_queue.h"
#include "model/session/session_engine.h"

namespace vividra {

StateRef SessionEngine::makeState(const QString& action, StateLayersRef layers, bool withStroke,
                                  bool fromScratch) const {
    const StateRef shown = history_.current();
    // The kept colour as it is now, in the place the strokes hold it.
    const std::optional<fx::HueKey> key =
        settings_.keep.on ? std::optional(settings_.keep.key()) : std::nullopt;
    const QList<CustomPathRef> before = withSubject(
        withKeptColour(shown && !fromScratch ? shown->paths : QList<CustomPathRef>(), key),
        selectedSubject(strokes_));

    // Worked out as the composition does, so the recorded stroke paints the same pixels.
    const double width = geometry_.pictureRect.width() > 0
                             ? brushWidth() * pictureSize_.width() / geometry_.pictureRect.width()
                             : brushWidth();
    auto stroke = std::make_shared<CustomPath>(width, liveColour_,
                                               withStroke ? copyPath(liveStroke_) : makePath());
    stroke->edgeAware = settings_.brush.edgeAware;
    if (settings_.brush.eraser) {
        stroke->isErase = true;
    } else if (settings_.brush.customColor) {
        stroke->color = QBrush(settings_.brush.colour);
        stroke->isSolidColor = true;
    }

    auto state = std::make_shared<State>(liveColour_, before + QList<CustomPathRef>{stroke});
    state->controllersStates = ControlValues::record(settings_).toText();
    state->keep = settings_.keep;
    state->edgeAware = settings_.brush.edgeAware;
    state->brushColour = settings_.brush.colour;
    state->foregroundSketchIntensity = settings_.foreground.sketchIntensity;
    state->lastAction = action;
    state->layers = std::move(layers);
    return state;
}

StateLayersRef SessionEngine::sessionLayers() const {
    return std::make_shared<StateLayers>(
        StateLayers{foregroundRecipe_, backgroundRecipe_, foreground_, cleanBackground_});
}

void SessionEngine::startHistory(const QString& action) {
    history_.clear();
    history_.record(makeState(action, sessionLayers(), false));
}

void SessionEngine::recordChange(const QString& action, StateLayersRef layers, bool withStroke,
                                 bool fromScratch) {
    // A layer set whose pixels were dropped takes the session's again, the same pixels.
    history_.cacheLayers(foregroundRecipe_, foreground_, backgroundRecipe_, cleanBackground_);
    // Layers change only by their own states; every other edit keeps those of the state shown.
    if (!layers)
        layers = history_.current() ? history_.current()->layers : sessionLayers();
    history_.record(makeState(action, std::move(layers), withStroke, fromScratch));
    trimHistory();
}

void SessionEngine::recordLayerChange(LayerUpdate kind) {
    const StateRef shown = history_.current();
    // Changes made while a picture comes in are recorded when their renderings end.
    if (kind == LayerUpdate::eraserMode || !shown || !shown->layers ||
        jobs_.count(SessionJobs::Kind::intake) > 0)
        return;
    const StateLayersRef& base = shown->layers;
    const LayerRecipe foreground = LayerRecipe{settings_.foreground, settings_.adjustments};
    const LayerRecipe background = LayerRecipe{settings_.background, settings_.adjustments};
    // Both layers whatever was asked for: a rendering renders a layer of older settings too
    // (a change made while the picture came in has no state of its own).
    const bool foregroundChanges = base->foregroundRecipe != foreground;
    const bool backgroundChanges = base->backgroundRecipe != background;
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
    } else if (shown->controllersStates == ControlValues::record(settings_).toText()) {
        return;
    }
    recordChange(kind == LayerUpdate::background   ? QStringLiteral("updateBackgroundImage")
                 : kind == LayerUpdate::foreground ? QStringLiteral("updateForegroundImage")
                                                   : QStringLiteral("effects"),
                 std::move(layers));
}

void SessionEngine::trimHistory() {
    history_.trimMemory(
        {foreground_, cleanBackground_, composite_, paintTarget_, original_, screen_.picture});
}

bool SessionEngine::canUndo() const {
    return history_.canUndo() && !busy() && !renderingPending();
}

bool SessionEngine::canRedo() const {
    return history_.canRedo() && !busy() && !renderingPending();
}

void SessionEngine::undo() {
    if (!canUndo())
        return;
    applyState(history_.undo());
}

void SessionEngine::redo() {
    if (!canRedo())
        return;
    const StateRef shown = history_.current();
    applyState(history_.redo(), shown);
}

void SessionEngine::applyState(const StateRef& state, const StateRef& shown) {
    const EditSettings before = settings_;
    // The controls first; a text of another line count restores none of them.
    if (const auto values = ControlValues::fromText(state->controllersStates))
        values->applyTo(settings_);
    settings_.keep = state->keep;
    settings_.brush.edgeAware = state->edgeAware;
    settings_.brush.colour = state->brushColour;
    settings_.foreground.sketchIntensity = state->foregroundSketchIntensity;
    brushLabel_ = settings_.brushLabel();
    brushSize_ = settings_.brush.size;
    syncBrushModes();
    emit settingsChanged();
    clearLiveStroke();
    // The session's own copies: later strokes never touch a recorded one.
    strokes_ = snapshotStrokes(state->paths);
    if (!hasPicture() || !state->layers)
        return;

    // The live colour's windows depend on the layers and the brush modes, not on strokes.
    const bool sameBrushModes = before.brush.eraser == settings_.brush.eraser &&
                                before.brush.customColor == settings_.brush.customColor;
    jobs_.enqueue(
        SessionJobs::Kind::other,
        [this, state, shown, sameBrushModes, made = ++settingsChanges_]() -> SessionJobs::Work {
            const StateLayers layers = *state->layers;
            const QList<CustomPathRef> strokes = snapshotStrokes(state->paths);
            const Picture original = original_;
            const QString path = path_;
            const ViewGeometry view = geometry_;
            const bool sameLayers = layers.foregroundImage.sharesPixelsWith(foreground_) &&
                                    layers.preEraseImage.sharesPixelsWith(cleanBackground_);
            // A redo over the same layers only adds strokes to the composite shown now.
            const bool addsStrokes =
                sameLayers && shown && !paintTarget_.isEmpty() &&
                shown->paths.size() <= state->paths.size() &&
                std::equal(shown->paths.begin(), shown->paths.end(), state->paths.begin());
            const Picture base = addsStrokes ? paintTarget_ : Picture();
            const qsizetype baseStrokes = addsStrokes ? shown->paths.size() : 0;
            const bool refreshWindows = !sameLayers || !sameBrushModes;
            return [this, state, layers, strokes, original, path, view, base, baseStrokes,
                    refreshWindows, made](const SessionJobs::Cancel&) {
                RestoredPictures r =
                    restoreStatePictures(layers, strokes, original, path, base, baseStrokes);
                const QImage screen = r.ok ? displayWindow(r.composite, view).image : QImage();
                return SessionJobs::Apply(
                    [this, state, r = std::move(r), screen, view, refreshWindows, made] {
                        finishRestore(state, r, screen, view, refreshWindows, made);
                    });
            };
        });
}

void SessionEngine::finishRestore(const StateRef& state, const RestoredPictures& r,
                                  const QImage& screen, const ViewGeometry& view,
                                  bool refreshWindows, std::uint64_t made) {
    if (!r.ok) {
        // The pictures stay as they were; the window stays usable.
        if (!r.reason.isEmpty())
            jobFailed(r.reason);
        return;
    }
    if (!r.original.isEmpty())
        original_ = r.original;
    followPictureColours();
    // The pictures replaced here may hold the last reference to their pixels; freeing 96 MB
    // is felt in the window, so it happens on a pool thread.
    QList<Picture> replaced{std::exchange(foreground_, r.foregroundImage),
                            std::exchange(cleanBackground_, r.preEraseImage),
                            std::exchange(composite_, r.composite),
                            std::exchange(paintTarget_, r.composite)};
    platform::runInBackground([replaced = std::move(replaced)]() mutable { replaced.clear(); });
    foregroundRecipe_ = state->layers->foregroundRecipe;
    backgroundRecipe_ = state->layers->backgroundRecipe;
    // Rendered again or not, these are the state's layers: keep them with it.
    state->layers->foregroundImage = foreground_;
    state->layers->preEraseImage = cleanBackground_;
    layersMadeAt_ = made;
    showComposite(r.composite, screen, view, made);
    // The live colour windows come from the restored layers and brush modes.
    if (refreshWindows) {
        windowsCutFor_.reset();
        rebuildView();
    }
    trimHistory();
}

} // namespace vividra
