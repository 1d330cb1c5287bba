#include "model/session/session_engine.h"

#include <QFileInfo>
#include <QTimer>

#include "kernels/pixel_memory.h"
#include "model/effects/image_tools.h"
#include "model/platform/file_manager.h"
#include "model/platform/log.h"
#include "model/platform/temporary_directory.h"
#include "model/platform/work_queue.h"
#include "model/view/zoom.h"
#include "model/work/journal.h"

namespace vividra {
namespace {

// A zoom step waits this long for the next before the view is rebuilt.
constexpr int kZoomRebuildDelayMs = 1000;
// With no end-of-resize event, a resize has ended after this quiet time.
constexpr int kResizeQuietMs = 250;

} // namespace

SessionEngine::SessionEngine() : liveStroke_(makePath()) {
    jobs_.onFailure = [this](const QString& reason) { jobFailed(reason); };
    jobs_.onBusyChanged = [this](bool busy) {
        // The picture memory kept for the next job goes back while the editor waits.
        if (!busy)
            platform::runInBackground([] { fx::releaseCachedPixels(); });
        emit busyChanged(busy);
        emit historyChanged();
    };
    history_.onAvailabilityChanged = [this] { emit historyChanged(); };
    history_.onChanged = [this] { journalWork(); };
    setJournal(std::make_unique<work::Journal>());
    rebuildTimer_ = new QTimer(this);
    rebuildTimer_->setSingleShot(true);
    connect(rebuildTimer_, &QTimer::timeout, this, &SessionEngine::rebuildView);
    resizeTimer_ = new QTimer(this);
    resizeTimer_->setSingleShot(true);
    connect(resizeTimer_, &QTimer::timeout, this, &SessionEngine::boxResizeEnded);
    brushLabel_ = settings_.brushLabel();
    brushSize_ = settings_.brush.size;
    startHistory(QStringLiteral("resetInterface"));
}

SessionEngine::~SessionEngine() = default;

bool SessionEngine::renderingPending() const {
    return jobs_.count(SessionJobs::Kind::rendering) > 0 || !waitingUpdates_.isEmpty();
}

bool SessionEngine::canPaint() const {
    return hasPicture() && !picking_ && !awaitingBox_ && viewState_.canPaint(!jobs_.busy());
}

QRectF SessionEngine::pictureFrame() const {
    return zoom::frameOf(geometry_);
}

QPointF SessionEngine::picturePoint(const QPointF& p) const {
    const QRectF& r = geometry_.pictureRect;
    if (r.width() <= 0 || r.height() <= 0)
        return {};
    const QPointF f = pictureFrame().topLeft();
    return {(p.x() - r.x() - f.x()) / r.width() * pictureSize_.width(),
            (p.y() - r.y() - f.y()) / r.height() * pictureSize_.height()};
}

void SessionEngine::jobFailed(const QString& reason) {
    emit notice(reason);
}

void SessionEngine::resetBrushToSettings() {
    modes_ = BrushModes();
    brushSize_ = settings_.brush.size;
    brushLabel_ = settings_.brushLabel();
}

void SessionEngine::beginNewSession() {
    // Work asked for in the old session is dropped, and with it what waited for it.
    jobs_.beginSession();
    waitingUpdates_.clear();
    windowsCutFor_.reset();
    colourChangeWaiting_ = colourChangeRunning_ = false;
    rebuildTimer_->stop();
    resizeTimer_->stop();
    // A new session starts in Preview, fitted, where the brush paints.
    viewState_.reset();
    previewWindow_ = originalWindow_ = ShownWindow();
    previewSource_ = previewDetail_ = Picture();
    previewForeground_ = previewBackground_ = PreviewLayer();
    runningRender_.reset();
    strokeUnderWay_ = false;
    liveStroke_ = makePath();
}

void SessionEngine::emptySession() {
    beginNewSession();
    original_ = Picture();
    followPictureColours();
    history_.clear();
    foreground_ = cleanBackground_ = composite_ = paintTarget_ = Picture();
    revealWindow_ = eraseWindow_ = Picture();
    // A reset keeps the last preview, shown until the same picture is in again.
    lastPreview_ = ShownWindow();
    foregroundRecipe_ = backgroundRecipe_ = LayerRecipe();
    path_.clear();
    pictureSize_ = QSizeF();
    geometry_ = ViewGeometry();
    scale_ = 1.0;
    strokes_.clear();
    picking_ = false;
    screen_ = Screen();
    pendingWork_.reset();
    originalHash_.clear();
    workEnded_ = false;
}

void SessionEngine::clear() {
    endCleanly();
    emptySession();
    changesMade_ = false;
    profilePath_.clear();
    liveColour_ = QBrush(Qt::white);
    liveColourOnScreen_ = liveColour_;
    settings_.resetToDefaults();
    resetBrushToSettings();
    startHistory(QStringLiteral("resetInterface"));
    emit settingsChanged();
    emit brushChanged();
    emit screenChanged();
}

void SessionEngine::open(const QString& path) {
    // A new session; whatever the old one still had in the line is dropped, so a request
    // that arrives while a job runs is taken in once the line is free.
    endCleanly();
    emptySession();
    emit screenChanged();
    startIntake(path, QStringLiteral("addImage"), false);
}

void SessionEngine::reset() {
    if (!hasPicture())
        return;
    // The same picture as a new session: work asked for before the reset is dropped.
    beginNewSession();
    // The view stays where it is until the picture is in again: the last preview goes on
    // showing there meanwhile.
    strokes_.clear();
    paintTarget_ = Picture();
    picking_ = false;
    liveColour_ = QBrush(Qt::white);
    liveColourOnScreen_ = liveColour_;
    settings_.resetToDefaults();
    resetBrushToSettings();
    emit settingsChanged();
    emit brushChanged();
    emit screenChanged();
    startIntake(path_, QStringLiteral("reset"), true);
}

void SessionEngine::end() {
    if (ended_)
        return;
    ended_ = true;
    endCleanly();
    // Nothing may write into the working folder once it is emptied: drop the session's jobs
    // and wait for the work and picture writes still running.
    jobs_.shutDown();
    const QString temp = platform::temporaryDirectory();
    QString error;
    const std::optional<QStringList> items = platform::listDirectory(temp, &error);
    if (!items) {
        platform::logLine(QStringLiteral("Remove failed: ") + error);
        return;
    }
    for (const QString& item : *items) {
        if (!platform::removeItem(temp + item, &error))
            platform::logLine(QStringLiteral("Remove failed: ") + error);
    }
}

// The screen.

void SessionEngine::showOnScreen(Screen::Source source, const Picture& picture) {
    screen_.source = source;
    screen_.picture = picture;
    screen_.window = QImage();
    screen_.strokes = strokes_.size();
    emit screenChanged();
}

void SessionEngine::setDisplayProfile(const QByteArray& icc) {
    if (screenColour_ && icc == displayProfile_)
        return;
    displayProfile_ = icc;
    screenColour_.reset();
    followPictureColours();
    // What is on screen was converted for the old display. A stroke under way keeps its
    // colours; the next view or composite it brings shows the new ones.
    if (!hasPicture() || !screen_.showsPicture() || strokeUnderWay_)
        return;
    if (windowsCutFor_ == geometry_ && !revealWindow_.isEmpty() &&
        (!settings_.brush.eraser || !eraseWindow_.isEmpty()))
        chooseLiveColour(revealWindow_, eraseWindow_);
    showPreviewOrOriginal();
}

// The conversion follows the picture's profile, and is made again only when that changes.
void SessionEngine::followPictureColours() {
    const QByteArray picture = original_.metadata ? original_.metadata->iccProfile : QByteArray();
    if (screenColour_ && picture == screenColourFor_)
        return;
    screenColourFor_ = picture;
    screenColour_ = std::make_shared<const ScreenColour>(picture, displayProfile_);
}

Picture SessionEngine::inScreenColours(const Picture& window) const {
    if (!screenColour_ || screenColour_->isIdentity() || window.isEmpty())
        return window;
    Picture converted = window;
    // A copy, since the windows are kept and shown again; without memory for it the window
    // goes out as it is rather than not at all.
    converted.image.detach();
    if (converted.image.isDetached() && screenColour_->apply(converted.image))
        return converted;
    return window;
}

bool SessionEngine::showWindow(Screen::Source source, const QImage& window,
                               const ViewGeometry& geometry) {
    // A window cut for where the view was before a zoom or pan is not shown; the rebuild on
    // its way cuts the one for where it is now.
    if (geometry != screen_.geometry || window.isNull())
        return false;
    screen_.source = source;
    screen_.window = inScreenColours(Picture(window)).image;
    screen_.windowFor = geometry;
    screen_.picture = Picture();
    screen_.strokes = strokes_.size();
    emit screenChanged();
    return true;
}

void SessionEngine::showComposite(const Picture& composite, const QImage& window,
                                  const ViewGeometry& geometry, std::uint64_t made) {
    // A preview of newer settings stays until their own rendering replaces it.
    if (made < shownMadeAt_)
        return;
    if (!window.isNull())
        previewWindow_ = {window, geometry, composite.image.cacheKey()};
    if (!viewState_.showsOriginal()) {
        shownMadeAt_ = made;
        showOnScreen(Screen::Source::composite, composite);
        showWindow(Screen::Source::composite, window, geometry);
    } else if (!screen_.showsPicture()) {
        showPreviewOrOriginal();
    }
}

void SessionEngine::clearLiveStroke() {
    if (!strokeUnderWay_)
        liveStroke_ = makePath();
    emit strokesLanded();
}

// The view.

void SessionEngine::setGeometry(const ViewGeometry& geometry) {
    geometry_ = geometry;
    screen_.geometry = geometry;
    emit screenChanged();
}

bool SessionEngine::viewBusy() const {
    return renderingPending() || jobs_.busy();
}

void SessionEngine::setBoxSize(const QSizeF& box) {
    box_ = box;
    fitToBox();
}

void SessionEngine::fitToBox() {
    const QSizeF box = box_;
    if (ended_)
        return;
    const ViewGeometry g = geometry_;
    if (!hasPicture() || !screen_.showsPicture() || g.maskRect.size() == box)
        return;
    setPictureFrame(zoom::resized(zoom::frameOf(g), g.maskRect.size(), box));
    if (zoom::ratio(pictureFrame(), box) <= 1.0)
        viewState_.fit();
    resizeTimer_->start(kResizeQuietMs);
}

void SessionEngine::boxResizeEnded() {
    if (hasPicture() && !ended_ && screen_.showsPicture())
        rebuildView();
}

void SessionEngine::zoomIn() {
    if (viewBusy() || !hasPicture())
        return;
    zoomBy(zoom::kZoomInFactor, std::nullopt);
}

void SessionEngine::zoomOut() {
    if (zoom::ratio(pictureFrame(), box_) <= 1.0 || !hasPicture() || viewBusy())
        return;
    zoomBy(zoom::kZoomOutFactor, std::nullopt);
}

void SessionEngine::zoomAbout(double factor, const QPointF& boxPoint) {
    if (viewBusy() || !hasPicture())
        return;
    if (factor < 1.0 && zoom::ratio(pictureFrame(), box_) <= 1.0)
        return;
    // The box point in the frame's y-up terms.
    zoomBy(factor, QPointF(boxPoint.x(), box_.height() - boxPoint.y()));
}

void SessionEngine::zoomBy(double factor, std::optional<QPointF> anchor) {
    rebuildTimer_->stop();
    if (!screen_.showsPicture())
        return;
    const std::optional<QRectF> frame = viewState_.zoomAt(pictureFrame(), box_, factor, anchor);
    if (!frame)
        return;
    setPictureFrame(*frame);
    rebuildTimer_->start(kZoomRebuildDelayMs);
}

void SessionEngine::fit() {
    if (!screen_.showsPicture() || !hasPicture() || viewBusy())
        return;
    rebuildTimer_->stop();
    viewState_.fit();
    setPictureFrame(QRectF(QPointF(0, 0), box_));
    rebuildView();
}

void SessionEngine::settleView() {
    if (rebuildTimer_->isActive()) {
        rebuildTimer_->stop();
        rebuildView();
    }
    if (resizeTimer_->isActive()) {
        resizeTimer_->stop();
        boxResizeEnded();
    }
}

void SessionEngine::setPictureFrame(const QRectF& requested) {
    const QRectF frame = zoom::clampPictureFrame(requested, box_);
    // The brush keeps its size in picture pixels: it grows on screen with the picture.
    scale_ = zoom::ratio(frame, box_);
    brushSize_ = settings_.brush.size;
    // The live colour was cut for the old view: no painting until it is cut again.
    viewState_.moved();
    clearLiveStroke();
    setGeometry(zoom::geometryFor(frame, box_, pictureSize_));
    emit brushChanged();
    showPreviewOrOriginal();
}

void SessionEngine::showPreviewOrOriginal() {
    const ViewGeometry g = geometry_;
    const bool original = viewState_.showsOriginal();
    emit brushChanged();
    if (!original && keepNewerPreview())
        return;
    const Picture source = original ? original_ : composite_;
    const Screen::Source kind = original ? Screen::Source::original : Screen::Source::composite;
    const ShownWindow& cached = original ? originalWindow_ : previewWindow_;
    // While a stroke is being composed the composite is away; the last window still shows
    // everything but that stroke, which the live drawing shows.
    const bool composing = !original && source.isEmpty();
    if (!original && !composing)
        shownMadeAt_ = layersMadeAt_;
    if (cached.geometry == g && !cached.image.isNull() &&
        (composing || (!source.isEmpty() && cached.source == source.image.cacheKey()))) {
        showOnScreen(kind, source);
        showWindow(kind, cached.image, g);
        return;
    }
    if (composing)
        return;
    showOnScreen(kind, source);
    // Shown scaled for now; without a rebuild on its way, build the exact window.
    if (!viewState_.rebuildPending())
        rebuildView();
}

void SessionEngine::showOriginal(bool original) {
    viewState_.show(original ? ViewState::Shown::original : ViewState::Shown::preview);
    if (!hasPicture() || !screen_.showsPicture()) {
        emit brushChanged();
        emit screenChanged();
        return;
    }
    showPreviewOrOriginal();
}

void SessionEngine::holdOriginal(bool held) {
    if (!viewState_.holdOriginal(held))
        return;
    showOriginal(viewState_.showsOriginal());
}

void SessionEngine::panBy(const QPointF& delta) {
    if (strokeUnderWay_ || viewBusy() || !hasPicture() || !screen_.showsPicture())
        return;
    const QRectF frame = pictureFrame();
    if (zoom::ratio(frame, box_) <= 1.0)
        return;
    // Widget rows run downwards, the frame's y upwards.
    const QRectF moved = zoom::pan(frame, box_, std::round(delta.x()), -std::round(delta.y()));
    if (moved == frame)
        return;
    rebuildTimer_->stop();
    setPictureFrame(moved);
    viewState_.panned();
}

void SessionEngine::beginPan() {
    viewState_.beginPan();
}

void SessionEngine::endPan() {
    // A left press during the pan started no stroke: the view is rebuilt even while the left
    // button is still held, or the brush would wait for the next move of the view.
    if (viewState_.endPan())
        rebuildView();
}

void SessionEngine::rebuildView() {
    jobs_.enqueue(SessionJobs::Kind::refresh, [this]() -> SessionJobs::Work {
        if (!hasPicture() || composite_.isEmpty()) {
            viewState_.rebuilt();
            return {};
        }
        const ViewGeometry g = geometry_;
        const bool original = viewState_.showsOriginal();
        struct Input {
            Picture shownSource, foreground, cleanBackground;
            QString path;
            bool shown, reveal, erase;
        };
        Input in;
        in.shownSource = original ? original_ : composite_;
        in.path = path_;
        const ShownWindow& cached = original ? originalWindow_ : previewWindow_;
        in.shown = !(cached.geometry == g && !in.shownSource.isEmpty() &&
                     cached.source == in.shownSource.image.cacheKey());
        const bool windowsDone = windowsCutFor_ == g && !revealWindow_.isEmpty();
        in.reveal = !windowsDone;
        in.erase = settings_.brush.eraser && !(windowsDone && !eraseWindow_.isEmpty());
        if (!in.shown && !in.reveal && !in.erase) {
            // Everything on show was already cut for this view.
            finishViewRebuild(g, original, in.shownSource, QImage(), revealWindow_, eraseWindow_);
            return {};
        }
        if (in.reveal)
            in.foreground = foreground_;
        if (in.erase)
            in.cleanBackground = cleanBackground_;
        return [this, in, g, original](const SessionJobs::Cancel&) {
            Picture source = in.shownSource;
            // The original is read again when its file changed since it was decoded.
            if (in.shown && source.isEmpty() && original)
                source = ImageTools::readPicture(in.path).value_or(Picture());
            QImage shown;
            if (in.shown)
                shown = displayWindow(source, g).image;
            const Picture reveal = in.reveal ? displayWindow(in.foreground, g) : Picture();
            const Picture erase = in.erase ? displayWindow(in.cleanBackground, g) : Picture();
            return SessionJobs::Apply([this, g, original, source, shown, reveal, erase, in] {
                // The view moved meanwhile; the rebuild for where it is now is on its way.
                if (g != geometry_)
                    return;
                finishViewRebuild(g, original, source, in.shown ? shown : QImage(),
                                  in.reveal ? reveal : revealWindow_,
                                  in.erase ? erase : eraseWindow_);
            });
        };
    });
}

void SessionEngine::finishViewRebuild(const ViewGeometry& g, bool original, const Picture& source,
                                      const QImage& shown, const Picture& reveal,
                                      const Picture& erase) {
    if (!shown.isNull()) {
        ShownWindow& cache = original ? originalWindow_ : previewWindow_;
        cache = {shown, g, source.image.cacheKey()};
    }
    revealWindow_ = reveal;
    eraseWindow_ = erase;
    windowsCutFor_ = g;
    if (viewState_.showsOriginal() == original && (original || !keepNewerPreview())) {
        if (shown.isNull()) {
            showPreviewOrOriginal();
        } else {
            const Screen::Source kind =
                original ? Screen::Source::original : Screen::Source::composite;
            showOnScreen(kind, source);
            showWindow(kind, shown, g);
            if (!original)
                shownMadeAt_ = layersMadeAt_;
        }
    }
    chooseLiveColour(reveal, erase);
    clearLiveStroke();
    brushSize_ = settings_.brush.size;
    viewState_.rebuilt();
    // Switched between Preview and Original while this was cut: the one asked for now is cut.
    if (viewState_.showsOriginal() != original)
        showPreviewOrOriginal();
    emit brushChanged();
    if (viewState_.takeEndedPan())
        recordChange(QStringLiteral("rightMouse"));
    startWaitingUpdates();
}

} // namespace vividra
