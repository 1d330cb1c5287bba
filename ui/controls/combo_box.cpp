#include "ui/controls/combo_box.h"

#include <QPainter>
#include <QPainterPath>

namespace vividra {

ComboBox::ComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
    setMinimumHeight(24);
}

void ComboBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    // Dark grey (a third of white), a little lighter while the box has the keyboard.
    const QColor face = hasFocus() ? QColor(100, 100, 100) : QColor(85, 85, 85);
    p.setPen(face);
    p.setBrush(face);
    p.drawRoundedRect(frame, 8, 8);
    p.setPen(isEnabled() ? Qt::white : Qt::gray);
    p.drawText(frame.adjusted(10, 0, -24, 0), Qt::AlignVCenter | Qt::AlignLeft, currentText());
    // Down-pointing chevron on the right.
    const double cx = width() - 14, cy = height() / 2.0;
    QPainterPath chevron;
    chevron.moveTo(cx - 4, cy - 2);
    chevron.lineTo(cx, cy + 2);
    chevron.lineTo(cx + 4, cy - 2);
    p.setPen(QPen(QColor(200, 200, 200), 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(chevron);
}

} // namespace vividra
