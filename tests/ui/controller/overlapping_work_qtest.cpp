// Work that overlaps: changes, strokes, resets and new pictures while a job is running.
#include <QColorDialog>
#include <QMimeData>
#include <QtTest>

#include <algorithm>
#include <atomic>

#include "kernels/pixel_memory.h"
#include "model/effects/image_tools.h"
#include "model/effects/layer_rendering.h"
#include "model/paint/compositing.h"
#include "support/test_pictures.h"
#include "support/window_fixture.h"
#include "tests/support/sample_pictures.h"
#include "ui/canvas/custom_drag_view.h"
#include "ui/canvas/draw_view.h"
#include "ui/controller/view_controller.h"
#include "ui/controls/check_box.h"
#include "ui/controls/progress_indicator.h"
#include "ui/controls/slider.h"

using namespace vividra;
using test::isGrey;
using test::writeColourPicture;

class OverlappingWorkTest : public QObject {
    Q_OBJECT

private slots:
    void init() { fixture_.setUp(true); }
    void cleanup() { fixture_.tearDown(); }

    void changesDuringAnIntakeOrAStrokeAreNotLost() {
        ViewController& c = fixture_.controller();
        const QString path =
            writeColourPicture(fixture_.environment().root(), 1200, 900, QStringLiteral("big.png"));
        c.takeInPicture(path, QStringLiteral("addImage"));
        QVERIFY(c.infoProvider.jobsBusy());
        // Ticked while the picture is still being taken in: rendered after it.
        c.checkBackgroundBlackWhite->click();
        c.checkForegroundSepia->click();
        fixture_.waitIdle();
        const Picture original = *ImageTools::readPicture(path);
        const Picture sepia = ImageTools::applySepia(original, 1.0f);
        QVERIFY(isGrey(c.preEraseImage.image.pixel(600, 450)));
        QCOMPARE(c.foregroundImage.image, sepia.image);

        // A stroke, and while it is being composed, another change to the foreground.
        fixture_.paintAcrossMiddle();
        QVERIFY(c.infoProvider.jobsBusy());
        c.checkForegroundSepia->click();
        fixture_.waitIdle();
        QCOMPARE(c.foregroundImage.image, original.image);
        const auto& strokes = c.imageViewBackground->strokePaths;
        QVERIFY(std::any_of(strokes.begin(), strokes.end(),
                            [](const CustomPathRef& s) { return !s->path->isEmpty(); }));
        // The stroke shows the new foreground, and the grey background elsewhere.
        QCOMPARE(c.lastImage.image.pixel(600, 450), original.image.pixel(600, 450));
        QVERIFY(isGrey(c.lastImage.image.pixel(600, 20)));
        QCOMPARE(c.imageView->shownImage().size(), c.customViewImage->size());
    }

    void aRenderingStoppedByANewerChangeStillLeavesItsUndoStep() {
        ViewController& c = fixture_.controller();
        fixture_.load(1600, 1200);
        const EditSettings before = c.settings;
        const QImage foreground = c.foregroundImage.image;
        const qsizetype start = c.history.currentIndex();
        c.checkForegroundSepia->click();
        QVERIFY(c.jobs.running(SessionJobs::Kind::rendering));
        // Stops the sepia rendering, which renders the foreground again.
        c.checkForegroundBlur->click();
        fixture_.waitIdle();
        QCOMPARE(c.history.currentIndex(), start + 2);

        c.undo();
        fixture_.waitIdle();
        QVERIFY(c.settings.foreground.sepiaOn && !c.settings.foreground.blurOn);
        const Picture original = *ImageTools::readPicture(c.originalImagePath);
        QCOMPARE(c.foregroundImage.image, ImageTools::applySepia(original, 1.0f).image);
        c.undo();
        fixture_.waitIdle();
        QCOMPARE(c.history.currentIndex(), start);
        QCOMPARE(c.settings, before);
        QCOMPARE(c.foregroundImage.image, foreground);
    }

    void eraserSwitchesBehindOtherWorkAreApplied() {
        ViewController& c = fixture_.controller();
        fixture_.load(400, 300);
        // A double click: the second waits behind the first one's refresh, and wins.
        c.checkEraserMode->click();
        QVERIFY(c.infoProvider.jobsBusy());
        c.checkEraserMode->click();
        fixture_.waitIdle();
        QVERIFY(!c.checkEraserMode->isChecked());
        QVERIFY(!c.imageViewBackground->isErase);

        // Behind a stroke being composed.
        fixture_.paintAcrossMiddle();
        QVERIFY(c.infoProvider.jobsBusy());
        c.checkEraserMode->click();
        fixture_.waitIdle();
        QVERIFY(c.imageViewBackground->isErase);
        fixture_.paintAcrossMiddle();
        fixture_.waitIdle();
        QVERIFY(c.imageViewBackground->strokePaths.back()->isErase);
    }

