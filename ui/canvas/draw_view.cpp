#include "ui/canvas/draw_view.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <cmath>

#include "kernels/colour_key.h"
#include "kernels/pixel_blend.h"
#include "model/paint/custom_path.h"
#include "model/session/session_engine.h"

namespace vividra {

DrawView::DrawView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
}

void DrawView::setEngine(SessionEngine* engine, bool paints) {
    engine_ = engine;
    paints_ = paints;
    // Only the surface takes the pointer; the picture view under it never paints or picks.
    setAttribute(Qt::WA_TransparentForMouseEvents, !paints);
}

QPointF DrawView::viewPoint(const QMouseEvent* event) const {
    return {event->position().x(), height() - event->position().y()};
}

void DrawView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !engine_) {
        QWidget::mousePressEvent(event);
        return;
    }
    if (engine_->picking()) {
        if (!engine_->pickColourAt(engine_->picturePoint(viewPoint(event))))
            QToolTip::showText(QCursor::pos(),
                               QStringLiteral("This spot is grey or dark: there is no colour here "
                                              "to keep. Click a coloured part of the picture."),
                               this);
        return;
    }
    if (subjectBox_.press(*engine_, viewPoint(event)))
        return;
    if (!engine_->beginStroke(viewPoint(event)))
        return;
    // Earlier strokes stay drawn until the engine says they are in the picture.
    drawn_.moveTo(viewPoint(event));
    update();
}

void DrawView::drawTo(const QPointF& point) {
    const QPointF from = drawn_.currentPosition();
    extendPath(drawn_, point);
    const QPointF to = drawn_.currentPosition();
    // Only the new piece of the stroke needs drawing.
    const double reach = engine_->brushWidth() / 2 + 2;
    update(QRectF(toWidget(from), toWidget(to))
               .normalized()
               .adjusted(-reach, -reach, reach, reach)
               .toAlignedRect());
}

void DrawView::mouseMoveEvent(QMouseEvent* event) {
    if ((event->buttons() & Qt::LeftButton) && subjectBox_.move(viewPoint(event))) {
        update();
        return;
    }
    // Without mouse tracking every move is a drag; a right-button one belongs to panning.
    if (!engine_ || !(event->buttons() & Qt::LeftButton) || !engine_->strokeUnderWay()) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    if (engine_->extendStroke(viewPoint(event)))
        drawTo(viewPoint(event));
}

void DrawView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && engine_ &&
        subjectBox_.release(*engine_, viewPoint(event))) {
        update();
        return;
    }
    if (event->button() != Qt::LeftButton || !engine_ || !engine_->strokeUnderWay()) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    drawTo(viewPoint(event));
    engine_->endStroke(viewPoint(event));
}

void DrawView::dropDrawnStroke() {
    // A stroke under way keeps what is drawn of it.
    if (engine_ && engine_->strokeUnderWay())
        return;
    drawn_ = QPainterPath();
    live_ = LiveStroke();
    update();
}

void DrawView::showBrushCursor() {
    if (!engine_ || !paints_)
        return;
    const bool original = engine_->viewState().showsOriginal();
    if ((engine_->picking() || engine_->awaitingSubjectBox()) && engine_->hasPicture() &&
        !original) {
        setCursor(Qt::CrossCursor);
        return;
    }
    if (original || !engine_->hasPicture()) {
        setCursor(Qt::ArrowCursor);
        return;
    }
    const double w = engine_->cursorWidth();
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
    p.fillPath(oval, engine_->brushModes().erase ? QColor::fromRgbF(1, 0, 0, 0.4f)
                                                 : QColor::fromRgbF(1, 1, 1, 0.4f));
    p.end();
    const int hot = static_cast<int>(w * 0.5);
    setCursor(QCursor(QPixmap::fromImage(img), hot, hot));
}

void DrawView::paintPicture(QPainter& p) {
    const Screen& screen = engine_->screen();
    if (!screen.showsPicture() && !placeholderText.isEmpty()) {
        p.setPen(QColor(140, 140, 140));
        QFont f = font();
        f.setPixelSize(15);
        p.setFont(f);
        p.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, placeholderText);
    }
    if (screen.showsWindow()) {
        p.drawImage(QPoint(0, 0), screen.window);
    } else if (!screen.picture.isEmpty()) {
        // Only the part on show, straight from the full picture: quick, until the exact
        // window arrives.
        const QImage& image = screen.picture.image;
        const QRectF target = pictureInBox(screen.geometry);
        const QRectF onShow = target & QRectF(rect());
        if (!onShow.isEmpty()) {
            const double sx = image.width() / target.width();
            const double sy = image.height() / target.height();
            const QRectF source((onShow.x() - target.x()) * sx, (onShow.y() - target.y()) * sy,
                                onShow.width() * sx, onShow.height() * sy);
            p.setRenderHint(QPainter::SmoothPixmapTransform);
            p.drawImage(onShow, image, source);
        }
    }
}

void DrawView::paintEvent(QPaintEvent* event) {
    if (!engine_)
        return;
    QPainter p(this);
    if (!paints_) {
        paintPicture(p);
        return;
    }
    subjectBox_.paint(p, *engine_, rect(), height());
    if (drawn_.isEmpty() || !engine_->hasPicture()) {
        live_ = LiveStroke();
        return;
    }
    const QBrush& colour = engine_->liveColourOnScreen();
    if (colour.style() == Qt::TexturePattern && colour.textureImage().isNull())
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
    const double reach = live_.width / 2 + 2;
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
    const QBrush& colour = engine_->liveColourOnScreen();
    const double width = engine_->brushWidth();
    // Drawn again from the start when anything but the path's length changed.
    if (live_.elements > drawn_.elementCount() || live_.color != colour || live_.width != width ||
        live_.pixels.size() != size()) {
        live_ = LiveStroke();
        live_.pixels = QImage(size(), QImage::Format_ARGB32_Premultiplied);
        if (live_.pixels.isNull())
            return;
        live_.pixels.fill(Qt::transparent);
        live_.color = colour;
        live_.width = width;
        if (engine_->brushModes().edgeAware) {
            live_.guide = engine_->edgeGuide();
            if (live_.guide.size() != size() || live_.guide.depth() != 32)
                live_.guide = QImage();
        }
    }
    const int count = drawn_.elementCount();
    if (live_.elements < count) {
        // The path is y-up; each new piece is drawn in widget rows with round ends, which
        // joins it to the last one as the whole path's round joins would. The pattern colour
        // stays aligned with the view's origin.
        QPainter q(&live_.pixels);
        q.setRenderHint(QPainter::Antialiasing);
        q.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        for (int i = live_.elements; i < count; ++i) {
            const QPainterPath::Element to = drawn_.elementAt(i);
            if (to.isMoveTo() && !live_.guide.isNull()) {
                // Where the brush went down decides the colour this sub-path keeps to.
                const QPoint at = toWidget(QPointF(to.x, to.y)).toPoint();
                if (live_.guide.rect().contains(at))
                    live_.reference = live_.guide.pixel(at);
            }
            if (i == 0 || !to.isLineTo())
                continue;
            const QPainterPath::Element from = drawn_.elementAt(i - 1);
            drawLivePiece(q, toWidget(QPointF(from.x, from.y)), toWidget(QPointF(to.x, to.y)));
        }
        live_.elements = count;
    }
    p.drawImage(exposed, live_.pixels, exposed);
}

} // namespace vividra
