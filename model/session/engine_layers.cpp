// The engine's layers: setting changes, instant previews and the full renderings that follow.
#include <algorithm>
#include <utility>

#include "model/session/session_engine.h"
#include "model/view/zoom.h"

namespace vividra {
namespace {

bool holds(std::span<const SettingField> list, const SettingField& field) {
    return std::any_of(list.begin(), list.end(),
                       [&](const SettingField& f) { return &f == &field; });
}

// Which layers a field's change renders again.
LayerUpdate updateFor(const SettingField& field) {
    if (holds(fields::switches(true), field) || holds(fields::sliders(true), field))
        return LayerUpdate::foreground;
    if (holds(fields::switches(false), field) || holds(fields::sliders(false), field))
        return LayerUpdate::background;
    return LayerUpdate::both;
}

} // namespace

void SessionEngine::changeSetting(const SettingField& field, const Value& value, bool dragging) {
    std::visit(
        [&](auto* slot) {
            using T = std::remove_pointer_t<decltype(slot)>;
            if (const T* v = std::get_if<T>(&value))
                *slot = *v;
        },
        field.in(settings_));
    // While a knob is dragged the preview follows it; letting go renders it in full.
    if (dragging) {
        changesMade_ = true;
        ++settingsChanges_;
        showInstantPreview();
        return;
    }
    requestLayerUpdate(updateFor(field));
}

void SessionEngine::resetAdjustments() {
    settings_.adjustments = AdjustmentSettings();
    emit settingsChanged();
    requestLayerUpdate(LayerUpdate::both);
}

void SessionEngine::requestLayerUpdate(LayerUpdate kind) {
    changesMade_ = true;
    // The eraser's mode changes what the brush paints, not how the layers look.
    if (kind != LayerUpdate::eraserMode)
        ++settingsChanges_;
    // Without a picture there is nothing to render; the settings are used at the next intake.
    if (!hasPicture())
        return;
    recordLayerChange(kind);
    showInstantPreview();
    if (renderingPending()) {
        if (!waitingUpdates_.contains(kind))
            waitingUpdates_.append(kind);
        // A rendering that this request renders again is stopped: its result would be stale.
        using Kind = LayerRenderInput::Kind;
        const bool covers =
            kind == LayerUpdate::both ||
            (kind == LayerUpdate::foreground && runningRender_ == Kind::foreground) ||
            (kind == LayerUpdate::background && runningRender_ == Kind::background);
        if (jobs_.running(SessionJobs::Kind::rendering) && runningRender_ && covers)
            jobs_.cancelRunning();
    } else {
        startLayerUpdate(kind);
    }
}

void SessionEngine::startLayerUpdate(LayerUpdate kind) {
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
        applyBrushModes();
        break;
    }
}

void SessionEngine::startWaitingUpdates() {
    // Every waiting request joins the line at once; the line still runs them one at a time,
    // each with the settings of the moment it starts.
    const QList<LayerUpdate> waiting = std::exchange(waitingUpdates_, {});
    for (const LayerUpdate kind : waiting)
        startLayerUpdate(kind);
}

void SessionEngine::startRendering(LayerRenderInput::Kind kind) {
    // A rendering that fails never reaches finishRendering: the updates waiting behind it
    // start all the same.
    jobs_.enqueue(
        SessionJobs::Kind::rendering, [this, kind] { return beginRendering(kind); },
        [this] {
            runningRender_.reset();
            startWaitingUpdates();
        });
}

LayerRenderInput SessionEngine::renderInput(LayerRenderInput::Kind kind) const {
    LayerRenderInput in;
    in.kind = kind;
    in.background = settings_.background;
    in.foreground = settings_.foreground;
    in.adjustments = settings_.adjustments;
    in.eraserOn = settings_.brush.eraser;
    in.path = path_;
    in.view = geometry_;
    return in;
}

