#include <gtest/gtest.h>

#include <QPainter>

#include "model/paint/compositing.h"
#include "model/paint/stroke_raster.h"
#include "tests/support/sample_pictures.h"

using namespace vividra;

namespace {

QImage stripes(int w, int h, int seed) {
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y,
                         qRgb((x * 7 + seed) & 255, (y * 5 + seed * 3) & 255, ((x + y) * 3) & 255));
    return img;
}

CustomPathRef stroke(const QList<QPointF>& points, double width, bool erase = false) {
    auto path = makePath();
    path->addPolygon(points);
    auto stroke = std::make_shared<CustomPath>(width, QBrush(), path);
    stroke->isErase = erase;
    return stroke;
}

} // namespace

TEST(Compositing, BandsPaintLikeTheWholePicture) {
    const Picture background(stripes(300, 700, 1));
    const Picture reveal(stripes(300, 700, 99));
    QList<CustomPathRef> strokes{stroke({{10, 690}, {290, 10}}, 31),
                                 stroke({{150, 250}, {150, 262}}, 9)};
    auto erase = stroke({{0, 256}, {300, 256}}, 12, true);
    auto solid = stroke({{40, 500}, {40, 501}}, 60);
    solid->isSolidColor = true;
    solid->color = QBrush(QColor(10, 200, 30));
    strokes << erase << solid;

    QImage whole = background.image.copy();
    for (const CustomPathRef& s : strokes)
        paintStroke(whole, *s, patternColor(reveal), patternColor(background));
    const Picture banded =
        compositeStrokes(background, strokes, patternColor(reveal), patternColor(background));

    EXPECT_EQ(banded.image, whole);
    EXPECT_FALSE(banded.sharesPixelsWith(background)); // the input picture is left alone
    // Along the first stroke the revealed picture shows, pixel for pixel; the
    // erase stroke across the band seam brings the background back.
    EXPECT_EQ(banded.image.pixel(150, 350), reveal.image.pixel(150, 350));
    EXPECT_EQ(banded.image.pixel(150, 700 - 256), background.image.pixel(150, 700 - 256));
    EXPECT_EQ(banded.image.pixel(40, 700 - 500), qRgb(10, 200, 30));
    EXPECT_EQ(banded.image.pixel(295, 5), background.image.pixel(295, 5));
    EXPECT_TRUE(compositeStrokes(Picture(), strokes, QBrush(Qt::red), QBrush(Qt::blue)).isEmpty());
}

