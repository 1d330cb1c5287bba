// Instant previews in the window: a change shows at once, a slider's drag follows the knob
// without rendering, and the full-resolution result replaces the preview.
#include <QtTest>

#include "controls/check_box.h"
#include "controls/slider.h"
#include "paint/compositing.h"
#include "paint/draw_view.h"
#include "session/view_controller.h"
#include "support/test_pictures.h"
#include "support/window_fixture.h"

using namespace vividra;
using test::isGrey;
using test::writeColourPicture;

class PreviewTest : public QObject {
    Q_OBJECT

private slots:
    void init() { fixture_.setUp(true); }
    void cleanup() { fixture_.tearDown(); }

    void aChangeShowsAtOnceAndTheRenderingReplacesIt() {
        ViewController& c = load();
        const QPoint middle = pictureMiddle(c);
        QVERIFY(!isGrey(c.imageView->shownImage().pixel(middle)));
        c.checkBackgroundBlackWhite->click();
        // Shown before the line has rendered anything.
        QVERIFY(c.processIsRunning());
        QVERIFY(isGrey(c.imageView->shownImage().pixel(middle)));
        waitIdle();
        QCOMPARE(c.imageView->shownImage(),
                 displayWindow(c.lastImage, c.imageView->viewGeometry()).image);
        QVERIFY(isGrey(c.imageView->shownImage().pixel(middle)));

        // A second change while the first renders: the screen ends on the second.
        c.checkBackgroundBlackWhite->click();
        c.checkBackgroundSepia->click();
        QVERIFY(!isGrey(c.imageView->shownImage().pixel(middle)));
        waitIdle();
        QCOMPARE(c.imageView->shownImage(),
                 displayWindow(c.lastImage, c.imageView->viewGeometry()).image);
        QVERIFY(c.settings.background.sepiaOn && !c.settings.background.blackWhiteOn);
    }

    // While a slider is dragged only the preview follows it: nothing renders and nothing is
    // recorded until it is let go, and then one state is.
    void aDraggedSliderPreviewsAndRendersOnRelease() {
        ViewController& c = load();
        c.checkForegroundBlur->click();
        waitIdle();
        const qsizetype states = c.statesList.size();
        const QImage before = c.imageView->shownImage();
        Slider* slider = c.sliderBackgroundSepiaIntensity;
        c.checkBackgroundSepia->click();
        waitIdle();
        const QImage sepia = c.imageView->shownImage();
        QVERIFY(sepia != before);
        slider->setSliderDown(true);
        for (int v : {80, 50, 20})
            slider->setValue(v * slider->maximum() / 100);
        QVERIFY(!c.jobs.busy());
        QVERIFY(c.imageView->shownImage() != sepia);
        QCOMPARE(c.statesList.size(), states + 1);
        slider->setSliderDown(false); // lets go, as a mouse release does
        QVERIFY(c.processIsRunning());
        waitIdle();
        QCOMPARE(c.statesList.size(), states + 2);
        QCOMPARE(c.imageView->shownImage(),
                 displayWindow(c.lastImage, c.imageView->viewGeometry()).image);
    }

private:
    ViewController& load() {
        ViewController& c = fixture_.controller();
        c.takeInPicture(writeColourPicture(fixture_.environment().root(), 400, 300),
                        QStringLiteral("addImage"));
        waitIdle();
        return c;
    }
    QPoint pictureMiddle(ViewController& c) {
        return pictureInBox(c.imageView->viewGeometry()).center().toPoint();
    }
    void waitIdle() {
        QTRY_VERIFY_WITH_TIMEOUT(!fixture_.controller().infoProvider.processIsRunning(), 20000);
    }

    test::WindowFixture fixture_;
};

QTEST_MAIN(PreviewTest)
#include "preview_qtest.moc"
