// The real controller driven the way an impatient user drives it: random sequences of
// openings, effect switches, strokes, brush changes, resets and drops, with the jobs they
// start finishing at random points in between. Once the jobs are done, the session must be
// exactly what its settings and strokes say, and undo and redo bring back exactly what
// each state showed.
//
// VIVIDRA_SOAK_SEQUENCES sets how many sequences run (default 200) and VIVIDRA_SOAK_SEED
// the first seed, so a failing sequence can be run again alone.
#include <QColorDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QMimeData>
#include <QPushButton>
#include <QRandomGenerator>
#include <QtTest>

#include <map>
#include <optional>

#include "model/effects/image_tools.h"
#include "model/effects/layer_rendering.h"
#include "model/paint/compositing.h"
#include "model/platform/temporary_directory.h"
#include "model/platform/work_queue.h"
#include "model/view/zoom.h"
#include "support/window_fixture.h"
#include "ui/canvas/custom_drag_view.h"
#include "ui/canvas/draw_view.h"
#include "ui/controller/view_controller.h"
#include "ui/controls/check_box.h"
#include "ui/controls/combo_box.h"
#include "ui/controls/progress_indicator.h"
#include "ui/controls/segmented_control.h"
#include "ui/controls/slider.h"

using namespace vividra;

namespace {

int environmentNumber(const char* name, int fallback) {
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok ? value : fallback;
}

QString writePicture(const QString& folder, const QString& name, int w, int h, int shift) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixelColor(
                x, y, QColor::fromHsv((x * 300 / w + shift) % 360, 200, 90 + (y * 150 / h)));
    const QString path = folder + QLatin1Char('/') + name;
    img.save(path);
    return path;
}

// Runs main-thread events until `done` holds; false after half a minute.
template <class F> bool spinUntil(F done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
    return done();
}

int largestDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size())
        return 256;
    int worst = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* pa = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* pb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            worst = std::max(
                {worst, qAbs(qRed(pa[x]) - qRed(pb[x])), qAbs(qGreen(pa[x]) - qGreen(pb[x])),
                 qAbs(qBlue(pa[x]) - qBlue(pb[x])), qAbs(qAlpha(pa[x]) - qAlpha(pb[x]))});
        }
    }
    return worst;
}

} // namespace

class ImpatientUserTest : public QObject {
    Q_OBJECT

private slots:
    void randomSequencesKeepTheSessionConsistent() {
        const int sequences = environmentNumber("VIVIDRA_SOAK_SEQUENCES", 200);
        const int firstSeed = environmentNumber("VIVIDRA_SOAK_SEED", 1);
        for (int seed = firstSeed; seed < firstSeed + sequences; ++seed) {
            runSequence(static_cast<quint32>(seed));
            if (QTest::currentTestFailed()) {
                qWarning("failed with VIVIDRA_SOAK_SEED=%d VIVIDRA_SOAK_SEQUENCES=1", seed);
                return;
            }
        }
    }

private:
    void runSequence(quint32 seed) {
        test::WindowFixture fixture;
        fixture.setUp(true);
        QRandomGenerator random(seed);
        ViewController& c = fixture.controller();
        // Every other sequence keeps no layer in the history: undo renders them again.
        if (seed % 2 == 0)
            c.history.memoryBudget = 0;
        const QString root = fixture.environment().root();
        const QStringList pictures = {writePicture(root, QStringLiteral("a.png"), 72, 48, 0),
                                      writePicture(root, QStringLiteral("b.jpg"), 40, 64, 120),
                                      root + QStringLiteral("/broken.png")};
        QFile broken(pictures[2]);
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("\x89PNG\r\n\x1a\nthis is not a picture");
        broken.close();

        // At every turn of the event loop: the box never goes back to a picture of older
        // settings than it showed before (a late rendering over a newer preview).
        std::uint64_t shownBefore = 0;
        bool wentBack = false;
        const auto watchShown = [&] {
            wentBack |= c.shownChange() < shownBefore;
            shownBefore = std::max(shownBefore, c.shownChange());
        };
        QTimer watch;
        watch.setInterval(0);
        QObject::connect(&watch, &QTimer::timeout, watchShown);
        watch.start();

        const int steps = 6 + static_cast<int>(random.bounded(14));
        for (int step = 0; step < steps; ++step) {
            act(c, fixture, random, pictures);
            watchShown();
            if (random.bounded(3) == 0)
                waitForJobs(c, 1 + static_cast<int>(random.bounded(3)));
        }

        if (random.bounded(8) == 0) {
            // Closing while work is in flight leaves nothing behind in the working folder.
            fixture.dialogs().alertAnswers = {platform::kFirstButton};
            c.endSession();
            platform::waitForBackgroundWork();
            QCoreApplication::processEvents();
            QVERIFY2(QDir(platform::temporaryDirectory())
                         .isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                     qPrintable(QStringLiteral("seed %1").arg(seed)));
        } else {
            // The view's own waits are over: a zoom's rebuild, a resize's end.
            QVERIFY(spinUntil([&] { return !c.jobs.busy(); }));
            if (c.viewRebuildTimer->isActive()) {
                c.viewRebuildTimer->stop();
                c.refreshViewCanvas();
            }
            c.resizeEnded();
            QVERIFY(spinUntil([&] { return !c.jobs.busy(); }));
            platform::waitForBackgroundWork();
            QVERIFY2(!wentBack,
                     qPrintable(QStringLiteral("seed %1: an older picture came back").arg(seed)));
            checkInvariants(c, seed);
            if (!c.originalImagePath.isEmpty() && !QTest::currentTestFailed())
                checkUndoAndRedo(c, fixture, random, seed);
        }
        fixture.tearDown();
    }

