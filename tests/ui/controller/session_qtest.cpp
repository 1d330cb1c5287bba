// The editing session: its settings behind the controls, the resets, and what actions start.
#include <QColorDialog>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QtTest>

#include "model/history/control_values.h"
#include "model/platform/defaults_store.h"
#include "support/window_fixture.h"
#include "ui/canvas/draw_view.h"
#include "ui/controller/view_controller.h"
#include "ui/controls/check_box.h"
#include "ui/controls/combo_box.h"
#include "ui/controls/progress_indicator.h"
#include "ui/controls/segmented_control.h"
#include "ui/controls/slider.h"
#include "ui/controls/title_font.h"
#include "ui/shell/app_delegate.h"
#include "ui/shell/main_window.h"

using namespace vividra;

namespace {

// Changes every editing control the way a user does, through its signals.
void changeEveryControl(ViewController& c) {
    for (CheckBox* box : c.checkBoxes())
        box->click();
    for (ComboBox* combo : {c.comboForegroundBlackWhite, c.comboBackgroundBlackWhite,
                            c.comboForegroundColorEffects, c.comboBackgroundColorEffects}) {
        combo->setCurrentIndex(2);
        emit combo->activated(2);
    }
    for (Slider* s : {c.sliderForegroundSepiaIntensity,
                      c.sliderForegroundBlurIntensity,
                      c.sliderForegroundOilPaintingIntensity,
                      c.sliderForegroundSketchIntensity,
                      c.sliderForegroundSketchEdge,
                      c.sliderBackgroundSepiaIntensity,
                      c.sliderBackgroundBlurIntensity,
                      c.sliderBackgroundOilPaintingIntensity,
                      c.sliderBackgroundSketchIntensity,
                      c.sliderBackgroundSketchEdge,
                      c.sliderBrightness,
                      c.sliderExposure,
                      c.sliderContrast,
                      c.sliderSaturation,
                      c.sliderGamma,
                      c.sliderHue,
                      c.sliderRed,
                      c.sliderGreen,
                      c.sliderBlue,
                      c.sliderBrushSize})
        s->setValue(s->value() + 7);
}

void expectEveryControlAtDefault(ViewController& c) {
    for (CheckBox* box : c.checkBoxes()) {
        QVERIFY2(!box->isChecked(), qPrintable(box->text()));
        QCOMPARE(box->image(), QStringLiteral("Unchecked"));
    }
    for (ComboBox* combo : {c.comboForegroundBlackWhite, c.comboBackgroundBlackWhite,
                            c.comboForegroundColorEffects, c.comboBackgroundColorEffects})
        QCOMPARE(combo->currentIndex(), 0);
    QCOMPARE(c.sliderForegroundSketchIntensity->floatValue(), 0.2f);
    QCOMPARE(c.sliderBackgroundBlurIntensity->floatValue(), 35.0f);
    QCOMPARE(c.sliderContrast->floatValue(), 1.0f);
    QCOMPARE(c.sliderHue->floatValue(), 0.0f);
    QCOMPARE(c.sliderBrushSize->floatValue(), 20.0f);
    QCOMPARE(c.labelBrushSize->text(), QStringLiteral("20 px"));
}

} // namespace

class SessionTest : public QObject {
    Q_OBJECT

private slots:
    void init() { fixture_.setUp(false); }
    void cleanup() { fixture_.tearDown(); }

    void startUpIsAnEmptySession() {
        ViewController& c = fixture_.controller();
        QVERIFY(c.originalImagePath.isEmpty());
        QCOMPARE(c.history.states().size(), 1);
        QCOMPARE(c.history.states().front()->lastAction, QStringLiteral("resetInterface"));
        QVERIFY(!c.changesMade);
        QVERIFY(!c.infoProvider.jobsBusy());
        QVERIFY(c.progressIndicator->isHidden());
        EditSettings defaults;
        defaults.brush.colour = c.colourDialog->currentColor();
        QVERIFY(c.settings == defaults);
        expectEveryControlAtDefault(c);
        // Titles keep their leading space and their ampersand (not taken as a shortcut).
        for (CheckBox* box : c.checkBoxes())
            QVERIFY(box->text().startsWith(QLatin1Char(' ')));
        QCOMPARE(c.checkBackgroundBlackWhite->text(), QStringLiteral(" Black & White"));
        // The four folder keys exist, empty, on the very first run.
        for (const QString& key :
             {platform::defaults::kAddImagePath, platform::defaults::kSaveImagePath,
              platform::defaults::kLoadProfilePath, platform::defaults::kSaveAsProfilePath})
            QCOMPARE(platform::defaults::string(key).value_or(QStringLiteral("absent")), QString());
    }