SessionJobs::Work SessionEngine::beginRendering(LayerRenderInput::Kind kind) {
    if (!hasPicture())
        return {};
    LayerRenderInput in = renderInput(kind);
    in.original = original_;
    in.foregroundImage = foreground_;
    in.preEraseImage = cleanBackground_;
    in.foregroundRecipe = foregroundRecipe_;
    in.backgroundRecipe = backgroundRecipe_;
    recordCurrentStroke();
    in.strokes = snapshotStrokes(strokes_);
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

void SessionEngine::finishRendering(LayerRenderInput::Kind kind, LayerRenderResult result) {
    using Kind = LayerRenderInput::Kind;
    if (!result.ok) {
        // The layers stay as they were and the window stays usable.
        if (!result.reason.isEmpty() && !result.cancelled)
            jobFailed(result.reason);
    } else {
        original_ = result.original;
        followPictureColours();
        // Windows cut for where the view was before a zoom or pan are not used; the rebuild
        // on its way cuts them for where it is now.
        const bool viewUnmoved = result.view == geometry_;
        // A layer of older settings is rendered too, whatever was asked for.
        const bool newForeground = result.foregroundRecipe.has_value();
        const bool newBackground = result.backgroundRecipe.has_value();
        if (newForeground) {
            foreground_ = result.foregroundImage;
            if (viewUnmoved) {
                revealWindow_ = result.revealWindow;
                windowsCutFor_ = result.view;
            } else {
                windowsCutFor_.reset();
            }
        }
        if (settings_.brush.eraser && viewUnmoved && newBackground)
            eraseWindow_ = result.eraseWindow;
        if (newBackground)
            cleanBackground_ = result.preEraseImage;
        if (result.foregroundRecipe)
            foregroundRecipe_ = *result.foregroundRecipe;
        if (result.backgroundRecipe)
            backgroundRecipe_ = *result.backgroundRecipe;
        composite_ = result.composite;
        paintTarget_ = result.composite;
        layersMadeAt_ = renderStartedAt_;
        showComposite(result.composite, result.shownComposite, result.view, renderStartedAt_);
        // A rendering that kept the foreground builds no reveal window: the revealing brush
        // stays as it is.
        if (viewUnmoved && (newForeground || settings_.brush.eraser || settings_.brush.customColor))
            chooseLiveColour(newForeground ? result.revealWindow : revealWindow_,
                             result.eraseWindow);
    }
    clearLiveStroke();

    if (result.ok) {
        // The change was recorded when it was made; its state takes the pixels now. Only
        // changes made while the picture came in have no state yet. Layers of settings that
        // changed again meanwhile get none: the rendering of the newer ones follows.
        history_.cacheLayers(foregroundRecipe_, foreground_, backgroundRecipe_, cleanBackground_);
        const bool latest =
            foregroundRecipe_ == LayerRecipe{settings_.foreground, settings_.adjustments} &&
            backgroundRecipe_ == LayerRecipe{settings_.background, settings_.adjustments};
        if (latest && !history_.holdsLayers(foregroundRecipe_, backgroundRecipe_))
            recordChange(kind == Kind::background   ? QStringLiteral("updateBackgroundImage")
                         : kind == Kind::foreground ? QStringLiteral("updateForegroundImage")
                                                    : QStringLiteral("effects"),
                         sessionLayers());
        else
            trimHistory();
    }
    startWaitingUpdates();
    if (result.ok && result.foregroundRecipe && !result.backgroundRecipe)
        rebuildView();
}

// Instant previews: every change to the layers' settings is shown at once from a reduced
// copy of the original; the full-resolution rendering follows in the line.

QSize SessionEngine::previewSize() const {
    // The picture's size on screen when fitted to the box as it is now.
    const QSizeF fitted =
        zoom::geometryFor(QRectF(QPointF(0, 0), box_), box_, pictureSize_).pictureRect.size();
    return {std::max(1, static_cast<int>(std::lround(fitted.width()))),
            std::max(1, static_cast<int>(std::lround(fitted.height())))};
}

bool SessionEngine::previewNeedsDetail() const {
    return sketchDrawnInDetail(settings_.foreground) || sketchDrawnInDetail(settings_.background);
}

QSize SessionEngine::previewDetailSize() const {
    return sketchDetailSize(pictureSize_, previewSize()).toSize();
}

void SessionEngine::prepareInstantPreview() {
    jobs_.enqueue(SessionJobs::Kind::other, [this]() -> SessionJobs::Work {
        const Picture original = original_;
        const QSize size = previewSize(), detailSize = previewDetailSize();
        const bool reduce = previewSource_.image.size() != size;
        // The detailed copy is kept only while a sketch needs it.
        const bool detail = previewNeedsDetail() && previewDetail_.image.size() != detailSize;
        if (original.isEmpty() || (!reduce && !detail))
            return {};
        return [this, original, size, detailSize, reduce, detail](const SessionJobs::Cancel&) {
            const Picture reduced = reduce ? reducedOriginal(original, size) : Picture();
            const Picture detailed = detail ? reducedOriginal(original, detailSize) : Picture();
            return SessionJobs::Apply([this, reduced, detailed] {
                if (!reduced.isEmpty())
                    previewSource_ = reduced;
                if (!detailed.isEmpty())
                    previewDetail_ = detailed;
                // A sketch previewed from the screen-size copy is shown again in detail.
                if (!detailed.isEmpty() && previewNeedsDetail() && layersMadeAt_ < shownMadeAt_)
                    showInstantPreview();
            });
        };
    });
}

bool SessionEngine::showInstantPreview() {
    if (!hasPicture() || !screen_.showsPicture() || viewState_.showsOriginal())
        return false;
    const QSize pixels = previewSize();
    if (previewSource_.image.size() != pixels) {
        if (original_.isEmpty())
            return false;
        previewSource_ = reducedOriginal(original_, pixels);
    }
    // The sketch's detailed copy is many times larger: it is made in the line, and until it
    // is there a sketch is drawn from the screen-size copy.
    const bool sketch = previewNeedsDetail();
    if (!sketch)
        previewDetail_ = Picture();
    const bool detailed = previewDetail_.image.size() == previewDetailSize();
    if (!detailed && sketch)
        prepareInstantPreview();
    PreviewInput in;
    in.reduced = previewSource_;
    in.detailed = detailed ? previewDetail_ : Picture();
    in.fullSize = pictureSize_;
    in.background = settings_.background;
    in.foreground = settings_.foreground;
    in.adjustments = settings_.adjustments;
    in.strokes = strokes_;
    if (!liveStroke_->isEmpty())
        in.strokes << strokeFrom(liveStroke_, Picture(), Picture());
    in.view = geometry_;
    in.foregroundCache = &previewForeground_;
    in.backgroundCache = &previewBackground_;
    const QImage shown = renderPreview(in);
    if (shown.isNull() || !showWindow(Screen::Source::preview, shown, in.view))
        return false;
    shownMadeAt_ = settingsChanges_;
    lastPreview_ = {shown, in.view, static_cast<qint64>(shownMadeAt_)};
    // The preview holds every stroke, in the new colours.
    emit strokesLanded();
    return true;
}

bool SessionEngine::keepNewerPreview() {
    if (layersMadeAt_ >= shownMadeAt_)
        return false;
    if (showInstantPreview())
        return true;
    // It cannot be made again just now (a reset is taking the picture in): as it was, then.
    if (lastPreview_.geometry != geometry_ ||
        lastPreview_.source != static_cast<qint64>(shownMadeAt_))
        return false;
    return showWindow(Screen::Source::preview, lastPreview_.image, geometry_);
}

} // namespace vividra
