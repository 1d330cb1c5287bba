// Taking a picture in, rendering both layers and painting the splash.
#include <QtTest>

#include "model/effects/image_tools.h"
#include "model/paint/compositing.h"
#include "model/platform/defaults_store.h"
#include "ui/canvas/custom_drag_view.h"
#include "ui/canvas/draw_view.h"
#include "ui/controls/check_box.h"
#include "ui/controls/combo_box.h"
#include "ui/controls/progress_indicator.h"
#include "ui/controls/slider.h"
#include "ui/shell/app_delegate.h"
#include "ui/shell/main_window.h"

#include "support/test_pictures.h"
#include "support/window_fixture.h"
#include "ui/controller/view_controller.h"
#include <QColorDialog>
#include <QMimeData>

using namespace vividra;
using test::isGrey;
using test::writeColourPicture;

class EditingTest : public QObject {
    Q_OBJECT

private slots:
    void init() { fixture_.setUp(true); }
    void cleanup() { fixture_.tearDown(); }

    void intakeFitsAndRendersBothLayers() {
        ViewController& c = fixture_.controller();
        const QString path = writeColourPicture(fixture_.environment().root(), 400, 300);
        fixture_.dialogs().openAnswers = {path};
        c.openPicture();
        QVERIFY(c.infoProvider.jobsBusy());
        QTRY_VERIFY(!c.infoProvider.jobsBusy());
        QCOMPARE(platform::defaults::folder(platform::defaults::kAddImagePath),
                 fixture_.environment().root());

        const QSizeF area = c.customViewImage->size();
        QRectF expected(0, 0, area.width(), area.height());
        ImageTools::fitRect(expected, 400, 300);
        QCOMPARE(c.imageViewBackground->pictureRect, expected);
        QCOMPARE(c.imageViewBackground->originalRect, QRectF(0, 0, 400, 300));
        QCOMPARE(c.currentMaskRect, QRectF(0, 0, area.width(), area.height()));
        QCOMPARE(c.maskImageWidth, area.width());
        QCOMPARE(c.foregroundImage.image.size(), QSize(400, 300));
        QCOMPARE(c.backgroundImage.image.size(), QSize(400, 300));
        QCOMPARE(c.currentMaskImage.image.size(), area.toSize());
        // Everything off: both layers are the picture itself.
        const QImage original = ImageTools::readPicture(path)->image;
        QCOMPARE(c.foregroundImage.image.pixel(10, 10), original.pixel(10, 10));
        QCOMPARE(c.backgroundImage.image.pixel(390, 290), original.pixel(390, 290));
        QCOMPARE(c.history.states().size(), 1);
        QCOMPARE(c.history.states().front()->lastAction, QStringLiteral("addImage"));
        QCOMPARE(c.history.currentIndex(), 0);
        QVERIFY(c.infoProvider.isImageAdded);
        QVERIFY(fixture_.dialogs().alerts.isEmpty());

        // With a picture loaded the open command asks first; "No" keeps it.
        fixture_.dialogs().alertAnswers = {platform::kSecondButton};
        c.openPicture();
        QCOMPARE(fixture_.dialogs().alerts.size(), 1);
        QCOMPARE(
            fixture_.dialogs().alerts.front().informativeText,
            QStringLiteral(
                "All unsaved changes will be lost. Are you sure you want to select a new image?"));
        QCOMPARE(fixture_.dialogs().openDialogs.size(), 1);
        QCOMPARE(fixture_.dialogs().openDialogs.front().directory, QString());
        QCOMPARE(c.originalImagePath, path);
    }

    void aLargePictureFitsTheImageArea() {
        ViewController& c = fixture_.controller();
        c.customViewImage->setFixedSize(800, 400);
        QTRY_COMPARE(c.imageViewBackground->size(), QSize(800, 400));
        QImage big(4000, 3000, QImage::Format_RGB32);
        big.fill(qRgb(30, 120, 200));
        const QString path = fixture_.environment().root() + QStringLiteral("/big.jpg");
        QVERIFY(big.save(path, "JPEG", 90));
        c.takeInPicture(path, QStringLiteral("addImage"));
        QTRY_VERIFY_WITH_TIMEOUT(!c.infoProvider.jobsBusy(), 60000);

        const QRectF f = c.imageViewBackground->pictureRect;
        QCOMPARE(qRound(f.x() * 100), 13333);
        QCOMPARE(f.y(), 0.0);
        QCOMPARE(qRound(f.width() * 100), 53333);
        QCOMPARE(f.height(), 400.0);
        QCOMPARE(c.imageView->pictureRect, f);
        QCOMPARE(c.currentMaskRect, QRectF(0, 0, 800, 400));
        QCOMPARE(c.currentMaskImage.image.size(), QSize(800, 400));
        QCOMPARE(c.imageViewBackground->originalRect, QRectF(0, 0, 4000, 3000));
        QCOMPARE(c.foregroundImage.image.size(), QSize(4000, 3000));
        QCOMPARE(c.backgroundImage.image.size(), QSize(4000, 3000));
        // What the box shows is made at the size on screen, not at full size.
        QCOMPARE(c.imageView->shownImage().size(), QSize(800, 400));
        QVERIFY(c.imageView->showsWindow());
    }

