// Undo and redo through the real controller: the recorded states, their limits and what
// applying one brings back.
#include <QAction>
#include <QtTest>

#include "support/window_fixture.h"
#include "ui/canvas/draw_view.h"
#include "ui/controller/view_controller.h"
#include "ui/controls/check_box.h"
#include "ui/controls/combo_box.h"
#include "ui/controls/slider.h"

using namespace vividra;

class HistoryTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        fixture_.setUp(true);
        fixture_.load(160, 120);
        idle();
    }
    void cleanup() { fixture_.tearDown(); }

    void strokesUndoneAndANewStrokeDropTheRedoBranch() {
        ViewController& c = fixture_.controller();
        MainWindow& w = fixture_.window();
        QVERIFY(!w.actionUndo->isEnabled());
        c.undo(); // nothing to undo at the loaded picture
        QCOMPARE(c.history.currentIndex(), 0);

        for (int i = 0; i < 3; ++i) {
            fixture_.drag(Qt::LeftButton, QPoint(40 + 30 * i, 40), QPoint(60 + 30 * i, 90));
            idle();
        }
        QCOMPARE(c.history.currentIndex(), 3);
        QVERIFY(w.actionUndo->isEnabled());
        QVERIFY(!w.actionRedo->isEnabled());

        // While a stroke is still being composed, undo waits for nothing and does nothing.
        fixture_.drag(Qt::LeftButton, QPoint(20, 100), QPoint(120, 100));
        QVERIFY(c.jobs.busy());
        QVERIFY(!w.actionUndo->isEnabled());
        c.undo();
        QCOMPARE(c.history.currentIndex(), 4);
        idle();
        for (int i = 0; i < 3; ++i) {
            c.undo();
            idle();
        }
        QCOMPARE(c.history.currentIndex(), 1);
        QVERIFY(w.actionRedo->isEnabled());
        fixture_.drag(Qt::LeftButton, QPoint(30, 30), QPoint(130, 30));
        idle();
        QCOMPARE(c.history.states().size(), 3);
        QCOMPARE(c.history.currentIndex(), 2);
        QCOMPARE(c.history.states()[0]->lastAction, QStringLiteral("addImage"));
        QCOMPARE(c.history.states()[1]->lastAction, QStringLiteral("pathModified"));
        QCOMPARE(c.history.states()[2]->lastAction, QStringLiteral("pathModified"));
        // The new state goes on from the first stroke's state, whose stroke it shares.
        QCOMPARE(c.history.states()[2]->paths.size(), 3);
        QCOMPARE(c.history.states()[2]->paths[1], c.history.states()[1]->paths[1]);
        QVERIFY(!w.actionRedo->isEnabled());
        c.redo();
        QCOMPARE(c.history.currentIndex(), 2);
    }

    void sixtyEditsKeepTheLastFifty() {
        ViewController& c = fixture_.controller();
        for (int size = 1; size <= 60; ++size) {
            c.sliderBrushSize->setFloatValue(static_cast<float>(size));
            c.applyBrushSize();
            idle();
        }
        QCOMPARE(c.history.states().size(), 51);
        QCOMPARE(c.history.currentIndex(), 50);
        for (int i = 0; i < 50; ++i) {
            c.undo();
            idle();
        }
        QCOMPARE(c.history.currentIndex(), 0);
        // The loaded picture's state was dropped long ago: the tenth edit is the oldest.
        QCOMPARE(c.history.states().front()->lastAction, QStringLiteral("brushSizeChanged"));
        QCOMPARE(c.settings.brush.size, 10.0f);
        QCOMPARE(c.sliderBrushSize->floatValue(), 10.0f);
        QCOMPARE(c.imageViewBackground->lineWidth, 10.0);
        c.undo();
        QCOMPARE(c.history.currentIndex(), 0);
        for (int i = 0; i < 50; ++i) {
            c.redo();
            idle();
        }
        QCOMPARE(c.history.currentIndex(), 50);
        QCOMPARE(c.settings.brush.size, 60.0f);
        c.redo();
        QCOMPARE(c.history.currentIndex(), 50);
    }

    void anEffectChangeComesBackWithEveryControl() {
        ViewController& c = fixture_.controller();
        fixture_.drag(Qt::LeftButton, QPoint(40, 40), QPoint(120, 80));
        idle();
        const Picture foreground = c.foregroundImage;
        const Picture background = c.preEraseImage;
        const QImage composite = c.lastImage.image;
        const EditSettings before = c.settings;

        c.checkForegroundSepia->click();
        idle();
        const StateRef effect = c.history.states().last();
        QCOMPARE(effect->lastAction, QStringLiteral("updateForegroundImage"));
        QCOMPARE(effect->paths.size(), c.history.states()[1]->paths.size() + 1);
        QVERIFY(effect->paths.last()->path->isEmpty());
        QVERIFY(c.foregroundImage.image != foreground.image);

        // Every control away from its value, then recorded.
        EditSettings changed = c.settings;
        for (EffectSettings* e : {&changed.foreground, &changed.background}) {
            e->blackWhiteOn = e->colorEffectsOn = e->blurOn = e->oilPaintingOn = e->sketchOn = true;
            e->blackWhiteEffect = QStringLiteral("Tonal");
            e->colorEffect = QStringLiteral("Transfer");
            e->sepiaIntensity = 0.5f;
            e->blurIntensity = 12.0f;
            e->oilPaintingIntensity = 2.0f;
            e->sketchIntensity = 0.7f;
            e->sketchEdge = 3.0f;
        }
        changed.adjustments.brightness = 0.25f;
        changed.adjustments.hue = 40.0f;
        changed.adjustments.blue = 1.5f;
        changed.brush.size = 33.0f;
        changed.brush.eraser = true;
        c.settings = changed;
        c.showSettings();
        c.registerStateChange(QStringLiteral("effects"));

        c.undo();
        idle();
        EditSettings expected = before;
        expected.foreground.sepiaOn = true;
        // The foreground sketch intensity is not recorded and stays as the user left it.
        expected.foreground.sketchIntensity = 0.7f;
        QCOMPARE(c.settings, expected);
        QCOMPARE(c.comboBackgroundColorEffects->currentIndex(), 0);
        QVERIFY(!c.checkEraserMode->isChecked());
        QCOMPARE(c.sliderForegroundSketchIntensity->floatValue(), 0.7f);

        c.undo();
        idle();
        expected.foreground.sepiaOn = false;
        QCOMPARE(c.settings, expected);
        QCOMPARE(c.foregroundImage.image, foreground.image);
        QCOMPARE(c.preEraseImage.image, background.image);
        QCOMPARE(c.lastImage.image, composite);

        c.settings.foreground.sketchIntensity = 0.1f;
        c.redo();
        idle();
        c.redo();
        idle();
        expected = changed;
        expected.foreground.sketchIntensity = 0.1f;
        QCOMPARE(c.settings, expected);
        QCOMPARE(c.comboBackgroundColorEffects->currentIndex(), 4);
        QCOMPARE(c.comboForegroundBlackWhite->currentIndex(), 2);
        QVERIFY(c.checkEraserMode->isChecked());
        QVERIFY(c.checkBackgroundSketch->isChecked());
        QCOMPARE(c.sliderBrightness->floatValue(), 0.25f);
        QCOMPARE(c.sliderBackgroundSketchIntensity->floatValue(), 0.7f);
        QVERIFY(c.imageViewBackground->isErase);
    }

private:
    void idle() { QTRY_VERIFY_WITH_TIMEOUT(!fixture_.controller().jobs.busy(), 30000); }
    test::WindowFixture fixture_;
};

QTEST_MAIN(HistoryTest)
#include "history_qtest.moc"
