#include "ui/controls/slider.h"

#include <QPainter>
#include <QStyleOptionSlider>

#include <algorithm>
#include <cmath>

namespace vividra {
namespace {

// Where the bar starts and ends inside the control.
constexpr double kBarInset = 2.0;
// Half grey: the knob.
const QColor kGrey(128, 128, 128);

} // namespace

Slider::Slider(SliderRange range, QWidget* parent)
    : QSlider(Qt::Horizontal, parent), range_(range), value_(range.minimum) {
    QSlider::setRange(0, range.steps);
    setMinimumHeight(22);
    connect(this, &QSlider::valueChanged, this, [this](int position) {
        if (settingFromCode_)
            return;
        value_ = valueFor(position);
        emit floatValueChanged(value_);
    });
}

void Slider::setFloatValue(float value) {
    value_ = std::clamp(value, range_.minimum, range_.maximum);
    settingFromCode_ = true;
    setValue(positionFor(value_));
    settingFromCode_ = false;
    update();
}

double Slider::fraction() const {
    return (static_cast<double>(value_) - range_.minimum) / (range_.maximum - range_.minimum);
}

int Slider::positionFor(float value) const {
    return static_cast<int>(std::lround((static_cast<double>(value) - range_.minimum) /
                                        (range_.maximum - range_.minimum) * range_.steps));
}

float Slider::valueFor(int position) const {
    return static_cast<float>(range_.minimum + (range_.maximum - range_.minimum) *
                                                   static_cast<double>(position) / range_.steps);
}

void Slider::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // A 5-point track across the bar; its white part is measured from the control's width
    // less 8, so at the maximum it stops 8 points short of the control's right edge.
    const double knob = 14.0;
    const double y = height() / 2.0 - 2.5;
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawRoundedRect(QRectF(kBarInset, y, width() - 2 * kBarInset, 5), 2, 2);
    const double f = std::clamp(fraction(), 0.0, 1.0);
    const double filled = f * (width() - 8);
    p.setBrush(isEnabled() ? QColor(Qt::white) : QColor(Qt::gray));
    if (filled > 0)
        p.drawRoundedRect(QRectF(kBarInset, y, filled, 5), 2, 2);
    const QRectF knobRect(f * (width() - knob), height() / 2.0 - knob / 2.0, knob, knob);
    p.setPen(QPen(kGrey, 1));
    p.setBrush(kGrey);
    p.drawRoundedRect(knobRect.adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
}

} // namespace vividra