    void fileNewDuringARenderingLeavesNoPictureBehind() {
        ViewController& c = fixture_.controller();
        fixture_.load(800, 600);
        c.checkBackgroundBlur->click();
        QVERIFY(c.renderingPending());
        fixture_.dialogs().alertAnswers = {platform::kFirstButton};
        c.newSession();
        fixture_.waitIdle();
        QVERIFY(c.originalImagePath.isEmpty());
        QVERIFY(c.backgroundImage.isEmpty() && c.lastImage.isEmpty());
        QVERIFY(c.imageView->shownImage().isNull());
        QVERIFY(!c.checkBackgroundBlur->isChecked());
        QCOMPARE(c.history.states().size(), 1);
        QCOMPARE(c.history.states().front()->lastAction, QStringLiteral("resetInterface"));
        QVERIFY(c.progressIndicator->isHidden());

        // The same for a picture reset while a stroke and a rendering wait.
        fixture_.load(300, 200);
        c.checkForegroundBlackWhite->click();
        c.checkBackgroundSepia->click();
        fixture_.dialogs().alertAnswers = {platform::kFirstButton};
        c.resetPicture();
        fixture_.waitIdle();
        QCOMPARE(c.history.states().size(), 1);
        QCOMPARE(c.history.states().front()->lastAction, QStringLiteral("reset"));
        const Picture original = *ImageTools::readPicture(c.originalImagePath);
        QCOMPARE(c.foregroundImage.image, original.image);
        QCOMPARE(c.preEraseImage.image, original.image);
    }

    void brushModesChosenBeforeThePictureApplyToIt() {
        ViewController& c = fixture_.controller();
        c.colourDialog->setCurrentColor(QColor(0, 0, 255));
        c.checkCustomColor->click();
        fixture_.load(400, 300);
        QVERIFY(c.imageViewBackground->isColor);
        QVERIFY(!c.imageViewBackground->isErase);
        fixture_.paintAcrossMiddle();
        fixture_.waitIdle();
        QVERIFY(c.imageViewBackground->strokePaths.back()->isSolidColor);
        QCOMPARE(c.lastImage.image.pixel(200, 150), qRgb(0, 0, 255));

        // The eraser chosen with no picture: the next picture comes in with it on.
        fixture_.dialogs().alertAnswers = {platform::kFirstButton};
        c.newSession();
        c.checkEraserMode->click();
        QVERIFY(c.imageViewBackground->isErase);
        fixture_.load(400, 300);
        QVERIFY(c.imageViewBackground->isErase);
        QVERIFY(!c.imageViewBackground->isColor);
        QCOMPARE(c.imageViewBackground->color.style(), Qt::TexturePattern);
    }

