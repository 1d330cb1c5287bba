#include "ui/canvas/draw_view.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

#include <cmath>

#include "kernels/colour_key.h"
#include "kernels/pixel_blend.h"
#include "model/platform/notification_center.h"

namespace vividra {
namespace {

PathRef defaultPath() {
    auto p = makePath();
    p->addRect(0, 0, 30, 30);
    return p;
}

} // namespace

DrawView::DrawView(QWidget* parent)
    : QWidget(parent), infoProvider(InfoProvider::shared()), path(defaultPath()),
      secondPath(makePath()) {
    setAttribute(Qt::WA_TranslucentBackground);
}

void DrawView::setViewGeometry(const ViewGeometry& geometry) {
    if (geometry_ == geometry)
        return;
    geometry_ = geometry;
    update();
}

void DrawView::setImage(const Picture& picture) {
    image_ = picture;
    window_ = QImage();
    update();
}

void DrawView::showWindow(const QImage& window, const ViewGeometry& geometry) {
    if (geometry != geometry_ || window.isNull())
        return;
    window_ = window;
    windowFor_ = geometry;
    image_ = Picture();
    update();
}

QPointF DrawView::pictureLocation(const QPointF& p) const {
    const QRectF& r = pictureRect;
    const QRectF& o = originalRect;
    const QPointF& f = foregroundImageViewOrigin;
    if (r.width() <= 0 || r.height() <= 0)
        return {};
    return {(p.x() - r.x() - imageViewX - f.x()) / r.width() * o.width(),
            (p.y() - r.y() - imageViewY - f.y()) / r.height() * o.height()};
}

bool DrawView::paintingAllowed() const {
    return viewState && infoProvider.isImageAdded && viewState->canPaint(!infoProvider.jobsBusy());
}

bool DrawView::showsOriginal() const {
    return viewState && viewState->showsOriginal();
}

void DrawView::updateOffsetInWindow() {
    const QWidget* top = window();
    const QPoint origin = mapTo(top, QPoint(0, 0));
    imageViewX = origin.x();
    imageViewY = top->height() - (origin.y() + height());
}

QPointF DrawView::windowPoint(const QMouseEvent* event) const {
    const QWidget* top = window();
    const QPointF inWindow = mapTo(top, event->position());
    return {inWindow.x(), top->height() - inWindow.y()};
}

QPointF DrawView::viewPoint(const QMouseEvent* event) const {
    return {event->position().x(), height() - event->position().y()};
}

void DrawView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    infoProvider.leftMouseDragged = true;
    if (picking && onPick && infoProvider.isImageAdded && !showsOriginal() &&
        currentPhase == QStringLiteral("mouseDown")) {
        updateOffsetInWindow();
        onPick(pictureLocation(windowPoint(event)));
        return;
    }
    if (!paintingAllowed() || currentPhase != QStringLiteral("mouseDown"))
        return;
    updateOffsetInWindow();
    path->moveTo(viewPoint(event));
    secondPath->moveTo(pictureLocation(windowPoint(event)));
    update();
    currentPhase = QStringLiteral("mouseDragged/Up");
    moveToPointWasCalled = true;
}

void DrawView::addSegment(const QMouseEvent* event) {
    // A segment back to the same point would be dropped; nudge it so a click still leaves a round
    // dot.
    const auto lineTo = [](QPainterPath& p, QPointF to) {
        if (p.currentPosition() == to)
            to.rx() += 0.01;
        p.lineTo(to);
    };
    const QPointF from = path->currentPosition();
    lineTo(*path, viewPoint(event));
    lineTo(*secondPath, pictureLocation(windowPoint(event)));
    // Only the new piece of the stroke needs drawing.
    const double reach = currentLineWidth / 2 + 2;
    update(toWidget(QRectF(from, path->currentPosition()).normalized())
               .adjusted(-reach, -reach, reach, reach)
               .toAlignedRect());
}

