#include "model/subject/subject_selection.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

#include "kernels/parallel.h"
#include "kernels/pixel_blend.h"
#include "model/files/picture_pixels.h"

namespace vividra {

CustomPathRef makeSubjectStroke(std::shared_ptr<const SubjectSelection> selection) {
    auto stroke = std::make_shared<CustomPath>(0.0, QBrush(), std::make_shared<QPainterPath>());
    stroke->subject = std::move(selection);
    return stroke;
}

std::shared_ptr<const SubjectSelection> selectedSubject(const QList<CustomPathRef>& strokes) {
    for (const CustomPathRef& s : strokes)
        if (s && s->subject)
            return s->subject;
    return nullptr;
}

QList<CustomPathRef> withSubject(QList<CustomPathRef> strokes,
                                 std::shared_ptr<const SubjectSelection> selection) {
    if (selection == selectedSubject(strokes))
        return strokes;
    strokes.removeIf([](const CustomPathRef& s) { return s && s->subject; });
    if (selection)
        strokes.append(makeSubjectStroke(std::move(selection)));
    return strokes;
}

void paintSubject(QImage& target, const SubjectSelection& selection, const QBrush& reveal, int top,
                  int fullHeight) {
    const fx::SubjectMask& m = selection.mask;
    if (reveal.style() != Qt::TexturePattern || m.empty() || target.depth() != 32 ||
        fullHeight <= 0 || selection.pictureSize.isEmpty())
        return;
    const QImage source = pixels::toWorkingFormat(reveal.textureImage());
    const int rows = target.height(), width = target.width();
    if (source.width() != width || source.height() < top + rows)
        return;
    // Each target column's mask column, or -1 outside the extent; the target may be a
    // reduced copy of the picture.
    const fx::PixelRect& e = m.extent;
    const double sx = static_cast<double>(selection.pictureSize.width()) / width;
    const double sy = static_cast<double>(selection.pictureSize.height()) / fullHeight;
    std::vector<int> columns(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x) {
        const int px = static_cast<int>((x + 0.5) * sx) - e.x;
        columns[static_cast<std::size_t>(x)] =
            px >= 0 && px < e.width
                ? static_cast<int>(static_cast<long long>(px) * m.width / e.width)
                : -1;
    }
    (void)fx::parallelRows(rows, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            const int py = static_cast<int>((top + y + 0.5) * sy) - e.y;
            if (py < 0 || py >= e.height)
                continue;
            const std::uint8_t* alpha =
                m.alpha.data() +
                static_cast<std::size_t>(static_cast<long long>(py) * m.height / e.height) *
                    m.width;
            const auto* in = reinterpret_cast<const std::uint32_t*>(source.constScanLine(top + y));
            auto* out = reinterpret_cast<std::uint32_t*>(target.scanLine(y));
            for (int x = 0; x < width; ++x) {
                const int mx = columns[static_cast<std::size_t>(x)];
                if (mx >= 0 && alpha[mx] != 0)
                    out[x] = fx::blendPixels(out[x], in[x], alpha[mx]);
            }
        }
    });
}

QImage subjectPreview(QImage baseWindow, const QImage& revealWindow,
                      const SubjectSelection& selection, const ViewGeometry& view) {
    QImage out = pixels::toWorkingFormat(std::move(baseWindow));
    const QImage over = pixels::toWorkingFormat(revealWindow);
    const fx::SubjectMask& m = selection.mask;
    const QRectF r = pictureInBox(view);
    if (out.isNull() || over.size() != out.size() || m.empty() || r.isEmpty())
        return out;
    const fx::PixelRect& e = m.extent;
    const double sx = selection.pictureSize.width() / r.width();
    const double sy = selection.pictureSize.height() / r.height();
    for (int y = 0; y < out.height(); ++y) {
        const int py = static_cast<int>(std::floor((y + 0.5 - r.top()) * sy)) - e.y;
        if (py < 0 || py >= e.height)
            continue;
        const std::uint8_t* alpha =
            m.alpha.data() +
            static_cast<std::size_t>(static_cast<long long>(py) * m.height / e.height) * m.width;
        const auto* in = reinterpret_cast<const std::uint32_t*>(over.constScanLine(y));
        auto* o = reinterpret_cast<std::uint32_t*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const int px = static_cast<int>(std::floor((x + 0.5 - r.left()) * sx)) - e.x;
            if (px >= 0 && px < e.width)
                o[x] = fx::blendPixels(o[x], in[x],
                                       alpha[static_cast<long long>(px) * m.width / e.width]);
        }
    }
    return out;
}

