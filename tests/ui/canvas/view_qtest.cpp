// Instant previews, zooming, panning, the Preview/Original switch and fitting to a resized
// window.
#include <QtTest>

#include <cmath>

#include "model/effects/image_tools.h"
#include "model/paint/compositing.h"
#include "model/view/zoom.h"
#include "support/test_pictures.h"
#include "support/window_fixture.h"
#include "ui/canvas/draw_view.h"
#include "ui/controller/view_controller.h"
#include "ui/controls/check_box.h"
#include "ui/controls/segmented_control.h"
#include "ui/controls/slider.h"

using namespace vividra;
using test::isGrey;

class ViewTest : public QObject {
    Q_OBJECT

private slots:
    void init() { fixture_.setUp(true); }
    void cleanup() { fixture_.tearDown(); }

    // Zoom out at fit does nothing; five quick steps show at once and start one rebuild a
    // second after the last; the rebuilt windows are those of the view as it is; zoom waits
    // for a rendering; Fit goes back at once.
    void zoomStepsShowAtOnceAndRebuildOnce() {
        ViewController& c = fixture_.load();
        const QSizeF box = c.customViewImage->size();
        c.zoomOut();
        QCOMPARE(c.pictureFrame(), QRectF(QPointF(0, 0), box));
        QVERIFY(!c.viewRebuildTimer->isActive());

        const std::uint64_t jobsBefore = c.jobs.finishedJobs();
        QElapsedTimer sinceLast;
        for (int i = 0; i < 5; ++i) {
            c.zoomIn();
            sinceLast.start();
            QVERIFY(c.imageView->showsPicture());
            QVERIFY(!c.imageView->showsWindow());
            QVERIFY(c.viewState.rebuildPending());
            QVERIFY(!c.imageViewBackground->paintingAllowed());
        }
        QCOMPARE(c.jobs.finishedJobs(), jobsBefore);
        QVERIFY(std::abs(zoom::ratio(c.pictureFrame(), box) - std::pow(1.1, 5)) < 1e-9);
        QVERIFY(std::abs(c.viewState.zoomFactor() - std::pow(1.1, 5)) < 1e-9);
        QTRY_VERIFY_WITH_TIMEOUT(!c.viewState.rebuildPending(), 5000);
        QVERIFY(sinceLast.elapsed() >= 950);
        fixture_.waitIdle();
        QCOMPARE(c.jobs.finishedJobs(), jobsBefore + 1);
        const ViewGeometry g = c.imageView->viewGeometry();
        QCOMPARE(g.maskRect.size(), box);
        QVERIFY(c.imageView->showsWindow());
        QCOMPARE(c.imageView->shownImage(), displayWindow(c.lastImage, g).image);
        QCOMPARE(c.currentMaskImage.image, displayWindow(c.foregroundImage, g).image);
        QVERIFY(c.imageViewBackground->paintingAllowed());

        c.checkBackgroundSepia->click();
        QVERIFY(c.renderingPending());
        const QRectF during = c.pictureFrame();
        c.zoomIn();
        QCOMPARE(c.pictureFrame(), during);
        fixture_.waitIdle();

        c.resetZoom();
        QCOMPARE(c.pictureFrame(), QRectF(QPointF(0, 0), box));
        QCOMPARE(c.viewState.zoomScale(), 1.0);
        QVERIFY(c.jobs.busy());
        fixture_.waitIdle();
        QVERIFY(!c.viewState.rebuildPending());
    }

