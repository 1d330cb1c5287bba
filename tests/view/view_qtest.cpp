// Zooming, panning, the Preview/Original switch and fitting to a resized window.
#include <QtTest>

#include <cmath>

#include "controls/check_box.h"
#include "controls/segmented_control.h"
#include "effects/image_tools.h"
#include "paint/compositing.h"
#include "paint/draw_view.h"
#include "session/view_controller.h"
#include "support/test_pictures.h"
#include "support/window_fixture.h"
#include "view/zoom.h"

using namespace vividra;
using test::isGrey;
using test::writeColourPicture;

class ViewTest : public QObject {
    Q_OBJECT

private slots:
    void init() { fixture_.setUp(true); }
    void cleanup() { fixture_.tearDown(); }

    // Zoom out at fit does nothing; five quick steps show at once and start one rebuild a
    // second after the last; the rebuilt windows are those of the view as it is; zoom waits
    // for a rendering; Fit goes back at once.
    void zoomStepsShowAtOnceAndRebuildOnce() {
        ViewController& c = load();
        const QSizeF box = c.customViewImage->size();
        c.OnZoomOut();
        QCOMPARE(c.pictureFrame(), QRectF(QPointF(0, 0), box));
        QVERIFY(!c.timer->isActive());

        const std::uint64_t jobsBefore = c.jobs.finishedJobs();
        QElapsedTimer sinceLast;
        for (int i = 0; i < 5; ++i) {
            c.OnZoomIn();
            sinceLast.start();
            QVERIFY(c.imageView->showsPicture());
            QVERIFY(!c.imageView->showsWindow());
            QVERIFY(c.infoProvider.viewRebuildPending);
            QVERIFY(!c.imageViewBackground->paintingAllowed());
        }
        QCOMPARE(c.jobs.finishedJobs(), jobsBefore);
        QVERIFY(std::abs(zoom::ratio(c.pictureFrame(), box) - std::pow(1.1, 5)) < 1e-9);
        QCOMPARE(c.currentZoomFactor, c.imageViewBackground->currentZoomFactor);
        QTRY_VERIFY_WITH_TIMEOUT(!c.infoProvider.viewRebuildPending, 5000);
        QVERIFY(sinceLast.elapsed() >= 950);
        waitIdle();
        QCOMPARE(c.jobs.finishedJobs(), jobsBefore + 1);
        const ViewGeometry g = c.imageView->viewGeometry();
        QCOMPARE(g.maskRect.size(), box);
        QVERIFY(c.imageView->showsWindow());
        QCOMPARE(c.imageView->shownImage(), displayWindow(c.lastImage, g).image);
        QCOMPARE(c.currentMaskImage.image, displayWindow(c.foregroundImage, g).image);
        QVERIFY(c.imageViewBackground->paintingAllowed());

        c.checkBackgroundSepia->click();
        QVERIFY(c.processIsRunning());
        const QRectF during = c.pictureFrame();
        c.OnZoomIn();
        QCOMPARE(c.pictureFrame(), during);
        waitIdle();

        c.OnResetZoom();
        QCOMPARE(c.pictureFrame(), QRectF(QPointF(0, 0), box));
        QCOMPARE(c.zoomScale, 1.0);
        QVERIFY(c.jobs.busy());
        waitIdle();
        QVERIFY(!c.infoProvider.viewRebuildPending);
    }

