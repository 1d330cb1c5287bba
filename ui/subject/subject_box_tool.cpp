#include "ui/subject/subject_box_tool.h"

#include <QFontMetrics>
#include <QPainter>

#include <cmath>
#include <utility>

#include "model/session/session_engine.h"

namespace vividra {

namespace {
// Smaller drags are clicks.
constexpr double minimumSide = 3.0;
} // namespace

bool SubjectBoxTool::press(const SessionEngine& engine, const QPointF& point) {
    if (!engine.hasPicture() || engine.viewState().showsOriginal() ||
        !(engine.awaitingSubjectBox() || engine.selectingSubject()))
        return false;
    from_ = to_ = point;
    return true;
}

bool SubjectBoxTool::move(const QPointF& point) {
    if (!from_)
        return false;
    to_ = point;
    return true;
}

bool SubjectBoxTool::release(SessionEngine& engine, const QPointF& point) {
    if (!from_)
        return false;
    const QPointF from = *std::exchange(from_, std::nullopt);
    to_ = point;
    if (std::abs(to_.x() - from.x()) >= minimumSide && std::abs(to_.y() - from.y()) >= minimumSide)
        engine.selectSubject(from, to_);
    return true;
}

QRect SubjectBoxTool::extent(int height) const {
    if (!from_)
        return {};
    return QRectF(QPointF(from_->x(), height - from_->y()), QPointF(to_.x(), height - to_.y()))
        .normalized()
        .toAlignedRect()
        .adjusted(-2, -2, 2, 2);
}

void SubjectBoxTool::paint(QPainter& p, const SessionEngine& engine, const QRect& area,
                           int height) const {
    if (from_) {
        const QRectF box =
            QRectF(QPointF(from_->x(), height - from_->y()), QPointF(to_.x(), height - to_.y()))
                .normalized();
        // Black under white dashes shows on any picture.
        p.setPen(QPen(Qt::black, 1));
        p.drawRect(box);
        p.setPen(QPen(Qt::white, 1, Qt::DashLine));
        p.drawRect(box);
    }
    if (!engine.awaitingSubjectBox())
        return;
    const QString hint = QStringLiteral("Drag a box around the subject");
    QFont font = p.font();
    font.setPixelSize(13);
    p.setFont(font);
    const QRect text = QFontMetrics(font).boundingRect(hint).adjusted(-10, -5, 10, 5);
    const QRect banner(area.center().x() - text.width() / 2, area.top() + 10, text.width(),
                       text.height());
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 170));
    p.drawRoundedRect(banner, 6, 6);
    p.setPen(Qt::white);
    p.drawText(banner, Qt::AlignCenter, hint);
}

} // namespace vividra
