#include "ui/controls/check_box.h"

#include <QPainter>
#include <QSvgRenderer>

namespace vividra {
namespace {

constexpr int kBoxSize = 16;
constexpr int kGap = 4;

QSvgRenderer& rendererFor(const QString& name) {
    static QSvgRenderer checked(QStringLiteral(":/images/Checked.svg"));
    static QSvgRenderer unchecked(QStringLiteral(":/images/Unchecked.svg"));
    return name == QStringLiteral("Checked") ? checked : unchecked;
}

} // namespace

CheckBox::CheckBox(QWidget* parent) : QCheckBox(parent) {
    setCursor(Qt::PointingHandCursor);
}

void CheckBox::setImage(const QString& name) {
    image_ = name;
    update();
}

void CheckBox::setAlternateImage(const QString& name) {
    alternateImage_ = name;
    update();
}

void CheckBox::showImageForState() {
    const QString name = isChecked() ? QStringLiteral("Checked") : QStringLiteral("Unchecked");
    setImage(name);
    setAlternateImage(name);
}

QSize CheckBox::sizeHint() const {
    const QFontMetrics fm(font());
    return {kBoxSize + kGap + fm.horizontalAdvance(text()) + 2,
            std::max(kBoxSize, fm.height()) + 4};
}

void CheckBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box(0, (height() - kBoxSize) / 2.0, kBoxSize, kBoxSize);
    rendererFor(isDown() ? alternateImage_ : image_).render(&p, box);
    p.setPen(isEnabled() ? palette().color(QPalette::WindowText)
                         : palette().color(QPalette::Disabled, QPalette::WindowText));
    p.setFont(font());
    p.drawText(QRectF(kBoxSize + kGap, 0, width() - kBoxSize - kGap, height()),
               Qt::AlignLeft | Qt::AlignVCenter, text());
}

bool CheckBox::hitButton(const QPoint& pos) const {
    return rect().contains(pos);
}

} // namespace vividra