    // At about three times, after a pan, a stroke lands on the picture pixels under the
    // pointer: the composite equals the same stroke drawn straight at picture coordinates.
    void aStrokeAfterZoomAndPanLandsUnderThePointer() {
        ViewController& c = load();
        c.checkBackgroundBlackWhite->click();
        waitIdle();
        for (int i = 0; i < 12; ++i)
            c.OnZoomIn();
        QTRY_VERIFY_WITH_TIMEOUT(!c.infoProvider.viewRebuildPending, 5000);
        waitIdle();
        const QRectF before = c.pictureFrame();
        dragWith(Qt::RightButton, QPoint(300, 200), QPoint(180, 120));
        QCOMPARE(c.pictureFrame().topLeft(), before.topLeft() + QPointF(-120, 80));
        waitIdle();
        QCOMPARE(c.statesList.back()->lastAction, QStringLiteral("rightMouse"));

        const QPoint from(150, 130), to(330, 190);
        dragWith(Qt::LeftButton, from, to);
        waitIdle();
        const QRectF shown = pictureInBox(c.imageView->viewGeometry());
        const QSizeF pixels = c.foregroundImage.size;
        const auto inPicture = [&](QPoint p) {
            return QPointF((p.x() - shown.x()) / shown.width() * pixels.width(),
                           pixels.height() -
                               (p.y() - shown.y()) / shown.height() * pixels.height());
        };
        const CustomPathRef recorded = c.imageViewBackground->listOfPAths.back();
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
        ViewController& c = load();
        for (int i = 0; i < 8; ++i)
            c.OnZoomIn();
        QTRY_VERIFY_WITH_TIMEOUT(!c.infoProvider.viewRebuildPending, 5000);
        waitIdle();
        DrawView* surface = c.imageViewBackground;
        const QSizeF box = c.customViewImage->size();
        QTest::mousePress(surface, Qt::RightButton, {}, QPoint(200, 200));
        QVERIFY(c.infoProvider.rightMouseDragged);
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
        QVERIFY(!c.infoProvider.rightMouseDragged);
        waitIdle();
        QCOMPARE(c.imageView->viewGeometry().maskRect.topLeft(), -f.topLeft());
    }

    // "Original" while enlarged shows the original at the same place without the strokes and
    // hides the painting surface; holding backslash is a quick look that comes back.
    void theOriginalShowsAtTheSameFrame() {
        ViewController& c = load();
        c.checkBackgroundBlackWhite->click();
        waitIdle();
        for (int i = 0; i < 4; ++i)
            c.OnZoomIn();
        QTRY_VERIFY_WITH_TIMEOUT(!c.infoProvider.viewRebuildPending, 5000);
        waitIdle();
        const ViewGeometry g = c.imageView->viewGeometry();
        c.segmentedControlPreviewOriginal->setSelectedSegment(1);
        c.OnPreviewOriginalChanged();
        QVERIFY(c.imageViewBackground->isHidden());
        QVERIFY(!c.imageViewBackground->paintingAllowed());
        waitIdle();
        const Picture original = *ImageTools::readPicture(c.originalImagePath);
        QCOMPARE(c.imageView->shownImage(), displayWindow(original, g).image);

        c.segmentedControlPreviewOriginal->setSelectedSegment(0);
        c.OnPreviewOriginalChanged();
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
        ViewController& c = load();
        MainWindow& w = fixture_.window();
        w.resize(w.width() + 300, w.height() + 200);
        QTRY_VERIFY(c.pictureFrame().size() == c.customViewImage->size());
        QTRY_VERIFY_WITH_TIMEOUT(!c.infoProvider.viewRebuildPending, 5000);
        waitIdle();
        QRectF fitted(QPointF(0, 0), c.customViewImage->size());
        ImageTools::fitRect(fitted, 400, 300);
        QCOMPARE(c.imageViewBackground->curentRect, fitted);
        QVERIFY(c.imageView->showsWindow());

        for (int i = 0; i < 6; ++i)
            c.OnZoomIn();
        const double r = zoom::ratio(c.pictureFrame(), c.customViewImage->size());
        w.resize(w.width() - 200, w.height() - 100);
        QTRY_COMPARE(c.imageView->viewGeometry().maskRect.size(),
                     QSizeF(c.customViewImage->size()));
        QTRY_VERIFY_WITH_TIMEOUT(!c.infoProvider.viewRebuildPending, 5000);
        waitIdle();
        QVERIFY(std::abs(zoom::ratio(c.pictureFrame(), c.customViewImage->size()) - r) < 1e-9);
        QVERIFY(c.imageView->showsWindow());
    }

private:
    ViewController& load() {
        ViewController& c = fixture_.controller();
        c.takeInPicture(writeColourPicture(fixture_.environment().root(), 400, 300),
                        QStringLiteral("addImage"));
        waitIdle();
        return c;
    }

    void waitIdle() {
        QTRY_VERIFY_WITH_TIMEOUT(!fixture_.controller().infoProvider.processIsRunning(), 20000);
    }

    void dragWith(Qt::MouseButton button, QPoint from, QPoint to) {
        DrawView* surface = fixture_.controller().imageViewBackground;
        QTest::mousePress(surface, button, {}, from);
        QTest::mouseMove(surface, to);
        QTest::mouseRelease(surface, button, {}, to);
    }

    test::WindowFixture fixture_;
};

QTEST_MAIN(ViewTest)
#include "view_qtest.moc"