    void anUnreadablePictureLeavesTheSessionEmpty() {
        ViewController& c = fixture_.controller();
        const QString path = fixture_.environment().root() + QStringLiteral("/broken.png");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("\x89PNG\r\n\x1a\nnot really");
        f.close();
        c.takeInPicture(path, QStringLiteral("addImage"));
        QTRY_COMPARE(fixture_.dialogs().alerts.size(), 1);
        QCOMPARE(fixture_.dialogs().alerts.front().informativeText,
                 QStringLiteral("The image could not be loaded."));
        QVERIFY(c.originalImagePath.isEmpty());
        QVERIFY(!c.infoProvider.isImageAdded);
        QVERIFY(!c.infoProvider.jobsBusy());
        QVERIFY(!c.renderingPending());
        QVERIFY(c.progressIndicator->isHidden());

        // Requests that name no picture get the same answer and change nothing.
        auto& center = platform::NotificationCenter::defaultCenter();
        center.post(platform::kOpenWith, {{QStringLiteral("0"), QStringList()}});
        center.post(platform::kImageDragged, {{QStringLiteral("other"), QStringLiteral("x")}});
        center.post(platform::kImageDragged); // no user information at all: nothing
        QCOMPARE(fixture_.dialogs().alerts.size(), 3);
        QVERIFY(c.originalImagePath.isEmpty());
        fixture_.dialogs().openAnswers = {QString()}; // the open dialog cancelled
        c.openPicture();
        QCOMPARE(fixture_.dialogs().openDialogs.size(), 1);
        QCOMPARE(fixture_.dialogs().openDialogs.front().extensions.size(), 12);
        QCOMPARE(fixture_.dialogs().alerts.size(), 3);
        QVERIFY(!c.infoProvider.jobsBusy());
    }

    void renderRequestsQueueOncePerKind() {
        ViewController& c = fixture_.controller();
        fixture_.load(200, 100);
        c.changesMade = false;
        c.checkBackgroundBlackWhite->click();
        QVERIFY(c.renderingPending());
        QCOMPARE(c.checkBackgroundBlackWhite->image(), QStringLiteral("Checked"));
        QCOMPARE(c.checkBackgroundBlackWhite->alternateImage(), QStringLiteral("Checked"));
        c.sliderForegroundBlurIntensity->setValue(c.sliderForegroundBlurIntensity->value() + 3);
        c.checkBackgroundSepia->click();
        c.checkForegroundSketch->click();
        QCOMPARE(c.waitingUpdates,
                 (QList<LayerUpdate>{LayerUpdate::foreground, LayerUpdate::background}));
        QVERIFY(c.changesMade);
        QTRY_VERIFY(!c.renderingPending());
        QVERIFY(c.waitingUpdates.isEmpty());
        QVERIFY(!c.infoProvider.jobsBusy());
        QVERIFY(!isGrey(c.backgroundImage.image.pixel(50, 50))); // black and white, then sepia
        QVERIFY(c.checkForegroundSketch->isChecked());
        // One undo step for each of the four changes, though their renderings were merged.
        QCOMPARE(c.history.states().back()->lastAction, QStringLiteral("updateForegroundImage"));
        QCOMPARE(c.history.states().size(), 5);
    }