// The box's window of a layer: at fit the layer sits where it is shown; enlarged, the
// window is the box's part of the whole canvas, with the layer scaled once and placed at
// its rounded position.
TEST(Compositing, DisplayWindowShowsThePartOfTheCanvasInTheBox) {
    QImage layerImage(400, 300, QImage::Format_ARGB32_Premultiplied);
    layerImage.fill(qRgb(200, 0, 0));
    const Picture fitted = displayWindow(
        Picture(layerImage), {QRectF(100, 50, 200, 150), QRectF(0, 0, 500, 300), 500, 300});
    // y-up: the shown rectangle spans rows 300 − 50 − 150 = 100 to 250 from the top.
    QImage shown(500, 300, QImage::Format_ARGB32_Premultiplied);
    shown.fill(Qt::transparent);
    QPainter(&shown).fillRect(100, 100, 200, 150, QColor(200, 0, 0));
    EXPECT_EQ(fitted.image, shown);

    const QImage scene = test::photoLike(120, 90);
    const ViewGeometry zoomed{QRectF(30.4, 20.6, 541.3, 405.9), QRectF(137, 91, 250, 160), 601,
                              447};
    const Picture window = displayWindow(Picture(scene), zoomed);
    ASSERT_EQ(window.image.size(), QSize(250, 160));
    QImage canvas(601, 447, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter(&canvas).drawImage(QPoint(30, qRound(447 - 20.6 - 405.9)),
                                screenCopy(Picture(scene), QSizeF(541.3, 405.9)));
    EXPECT_EQ(window.image, canvas.copy(137, 447 - 91 - 160, 250, 160));
    EXPECT_EQ(pictureInBox(zoomed), QRectF(30.4 - 137, 91 + 160 - 20.6 - 405.9, 541.3, 405.9));
}

// Our stroke raster against Qt's own antialiased pen: the same shape, edges within a fraction of a
// pixel.
TEST(Compositing, StrokesMatchQtsRoundPen) {
    const std::pair<QList<QPointF>, double> cases[] = {
        {{{20, 30}, {180, 150}}, 25},                      // diagonal
        {{{30, 100}, {60, 100}, {60, 40}, {170, 60}}, 14}, // joins
        {{{100, 100}, {100.01, 100}}, 40},                 // a dot
        {{{10, 10}, {190, 12}}, 3},                        // thin
        {{{50, 150}, {150, 150}, {52, 152}}, 30},          // folds back on itself
    };
    for (const auto& [points, width] : cases) {
        QPainterPath path;
        path.addPolygon(points);
        QImage ours(200, 200, QImage::Format_ARGB32_Premultiplied);
        ours.fill(Qt::black);
        QImage theirs = ours.copy();
        rasterStroke(ours, path, width, QImage(), Qt::white);
        QPainter p(&theirs);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Qt::white, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(path);
        p.end();
        // White on black: three equal colour channels, and alpha the same on both. An edge
        // pixel may differ, never a whole one, and on average they are very close.
        const test::Difference d = test::compare(ours, theirs);
        EXPECT_LE(d.max, 110) << width;
        EXPECT_LT(d.mean, 0.25 * 3 / 4) << width;
    }
}

// Two ways the original's colours steer the reveal, on one original: red left of x = 100,
// green from there on, with noise of a few levels; paths are y-up.
TEST(Compositing, EdgeAwareStrokesAndTheKeptColourFollowTheOriginalsColours) {
    constexpr int w = 200, h = 80;
    QImage original(w, h, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int n = (x * 13 + y * 7) % 9;
            original.setPixel(x, y, x < 100 ? qRgb(200 + n, 30 + n, 30) : qRgb(40, 150 + n, 60));
        }
    const Picture background(stripes(w, h, 3));
    QImage white(w, h, QImage::Format_ARGB32_Premultiplied);
    white.fill(Qt::white);
    const auto composite = [&](const QList<CustomPathRef>& strokes) {
        return compositeStrokes(background, strokes, patternColor(Picture(white)),
                                patternColor(background), original)
            .image;
    };
    // From the red side across the edge, deep into the green: nothing past the edge, the red
    // side under the stroke whole; without the option the same stroke crosses the edge.
    auto across = stroke({{40, 40}, {180, 40}}, 30);
    across->edgeAware = true;
    const QImage out = composite({across});
    EXPECT_EQ(out.copy(101, 0, w - 101, h), background.image.copy(101, 0, w - 101, h));
    EXPECT_EQ(out.copy(40, 28, 59, 25), white.copy(40, 28, 59, 25));
    across->edgeAware = false;
    EXPECT_EQ(composite({across}).pixel(150, 40), qRgb(255, 255, 255));

    // The kept red reveals the whole red side; a stroke painted afterwards with the eraser
    // takes part of it back.
    const fx::HueKey red{0, 15, 10};
    QList<CustomPathRef> strokes = withKeptColour({}, red);
    ASSERT_EQ(strokes.size(), 1);
    EXPECT_TRUE(paintsAnything(strokes));
    auto erase = stroke({{5, 20}, {10, 20}}, 6, true);
    strokes << erase;
    const QImage kept = composite(strokes);
    EXPECT_EQ(kept.copy(0, 0, 100, 50), white.copy(0, 0, 100, 50));
    EXPECT_EQ(kept.copy(100, 0, 100, h), background.image.copy(100, 0, 100, h));
    EXPECT_EQ(kept.pixel(7, 60), background.image.pixel(7, 60));

    // The same colour again changes nothing; another one takes the old one's place, before
    // the eraser's stroke; none takes it out.
    EXPECT_EQ(withKeptColour(strokes, red), strokes);
    const QList<CustomPathRef> green = withKeptColour(strokes, fx::HueKey{120, 15, 10});
    ASSERT_EQ(green.size(), 2);
    EXPECT_EQ(green[0]->keep->hue, 120);
    EXPECT_EQ(green[1], erase);
    EXPECT_EQ(strokes[0]->keep->hue, 0) << "a recorded kept colour changed";
    const QList<CustomPathRef> none = withKeptColour(green, std::nullopt);
    EXPECT_EQ(none, QList<CustomPathRef>{erase});
    EXPECT_EQ(keptColour(none), nullptr);
}
