#include "ui/controls/progress_indicator.h"

#include <QPainter>

namespace vividra {

namespace {
constexpr int kSpokes = 12;
}

ProgressIndicator::ProgressIndicator(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    timer_.setInterval(80);
    connect(&timer_, &QTimer::timeout, this, [this] {
        step_ = (step_ + 1) % kSpokes;
        update();
    });
}

void ProgressIndicator::startAnimation() {
    timer_.start();
}

void ProgressIndicator::stopAnimation() {
    timer_.stop();
}

void ProgressIndicator::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double side = std::min(width(), height());
    p.translate(width() / 2.0, height() / 2.0);
    for (int i = 0; i < kSpokes; ++i) {
        const int age = (step_ - i + kSpokes) % kSpokes;
        QColor c(Qt::white);
        c.setAlphaF(1.0f - static_cast<float>(age) / kSpokes * 0.85f);
        p.setPen(QPen(c, side / 10.0, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(0, -side * 0.22), QPointF(0, -side * 0.44));
        p.rotate(360.0 / kSpokes);
    }
}

} // namespace vividra