    // At about three times, after a pan, a stroke lands on the picture pixels under the
    // pointer: the composite equals the same stroke drawn straight at picture coordinates.
    void aStrokeAfterZoomAndPanLandsUnderThePointer() {
        ViewController& c = fixture_.load();
        c.checkBackgroundBlackWhite->click();
        fixture_.waitIdle();
        for (int i = 0; i < 12; ++i)
            c.zoomIn();
        QTRY_VERIFY_WITH_TIMEOUT(!c.viewState.rebuildPending(), 5000);
        fixture_.waitIdle();
        const QRectF before = c.pictureFrame();
        fixture_.drag(Qt::RightButton, QPoint(300, 200), QPoint(180, 120));
        QCOMPARE(c.pictureFrame().topLeft(), before.topLeft() + QPointF(-120, 80));
        fixture_.waitIdle();
        QCOMPARE(c.history.states().back()->lastAction, QStringLiteral("rightMouse"));

        const QPoint from(150, 130), to(330, 190);
        fixture_.drag(Qt::LeftButton, from, to);
        fixture_.waitIdle();
        const QRectF shown = pictureInBox(c.imageView->viewGeometry());
        const QSizeF pixels = c.foregroundImage.size;
        const auto inPicture = [&](QPoint p) {
            return QPointF((p.x() - shown.x()) / shown.width() * pixels.width(),
                           pixels.height() -
                               (p.y() - shown.y()) / shown.height() * pixels.height());
        };
        const CustomPathRef recorded = c.imageViewBackground->strokePaths.back();
        auto expectedPath = makePath();
        expectedPath->moveTo(inPicture(from));
        expectedPath->lineTo(inPicture(to));
        const CustomPath expected(recorded->lineWidth, QBrush(), expectedPath);
        const Picture drawn =
            compositeStrokes(c.preEraseImage, {std::make_shared<CustomPath>(expected)},
                             patternColor(c.foregroundImage), QBrush());
        int differing = 0;
        for (int y = 0; y < drawn.image.height(); ++y)
            for (int x = 0; x < drawn.image.width(); ++x) {
                const QRgb a = drawn.image.pixel(x, y), b = c.lastImage.image.pixel(x, y);
                if (std::abs(qRed(a) - qRed(b)) > 2 || std::abs(qGreen(a) - qGreen(b)) > 2 ||
                    std::abs(qBlue(a) - qBlue(b)) > 2)
                    ++differing;
            }
        QCOMPARE(differing, 0);
        const QPointF middle = (inPicture(from) + inPicture(to)) / 2;
        QVERIFY(!isGrey(
            c.lastImage.image.pixel(middle.toPoint().x(), qRound(pixels.height() - middle.y()))));
    }

    // A pan stops at the picture's edges, and a left press during it stops it until the
    // left button is let go.
    void panningKeepsInsideAndYieldsToTheLeftButton() {
        ViewController& c = fixture_.load();
        for (int i = 0; i < 8; ++i)
            c.zoomIn();
        QTRY_VERIFY_WITH_TIMEOUT(!c.viewState.rebuildPending(), 5000);
        fixture_.waitIdle();
        DrawView* surface = c.imageViewBackground;
        const QSizeF box = c.customViewImage->size();
        QTest::mousePress(surface, Qt::RightButton, {}, QPoint(200, 200));
        QVERIFY(c.viewState.panning());
        QTest::mousePress(surface, Qt::LeftButton, {}, QPoint(200, 200));
        QVERIFY(c.infoProvider.leftMouseDragged);
        const QRectF held = c.pictureFrame();
        QTest::mouseMove(surface, QPoint(230, 220));
        QCOMPARE(c.pictureFrame(), held);
        QTest::mouseRelease(surface, Qt::LeftButton, {}, QPoint(230, 220));
        QVERIFY(!c.infoProvider.leftMouseDragged);
        // Far beyond every edge, in small moves over the box.
        for (int i = 0; i < 40; ++i)
            QTest::mouseMove(surface, QPoint(i % 2 ? 230 : 30, i % 2 ? 220 : 20));
        QTest::mouseMove(surface, QPoint(box.width() - 2, box.height() - 2));
        for (int i = 0; i < 40; ++i)
            QTest::mouseMove(surface,
                             QPoint(i % 2 ? 10 : box.width() - 10, i % 2 ? 10 : box.height() - 10));
        const QRectF f = c.pictureFrame();
        QVERIFY(f.x() <= 0 && f.x() >= box.width() - f.width());
        QVERIFY(f.y() <= 0 && f.y() >= box.height() - f.height());
        QTest::mouseRelease(surface, Qt::RightButton, {}, QPoint(10, 10));
        QVERIFY(!c.viewState.panning());
        fixture_.waitIdle();
        QCOMPARE(c.imageView->viewGeometry().maskRect.topLeft(), -f.topLeft());

        // A left press during a pan that ends first: the brush paints once both are let go.
        QTest::mousePress(surface, Qt::RightButton, {}, QPoint(100, 100));
        QTest::mouseMove(surface, QPoint(140, 130));
        QTest::mousePress(surface, Qt::LeftButton, {}, QPoint(140, 130));
        QTest::mouseRelease(surface, Qt::RightButton, {}, QPoint(140, 130));
        QTest::mouseRelease(surface, Qt::LeftButton, {}, QPoint(140, 130));
        QTRY_VERIFY_WITH_TIMEOUT(c.imageViewBackground->paintingAllowed(), 5000);
        fixture_.waitIdle();
        const qsizetype strokes = surface->strokePaths.size();
        fixture_.drag(Qt::LeftButton, QPoint(150, 150), QPoint(250, 180));
        fixture_.waitIdle();
        QCOMPARE(surface->strokePaths.size(), strokes + 1);
    }

