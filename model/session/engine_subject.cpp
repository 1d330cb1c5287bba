// The engine's Select Subject: a box around the subject, segmented in the line, a preview
// first, and the selection as one entry of the stroke list.
#include <algorithm>
#include <cmath>
#include <utility>

#include "model/session/session_engine.h"

namespace vividra {

void SessionEngine::pressSelectSubject() {
    if (!hasPicture())
        return;
    if (awaitingBox_) {
        awaitingBox_ = false;
        emit brushChanged();
        reselectSubject();
        return;
    }
    // Strokes painted over a selection are hints waiting to be used.
    const auto at = std::find_if(strokes_.begin(), strokes_.end(),
                                 [](const CustomPathRef& s) { return s && s->subject; });
    if (at != strokes_.end() && paintsAnything(QList<CustomPathRef>(at + 1, strokes_.end())) &&
        reselectSubject())
        return;
    awaitingBox_ = true;
    picking_ = false;
    emit brushChanged();
}

void SessionEngine::selectSubject(const QPointF& fromBox, const QPointF& toBox) {
    // Box points are y-up; the box in picture pixels goes down from the top.
    const QPointF a = picturePoint(fromBox), b = picturePoint(toBox);
    const double h = pictureSize_.height();
    const double x0 = std::min(a.x(), b.x()), x1 = std::max(a.x(), b.x());
    const double y0 = h - std::max(a.y(), b.y()), y1 = h - std::min(a.y(), b.y());
    selectSubjectIn({static_cast<int>(std::floor(x0)), static_cast<int>(std::floor(y0)),
                     static_cast<int>(std::ceil(x1) - std::floor(x0)),
                     static_cast<int>(std::ceil(y1) - std::floor(y0))});
}

bool SessionEngine::reselectSubject() {
    const std::shared_ptr<const SubjectSelection> shown = selectedSubject(strokes_);
    const std::optional<fx::PixelRect> box =
        shown ? std::optional(shown->box)
              : (lastBoxPicture_ == original_.image.cacheKey() ? lastBox_ : std::nullopt);
    if (!box)
        return false;
    selectSubjectIn(*box);
    return true;
}

void SessionEngine::cancelSubject() {
    const bool wasSelecting = selectingSubject();
    const bool wasAwaiting = std::exchange(awaitingBox_, false);
    ++subjectRequest_;
    if (jobs_.running(SessionJobs::Kind::subject))
        jobs_.cancelRunning();
    if (wasAwaiting)
        emit brushChanged();
    // The preview goes with it: the screen shows the strokes as they are again.
    if (wasSelecting && std::exchange(subjectPreviewShown_, false))
        refreshComposite(false, [](const RefreshResult&) {});
}

void SessionEngine::selectSubjectIn(const fx::PixelRect& dragged) {
    if (!hasPicture())
        return;
    // Only the part over the picture counts: a drag may start or end beside it, and the
    // selection keeps its box in the session's work.
    const QRect over = QRect(dragged.x, dragged.y, dragged.width, dragged.height) &
                       QRect(QPoint(0, 0), original_.image.size());
    const fx::PixelRect box{over.x(), over.y(), over.width(), over.height()};
    // A new box replaces a segmentation still under way.
    if (selectingSubject())
        cancelSubject();
    if (std::exchange(awaitingBox_, false))
        emit brushChanged();
    lastBox_ = box;
    lastBoxPicture_ = original_.image.cacheKey();
    const std::uint64_t request = ++subjectRequest_;
    jobs_.enqueue(SessionJobs::Kind::subject, [this, box, request]() -> SessionJobs::Work {
        if (!hasPicture() || request != subjectRequest_)
            return {};
        const QImage original = original_.image;
        const QList<CustomPathRef> hints = snapshotStrokes(strokes_);
        // The preview is drawn beside the work, over what the screen shows now, from the
        // windows already cut for this view when there are any.
        const Picture base = composite_.isEmpty() ? cleanBackground_ : composite_;
        const Picture reveal = foreground_;
        const ViewGeometry view = geometry_;
        const QImage baseWindow =
            previewWindow_.geometry == view && previewWindow_.source == base.image.cacheKey()
                ? previewWindow_.image
                : QImage();
        const QImage revealWindow = windowsCutFor_ == view ? revealWindow_.image : QImage();
        const SessionJobs::Post post = jobs_.interim();
        return [this, original, hints, box, request, post, base, reveal, view, baseWindow,
                revealWindow](const SessionJobs::Cancel& cancel) {
            const auto preview = [&](std::shared_ptr<const SubjectSelection> reduced) {
                QImage window = subjectPreview(
                    baseWindow.isNull() ? displayWindow(base, view).image : baseWindow,
                    revealWindow.isNull() ? displayWindow(reveal, view).image : revealWindow,
                    *reduced, view);
                post([this, request, window = std::move(window), view] {
                    showSubjectPreview(request, window, view);
                });
            };
            std::shared_ptr<const SubjectSelection> selection =
                vividra::selectSubject(original, box, hints, cancel.get(), preview);
            return SessionJobs::Apply(
                [this, request, selection] { finishSubject(request, selection); });
        };
    });
}

void SessionEngine::showSubjectPreview(std::uint64_t request, const QImage& window,
                                       const ViewGeometry& view) {
    // The stroke list itself changes only when the full mask lands. Marked before it is
    // shown, so a cancel from what the screen's change sets off takes the preview away too.
    if (request != subjectRequest_ || viewState_.showsOriginal())
        return;
    const bool before = std::exchange(subjectPreviewShown_, true);
    if (!showWindow(Screen::Source::preview, window, view))
        subjectPreviewShown_ = before;
}

void SessionEngine::finishSubject(std::uint64_t request,
                                  std::shared_ptr<const SubjectSelection> selection) {
    if (request != subjectRequest_)
        return;
    const bool previewShown = std::exchange(subjectPreviewShown_, false);
    if (!selection) {
        if (previewShown)
            refreshComposite(false, [](const RefreshResult&) {});
        return;
    }
    changesMade_ = true;
    strokes_ = withSubject(strokes_, std::move(selection));
    refreshComposite(
        false, [this](const RefreshResult&) { recordChange(QStringLiteral("subjectSelected")); });
}

} // namespace vividra
