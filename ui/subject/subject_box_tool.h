#pragma once

#include <QPointF>
#include <QRect>

#include <optional>

class QPainter;

namespace vividra {

class SessionEngine;

// The box drawn around a subject on the painting surface: a drag while the engine awaits a
// box (or while a selection runs, which the new box replaces), handed to the engine on
// release, and the hint that says what to do. Points are the surface's, y-up.
class SubjectBoxTool {
public:
    // Whether the press starts a box rather than a stroke.
    bool press(const SessionEngine& engine, const QPointF& point);
    bool move(const QPointF& point);
    bool release(SessionEngine& engine, const QPointF& point);
    void drop() { from_.reset(); }
    // The hint while a box is awaited, and the box being dragged; `height` turns y-up points
    // into the widget's rows.
    void paint(QPainter& p, const SessionEngine& engine, const QRect& area, int height) const;
    // The widget rectangle to repaint for the box as it is.
    QRect extent(int height) const;

private:
    std::optional<QPointF> from_;
    QPointF to_;
};

} // namespace vividra