    // Only Preview paints: a click on the original records nothing and keeps the redo. A
    // new picture, File New and a reset each start in Preview, where the brush paints at
    // once; a picture switched to Original while it comes in shows the original.
    void onlyPreviewPaintsAndEachNewPictureStartsThere() {
        ViewController& c = fixture_.load();
        DrawView* surface = c.imageViewBackground;
        const auto showOriginal = [&] {
            c.segmentedControlPreviewOriginal->setSelectedSegment(1);
            c.showChosenPreviewOrOriginal();
        };
        const auto paintsAtOnce = [&] {
            fixture_.waitIdle();
            const qsizetype strokes = surface->strokePaths.size();
            const bool preview =
                c.segmentedControlPreviewOriginal->selectedSegment() == 0 && surface->isVisible();
            fixture_.paintAcrossMiddle();
            fixture_.waitIdle();
            return preview && surface->strokePaths.size() == strokes + 1;
        };
        QVERIFY(paintsAtOnce());
        c.undo();
        fixture_.waitIdle();
        const qsizetype states = c.history.states().size();
        showOriginal();
        fixture_.waitIdle();
        const QPoint middle = c.imageView->rect().center();
        QTest::mouseClick(c.imageView, Qt::LeftButton, {}, middle);
        fixture_.drag(Qt::LeftButton, middle, middle + QPoint(40, 10));
        fixture_.waitIdle();
        QCOMPARE(c.history.states().size(), states);
        QVERIFY(c.canRedo());

        c.newSession();
        c.takeInPicture(test::writeColourPicture(fixture_.environment().root(), 400, 300,
                                                 QStringLiteral("next.png")),
                        QStringLiteral("addImage"));
        QVERIFY(paintsAtOnce());

        const QString jpeg = test::writeColourPicture(fixture_.environment().root(), 400, 300,
                                                      QStringLiteral("photo.jpg"));
        showOriginal();
        c.takeInPicture(jpeg, QStringLiteral("addImage"));
        QVERIFY(paintsAtOnce());

        showOriginal();
        c.resetPicture();
        QVERIFY(paintsAtOnce());

        c.takeInPicture(jpeg, QStringLiteral("addImage"));
        showOriginal();
        fixture_.waitIdle();
        QVERIFY(surface->isHidden());
        QCOMPARE(c.imageView->shownImage(),
                 displayWindow(*ImageTools::readPicture(jpeg), c.imageView->viewGeometry()).image);
    }

    // "Original" while enlarged shows the original at the same place without the strokes and
    // hides the painting surface; holding backslash is a quick look that comes back.
    void theOriginalShowsAtTheSameFrame() {
        ViewController& c = fixture_.load();
        c.checkBackgroundBlackWhite->click();
        fixture_.waitIdle();
        for (int i = 0; i < 4; ++i)
            c.zoomIn();
        QTRY_VERIFY_WITH_TIMEOUT(!c.viewState.rebuildPending(), 5000);
        fixture_.waitIdle();
        const ViewGeometry g = c.imageView->viewGeometry();
        c.segmentedControlPreviewOriginal->setSelectedSegment(1);
        c.showChosenPreviewOrOriginal();
        QVERIFY(c.imageViewBackground->isHidden());
        QVERIFY(!c.imageViewBackground->paintingAllowed());
        fixture_.waitIdle();
        const Picture original = *ImageTools::readPicture(c.originalImagePath);
        QCOMPARE(c.imageView->shownImage(), displayWindow(original, g).image);

        c.segmentedControlPreviewOriginal->setSelectedSegment(0);
        c.showChosenPreviewOrOriginal();
        QVERIFY(c.imageViewBackground->isVisible());
        const QImage preview = c.imageView->shownImage();
        QCOMPARE(preview, displayWindow(c.lastImage, g).image);

        QTest::keyPress(&fixture_.window(), Qt::Key_Backslash);
        QCOMPARE(c.segmentedControlPreviewOriginal->selectedSegment(), 1);
        QVERIFY(c.imageViewBackground->isHidden());
        QTest::keyRelease(&fixture_.window(), Qt::Key_Backslash);
        QCOMPARE(c.segmentedControlPreviewOriginal->selectedSegment(), 0);
        QCOMPARE(c.imageView->shownImage(), preview);
    }