    void theControlsWriteIntoTheSettings() {
        ViewController& c = fixture_.controller();
        changeEveryControl(c);
        const EditSettings& s = c.settings;
        for (const EffectSettings* layer : {&s.foreground, &s.background}) {
            QVERIFY(layer->blackWhiteOn && layer->colorEffectsOn && layer->sepiaOn &&
                    layer->blurOn && layer->oilPaintingOn && layer->sketchOn);
            QCOMPARE(layer->blackWhiteEffect, QStringLiteral("Tonal"));
            QCOMPARE(layer->colorEffect, QStringLiteral("Instant"));
        }
        QVERIFY(s.brush.customColor && s.brush.eraser);
        QCOMPARE(s.foreground.blurIntensity, c.sliderForegroundBlurIntensity->floatValue());
        QCOMPARE(s.background.sketchEdge, c.sliderBackgroundSketchEdge->floatValue());
        QCOMPARE(s.adjustments.gamma, c.sliderGamma->floatValue());
        QCOMPARE(s.brush.size, 27.0f);
        QCOMPARE(c.labelBrushSize->text(), QStringLiteral("27 px"));
        QVERIFY(c.changesMade);

        // The recorded values come from the settings, not from what a widget happens to show.
        c.checkForegroundSepia->setChecked(false);
        c.sliderBrightness->setFloatValue(0.5f);
        const auto values = ControlValues::fromText(c.controllersStatesText());
        QVERIFY(values.has_value());
        QCOMPARE(values->lines[6], QStringLiteral("1"));
        QCOMPARE(values->lines[3], QStringLiteral("2"));
        QCOMPARE(values->lines[30], formatSliderValue(s.adjustments.brightness));
        c.showSettings();
        QVERIFY(c.checkForegroundSepia->isChecked());
        QCOMPARE(c.sliderBrightness->floatValue(), s.adjustments.brightness);
    }

    void resetInterfaceBringsEveryControlBackAndKeepsTheRest() {
        ViewController& c = fixture_.controller();
        platform::defaults::setString(platform::defaults::kAddImagePath, QStringLiteral("/photos"));
        c.rateMessageShown = true;
        c.currentProfilePath = QStringLiteral("/p.clr");
        c.colourDialog->setCurrentColor(QColor(10, 200, 30));
        changeEveryControl(c);
        c.selectedFormat = QStringLiteral("PNG");

        c.resetInterface();

        expectEveryControlAtDefault(c);
        EditSettings defaults;
        defaults.brush.colour = QColor(10, 200, 30);
        QVERIFY(c.settings == defaults);
        QVERIFY(!c.imageViewBackground->isErase && !c.imageViewBackground->isColor);
        QCOMPARE(platform::defaults::string(platform::defaults::kAddImagePath).value(),
                 QStringLiteral("/photos"));
        QVERIFY(c.rateMessageShown);
        QCOMPARE(c.currentProfilePath, QStringLiteral("/p.clr"));
        QVERIFY(!c.changesMade);
        QCOMPARE(c.selectedFormat, QStringLiteral("Default"));
        QCOMPARE(c.history.states().size(), 1);
        QCOMPARE(c.history.currentIndex(), 0);
    }

