#pragma once

#include <QBrush>
#include <QImage>
#include <QPainterPath>
#include <QWidget>

#include <memory>

#include "ui/subject/subject_box_tool.h"

namespace vividra {

class SessionEngine;

// A view of the session in the box. The picture view draws what the engine says is on
// screen; the painting surface over it turns left-button gestures into strokes and draws
// the stroke being painted until the engine says it is in the picture. Both are the size of
// the box; points handed to the engine are y-up.
class DrawView : public QWidget {
    Q_OBJECT
public:
    explicit DrawView(QWidget* parent = nullptr);

    void setEngine(SessionEngine* engine, bool paints);

    // Shown in the middle while there is no picture.
    QString placeholderText;

    // The brush's circle as the cursor, or what picking or the Original view shows.
    void showBrushCursor();
    // The strokes drawn so far are in the picture.
    void dropDrawnStroke();
    // What the surface has drawn of the stroke under way, y-up.
    const QPainterPath& drawnStroke() const { return drawn_; }

    // Converts between the view's y-up coordinates and Qt's widget coordinates.
    QPointF toWidget(const QPointF& p) const { return {p.x(), height() - p.y()}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QPointF viewPoint(const QMouseEvent* event) const;
    void drawTo(const QPointF& point);
    void paintPicture(QPainter& p);

    // The live stroke drawn so far, so each pointer move paints only its new piece.
    struct LiveStroke {
        QImage pixels;
        int elements = 0;
        QBrush color;
        double width = 0;
        // Edge-aware: the box's view of the original, and the colour the sub-path keeps to.
        QImage guide;
        quint32 reference = 0;
    };
    // Draws one piece of the live stroke, keeping to the reference colour when edge-aware.
    void drawLivePiece(QPainter& q, const QPointF& from, const QPointF& to);
    void paintLiveStroke(QPainter& p, const QRect& exposed);

    SessionEngine* engine_ = nullptr;
    bool paints_ = false;
    QPainterPath drawn_;
    LiveStroke live_;
    SubjectBoxTool subjectBox_;
};

} // namespace vividra