void DrawView::mouseMoveEvent(QMouseEvent* event) {
    // Without mouse tracking every move is a drag; a right-button one belongs to panning.
    if (event->buttons() == Qt::RightButton) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    if (!paintingAllowed() || currentPhase != QStringLiteral("mouseDragged/Up") ||
        path->elementCount() == 0)
        return;
    if (moveToPointWasCalled) {
        addSegment(event);
    } else {
        path->closeSubpath();
        secondPath->closeSubpath();
    }
}

void DrawView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    infoProvider.leftMouseDragged = false;
    if (viewState && viewState->panning())
        return;
    if (!paintingAllowed()) {
        currentPhase = QStringLiteral("mouseDown");
        return;
    }
    if (currentPhase != QStringLiteral("mouseDragged/Up")) {
        currentPhase = QStringLiteral("mouseDown");
        return;
    }
    if (path->elementCount() == 0) {
        currentPhase = QStringLiteral("mouseDown");
    } else if (moveToPointWasCalled) {
        addSegment(event);
        currentPhase = QStringLiteral("mouseDown");
        moveToPointWasCalled = false;
        platform::NotificationCenter::defaultCenter().post(platform::kPathModified);
    } else {
        path->closeSubpath();
        secondPath->closeSubpath();
    }
}

void DrawView::resetDrawing() {
    path = makePath();
    secondPath = makePath();
    strokePaths.clear();
    path = defaultPath();
    color = QBrush(QColor::fromRgbF(1, 1, 1, 0));
    isColor = true;
    isErase = true;
    edgeAware = false;
    picking = false;
    lineWidth = 20.0;
    currentLineWidth = 20.0;
    scale = 1.0;
    originalImagePath.clear();
    imageViewY = 63.0;
    imageViewX = 310.0;
    pictureRect = QRectF();
    originalRect = QRectF();
    foregroundImageViewOrigin = QPointF();
    currentPhase = QStringLiteral("mouseDown");
    moveToPointWasCalled = false;
    update();
}

void DrawView::makeBrushCircleImage() {
    const double w = currentLineWidth;
    const double b = 2.0 * w / 100.0;
    const double s = w + b;
    const int pixels = std::max(1, static_cast<int>(std::ceil(s)));
    QImage img(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath oval;
    oval.addEllipse(QRectF(b / 2, b / 2, s - b, s - b));
    p.strokePath(oval, QPen(QColor::fromRgbF(1, 1, 1, 1), b));
    p.fillPath(oval, isErase ? QColor::fromRgbF(1, 0, 0, 0.4f) : QColor::fromRgbF(1, 1, 1, 0.4f));
    p.end();
    currentCircleImage = Picture(img, QSizeF(s, s));
    resetCursorRects();
}

void DrawView::resetCursorRects() {
    if (picking && infoProvider.isImageAdded && !showsOriginal()) {
        setCursor(Qt::CrossCursor);
        return;
    }
    if (showsOriginal() || !infoProvider.isImageAdded || currentCircleImage.isEmpty()) {
        setCursor(Qt::ArrowCursor);
        return;
    }
    const int hot = static_cast<int>(currentLineWidth * 0.5);
    setCursor(QCursor(QPixmap::fromImage(currentCircleImage.image), hot, hot));
}

void DrawView::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    if (!showsPicture() && !placeholderText.isEmpty()) {
        p.setPen(QColor(140, 140, 140));
        QFont f = font();
        f.setPixelSize(15);
        p.setFont(f);
        p.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, placeholderText);
    }
    if (showsWindow()) {
        p.drawImage(QPoint(0, 0), window_);
    } else if (!image_.isEmpty()) {
        // Only the part on show, straight from the full picture: quick, until the exact
        // window arrives.
        const QRectF target = pictureInBox(geometry_);
        const QRectF onShow = target & QRectF(rect());
        if (!onShow.isEmpty()) {
            const double sx = image_.image.width() / target.width();
            const double sy = image_.image.height() / target.height();
            const QRectF source((onShow.x() - target.x()) * sx, (onShow.y() - target.y()) * sy,
                                onShow.width() * sx, onShow.height() * sy);
            p.setRenderHint(QPainter::SmoothPixmapTransform);
            p.drawImage(onShow, image_.image, source);
        }
    }
    // Strokes belong to a picture in place. Until an intake has shown one (a reset takes the
    // picture in again), the path holds only its placeholder shape, which is not to be seen.
    const bool pictureInPlace = infoProvider.isImageAdded && !originalImagePath.isEmpty();
    if (!pictureInPlace || !path || path->isEmpty()) {
        live_ = LiveStroke();
        return;
    }
    if (color.style() == Qt::TexturePattern && color.textureImage().isNull())
        return;
    paintLiveStroke(p, event->rect());
}

