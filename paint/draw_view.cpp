#include "paint/draw_view.h"

#include <QPainter>

namespace vividra {
namespace {

PathRef defaultPath() {
    auto p = makePath();
    p->addRect(0, 0, 30, 30);
    return p;
}

} // namespace

DrawView::DrawView(QWidget* parent)
    : QWidget(parent), infoProvider(InfoProvider::shared()), path(defaultPath()),
      secondPath(makePath()) {
    setAttribute(Qt::WA_TranslucentBackground);
}

void DrawView::setImage(const Picture& picture) {
    image_ = picture;
    update();
}

void DrawView::resetDrawing() {
    path = makePath();
    secondPath = makePath();
    listOfPAths.clear();
    path = defaultPath();
    color = QBrush(QColor::fromRgbF(1, 1, 1, 0));
    isColor = true;
    isErase = true;
    lineWidth = 20.0;
    currentLineWidth = 20.0;
    scale = 1.0;
    originalImagePath.clear();
    firstTime = true;
    previewType = 0;
    imageViewY = 63.0;
    imageViewX = 310.0;
    curentRect = QRectF();
    originalRect = QRectF();
    foregroundImageViewOrigin = QPointF();
    drawTriggeredByStateChanged = false;
    statePaths.clear();
    currentPhase = QStringLiteral("mouseDown");
    moveToPointWasCalled = false;
    update();
}

void DrawView::makeBrushCircleImage() {
    // A ring one pixel wider than the brush so its edge shows on light and dark pictures.
    const int side = std::max(3, static_cast<int>(std::ceil(currentLineWidth)) + 2);
    QImage img(side, side, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF circle(1, 1, currentLineWidth, currentLineWidth);
    p.setPen(QPen(QColor(0, 0, 0, 160), 1.5));
    p.drawEllipse(circle);
    p.setPen(QPen(QColor(255, 255, 255, 220), 0.8));
    p.drawEllipse(circle);
    p.end();
    currentCircleImage = Picture(img);
    resetCursorRects();
}

void DrawView::resetCursorRects() {
    if (previewType == 1 || !infoProvider.isImageAdded || currentCircleImage.isEmpty()) {
        setCursor(Qt::ArrowCursor);
        return;
    }
    const int hot = static_cast<int>(currentLineWidth * 0.5);
    setCursor(QCursor(QPixmap::fromImage(currentCircleImage.image), hot, hot));
}

void DrawView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (!image_.isEmpty() && !curentRect.isEmpty()) {
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(toWidget(curentRect), image_.image);
    }
}

} // namespace vividra
