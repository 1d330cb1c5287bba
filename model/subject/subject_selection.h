#pragma once

#include <QImage>
#include <QList>
#include <QSize>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "kernels/subject_mask.h"
#include "model/paint/compositing.h"
#include "model/paint/custom_path.h"

namespace vividra {

// A selected subject as the stroke list holds it: the box it was selected with, the
// picture's size then, and its mask, never changed once made, so every copy shares it.
struct SubjectSelection {
    fx::PixelRect box;
    QSize pictureSize;
    fx::SubjectMask mask;
};

CustomPathRef makeSubjectStroke(std::shared_ptr<const SubjectSelection> selection);

// The selection in the list, if any: there is at most one.
std::shared_ptr<const SubjectSelection> selectedSubject(const QList<CustomPathRef>& strokes);
// The strokes with `selection` last in place of the old one: the strokes before it were its
// hints, and those painted after it refine it until the next run. Without one, the old goes;
// the same one stays where it is.
QList<CustomPathRef> withSubject(QList<CustomPathRef> strokes,
                                 std::shared_ptr<const SubjectSelection> selection);

// Paints `reveal` over the rows of `target` (rows `top` onwards of a picture `fullHeight`
// rows high, at any scale of the original) through the selection's mask.
void paintSubject(QImage& target, const SubjectSelection& selection, const QBrush& reveal, int top,
                  int fullHeight);

// What the box shows with the selection painted over `baseWindow` (the composite so far)
// from `revealWindow`, both cut for `view`, drawn from the mask at whatever size it has.
QImage subjectPreview(QImage baseWindow, const QImage& revealWindow,
                      const SubjectSelection& selection, const ViewGeometry& view);

// The strokes as hints at a frame's working size: reveal strokes mark the subject, eraser
// strokes the background, later strokes over earlier ones.
std::vector<std::uint8_t> subjectHints(const QList<CustomPathRef>& strokes,
                                       const fx::SubjectFrame& frame, const QSize& pictureSize);

// The whole selection from the original and a box (picture pixels, rows downwards): the
// reduced result handed to `preview` first when given, then the full-resolution one.
// Nothing when cancelled or when the box misses the subject.
using SubjectPreview = std::function<void(std::shared_ptr<const SubjectSelection>)>;
std::shared_ptr<const SubjectSelection>
selectSubject(const QImage& original, const fx::PixelRect& box, const QList<CustomPathRef>& hints,
              const std::atomic<bool>* cancel = nullptr, const SubjectPreview& preview = {});

} // namespace vividra