std::vector<std::uint8_t> subjectHints(const QList<CustomPathRef>& strokes,
                                       const fx::SubjectFrame& frame, const QSize& pictureSize) {
    const std::size_t pixels = static_cast<std::size_t>(frame.width) * frame.height;
    QImage marks(frame.width, frame.height, QImage::Format_Grayscale8);
    if (frame.empty() || marks.isNull())
        return std::vector<std::uint8_t>(pixels, 0);
    marks.fill(0);
    const double sx = static_cast<double>(frame.width) / frame.region.width;
    const double sy = static_cast<double>(frame.height) / frame.region.height;
    // Paths are y-up from the picture's bottom edge; the frame's rows go down from its region.
    const QTransform toFrame = QTransform(1, 0, 0, -1, 0, pictureSize.height()) *
                               QTransform::fromTranslate(-frame.region.x, -frame.region.y) *
                               QTransform::fromScale(sx, sy);
    {
        QPainter painter(&marks);
        for (const CustomPathRef& s : strokes) {
            if (!s || s->keep || s->subject || s->isSolidColor || !s->path || s->path->isEmpty())
                continue;
            const int value = static_cast<int>(s->isErase ? fx::SubjectHint::background
                                                          : fx::SubjectHint::subject);
            painter.setPen(QPen(QColor(value, value, value), std::max(1.0, s->lineWidth * sx),
                                Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            painter.drawPath(toFrame.map(*s->path));
        }
    }
    std::vector<std::uint8_t> hints(pixels);
    for (int y = 0; y < frame.height; ++y)
        std::copy_n(marks.constScanLine(y), frame.width,
                    hints.begin() + static_cast<std::ptrdiff_t>(y) * frame.width);
    return hints;
}

std::shared_ptr<const SubjectSelection>
selectSubject(const QImage& original, const fx::PixelRect& box, const QList<CustomPathRef>& hints,
              const std::atomic<bool>* cancel, const SubjectPreview& preview) {
    // An opaque picture is read as it is: relabelling the session's shared copy would copy
    // the whole of it.
    const QImage picture =
        original.format() == QImage::Format_RGB32 ? original : pixels::toWorkingFormat(original);
    if (picture.isNull())
        return nullptr;
    const fx::ConstImageView view = pixels::constView(picture);
    const fx::SubjectFrame frame = fx::subjectFrame(picture.width(), picture.height(), box);
    if (frame.empty())
        return nullptr;
    const std::vector<std::uint8_t> marks = subjectHints(hints, frame, picture.size());
    std::vector<std::uint8_t> reducedCopy;
    std::optional<fx::SubjectMask> reduced =
        fx::segmentSubject(view, frame, box, &marks, cancel, &reducedCopy);
    if (!reduced)
        return nullptr;
    if (preview)
        preview(std::make_shared<const SubjectSelection>(
            SubjectSelection{box, picture.size(), *reduced}));
    std::optional<fx::SubjectMask> full =
        fx::refineSubjectMask(*reduced, view, cancel, &reducedCopy);
    if (!full)
        return nullptr;
    return std::make_shared<const SubjectSelection>(
        SubjectSelection{box, picture.size(), std::move(*full)});
}

} // namespace vividra