void DrawView::drawLivePiece(QPainter& q, const QPointF& from, const QPointF& to) {
    if (live_.guide.isNull()) {
        q.drawLine(from, to);
        return;
    }
    // The piece on its own first, then faded where the original is unlike the reference,
    // as the composition will paint it.
    const double reach = currentLineWidth / 2 + 2;
    const QRect box = QRectF(from, to)
                          .normalized()
                          .adjusted(-reach, -reach, reach, reach)
                          .toAlignedRect()
                          .intersected(live_.pixels.rect());
    if (box.isEmpty())
        return;
    QImage piece(box.size(), QImage::Format_ARGB32_Premultiplied);
    if (piece.isNull())
        return;
    piece.fill(Qt::transparent);
    {
        QPainter r(&piece);
        r.setRenderHint(QPainter::Antialiasing);
        r.setPen(q.pen());
        r.translate(-box.topLeft());
        r.drawLine(from, to);
    }
    for (int y = 0; y < box.height(); ++y) {
        auto* row = reinterpret_cast<quint32*>(piece.scanLine(y));
        const auto* guide =
            reinterpret_cast<const quint32*>(live_.guide.constScanLine(y + box.y()));
        for (int x = 0; x < box.width(); ++x) {
            if (row[x] == 0)
                continue;
            const quint32 like = fx::colourLikeness(guide[x + box.x()], live_.reference);
            if (like == 255)
                continue;
            // Premultiplied: every channel scales with the coverage.
            row[x] = fx::blendPixels(0, row[x], like);
        }
    }
    q.drawImage(box.topLeft(), piece);
}

void DrawView::paintLiveStroke(QPainter& p, const QRect& exposed) {
    // Drawn again from the start when anything but the path's length changed.
    if (live_.path.lock() != path || live_.elements > path->elementCount() ||
        live_.color != color || live_.width != currentLineWidth || live_.pixels.size() != size()) {
        live_ = LiveStroke();
        live_.pixels = QImage(size(), QImage::Format_ARGB32_Premultiplied);
        if (live_.pixels.isNull())
            return;
        live_.pixels.fill(Qt::transparent);
        live_.path = path;
        live_.color = color;
        live_.width = currentLineWidth;
        if (edgeAware && edgeGuide) {
            live_.guide = edgeGuide();
            if (live_.guide.size() != size() || live_.guide.depth() != 32)
                live_.guide = QImage();
        }
    }
    const int count = path->elementCount();
    if (live_.elements < count) {
        // The path is y-up; each new piece is drawn in widget rows with round ends, which
        // joins it to the last one as the whole path's round joins would. The pattern colour
        // stays aligned with the view's origin.
        QPainter q(&live_.pixels);
        q.setRenderHint(QPainter::Antialiasing);
        q.setPen(QPen(color, currentLineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        for (int i = live_.elements; i < count; ++i) {
            const QPainterPath::Element to = path->elementAt(i);
            if (to.isMoveTo() && !live_.guide.isNull()) {
                // Where the brush went down decides the colour this sub-path keeps to.
                const QPoint at = toWidget(QPointF(to.x, to.y)).toPoint();
                if (live_.guide.rect().contains(at))
                    live_.reference = live_.guide.pixel(at);
            }
            if (i == 0 || !to.isLineTo())
                continue;
            const QPainterPath::Element from = path->elementAt(i - 1);
            drawLivePiece(q, toWidget(QPointF(from.x, from.y)), toWidget(QPointF(to.x, to.y)));
        }
        live_.elements = count;
    }
    p.drawImage(exposed, live_.pixels, exposed);
}

} // namespace vividra