    void aStrokeRevealsTheForeground() {
        ViewController& c = fixture_.controller();
        c.settings.background.blackWhiteOn = true;
        c.settings.background.blackWhiteEffect = QStringLiteral("Noir");
        c.showSettings();
        fixture_.load(400, 300);
        QVERIFY(isGrey(c.backgroundImage.image.pixel(200, 150)));

        DrawView* surface = c.imageViewBackground;
        const QRectF r = surface->pictureRect;
        // Across the middle of the shown picture, in widget rows.
        const QPoint from(static_cast<int>(r.x() + r.width() * 0.25),
                          static_cast<int>(surface->height() / 2));
        const QPoint to(static_cast<int>(r.x() + r.width() * 0.75), from.y());
        QSignalSpy none(&c, &ViewController::terminateRequested);
        QTest::mousePress(surface, Qt::LeftButton, {}, from);
        QTest::mouseMove(surface, (from + to) / 2);
        QTest::mouseMove(surface, to);
        QTest::mouseRelease(surface, Qt::LeftButton, {}, to);
        QCOMPARE(surface->strokePaths.size(), 1);
        QTRY_VERIFY(!c.infoProvider.jobsBusy());
        QCOMPARE(c.history.states().back()->lastAction, QStringLiteral("pathModified"));

        const QImage shown = c.currentZoomInImage.image;
        QCOMPARE(shown.size(), QSize(400, 300));
        const double scale = 400.0 / r.width();
        const int stripe = static_cast<int>(20 * scale); // brush 20 on screen, in picture pixels
        QCOMPARE(surface->strokePaths.front()->lineWidth, 20 * scale);
        // Revealed along the stroke, untouched far from it.
        QVERIFY(!isGrey(shown.pixel(200, 150)));
        QVERIFY(!isGrey(shown.pixel(130, 150 + stripe / 3)));
        QVERIFY(isGrey(shown.pixel(200, 150 + stripe)));
        QVERIFY(isGrey(shown.pixel(20, 150)));
        QCOMPARE(shown.pixel(200, 150), c.foregroundImage.image.pixel(200, 150));
        // Round ends reach half a width past the end point.
        const int endX = static_cast<int>((to.x() - r.x()) * scale);
        QVERIFY(!isGrey(shown.pixel(endX + stripe / 4, 150)));
        QVERIFY(isGrey(shown.pixel(endX + stripe, 150)));
    }

    void paintingIsRefusedWhileBusyOrWithoutPicture() {
        ViewController& c = fixture_.controller();
        DrawView* surface = c.imageViewBackground;
        const QPoint p = surface->rect().center();
        QSignalSpy unused(&c, &ViewController::terminateRequested);
        QTest::mousePress(surface, Qt::LeftButton, {}, p);
        QTest::mouseRelease(surface, Qt::LeftButton, {}, p + QPoint(5, 0));
        QVERIFY(surface->secondPath->isEmpty());
        QCOMPARE(c.history.states().size(), 1);

        c.takeInPicture(writeColourPicture(fixture_.environment().root(), 100, 100),
                        QStringLiteral("addImage"));
        // The intake is still running: painting waits for it.
        QTest::mousePress(surface, Qt::LeftButton, {}, p);
        QTest::mouseRelease(surface, Qt::LeftButton, {}, p + QPoint(5, 0));
        QVERIFY(surface->secondPath->isEmpty());
        QTRY_VERIFY(!c.infoProvider.jobsBusy());
        // A click paints a dot.
        QTest::mouseClick(surface, Qt::LeftButton, {}, p);
        QCOMPARE(c.history.states().size(), 2);
        QCOMPARE(surface->strokePaths.size(), 1);
        QVERIFY(surface->strokePaths.front()->path->elementCount() >= 2);
        // The list keeps its own copy; the surface starts the next stroke afresh.
        QVERIFY(surface->secondPath->isEmpty());
    }

    void eraseBringsBackTheCleanBackground() {
        ViewController& c = fixture_.controller();
        c.settings.background.blackWhiteOn = true;
        fixture_.load(400, 300);
        fixture_.paintAcrossMiddle();
        fixture_.waitIdle();
        QVERIFY(!isGrey(c.currentZoomInImage.image.pixel(200, 150)));

        c.checkEraserMode->click();
        QTRY_VERIFY(!c.infoProvider.jobsBusy());
        QVERIFY(c.imageViewBackground->isErase);
        QCOMPARE(c.history.states().back()->lastAction, QStringLiteral("customColorSelected"));
        fixture_.paintAcrossMiddle();
        fixture_.waitIdle();
        const QImage result = c.currentZoomInImage.image;
        QCOMPARE(result.pixel(200, 150), c.preEraseImage.image.pixel(200, 150));
        QVERIFY(isGrey(result.pixel(200, 150)));
        QCOMPARE(c.imageViewBackground->strokePaths.back()->isErase, true);

        // Recomposing from the start paints oldest first: the erase still wins.
        const Picture again = c.flattenForExport();
        QVERIFY(isGrey(again.image.pixel(200, 150)));
    }

