// The engine's painting: strokes, their composition, the brush and the kept colour.
#include <QTimer>

#include <cmath>

#include "kernels/colour_key.h"
#include "model/session/session_engine.h"

namespace vividra {
namespace {

// The original's colour around a point, as a 5×5 average, so grain does not decide.
std::optional<QColor> colourAround(const QImage& image, const QPointF& picturePoint) {
    if (image.isNull())
        return std::nullopt;
    const int cx = static_cast<int>(std::floor(picturePoint.x()));
    const int cy = image.height() - 1 - static_cast<int>(std::floor(picturePoint.y()));
    if (cx < 0 || cy < 0 || cx >= image.width() || cy >= image.height())
        return std::nullopt;
    int sum[3] = {}, n = 0;
    for (int y = std::max(0, cy - 2); y <= std::min(image.height() - 1, cy + 2); ++y)
        for (int x = std::max(0, cx - 2); x <= std::min(image.width() - 1, cx + 2); ++x) {
            const QRgb p = qUnpremultiply(image.pixel(x, y));
            sum[0] += qRed(p);
            sum[1] += qGreen(p);
            sum[2] += qBlue(p);
            ++n;
        }
    return QColor((sum[0] + n / 2) / n, (sum[1] + n / 2) / n, (sum[2] + n / 2) / n);
}

} // namespace

CustomPathRef SessionEngine::strokeFrom(const PathRef& path, const Picture& reveal,
                                        const Picture& erase) const {
    // Its width in picture pixels, as the composition paints it. Before a picture is shown
    // the rectangles are empty; the brush width is then taken as is.
    const double width = geometry_.pictureRect.width() > 0
                             ? brushWidth() * pictureSize_.width() / geometry_.pictureRect.width()
                             : brushWidth();
    const QBrush colour = modes_.erase         ? patternColor(erase)
                          : modes_.solidColour ? liveColour_
                                               : patternColor(reveal);
    auto stroke = std::make_shared<CustomPath>(width, colour, copyPath(path));
    stroke->edgeAware = modes_.edgeAware;
    if (modes_.erase)
        stroke->isErase = true;
    else if (modes_.solidColour)
        stroke->isSolidColor = true;
    return stroke;
}

void SessionEngine::recordCurrentStroke() {
    // The list keeps the path as it is now, and painting goes on with a new one, so a
    // recorded stroke never changes afterwards and is painted once, not again with the next.
    // A stroke still under way is recorded when it ends.
    if (strokeUnderWay_) {
        strokes_.append(strokeFrom(makePath(), foreground_, cleanBackground_));
        return;
    }
    strokes_.append(strokeFrom(liveStroke_, foreground_, cleanBackground_));
    if (!liveStroke_->isEmpty())
        liveStroke_ = makePath();
}

bool SessionEngine::beginStroke(const QPointF& boxPoint) {
    if (!canPaint() || strokeUnderWay_)
        return false;
    liveStroke_->moveTo(picturePoint(boxPoint));
    strokeUnderWay_ = true;
    return true;
}

bool SessionEngine::extendStroke(const QPointF& boxPoint) {
    if (!strokeUnderWay_ || !canPaint())
        return false;
    extendPath(*liveStroke_, picturePoint(boxPoint));
    return true;
}

void SessionEngine::endStroke(const QPointF& boxPoint) {
    // A stroke once begun always ends, whatever started meanwhile (a pan, a job): half of
    // it must not wait to be painted with the next.
    if (!strokeUnderWay_)
        return;
    extendPath(*liveStroke_, picturePoint(boxPoint));
    strokeUnderWay_ = false;
    strokeFinished();
}

void SessionEngine::strokeFinished() {
    changesMade_ = true;
    recordChange(QStringLiteral("pathModified"), nullptr, true);
    jobs_.enqueue(SessionJobs::Kind::composite, [this]() -> SessionJobs::Work {
        if (!hasPicture() || cleanBackground_.isEmpty())
            return {};
        const bool everything = paintTarget_.isEmpty();
        recordCurrentStroke();
        const QList<CustomPathRef> strokes =
            snapshotStrokes(everything ? strokes_ : QList<CustomPathRef>{strokes_.last()});
        // Hand the running composite over whole, so painting it needs no copy; a full
        // composition starts again from the clean background.
        Picture target = everything ? cleanBackground_ : std::exchange(paintTarget_, Picture());
        // The latest composite is that same picture: letting go of it here saves a full copy.
        composite_ = Picture();
        const QBrush reveal = patternColor(foreground_);
        const QBrush erase = patternColor(cleanBackground_);
        const Picture original = original_;
        // The live stroke shows the brush's whole circle; an edge-aware one paints less, so
        // its result is shown as soon as it is painted.
        const bool show = strokes.last()->edgeAware;
        const ViewGeometry view = geometry_;
        return [this, target = std::move(target), strokes, reveal, erase, original, show,
                view](const SessionJobs::Cancel&) mutable {
            Picture result =
                compositeStrokes(std::move(target), strokes, reveal, erase, original.image);
            const QImage shown =
                show && !result.isEmpty() ? displayWindow(result, view).image : QImage();
            return SessionJobs::Apply([this, result = std::move(result), shown, view] {
                if (result.isEmpty()) {
                    jobFailed(QStringLiteral(
                        "There is not enough memory to paint this stroke into the picture."));
                    return;
                }
                paintTarget_ = result;
                composite_ = result;
                if (shown.isNull() || view != geometry_)
                    return;
                showComposite(result, shown, view, layersMadeAt_);
                // The strokes so far are in the picture now; a stroke under way stays drawn.
                if (!strokeUnderWay_)
                    emit strokesLanded();
            });
        };
    });
}

QList<CustomPathRef> SessionEngine::flattenedStrokes() {
    // Every stroke again, from the clean background, the current one at its width on screen.
    const double width = brushWidth();
    recordCurrentStroke();
    QList<CustomPathRef> strokes = snapshotStrokes(strokes_);
    strokes.last()->lineWidth = width;
    return strokes;
}

void SessionEngine::refreshComposite(bool eraseWindow,
                                     std::function<void(const RefreshResult&)> then) {
    jobs_.enqueue(SessionJobs::Kind::refresh,
                  [this, eraseWindow, then = std::move(then)]() -> SessionJobs::Work {
                      if (!hasPicture())
                          return {};
                      recordCurrentStroke();
                      struct Input {
                          Picture cleanBackground, foreground, reveal, original;
                          QList<CustomPathRef> strokes;
                          ViewGeometry view;
                          bool eraseWindow;
                      };
                      Input in;
                      in.cleanBackground = cleanBackground_;
                      in.foreground = foreground_;
                      in.original = original_;
                      in.strokes = snapshotStrokes(strokes_);
                      in.view = geometry_;
                      // The reveal window is cut again only when the view moved since it was cut.
                      if (windowsCutFor_ == in.view)
                          in.reveal = revealWindow_;
                      // The erase window is built only if the eraser is still on when the job
                      // starts.
                      in.eraseWindow = eraseWindow && settings_.brush.eraser;
                      return [this, in = std::move(in), then](const SessionJobs::Cancel&) mutable {
                          RefreshResult r;
                          r.composite = compositeStrokes(
                              in.cleanBackground, in.strokes, patternColor(in.foreground),
                              patternColor(in.cleanBackground), in.original.image);
                          r.shown = displayWindow(r.composite, in.view).image;
                          r.revealWindow = in.reveal.isEmpty()
                                               ? displayWindow(in.foreground, in.view)
                                               : in.reveal;
                          if (in.eraseWindow)
                              r.eraseWindow = displayWindow(in.cleanBackground, in.view);
                          return SessionJobs::Apply([this, r = std::move(r), view = in.view, then] {
                              if (!r.composite.isEmpty()) {
                                  composite_ = r.composite;
                                  paintTarget_ = r.composite;
                                  showComposite(r.composite, r.shown, view, layersMadeAt_);
                              }
                              if (view == geometry_) {
                                  revealWindow_ = r.revealWindow;
                                  windowsCutFor_ = view;
                                  if (!r.eraseWindow.isEmpty())
                                      eraseWindow_ = r.eraseWindow;
                              }
                              clearLiveStroke();
                              then(r);
                          });
                      };
                  });
}

void SessionEngine::chooseLiveColour(const Picture& revealWindow, const Picture& eraseWindow) {
    if (settings_.brush.eraser) {
        liveColour_ = patternColor(eraseWindow);
        liveColourOnScreen_ = patternColor(inScreenColours(eraseWindow));
    } else if (settings_.brush.customColor) {
        liveColour_ = QBrush(settings_.brush.colour);
        QImage dot(1, 1, QImage::Format_ARGB32_Premultiplied);
        dot.fill(settings_.brush.colour);
        liveColourOnScreen_ = QBrush(inScreenColours(Picture(dot)).image.pixelColor(0, 0));
    } else {
        liveColour_ = patternColor(revealWindow);
        liveColourOnScreen_ = patternColor(inScreenColours(revealWindow));
    }
    emit brushChanged();
}

void SessionEngine::syncBrushModes() {
    modes_.erase = settings_.brush.eraser;
    modes_.solidColour = settings_.brush.customColor && !settings_.brush.eraser;
    modes_.edgeAware = settings_.brush.edgeAware;
    emit brushChanged();
}

void SessionEngine::setBrushSize(float size) {
    changesMade_ = true;
    settings_.brush.size = size;
    brushLabel_ = settings_.brushLabel();
    if (!hasPicture()) {
        // Without a picture the brush still takes the new size for the next one.
        brushSize_ = size;
        emit brushChanged();
        return;
    }
    // The cursor shows the new size at once; the brush takes it when the refresh's turn comes.
    emit brushChanged();
    refreshComposite(false, [this](const RefreshResult&) {
        brushSize_ = settings_.brush.size;
        emit brushChanged();
        recordChange(QStringLiteral("brushSizeChanged"));
    });
}

void SessionEngine::setEraser(bool on) {
    settings_.brush.eraser = on;
    changesMade_ = true;
    // Behind a rendering the switch waits its turn in the render queue; otherwise it joins
    // the line at once, whatever job runs there.
    if (renderingPending()) {
        if (!waitingUpdates_.contains(LayerUpdate::eraserMode))
            waitingUpdates_.append(LayerUpdate::eraserMode);
    } else {
        applyBrushModes();
    }
}

void SessionEngine::applyBrushModes() {
    if (!hasPicture()) {
        syncBrushModes();
        return;
    }
    // The brush takes the modes as the settings are when the refresh ends.
    refreshComposite(true, [this](const RefreshResult& r) {
        syncBrushModes();
        chooseLiveColour(r.revealWindow, r.eraseWindow);
        recordChange(QStringLiteral("customColorSelected"));
    });
}

void SessionEngine::setCustomColour(bool on) {
    settings_.brush.customColor = on;
    changesMade_ = true;
    // Unlike the eraser, it never waits behind a rendering: the layers' look does not change.
    applyBrushModes();
}

void SessionEngine::setBrushColour(const QColor& colour) {
    settings_.brush.colour = colour;
    // No undo step, but part of the work a crash must not lose.
    journalWork();
    applyBrushColour();
}

void SessionEngine::applyBrushColour() {
    if (colourChangeRunning_) {
        colourChangeWaiting_ = true;
        return;
    }
    if (!hasPicture())
        return;
    // While one refresh is on its way, later colours are gathered into one more.
    colourChangeRunning_ = true;
    refreshComposite(true, [this](const RefreshResult& r) {
        syncBrushModes();
        chooseLiveColour(r.revealWindow, r.eraseWindow);
        colourChangeRunning_ = false;
        if (colourChangeWaiting_) {
            colourChangeWaiting_ = false;
            // The colour moved on meanwhile: apply the latest once more.
            QTimer::singleShot(0, this, [this] { applyBrushColour(); });
        }
    });
}

void SessionEngine::setEdgeAware(bool on) {
    settings_.brush.edgeAware = on;
    changesMade_ = true;
    // Only strokes painted from now on keep to edges; the picture itself does not change.
    modes_.edgeAware = on;
    emit brushChanged();
    if (hasPicture())
        recordChange(QStringLiteral("brushModeChanged"));
}

QImage SessionEngine::edgeGuide() {
    if (original_.isEmpty())
        return QImage();
    if (guideWindow_.geometry != geometry_ || guideWindow_.source != original_.image.cacheKey() ||
        guideWindow_.image.isNull())
        guideWindow_ = {displayWindow(original_, geometry_).image, geometry_,
                        original_.image.cacheKey()};
    return guideWindow_.image;
}

// Keeping a colour: a click picks a hue, and every pixel of the original near it shows the
// foreground; strokes refine the result afterwards.

void SessionEngine::setKeepColour(bool on) {
    // Turning it on asks for the colour: the next click on the picture picks it, and only
    // that changes the picture. Turning it off lets the kept colour go.
    picking_ = on && hasPicture();
    const bool wasKept = settings_.keep.on;
    if (!on)
        settings_.keep.on = false;
    emit brushChanged();
    emit settingsChanged();
    if (wasKept && !on)
        applyKeptColour(true);
}

void SessionEngine::startColourPick() {
    if (!hasPicture())
        return;
    picking_ = true;
    emit brushChanged();
    emit settingsChanged();
}

bool SessionEngine::pickColourAt(const QPointF& picturePoint) {
    if (!picking_ || !hasPicture() || viewState_.showsOriginal())
        return false;
    const std::optional<QColor> colour = colourAround(original_.image, picturePoint);
    const std::optional<float> hue =
        colour ? fx::keyableHue(static_cast<std::uint8_t>(colour->red()),
                                static_cast<std::uint8_t>(colour->green()),
                                static_cast<std::uint8_t>(colour->blue()))
               : std::nullopt;
    // Without a colour there, picking goes on: the user tries another spot.
    if (!hue)
        return false;
    picking_ = false;
    settings_.keep.on = true;
    settings_.keep.hue = *hue;
    emit brushChanged();
    emit settingsChanged();
    applyKeptColour(true);
    return true;
}

void SessionEngine::setKeepRange(KeepRange which, float value, bool dragging) {
    float& field = which == KeepRange::hue         ? settings_.keep.hue
                   : which == KeepRange::tolerance ? settings_.keep.tolerance
                                                   : settings_.keep.falloff;
    field = value;
    // Setting the range by hand keeps it, as a click would.
    settings_.keep.on = hasPicture();
    picking_ = false;
    emit brushChanged();
    emit settingsChanged();
    if (dragging)
        previewKeptColour();
    else
        applyKeptColour(true);
}

void SessionEngine::previewKeptColour() {
    changesMade_ = true;
    strokes_ = withKeptColour(strokes_, settings_.keep.on ? std::optional(settings_.keep.key())
                                                          : std::nullopt);
    if (hasPicture())
        showInstantPreview();
}

void SessionEngine::applyKeptColour(bool record) {
    previewKeptColour();
    if (!hasPicture())
        return;
    refreshComposite(false, [this, record](const RefreshResult&) {
        if (record)
            recordChange(QStringLiteral("keepColorChanged"));
    });
}

} // namespace vividra