    // A fitted picture fits the resized box; an enlarged one keeps its ratio.
    void aResizedWindowRefitsThePicture() {
        ViewController& c = fixture_.load();
        MainWindow& w = fixture_.window();
        w.resize(w.width() + 300, w.height() + 200);
        QTRY_VERIFY(c.pictureFrame().size() == c.customViewImage->size());
        QTRY_VERIFY_WITH_TIMEOUT(!c.viewState.rebuildPending(), 5000);
        fixture_.waitIdle();
        QRectF fitted(QPointF(0, 0), c.customViewImage->size());
        ImageTools::fitRect(fitted, 400, 300);
        QCOMPARE(c.imageViewBackground->pictureRect, fitted);
        QVERIFY(c.imageView->showsWindow());

        for (int i = 0; i < 6; ++i)
            c.zoomIn();
        const double r = zoom::ratio(c.pictureFrame(), c.customViewImage->size());
        w.resize(w.width() - 200, w.height() - 100);
        QTRY_COMPARE(c.imageView->viewGeometry().maskRect.size(),
                     QSizeF(c.customViewImage->size()));
        QTRY_VERIFY_WITH_TIMEOUT(!c.viewState.rebuildPending(), 5000);
        fixture_.waitIdle();
        QVERIFY(std::abs(zoom::ratio(c.pictureFrame(), c.customViewImage->size()) - r) < 1e-9);
        QVERIFY(c.imageView->showsWindow());
    }

    // A change shows at once; the full-resolution result then replaces the preview.
    void aChangeShowsAtOnceAndTheRenderingReplacesIt() {
        ViewController& c = fixture_.load();
        const QPoint middle = pictureInBox(c.imageView->viewGeometry()).center().toPoint();
        QVERIFY(!isGrey(c.imageView->shownImage().pixel(middle)));
        c.checkBackgroundBlackWhite->click();
        // Shown before the line has rendered anything.
        QVERIFY(c.renderingPending());
        QVERIFY(isGrey(c.imageView->shownImage().pixel(middle)));
        fixture_.waitIdle();
        QCOMPARE(c.imageView->shownImage(),
                 displayWindow(c.lastImage, c.imageView->viewGeometry()).image);
        QVERIFY(isGrey(c.imageView->shownImage().pixel(middle)));

        // A second change while the first renders: the screen ends on the second.
        c.checkBackgroundBlackWhite->click();
        c.checkBackgroundSepia->click();
        QVERIFY(!isGrey(c.imageView->shownImage().pixel(middle)));
        fixture_.waitIdle();
        QCOMPARE(c.imageView->shownImage(),
                 displayWindow(c.lastImage, c.imageView->viewGeometry()).image);
        QVERIFY(c.settings.background.sepiaOn && !c.settings.background.blackWhiteOn);
    }

    // While a slider is dragged only the preview follows it: nothing renders and nothing is
    // recorded until it is let go, and then one state is.
    void aDraggedSliderPreviewsAndRendersOnRelease() {
        ViewController& c = fixture_.load();
        c.checkForegroundBlur->click();
        fixture_.waitIdle();
        const qsizetype states = c.history.states().size();
        const QImage before = c.imageView->shownImage();
        Slider* slider = c.sliderBackgroundSepiaIntensity;
        c.checkBackgroundSepia->click();
        fixture_.waitIdle();
        const QImage sepia = c.imageView->shownImage();
        QVERIFY(sepia != before);
        slider->setSliderDown(true);
        for (int v : {80, 50, 20})
            slider->setValue(v * slider->maximum() / 100);
        QVERIFY(!c.jobs.busy());
        QVERIFY(c.imageView->shownImage() != sepia);
        QCOMPARE(c.history.states().size(), states + 1);
        slider->setSliderDown(false); // lets go, as a mouse release does
        QVERIFY(c.renderingPending());
        fixture_.waitIdle();
        QCOMPARE(c.history.states().size(), states + 2);
        QCOMPARE(c.imageView->shownImage(),
                 displayWindow(c.lastImage, c.imageView->viewGeometry()).image);
    }

private:
    test::WindowFixture fixture_;
};

QTEST_MAIN(ViewTest)
#include "view_qtest.moc"