    void aSolidColourStrokeKeepsItsColour() {
        ViewController& c = fixture_.controller();
        c.colourDialog->setCurrentColor(QColor(0, 0, 255));
        fixture_.load(400, 300);
        c.checkCustomColor->click();
        QTRY_VERIFY(!c.infoProvider.jobsBusy());
        QVERIFY(c.imageViewBackground->isColor);
        fixture_.paintAcrossMiddle();
        fixture_.waitIdle();
        QCOMPARE(c.currentZoomInImage.image.pixel(200, 150), qRgb(0, 0, 255));

        c.colourDialog->setCurrentColor(QColor(255, 255, 0));
        QTRY_VERIFY(!c.infoProvider.jobsBusy());
        QTRY_VERIFY(!c.colourChangeRunning);
        const Picture flat = c.flattenForExport();
        QCOMPARE(flat.image.pixel(200, 150), qRgb(0, 0, 255));
    }

    void keepAColourInOneClickThenRefineWithAnEdgeAwareBrush() {
        ViewController& c = fixture_.controller();
        // A red disc on a green field.
        QImage disc(400, 300, QImage::Format_RGB32);
        for (int y = 0; y < 300; ++y)
            for (int x = 0; x < 400; ++x)
                disc.setPixel(x, y,
                              std::hypot(x - 200, y - 150) < 60 ? qRgb(210, 30, 25)
                                                                : qRgb(40, 160, 50));
        const QString path = fixture_.environment().root() + QStringLiteral("/disc.png");
        QVERIFY(disc.save(path));
        c.settings.background.blackWhiteOn = true;
        c.showSettings();
        c.takeInPicture(path, QStringLiteral("addImage"));
        QTRY_VERIFY(!c.infoProvider.jobsBusy());
        DrawView* surface = c.imageViewBackground;
        const QRectF r = surface->pictureRect;
        const auto at = [&](double px) {
            return QPoint(static_cast<int>(r.x() + r.width() * px / 400), surface->height() / 2);
        };
        const auto settle = [&] { QTRY_VERIFY(!c.infoProvider.jobsBusy() && !c.jobs.busy()); };
        const auto shown = [&](int x, int y) { return c.currentZoomInImage.image.pixel(x, y); };

        // Turning it on asks for a click; the click keeps the disc's red, not the field.
        c.checkKeepColor->click();
        QVERIFY(surface->picking);
        QTest::mouseClick(surface, Qt::LeftButton, {}, at(200));
        settle();
        QVERIFY(!surface->picking);
        QVERIFY(keptColour(surface->strokePaths));
        QVERIFY(c.settings.keep.on);
        QVERIFY(c.settings.keep.hue > 350 || c.settings.keep.hue < 5);
        QCOMPARE(shown(200, 150), disc.pixel(200, 150));
        QVERIFY(test::isGrey(shown(50, 50)));
        QCOMPARE(c.history.states().back()->lastAction, QStringLiteral("keepColorChanged"));
        QVERIFY(c.history.states().back()->keep.on);
        const qsizetype keptAt = c.history.currentIndex();

        // Undo takes the kept colour away, and the check box with it; redo brings both back.
        c.undo();
        settle();
        QVERIFY(!c.settings.keep.on);
        QVERIFY(!c.checkKeepColor->isChecked());
        QVERIFY(test::isGrey(shown(200, 150)));
        c.redo();
        settle();
        QCOMPARE(c.history.currentIndex(), keptAt);
        QVERIFY(c.checkKeepColor->isChecked());
        QCOMPARE(shown(200, 150), disc.pixel(200, 150));

        // Off again, then an edge-aware stroke from the field into the disc colours the field
        // only; the state remembers the brush's mode.
        c.checkKeepColor->click();
        settle();
        QVERIFY(test::isGrey(shown(200, 150)));
        c.checkEdgeAware->click();
        QVERIFY(c.history.states().back()->edgeAware);
        QTest::mousePress(surface, Qt::LeftButton, {}, at(360));
        QTest::mouseMove(surface, at(280));
        QTest::mouseMove(surface, at(200));
        QTest::mouseRelease(surface, Qt::LeftButton, {}, at(200));
        settle();
        QVERIFY(surface->strokePaths.back()->edgeAware);
        QCOMPARE(shown(320, 150), disc.pixel(320, 150));
        QVERIFY(test::isGrey(shown(230, 150)));
        QVERIFY(test::isGrey(shown(320, 100)));
        // Export paints the same.
        QVERIFY(test::isGrey(c.flattenForExport().image.pixel(230, 150)));
    }

