#include "model/paint/compositing.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "kernels/parallel.h"
#include "kernels/resample.h"
#include "model/effects/image_tools.h"
#include "model/files/picture_pixels.h"
#include "model/paint/stroke_raster.h"
#include "model/subject/subject_selection.h"

namespace vividra {

QBrush patternColor(const Picture& picture) {
    if (picture.isEmpty())
        return QBrush(QImage());
    return QBrush(picture.image);
}

void paintStroke(QImage& target, const CustomPath& stroke, const QBrush& revealColor,
                 const QBrush& eraseColor, const QImage& guide) {
    paintStroke(target, stroke, revealColor, eraseColor, 0, target.height(), guide);
}

namespace {

// The pixels of a picture in the kernels' working format, or a null image.
QImage workingPixels(const QImage& image) {
    if (image.isNull())
        return QImage();
    if (image.format() == QImage::Format_ARGB32_Premultiplied ||
        image.format() == QImage::Format_ARGB32 || image.format() == QImage::Format_RGB32)
        return image;
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// A kept colour over the rows of `target`, which start at row `top` of the picture.
void paintKeptColour(QImage& target, const fx::HueKey& key, const QBrush& revealColor,
                     const QImage& guideImage, int top) {
    if (revealColor.style() != Qt::TexturePattern)
        return;
    const QImage reveal = workingPixels(revealColor.textureImage());
    const QImage guide = guideImage.isNull() ? reveal : workingPixels(guideImage);
    if (reveal.isNull() || guide.isNull() || target.depth() != 32)
        return;
    const int rows = target.height();
    if (reveal.width() != target.width() || guide.width() != target.width() ||
        reveal.height() < top + rows || guide.height() < top + rows)
        return;
    const auto rowsOf = [&](const QImage& image) {
        return fx::ConstImageView{image.constScanLine(top), image.width(), rows,
                                  image.bytesPerLine(), fx::ChannelOrder::BGRA};
    };
    const fx::ImageView out{target.bits(), target.width(), rows, target.bytesPerLine(),
                            fx::ChannelOrder::BGRA};
    (void)fx::revealByHue(rowsOf(guide), rowsOf(reveal), out, key);
}

} // namespace

void paintStroke(QImage& target, const CustomPath& stroke, const QBrush& revealColor,
                 const QBrush& eraseColor, int top, int fullHeight, const QImage& guide) {
    if (stroke.keep) {
        paintKeptColour(target, *stroke.keep, revealColor, guide, top);
        return;
    }
    if (stroke.subject) {
        paintSubject(target, *stroke.subject, revealColor, top, fullHeight);
        return;
    }
    if (!stroke.path || stroke.path->elementCount() == 0)
        return;
    const QBrush& brush = stroke.isErase        ? eraseColor
                          : stroke.isSolidColor ? stroke.color
                                                : revealColor;
    QImage source;
    if (brush.style() == Qt::TexturePattern) {
        source = brush.textureImage();
        if (source.isNull())
            return;
        if (source.format() != QImage::Format_ARGB32_Premultiplied)
            source = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    } else if (brush.style() == Qt::NoBrush) {
        return;
    }
    // Picture rows: the y-up path is flipped once here.
    const QPainterPath rows = QTransform(1, 0, 0, -1, 0, fullHeight).map(*stroke.path);
    QImage edges;
    if (stroke.edgeAware) {
        // Without the original the revealed layer is the best guide there is.
        edges = workingPixels(guide.isNull() && revealColor.style() == Qt::TexturePattern
                                  ? revealColor.textureImage()
                                  : guide);
    }
    rasterStroke(target, rows, stroke.lineWidth, source, brush.color(), top,
                 edges.isNull() ? nullptr : &edges);
}

bool paintsAnything(const QList<CustomPathRef>& strokes) {
    return std::any_of(strokes.begin(), strokes.end(), [](const CustomPathRef& s) {
        return s && (s->keep || s->subject || (s->path && s->path->elementCount() > 0));
    });
}

Picture compositeStrokes(Picture target, const QList<CustomPathRef>& strokes,
                         const QBrush& revealColor, const QBrush& eraseColor, const QImage& guide) {
    if (target.isEmpty())
        return Picture();
    if (paintsAnything(strokes) && !pixels::detachPooled(target.image))
        return Picture();
    for (const CustomPathRef& stroke : strokes)
        paintStroke(target.image, *stroke, revealColor, eraseColor, guide);
    return target;
}

const CustomPath* keptColour(const QList<CustomPathRef>& strokes) {
    for (const CustomPathRef& s : strokes)
        if (s && s->keep)
            return s.get();
    return nullptr;
}

QList<CustomPathRef> withKeptColour(QList<CustomPathRef> strokes,
                                    const std::optional<fx::HueKey>& key) {
    const auto at = std::find_if(strokes.begin(), strokes.end(),
                                 [](const CustomPathRef& s) { return s && s->keep; });
    if (!key) {
        if (at != strokes.end())
            strokes.erase(at);
    } else if (at == strokes.end()) {
        strokes.append(makeKeepStroke(*key));
    } else if ((*at)->keep != key) {
        *at = makeKeepStroke(*key);
    }
    return strokes;
}

QRectF pictureInBox(const ViewGeometry& g) {
    const QRectF& r = g.pictureRect;
    const QRectF& m = g.maskRect;
    return {r.x() - m.x(), m.y() + m.height() - r.y() - r.height(), r.width(), r.height()};
}

Picture displayWindow(const Picture& layer, const ViewGeometry& g) {
    const int boxWidth = static_cast<int>(g.maskRect.width());
    const int boxHeight = static_cast<int>(g.maskRect.height());
    if (boxWidth <= 0 || boxHeight <= 0)
        return Picture();
    QImage window(boxWidth, boxHeight, QImage::Format_ARGB32_Premultiplied);
    if (window.isNull())
        return Picture();
    std::memset(window.bits(), 0, static_cast<std::size_t>(window.sizeInBytes()));
    const QRectF& r = g.pictureRect;
    if (layer.isEmpty() || r.width() <= 0 || r.height() <= 0)
        return Picture(window);
    // The layer's place in canvas rows, rounded as a painter places an unscaled picture,
    // and the box's place in the same rows.
    const int canvasHeight = static_cast<int>(g.maskHeight);
    const int shownWidth = std::max(1, static_cast<int>(std::lround(r.width())));
    const int shownHeight = std::max(1, static_cast<int>(std::lround(r.height())));
    const int left = qRound(r.x()) - qRound(g.maskRect.x());
    const int top = qRound(canvasHeight - r.y() - r.height()) -
                    qRound(canvasHeight - g.maskRect.y() - g.maskRect.height());
    const QRect onShow = QRect(left, top, shownWidth, shownHeight) & window.rect();
    if (onShow.isEmpty())
        return Picture(window);
    const QImage source = pixels::toWorkingFormat(layer.image);
    if (source.isNull())
        return Picture();
    uchar* first = window.bits() +
                   static_cast<std::ptrdiff_t>(onShow.top()) * window.bytesPerLine() +
                   static_cast<std::ptrdiff_t>(onShow.left()) * 4;
    const fx::ImageView part{first, onShow.width(), onShow.height(), window.bytesPerLine(),
                             fx::ChannelOrder::BGRA};
    if (!fx::resampleWindow(pixels::constView(source), shownWidth, shownHeight,
                            onShow.left() - left, onShow.top() - top, part))
        return Picture();
    return Picture(window);
}

QImage screenCopy(const Picture& picture, const QSizeF& size) {
    const QSize target(std::max(1, static_cast<int>(std::lround(size.width()))),
                       std::max(1, static_cast<int>(std::lround(size.height()))));
    if (picture.isEmpty())
        return QImage();
    if (picture.image.size() == target)
        return picture.image;
    // Our own resampler rather than QImage::scaled, which hands large pictures to Qt's
    // private thread pool; the work stays with the job that asked for it.
    const QImage source = pixels::toWorkingFormat(picture.image);
    QImage shown(target, QImage::Format_ARGB32_Premultiplied);
    if (source.isNull() || shown.isNull())
        return QImage();
    if (!fx::resample(pixels::constView(source), {shown.bits(), shown.width(), shown.height(),
                                                  shown.bytesPerLine(), fx::ChannelOrder::BGRA}))
        return QImage();
    return shown;
}

} // namespace vividra