    // One user action.
    void act(ViewController& c, test::WindowFixture& fixture, QRandomGenerator& random,
             const QStringList& pictures, std::optional<quint32> chosen = std::nullopt) {
        const QString picture = pictures.isEmpty()
                                    ? QString()
                                    : pictures[static_cast<int>(random.bounded(pictures.size()))];
        const int answer =
            random.bounded(5) == 0 ? platform::kSecondButton : platform::kFirstButton;
        const quint32 action = chosen ? *chosen : random.bounded(20);
        if (qEnvironmentVariableIsSet("VIVIDRA_SOAK_TRACE"))
            qDebug("action %u, picture %s, busy %d", action, qPrintable(picture),
                   c.jobs.busy() ? 1 : 0);
        switch (action) {
        case 0:
            fixture.dialogs().alertAnswers = {answer};
            fixture.dialogs().openAnswers = {picture};
            c.openPicture();
            return;
        case 1:
            fixture.delegate().openURLs({picture});
            return;
        case 2: {
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(picture)});
            fixture.dialogs().alertAnswers = {answer};
            c.dragImageView->performDragOperation(&data);
            return;
        }
        case 3:
        case 4:
        case 5: {
            const bool foreground = random.bounded(2) == 0;
            const ViewController::LayerControls l = c.layerControls(foreground);
            CheckBox* boxes[] = {l.blackWhite, l.colorEffects, l.sepia,
                                 l.blur,       l.oilPainting,  l.sketch};
            boxes[random.bounded(6)]->click();
            return;
        }
        case 6: {
            const bool foreground = random.bounded(2) == 0;
            const ViewController::LayerControls l = c.layerControls(foreground);
            ComboBox* combo = random.bounded(2) == 0 ? l.blackWhiteEffect : l.colorEffect;
            const int index = static_cast<int>(random.bounded(combo->count()));
            combo->setCurrentIndex(index);
            emit combo->activated(index);
            return;
        }
        case 7: {
            const bool foreground = random.bounded(2) == 0;
            const ViewController::LayerControls l = c.layerControls(foreground);
            Slider* sliders[] = {l.sepiaIntensity, l.blurIntensity, l.oilPaintingIntensity,
                                 l.sketchIntensity, l.sketchEdge};
            Slider* s = sliders[random.bounded(5)];
            const int positions = static_cast<QSlider*>(s)->maximum() + 1;
            s->setValue(static_cast<int>(random.bounded(positions)));
            return;
        }
        case 8: {
            Slider* sliders[] = {c.sliderBrightness, c.sliderContrast, c.sliderGamma, c.sliderHue,
                                 c.sliderRed};
            Slider* s = sliders[random.bounded(5)];
            s->setValue(s->value() + static_cast<int>(random.bounded(21)) - 10);
            return;
        }
        case 9:
            emit c.buttonAdjustReset->clicked();
            return;
        case 10:
        case 11:
            stroke(c, random);
            return;
        case 12:
            c.checkEraserMode->click();
            return;
        case 13:
            if (random.bounded(2) == 0)
                c.colourDialog->setCurrentColor(
                    QColor::fromHsv(static_cast<int>(random.bounded(360)), 255, 255));
            else
                c.sliderBrushSize->setValue(static_cast<int>(random.bounded(60)));
            return;
        case 14:
            fixture.dialogs().alertAnswers = {answer};
            c.resetPicture();
            return;
        case 15:
            fixture.dialogs().alertAnswers = {answer};
            c.newSession();
            return;
        case 16: {
            // Keeping a colour: a pick anywhere (greys refuse it), the switch, a slider, or
            // the edge-aware brush.
            const quint32 how = random.bounded(4);
            if (how == 0) {
                if (c.checkKeepColor->isChecked())
                    emit c.buttonPickColor->clicked();
                else
                    c.checkKeepColor->click();
                DrawView* surface = c.imageViewBackground;
                QTest::mouseClick(surface, Qt::LeftButton, {},
                                  QPoint(static_cast<int>(random.bounded(surface->width())),
                                         static_cast<int>(random.bounded(surface->height()))));
            } else if (how == 1) {
                c.checkKeepColor->click();
            } else if (how == 2) {
                Slider* sliders[] = {c.sliderKeepHue, c.sliderKeepTolerance, c.sliderKeepFalloff};
                Slider* s = sliders[random.bounded(3)];
                s->setValue(static_cast<int>(random.bounded(s->maximum() + 1)));
            } else {
                c.checkEdgeAware->click();
            }
            return;
        }
        case 17:
            changeView(c, fixture, random);
            return;
        case 18: {
            // A pan with the right button, or a quick look at the original.
            if (random.bounded(2) == 0) {
                QTest::keyPress(&fixture.window(), Qt::Key_Backslash);
                QTest::keyRelease(&fixture.window(), Qt::Key_Backslash);
                return;
            }
            DrawView* surface = c.imageViewBackground;
            const QPoint from(surface->width() / 2, surface->height() / 2);
            const QPoint by(static_cast<int>(random.bounded(200)) - 100,
                            static_cast<int>(random.bounded(200)) - 100);
            QTest::mousePress(surface, Qt::RightButton, {}, from);
            QTest::mouseMove(surface, from + by);
            QTest::mouseRelease(surface, Qt::RightButton, {}, from + by);
            return;
        }
        default:
            c.checkCustomColor->click();
            return;
        }
    }

    // Zoom steps, a fit, the original switch or a resized window; sometimes the view is
    // rebuilt at once rather than after its wait.
    void changeView(ViewController& c, test::WindowFixture& fixture, QRandomGenerator& random) {
        switch (random.bounded(6)) {
        case 0:
            for (quint32 i = random.bounded(6); i > 0; --i)
                c.zoomIn();
            break;
        case 1:
            c.zoomOut();
            break;
        case 2:
            c.resetZoom();
            break;
        case 3:
            c.zoomAbout(random.bounded(2) ? 1.1 : 0.9,
                        QPointF(random.bounded(c.customViewImage->width()),
                                random.bounded(c.customViewImage->height())));
            break;
        case 4:
            c.segmentedControlPreviewOriginal->setSelectedSegment(
                1 - c.segmentedControlPreviewOriginal->selectedSegment());
            c.showChosenPreviewOrOriginal();
            break;
        default:
            fixture.window().resize(800 + static_cast<int>(random.bounded(300)),
                                    520 + static_cast<int>(random.bounded(200)));
            break;
        }
        if (random.bounded(2) == 0 && c.viewRebuildTimer->isActive()) {
            c.viewRebuildTimer->stop();
            c.refreshViewCanvas();
        }
    }

    void stroke(ViewController& c, QRandomGenerator& random) {
        DrawView* surface = c.imageViewBackground;
        const auto point = [&] {
            return QPoint(static_cast<int>(random.bounded(surface->width())),
                          static_cast<int>(random.bounded(surface->height())));
        };
        QPoint at = point();
        QTest::mousePress(surface, Qt::LeftButton, {}, at);
        const int moves = static_cast<int>(random.bounded(4));
        for (int i = 0; i < moves; ++i) {
            at = point();
            QTest::mouseMove(surface, at);
        }
        QTest::mouseRelease(surface, Qt::LeftButton, {}, at);
    }

    // Lets `count` more jobs finish, or all of them.
    void waitForJobs(ViewController& c, int count) {
        const auto target = c.jobs.finishedJobs() + static_cast<quint64>(count);
        QVERIFY(spinUntil([&] { return c.jobs.finishedJobs() >= target || !c.jobs.busy(); }));
    }

    void checkInvariants(ViewController& c, quint32 seed) {
        const QByteArray where = QByteArrayLiteral("seed ") + QByteArray::number(seed);
        QVERIFY2(!c.infoProvider.jobsBusy(), where);
        QVERIFY2(!c.renderingPending(), where);
        QVERIFY2(c.waitingUpdates.isEmpty(), where);
        QVERIFY2(c.progressIndicator->isHidden(), where);

        // The controls show the settings.
        QCOMPARE(c.checkEraserMode->isChecked(), c.settings.brush.eraser);
        QCOMPARE(c.checkCustomColor->isChecked(), c.settings.brush.customColor);
        QCOMPARE(c.checkForegroundBlur->isChecked(), c.settings.foreground.blurOn);
        QCOMPARE(c.checkBackgroundSketch->isChecked(), c.settings.background.sketchOn);
        QCOMPARE(c.sliderGamma->floatValue(), c.settings.adjustments.gamma);
        // The switch shows the view, and the brush's surface is there only in Preview.
        QCOMPARE(c.segmentedControlPreviewOriginal->selectedSegment() == 1,
                 c.viewState.showsOriginal());
        QCOMPARE(c.imageViewBackground->isHidden(), c.viewState.showsOriginal());

        if (c.originalImagePath.isEmpty()) {
            QVERIFY2(c.foregroundImage.isEmpty() && c.backgroundImage.isEmpty(), where);
            QVERIFY2(c.lastImage.isEmpty() && c.currentZoomInImage.isEmpty(), where);
            QVERIFY2(c.imageView->shownImage().isNull(), where);
            QVERIFY2(!c.infoProvider.isImageAdded, where);
            checkWorkingFolder(c, where);
            return;
        }

        // The painting surface follows the brush settings.
        QCOMPARE(c.imageViewBackground->isErase, c.settings.brush.eraser);
        QCOMPARE(c.imageViewBackground->isColor,
                 c.settings.brush.customColor && !c.settings.brush.eraser);
        QCOMPARE(c.imageViewBackground->edgeAware, c.settings.brush.edgeAware);
        // The strokes hold the kept colour of the settings, and only that one.
        const CustomPath* kept = keptColour(c.imageViewBackground->strokePaths);
        QCOMPARE(kept != nullptr, c.settings.keep.on);
        if (kept)
            QVERIFY(*kept->keep == c.settings.keep.key());

        // Each layer is a fresh rendering of the settings, adjustments included.
        const std::optional<Picture> original = ImageTools::readPicture(c.originalImagePath);
        QVERIFY2(original.has_value(), where);
        const Picture foreground =
            effectChain(*original, c.settings.foreground, c.settings.adjustments);
        const Picture background =
            effectChain(*original, c.settings.background, c.settings.adjustments);
        QVERIFY2(c.foregroundImage.image == foreground.image, where + " foreground");
        QVERIFY2(c.preEraseImage.image == background.image, where + " background");

        // The composed picture is the recorded strokes painted again, oldest first.
        const Picture again =
            compositeStrokes(background, c.imageViewBackground->strokePaths,
                             patternColor(foreground), patternColor(background), original->image);
        QVERIFY2(largestDifference(c.lastImage.image, again.image) <= 2, where + " composite");
        if (!c.currentZoomInImage.isEmpty())
            QVERIFY2(c.currentZoomInImage.image == c.lastImage.image, where);

        // The view covers the box or fits it, and the brush's colour is cut for where it is.
        const QSizeF box = c.customViewImage->size();
        const QRectF frame = c.pictureFrame();
        QVERIFY2(frame == zoom::clampPictureFrame(frame, box), where + " frame");
        const double ratio = zoom::ratio(frame, box);
        QVERIFY2(ratio >= 1.0 - 1e-9 && ratio <= 5.0 + 1e-9, where + " ratio");
        QVERIFY2(!c.viewState.rebuildPending(), where + " view pending");
        const ViewGeometry view = c.imageView->viewGeometry();
        QVERIFY2(view == c.imageViewBackground->viewGeometry(), where);
        QVERIFY2(view.maskRect.size() == box, where + " box");
        QVERIFY2(c.imageView->showsWindow(), where + " window");
        if (c.segmentedControlPreviewOriginal->selectedSegment() == 0)
            QVERIFY2(c.shownChange() == c.settingsChanges(), where + " latest settings shown");
        if (!c.settings.brush.eraser && !c.settings.brush.customColor)
            QVERIFY2(c.imageViewBackground->color.textureImage() ==
                         displayWindow(foreground, view).image,
                     where + " brush colour");
        checkWorkingFolder(c, where);
    }

    // Only received drops: the history keeps its pictures in memory, never in files.
    void checkWorkingFolder(ViewController&, const QByteArray& where) {
        const QString folder = platform::temporaryDirectory();
        for (const QString& name :
             QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
            QVERIFY2(name == QStringLiteral("PhotosImages"), where + " " + name.toUtf8());
    }

    struct Recorded {
        QImage foreground, background, composite;
        EditSettings settings;
    };
    Recorded recorded(const ViewController& c) {
        return {c.foregroundImage.image, c.preEraseImage.image, c.lastImage.image, c.settings};
    }

    // A few more edits, then undo all the way back and redo all the way forward: at every
    // state the layers, the composite and the controls are those seen there before.
    void checkUndoAndRedo(ViewController& c, test::WindowFixture& fixture, QRandomGenerator& random,
                          quint32 seed) {
        const QByteArray where = QByteArrayLiteral("seed ") + QByteArray::number(seed);
        const auto idle = [&] { return spinUntil([&] { return !c.jobs.busy(); }); };
        std::map<int, Recorded> seen;
        seen[c.history.currentIndex()] = recorded(c);
        const int edits = 1 + static_cast<int>(random.bounded(6));
        for (int i = 0; i < edits; ++i) {
            // Strokes, effects, brush and colour changes, but no new picture or reset.
            static constexpr quint32 kEdits[] = {3, 5, 6, 7, 8, 10, 11, 12, 13, 16, 19};
            act(c, fixture, random, {}, kEdits[random.bounded(quint32{std::size(kEdits)})]);
            QVERIFY2(idle(), where);
            seen[c.history.currentIndex()] = recorded(c);
        }
        const auto compare = [&](const Recorded& now, const Recorded& then, const char* how) {
            const QByteArray at =
                where + " " + how + " to state " + QByteArray::number(c.history.currentIndex());
            QVERIFY2(now.foreground == then.foreground, at + " foreground");
            QVERIFY2(now.background == then.background, at + " background");
            QVERIFY2(now.composite == then.composite, at + " composite");
            EditSettings expected = then.settings;
            expected.foreground.sketchIntensity = now.settings.foreground.sketchIntensity;
            expected.brush.colour = now.settings.brush.colour;
            QVERIFY2(now.settings == expected, at + " controls");
        };
        while (c.history.currentIndex() > 0) {
            const int before = c.history.currentIndex();
            c.undo();
            QVERIFY2(idle() && c.history.currentIndex() == before - 1, where);
            const auto known = seen.find(c.history.currentIndex());
            if (known == seen.end())
                seen[c.history.currentIndex()] = recorded(c);
            else
                compare(recorded(c), known->second, "undo");
        }
        while (c.history.currentIndex() < c.history.states().size() - 1) {
            c.redo();
            QVERIFY2(idle(), where);
            compare(recorded(c), seen.at(c.history.currentIndex()), "redo");
        }
    }
};

QTEST_MAIN(ImpatientUserTest)
#include "impatient_user_qtest.moc"
