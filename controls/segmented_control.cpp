#include "controls/segmented_control.h"

#include <QMouseEvent>
#include <QPainter>

namespace vividra {

SegmentedControl::SegmentedControl(int segmentCount, QWidget* parent)
    : QWidget(parent), count_(std::max(1, segmentCount)) {
    setCursor(Qt::PointingHandCursor);
    setMinimumHeight(26);
}

void SegmentedControl::setSelectedSegment(int index) {
    if (index < 0 || index >= count_)
        return;
    selected_ = index;
    update();
}

QString SegmentedControl::segmentTitle(int segmentCount, int index) {
    if (segmentCount == 2)
        return index == 0 ? QStringLiteral("Preview") : QStringLiteral("Original");
    switch (index) {
    case 0:
        return QStringLiteral("Brush");
    case 1:
        return QStringLiteral("Background");
    case 2:
        return QStringLiteral("Foreground");
    default:
        return QStringLiteral("Adjust");
    }
}

QRectF SegmentedControl::segmentFrame(int index) const {
    const double w = static_cast<double>(width()) / count_;
    return {index * w, 0.0, w, static_cast<double>(height())};
}

QSize SegmentedControl::sizeHint() const {
    return {count_ * 80, 26};
}

void SegmentedControl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QColor(70, 70, 70));
    p.setBrush(QColor::fromRgbF(0.2f, 0.2f, 0.2f));
    p.drawRoundedRect(frame, 8, 8);
    QFont f = font();
    f.setPixelSize(11);
    p.setFont(f);
    for (int i = 0; i < count_; ++i) {
        const QRectF seg = segmentFrame(i);
        if (i == selected_) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(58, 58, 58));
            p.drawRoundedRect(seg.adjusted(2, 2, -2, -2), 6, 6);
        }
        p.setPen(i == selected_ ? Qt::white : Qt::gray);
        p.drawText(seg, Qt::AlignCenter, segmentTitle(count_, i));
    }
}

void SegmentedControl::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    const int index = std::clamp(
        static_cast<int>(event->position().x() * count_ / std::max(1, width())), 0, count_ - 1);
    setSelectedSegment(index);
    emit segmentClicked(index);
}

} // namespace vividra