    void effectsRunInTheirOrderAndFailuresEndCleanly() {
        ViewController& c = fixture_.controller();
        const QString path = writeColourPicture(fixture_.environment().root(), 120, 90);
        c.takeInPicture(path, QStringLiteral("addImage"));
        QTRY_VERIFY(!c.infoProvider.jobsBusy());
        c.settings.foreground.sepiaOn = true;
        c.settings.foreground.sketchOn = true;
        c.requestLayerUpdate(LayerUpdate::foreground);
        QTRY_VERIFY(!c.renderingPending());
        const Picture original = *ImageTools::readPicture(path);
        const Picture expected =
            ImageTools::applySketch(ImageTools::applySepia(original, 1.0f), 0.2 / 100.0, 2.0);
        QCOMPARE(c.foregroundImage.image, expected.image);

        // The original disappears: the renderings go on from the picture as taken in.
        QVERIFY(QFile::remove(path));
        c.settings.foreground.sepiaOn = false;
        c.requestLayerUpdate(LayerUpdate::foreground);
        c.requestLayerUpdate(LayerUpdate::background);
        QTRY_VERIFY(!c.renderingPending());
        QVERIFY(!c.infoProvider.jobsBusy());
        QVERIFY(c.progressIndicator->isHidden());
        QCOMPARE(c.foregroundImage.image,
                 ImageTools::applySketch(original, 0.2 / 100.0, 2.0).image);
        QVERIFY(!c.backgroundImage.isEmpty());
    }

    void dropsAndThePictureReset() {
        ViewController& c = fixture_.controller();
        CustomDragView* drop = c.dragImageView;
        const QString path = writeColourPicture(fixture_.environment().root(), 160, 120);
        QMimeData heic;
        heic.setUrls(
            {QUrl::fromLocalFile(fixture_.environment().root() + QStringLiteral("/photo.HEIC"))});
        QVERIFY(!drop->draggingEntered(&heic));
        QMimeData file;
        file.setUrls({QUrl::fromLocalFile(path)});
        QVERIFY(drop->draggingEntered(&file));
        QVERIFY(drop->performDragOperation(&file));
        QTRY_VERIFY(c.infoProvider.isImageAdded && !c.infoProvider.jobsBusy());
        QCOMPARE(c.originalImagePath, path);
        QVERIFY(fixture_.dialogs().alerts.isEmpty());

        // Not a picture, though named like one: nothing happens, after the question.
        const QString fake = fixture_.environment().root() + QStringLiteral("/fake.jpg");
        QFile f(fake);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("hello");
        f.close();
        QMimeData notPicture;
        notPicture.setUrls({QUrl::fromLocalFile(fake)});
        QVERIFY(drop->performDragOperation(&notPicture));
        QCOMPARE(fixture_.dialogs().alerts.size(), 1);
        QCOMPARE(c.originalImagePath, path);

        // Picture data without a file, as a browser offers it.
        QMimeData data;
        QImage img(64, 48, QImage::Format_RGB32);
        img.fill(Qt::green);
        data.setImageData(img);
        QVERIFY(drop->draggingEntered(&data));
        QVERIFY(drop->performDragOperation(&data));
        QTRY_VERIFY(c.originalImagePath.contains(QStringLiteral("/PhotosImages/")));
        QTRY_VERIFY(!c.infoProvider.jobsBusy());
        QCOMPARE(c.backgroundImage.image.size(), QSize(64, 48));

        // The picture reset: every control back to its default, the same picture again.
        c.settings.background.sepiaOn = true;
        c.settings.brush.eraser = true;
        c.showSettings();
        c.changesMade = true;
        c.resetPicture();
        QVERIFY(c.infoProvider.jobsBusy());
        // While the picture is taken in again the drawing surface shows nothing of its own.
        const QImage during = c.imageViewBackground->grab().toImage();
        QVERIFY(!during.isNull());
        for (int y = 0; y < during.height(); ++y)
            for (int x = 0; x < during.width(); ++x)
                QVERIFY2(qAlpha(during.pixel(x, y)) == 0 || isGrey(during.pixel(x, y)),
                         qPrintable(QStringLiteral("colour at %1,%2").arg(x).arg(y)));
        QTRY_VERIFY(!c.infoProvider.jobsBusy());
        QVERIFY(!c.checkBackgroundSepia->isChecked());
        QVERIFY(!c.checkEraserMode->isChecked());
        QVERIFY(!c.changesMade);
        QCOMPARE(c.history.states().size(), 1);
        QCOMPARE(c.history.states().front()->lastAction, QStringLiteral("reset"));
        QCOMPARE(c.backgroundImage.image.pixel(5, 5), qRgb(0, 255, 0));
    }

private:
    test::WindowFixture fixture_;
};

QTEST_MAIN(EditingTest)
#include "editing_qtest.moc"
