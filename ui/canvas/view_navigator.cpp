#include "ui/canvas/view_navigator.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QWheelEvent>

#include "model/view/zoom.h"
#include "ui/canvas/draw_view.h"
#include "ui/controller/view_controller.h"

namespace vividra {
namespace {

// One notch of a mouse wheel; touchpads send smaller steps that add up to it.
constexpr int kWheelNotch = 120;
// Points a wheel notch scrolls an enlarged picture.
constexpr double kWheelScroll = 80.0;
// A wheel scroll has ended after this quiet time, and the view is rebuilt.
constexpr int kWheelQuietMs = 200;

} // namespace

ViewNavigator::ViewNavigator(ViewController& controller)
    : QObject(&controller), controller_(controller) {
    for (QWidget* view : {static_cast<QWidget*>(controller.imageView),
                          static_cast<QWidget*>(controller.imageViewBackground)})
        view->installEventFilter(this);
    controller.customViewImage->installEventFilter(this);
    qApp->installEventFilter(this);
    wheelEnd_ = new QTimer(this);
    wheelEnd_->setSingleShot(true);
    wheelEnd_->setInterval(kWheelQuietMs);
    connect(wheelEnd_, &QTimer::timeout, this, [this] { controller_.engine().endPan(); });
}

bool ViewNavigator::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::Resize:
        if (watched == controller_.customViewImage)
            controller_.engine().setBoxSize(controller_.customViewImage->size());
        return false;
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        return keyEvent(watched, static_cast<QKeyEvent*>(event));
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::MouseButtonRelease:
    case QEvent::Wheel:
        if (watched == controller_.imageView || watched == controller_.imageViewBackground)
            return mouseEvent(event);
        return false;
    default:
        return false;
    }
}

bool ViewNavigator::keyEvent(QObject* watched, QKeyEvent* event) {
    const auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != controller_.window() ||
        (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return false;
    const bool press = event->type() != QEvent::KeyRelease;
    if (event->key() == Qt::Key_Backslash) {
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept();
            return false;
        }
        if (!event->isAutoRepeat())
            controller_.engine().holdOriginal(press);
        return true;
    }
    if (event->key() != Qt::Key_Space)
        return false;
    // Space over the picture is the pan key, not a press of the focused control.
    const QWidget* box = controller_.customViewImage;
    const bool overPicture = box->rect().contains(box->mapFromGlobal(QCursor::pos()));
    if (press && !overPicture && !spaceHeld_)
        return false;
    if (event->type() == QEvent::ShortcutOverride) {
        event->accept();
        return false;
    }
    if (!event->isAutoRepeat()) {
        spaceHeld_ = press;
        DrawView* surface = controller_.imageViewBackground;
        if (press)
            surface->setCursor(Qt::OpenHandCursor);
        else if (!panning_)
            surface->showBrushCursor();
    }
    return true;
}

bool ViewNavigator::mouseEvent(QEvent* event) {
    DrawView* surface = controller_.imageViewBackground;
    if (event->type() == QEvent::Wheel) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        if (wheel->modifiers() & Qt::ControlModifier) {
            wheelSteps_ += wheel->angleDelta().y();
            for (; wheelSteps_ >= kWheelNotch; wheelSteps_ -= kWheelNotch)
                controller_.engine().zoomAbout(zoom::kZoomInFactor, wheel->position());
            for (; wheelSteps_ <= -kWheelNotch; wheelSteps_ += kWheelNotch)
                controller_.engine().zoomAbout(zoom::kZoomOutFactor, wheel->position());
            return true;
        }
        // The wheel alone scrolls an enlarged picture; Shift turns it sideways.
        QPointF delta = wheel->pixelDelta().isNull()
                            ? QPointF(wheel->angleDelta()) * (kWheelScroll / kWheelNotch)
                            : QPointF(wheel->pixelDelta());
        if (wheel->modifiers() & Qt::ShiftModifier)
            delta = QPointF(delta.y(), delta.x());
        controller_.engine().panBy(delta);
        wheelEnd_->start();
        return true;
    }
    auto* mouse = static_cast<QMouseEvent*>(event);
    const Qt::MouseButton button = mouse->button();
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        const bool panButton = button == Qt::RightButton || button == Qt::MiddleButton ||
                               (button == Qt::LeftButton && spaceHeld_);
        if (!panButton || panning_)
            return panning_ && button != Qt::LeftButton;
        panning_ = true;
        panButton_ = button;
        lastPoint_ = mouse->globalPosition();
        controller_.engine().beginPan();
        surface->setCursor(Qt::ClosedHandCursor);
        return true;
    }
    case QEvent::MouseMove: {
        if (!panning_)
            return false;
        const QPointF delta = mouse->globalPosition() - lastPoint_;
        lastPoint_ = mouse->globalPosition();
        // Only moves over the picture area pan, as far as its edges.
        const QWidget* box = controller_.customViewImage;
        if (box->rect().adjusted(0, 0, 1, 1).contains(box->mapFromGlobal(lastPoint_).toPoint()))
            controller_.engine().panBy(delta);
        return true;
    }
    case QEvent::MouseButtonRelease:
        if (!panning_ || button != panButton_)
            return panning_ && button != Qt::LeftButton;
        panning_ = false;
        if (spaceHeld_)
            surface->setCursor(Qt::OpenHandCursor);
        else
            surface->showBrushCursor();
        controller_.engine().endPan();
        return true;
    default:
        return false;
    }
}

} // namespace vividra