    void withoutAPictureAChangeStartsNoJob() {
        ViewController& c = fixture_.controller();
        c.checkBackgroundBlur->click();
        c.sliderBrightness->setValue(c.sliderBrightness->value() + 10);
        emit c.buttonAdjustReset->clicked();
        QVERIFY(c.changesMade);
        QVERIFY(c.settings.background.blurOn);
        QVERIFY(!c.renderingPending());
        QVERIFY(!c.infoProvider.jobsBusy());
        QVERIFY(c.waitingUpdates.isEmpty());
        QVERIFY(c.progressIndicator->isHidden());
        QCOMPARE(c.settings.adjustments, AdjustmentSettings());

        // The open command is not held up by the change: the dialog opens.
        fixture_.dialogs().openAnswers = {QString()};
        c.openPicture();
        QCOMPARE(fixture_.dialogs().openDialogs.size(), 1);

        // Brush modes chosen now reach the painting surface at once.
        c.checkEraserMode->click();
        QVERIFY(c.imageViewBackground->isErase);
        QVERIFY(!c.infoProvider.jobsBusy());
        c.checkEraserMode->click();
        c.checkCustomColor->click();
        QVERIFY(!c.imageViewBackground->isErase);
        QVERIFY(c.imageViewBackground->isColor);
    }

    void clearingForANewPictureKeepsTheSettings() {
        ViewController& c = fixture_.controller();
        c.checkForegroundSepia->click();
        c.originalImagePath = QStringLiteral("/a.jpg");
        c.waitingUpdates = {LayerUpdate::background};
        c.infoProvider.isImageAdded = true;
        c.selectedFormat = QStringLiteral("GIF");
        const auto generation = c.jobs.generation();

        c.clearSessionForNewPicture();

        QVERIFY(c.settings.foreground.sepiaOn);
        QVERIFY(c.checkForegroundSepia->isChecked());
        QVERIFY(c.changesMade);
        QCOMPARE(c.selectedFormat, QStringLiteral("GIF"));
        QVERIFY(c.originalImagePath.isEmpty());
        QVERIFY(!c.renderingPending());
        QVERIFY(c.waitingUpdates.isEmpty());
        QVERIFY(!c.infoProvider.isImageAdded);
        QVERIFY(c.history.states().isEmpty());
        QVERIFY(c.imageViewBackground->strokePaths.isEmpty());
        QCOMPARE(c.jobs.generation(), generation + 1);
    }

    void editSwitchSelectsTheTab() {
        ViewController& c = fixture_.controller();
        QCOMPARE(c.tabViewEdit->currentIndex(), 0);
        fixture_.show();
        // The segments tile the control, each wide enough for its title; a click anywhere in
        // one, near either edge too, selects it and its tab.
        SegmentedControl* edit = c.segmentedControlEdit;
        const QFontMetricsF metrics(titleFont(12));
        double x = 0.0;
        for (int i : {3, 0, 2, 1}) {
            const QRectF f = edit->segmentFrame(i);
            QVERIFY(f.width() >= metrics.horizontalAdvance(SegmentedControl::segmentTitle(4, i)));
            for (const QPointF at : {f.center(), QPointF(f.left() + 2, f.center().y()),
                                     QPointF(f.right() - 2, f.center().y())}) {
                QTest::mouseClick(edit, Qt::LeftButton, {}, at.toPoint());
                QCOMPARE(edit->selectedSegment(), i);
                QCOMPARE(c.tabViewEdit->currentIndex(), i);
            }
        }
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(edit->segmentFrame(i).left(), x);
            x = edit->segmentFrame(i).right();
        }
        QCOMPARE(x, static_cast<double>(edit->width()));
        QCOMPARE(SegmentedControl::segmentTitle(4, 5), QStringLiteral("Adjust"));
        QCOMPARE(SegmentedControl::segmentTitle(2, 0), QStringLiteral("Preview"));
        QCOMPARE(SegmentedControl::segmentTitle(2, 3), QStringLiteral("Original"));
    }

    void defaultsOfTheWrongTypeAreEmpty() {
        QSettings(QStringLiteral("Vividra"), QStringLiteral("Vividra"))
            .setValue(platform::defaults::kSaveImagePath,
                      QStringList{QStringLiteral("a"), QStringLiteral("b")});
        QVERIFY(!platform::defaults::string(platform::defaults::kSaveImagePath).has_value());
        QCOMPARE(platform::defaults::folder(platform::defaults::kSaveImagePath), QString());
        platform::defaults::setString(platform::defaults::kSaveImagePath, QStringLiteral("/out"));
        QCOMPARE(platform::defaults::folder(platform::defaults::kSaveImagePath),
                 QStringLiteral("/out"));
    }

private:
    test::WindowFixture fixture_;
};

QTEST_MAIN(SessionTest)
#include "session_qtest.moc"
