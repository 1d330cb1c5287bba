#pragma once

#include <QObject>
#include <QPointF>

class QKeyEvent;
class QTimer;

namespace vividra {

class ViewController;

// Turns the mouse, wheel and keys over the picture into view changes: Ctrl + wheel zooms
// about the cursor, the wheel alone scrolls an enlarged picture, and a drag with the right
// or middle button, or with the left while Space is held, pans it. Holding backslash shows
// the original. A box resize ends once the resizing has been quiet for a moment.
class ViewNavigator : public QObject {
public:
    explicit ViewNavigator(ViewController& controller);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool keyEvent(QObject* watched, QKeyEvent* event);
    bool mouseEvent(QEvent* event);

    ViewController& controller_;
    bool panning_ = false;
    Qt::MouseButton panButton_ = Qt::NoButton;
    bool spaceHeld_ = false;
    QPointF lastPoint_;
    int wheelSteps_ = 0;
    QTimer* wheelEnd_ = nullptr;
};

} // namespace vividra
