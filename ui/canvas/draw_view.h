#pragma once

#include <QBrush>
#include <QList>
#include <QRectF>
#include <QWidget>

#include <functional>
#include <memory>

#include "model/paint/compositing.h"
#include "model/paint/custom_path.h"
#include "model/platform/picture.h"
#include "model/session/info_provider.h"
#include "model/view/view_state.h"

namespace vividra {

// A picture view that also paints: it shows a picture inside `pictureRect`
// and, on the painting surface, turns left-button gestures into strokes.
// Geometry fields are y-up with the origin at the view's lower-left corner.
class DrawView : public QWidget {
    Q_OBJECT
public:
    explicit DrawView(QWidget* parent = nullptr);

    InfoProvider& infoProvider;
    QList<CustomPathRef> strokePaths;
    PathRef path;
    PathRef secondPath;
    QBrush color{QColor::fromRgbF(1, 1, 1, 0)};
    bool isColor = true;
    bool isErase = true;
    // Strokes keep to the colour under the point where the brush went down.
    bool edgeAware = false;
    // While set, a click picks the colour under it (handed to `onPick` in picture pixels,
    // y-up) instead of painting.
    bool picking = false;
    std::function<void(const QPointF&)> onPick;
    // What the box shows of the original, for drawing an edge-aware stroke as it will paint.
    std::function<QImage()> edgeGuide;
    double lineWidth = 20.0;
    double currentLineWidth = 20.0;
    double scale = 1.0;
    // The picture the view paints over, set once an intake has shown it.
    QString originalImagePath;
    // The session's view: what is on show, and whether the brush may paint.
    const ViewState* viewState = nullptr;
    double imageViewY = 63.0;
    double imageViewX = 310.0;
    QRectF pictureRect;
    QRectF originalRect;
    QPointF foregroundImageViewOrigin;
    Picture currentCircleImage;
    QString currentPhase = QStringLiteral("mouseDown");
    bool moveToPointWasCalled = false;

    // Where the picture is on screen now.
    void setViewGeometry(const ViewGeometry& geometry);
    const ViewGeometry& viewGeometry() const { return geometry_; }

    // The picture shown (the view's "image"): drawn scaled into place, only the part on
    // show, until a window for the view as it is arrives.
    const Picture& image() const { return image_; }
    void setImage(const Picture& picture);

    // What the box shows of the picture, box-sized and built off the main thread for
    // `geometry`; drawn as it is while the view stays there. The full picture is then no
    // longer held.
    void showWindow(const QImage& window, const ViewGeometry& geometry);
    const QImage& shownImage() const { return window_; }
    // Whether the view shows a picture, exact or scaled.
    bool showsPicture() const { return !window_.isNull() || !image_.isEmpty(); }
    // Whether what is shown is the exact window for the view as it is.
    bool showsWindow() const { return !window_.isNull() && windowFor_ == geometry_; }

    // Shown in the middle while there is no picture.
    QString placeholderText;

    // A window point (y-up, window content) in picture pixels.
    QPointF pictureLocation(const QPointF& windowPoint) const;
    // Whether a left-button event may paint now.
    bool paintingAllowed() const;
    bool showsOriginal() const;

    void resetDrawing();
    void makeBrushCircleImage();
    void resetCursorRects();

    // Converts between the view's y-up coordinates and Qt's widget coordinates.
    QPointF toWidget(const QPointF& p) const { return {p.x(), height() - p.y()}; }
    QRectF toWidget(const QRectF& r) const {
        return {r.x(), height() - r.y() - r.height(), r.width(), r.height()};
    }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // Keeps the picture area's offset in the window as it is laid out now.
    void updateOffsetInWindow();
    QPointF windowPoint(const QMouseEvent* event) const;
    QPointF viewPoint(const QMouseEvent* event) const;
    void addSegment(const QMouseEvent* event);

    // The live stroke drawn so far, so each pointer move paints only its new piece.
    struct LiveStroke {
        QImage pixels;
        std::weak_ptr<const QPainterPath> path;
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
    LiveStroke live_;

    Picture image_;
    QImage window_;
    ViewGeometry windowFor_;
    ViewGeometry geometry_;
};

} // namespace vividra
