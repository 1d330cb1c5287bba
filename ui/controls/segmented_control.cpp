#include "ui/controls/segmented_control.h"

#include <QMouseEvent>
#include <QPainter>

#include "ui/controls/title_font.h"

namespace vividra {
namespace {

constexpr qreal kTitlePoints = 12;
// Half grey: a title not selected.
const QColor kGrey(128, 128, 128);

} // namespace

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
    // Each segment is as wide as its title, and the room left over is shared out evenly; a
    // control too narrow for its titles divides its width in proportion to them.
    const QFontMetricsF metrics(titleFont(kTitlePoints), this);
    QList<double> titles;
    double sum = 0.0;
    for (int i = 0; i < count_; ++i) {
        titles << metrics.horizontalAdvance(segmentTitle(count_, i));
        sum += titles.back();
    }
    const double total = width();
    const double spare = (total - sum) / count_;
    const auto segmentWidth = [&](int i) {
        return spare >= 0.0 ? titles[i] + spare : titles[i] * total / sum;
    };
    double x = 0.0;
    for (int i = 0; i < index; ++i)
        x += segmentWidth(i);
    return {x, 0.0, segmentWidth(index), static_cast<double>(height())};
}

QSize SegmentedControl::sizeHint() const {
    return {count_ * 80, 26};
}

void SegmentedControl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QColor::fromRgbF(0.2f, 0.2f, 0.2f));
    p.setBrush(QColor::fromRgbF(0.2f, 0.2f, 0.2f));
    p.drawRoundedRect(frame, 8, 8);
    p.setFont(titleFont(kTitlePoints));
    for (int i = 0; i < count_; ++i) {
        const QRectF seg = segmentFrame(i);
        if (i == selected_) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(58, 58, 58));
            p.drawRoundedRect(seg.adjusted(2, 2, -2, -2), 6, 6);
        }
        p.setPen(i == selected_ ? QColor(Qt::white) : kGrey);
        p.drawText(seg, Qt::AlignCenter, segmentTitle(count_, i));
    }
}

void SegmentedControl::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    int index = 0;
    while (index < count_ - 1 && event->position().x() >= segmentFrame(index).right())
        ++index;
    setSelectedSegment(index);
    emit segmentClicked(index);
}

} // namespace vividra