    void picturesArrivingWhileWorkRunsAreTakenInAfterwards() {
        ViewController& c = fixture_.controller();
        fixture_.load(400, 300);
        const QString second = writeColourPicture(fixture_.environment().root(), 160, 90,
                                                  QStringLiteral("second.png"));
        c.checkBackgroundBlur->click();
        QVERIFY(c.infoProvider.jobsBusy());
        fixture_.delegate().openURLs({second});
        fixture_.waitIdle();
        QCOMPARE(c.originalImagePath, second);
        QCOMPARE(c.foregroundImage.image.size(), QSize(160, 90));
        QCOMPARE(c.history.states().size(), 1);
        QCOMPARE(c.history.states().front()->lastAction, QStringLiteral("addImage"));

        // A drop while a stroke is composed.
        const QString third =
            writeColourPicture(fixture_.environment().root(), 90, 120, QStringLiteral("third.png"));
        fixture_.paintAcrossMiddle();
        QVERIFY(c.infoProvider.jobsBusy());
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(third)});
        fixture_.dialogs().alertAnswers = {platform::kFirstButton};
        QVERIFY(c.dragImageView->performDragOperation(&data));
        fixture_.waitIdle();
        QCOMPARE(c.originalImagePath, third);
        QCOMPARE(c.backgroundImage.image.size(), QSize(90, 120));
        QVERIFY(c.imageViewBackground->strokePaths.isEmpty());
    }

    void runningOutOfMemoryIsToldAndKeepsTheSession() {
        ViewController& c = fixture_.controller();
        fixture_.load(300, 200);
        const QImage background = c.preEraseImage.image;
        const QImage shown = c.lastImage.image;
        {
            fx::PixelMemoryLimitForTesting none(0);
            c.checkBackgroundBlur->click();
            fixture_.waitIdle();
        }
        QCOMPARE(fixture_.dialogs().alerts.size(), 1);
        QVERIFY(fixture_.dialogs().alerts.front().informativeText.contains(
            QStringLiteral("not enough memory")));
        QCOMPARE(c.preEraseImage.image, background);
        QCOMPARE(c.lastImage.image, shown);
        QVERIFY(!c.renderingPending() && c.waitingUpdates.isEmpty());
        QVERIFY(c.progressIndicator->isHidden());
        // With memory back the same change goes through.
        c.checkBackgroundBlur->click();
        c.checkBackgroundBlur->click();
        fixture_.waitIdle();
        QVERIFY(c.preEraseImage.image != background);

        // A picture that does not fit: told so, and the window stays usable.
        QImage big(400, 300, QImage::Format_RGB32);
        big.fill(qRgb(20, 140, 220));
        const QString path = fixture_.environment().root() + QStringLiteral("/big.jpg");
        QVERIFY(big.save(path, "JPEG", 90));
        {
            fx::PixelMemoryLimitForTesting none(0);
            c.takeInPicture(path, QStringLiteral("addImage"));
            fixture_.waitIdle();
        }
        QCOMPARE(fixture_.dialogs().alerts.size(), 2);
        QCOMPARE(fixture_.dialogs().alerts.back().informativeText, ImageTools::outOfMemoryReason());
        QVERIFY(c.originalImagePath.isEmpty());
        c.takeInPicture(path, QStringLiteral("addImage"));
        fixture_.waitIdle();
        QCOMPARE(c.originalImagePath, path);
        QCOMPARE(c.foregroundImage.image.size(), QSize(400, 300));
    }

    void everyRenderingThatLandsIsTheSettingsAfresh() {
        ViewController& c = fixture_.controller();
        fixture_.load(300, 200);
        fixture_.paintAcrossMiddle();
        fixture_.waitIdle();
        // Held behind other work, a background change, a foreground change and new
        // adjustments wait together; the background's rendering then starts first.
        std::atomic<bool> release{false};
        c.jobs.enqueue(SessionJobs::Kind::other, [&release]() -> SessionJobs::Work {
            return [&release](const SessionJobs::Cancel&) {
                while (!release.load())
                    QThread::msleep(2);
                return SessionJobs::Apply([] {});
            };
        });
        c.checkBackgroundBlackWhite->click();
        c.checkForegroundSepia->click();
        c.sliderBrightness->setFloatValue(0.3f);
        emit c.sliderBrightness->floatValueChanged(0.3f);
        release = true;

        const Picture original = *ImageTools::readPicture(c.originalImagePath);
        const Picture foreground =
            effectChain(original, c.settings.foreground, c.settings.adjustments);
        const Picture background =
            effectChain(original, c.settings.background, c.settings.adjustments);
        const auto fresh = [&] {
            return compositeStrokes(background, c.imageViewBackground->strokePaths,
                                    patternColor(foreground), patternColor(background),
                                    original.image)
                .image;
        };
        qint64 landed = c.lastImage.image.cacheKey();
        int landings = 0;
        QElapsedTimer clock;
        clock.start();
        while ((c.infoProvider.jobsBusy() || c.jobs.busy()) && clock.elapsed() < 30000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
            if (c.lastImage.image.cacheKey() == landed)
                continue;
            landed = c.lastImage.image.cacheKey();
            ++landings;
            QVERIFY2(test::compare(c.lastImage.image, fresh()).max <= 2,
                     qPrintable(QStringLiteral("landing %1").arg(landings)));
        }
        QVERIFY(landings > 0);
        QCOMPARE(c.foregroundImage.image, foreground.image);
        QCOMPARE(c.preEraseImage.image, background.image);
        const QImage shown = displayWindow(Picture(fresh()), c.imageView->viewGeometry()).image;
        QVERIFY(test::compare(c.imageView->shownImage(), shown).max <= 2);

        // A picture taken in under non-neutral adjustments has them on both layers.
        const QString again = c.originalImagePath;
        c.takeInPicture(again, QStringLiteral("addImage"));
        fixture_.waitIdle();
        QCOMPARE(c.foregroundImage.image, foreground.image);
        QCOMPARE(c.preEraseImage.image, background.image);
    }

private:
    test::WindowFixture fixture_;
};

QTEST_MAIN(OverlappingWorkTest)
#include "overlapping_work_qtest.moc"
