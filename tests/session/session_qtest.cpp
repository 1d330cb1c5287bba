// The editing session right after start-up and across resets.
#include <QLabel>
#include <QSettings>
#include <QTabWidget>
#include <QtTest>

#include "app/app_delegate.h"
#include "app/main_window.h"
#include "controls/check_box.h"
#include "controls/combo_box.h"
#include "controls/progress_indicator.h"
#include "controls/segmented_control.h"
#include "controls/slider.h"
#include "controls/title_font.h"
#include "history/control_values.h"
#include "paint/draw_view.h"
#include "platform/defaults_store.h"
#include "session/view_controller.h"
#include "support/window_fixture.h"

using namespace vividra;

class SessionTest : public QObject {
    Q_OBJECT

private slots:
    void init() { fixture_.setUp(false); }
    void cleanup() { fixture_.tearDown(); }

    void startUpStateIsTheDefault() {
        ViewController& c = fixture_.controller();
        QVERIFY(c.originalImagePath.isEmpty());
        QCOMPARE(c.currenState, 0);
        QCOMPARE(c.statesList.size(), 1);
        QCOMPARE(c.actualStatesList.size(), 1);
        QCOMPARE(c.statesList.front()->lastAction, QStringLiteral("resetInterface"));
        QVERIFY(!c.changesMade);
        QVERIFY(!c.needToSaveState);
        QCOMPARE(c.selectedFormat, QStringLiteral("Default"));
        QCOMPARE(c.labelBrushSize->text(), QStringLiteral("20 px"));
        QCOMPARE(c.sliderBrushSize->floatValue(), 20.0f);
        QVERIFY(!c.infoProvider.isImageAdded);
        QVERIFY(!c.infoProvider.processIsRunning);
        QVERIFY(c.progressIndicator->isHidden());
        QCOMPARE(fixture_.window().size(), QSize(920, 560));
        QCOMPARE(c.outlets().size(), 50);
        QVERIFY(!c.outlets().contains(nullptr));

        for (CheckBox* box : c.checkBoxes()) {
            QVERIFY2(!box->isChecked(), qPrintable(box->text()));
            QCOMPARE(box->image(), QStringLiteral("Unchecked"));
            QCOMPARE(box->alternateImage(), QStringLiteral("Unchecked"));
            QVERIFY(box->text().startsWith(QLatin1Char(' ')));
        }
        QCOMPARE(c.checkForegroundBlackWhite->text(), QStringLiteral(" Black & White"));
        QCOMPARE(c.checkBackgroundOilPainting->text(), QStringLiteral(" Oil Painting"));
        QCOMPARE(c.comboForegroundBlackWhite->count(), 3);
        QCOMPARE(c.comboBackgroundBlackWhite->itemText(1), QStringLiteral("Noir"));
        QCOMPARE(c.comboBackgroundColorEffects->count(), 5);
        QCOMPARE(c.comboForegroundColorEffects->currentText(), QStringLiteral("Chrome"));

        // Effect sliders hold their exact float defaults on both layers.
        for (Slider* s : {c.sliderForegroundSketchIntensity, c.sliderBackgroundSketchIntensity})
            QCOMPARE(s->floatValue(), 0.2f);
        for (Slider* s : {c.sliderForegroundBlurIntensity, c.sliderBackgroundBlurIntensity})
            QCOMPARE(s->floatValue(), 35.0f);
        QCOMPARE(c.sliderBackgroundOilPaintingIntensity->floatValue(), 4.0f);
        QCOMPARE(c.sliderContrast->floatValue(), 1.0f);
        QCOMPARE(c.sliderHue->floatValue(), 0.0f);

        // The recorded control values: 39 lines with the defaults.
        const auto values = ControlValues::fromText(c.statesList.front()->controllersStates);
        QVERIFY(values.has_value());
        QCOMPARE(values->lines[19], QStringLiteral("20.0"));
        QCOMPARE(values->lines[20], QStringLiteral("20 px"));
        QCOMPARE(values->lines[26], QStringLiteral("35.0"));
        QCOMPARE(values->lines[28], QStringLiteral("0.2"));
        QCOMPARE(values->lines[32], QStringLiteral("1.0"));
        QCOMPARE(c.actualStatesList.front()->controllersStates,
                 c.statesList.front()->controllersStates);

        // The four folder keys exist, empty, on the very first run.
        for (const QString& key :
             {platform::defaults::kAddImagePath, platform::defaults::kSaveImagePath,
              platform::defaults::kLoadProfilePath, platform::defaults::kSaveAsProfilePath}) {
            QVERIFY(platform::defaults::contains(key));
            QCOMPARE(platform::defaults::string(key).value(), QString());
        }
        QVERIFY(!platform::defaults::contains(platform::defaults::kShowRateMessage));
        QVERIFY(fixture_.dialogs().alerts.isEmpty());
    }

    void secondResetKeepsFoldersAndNeutralValues() {
        ViewController& c = fixture_.controller();
        platform::defaults::setString(platform::defaults::kAddImagePath, QStringLiteral("/photos"));
        c.rateMessageShown = true;
        c.currentProfilePath = QStringLiteral("/p.clr");
        c.checkForegroundSepia->setChecked(true);
        c.comboBackgroundColorEffects->setCurrentIndex(3);
        c.sliderBackgroundBlurIntensity->setFloatValue(80.0f);
        c.changesMade = true;
        c.selectedFormat = QStringLiteral("PNG");

        c.resetInterface();

        QCOMPARE(platform::defaults::string(platform::defaults::kAddImagePath).value(),
                 QStringLiteral("/photos"));
        QVERIFY(c.rateMessageShown);
        QCOMPARE(c.currentProfilePath, QStringLiteral("/p.clr"));
        QCOMPARE(c.initialVal.contrast, 1.0f);
        QCOMPARE(c.initialVal.gamma, 1.0f);
        QVERIFY(!c.checkForegroundSepia->isChecked());
        QCOMPARE(c.comboBackgroundColorEffects->currentIndex(), 0);
        QCOMPARE(c.sliderBackgroundBlurIntensity->floatValue(), 35.0f);
        QVERIFY(!c.changesMade);
        QCOMPARE(c.selectedFormat, QStringLiteral("Default"));
        QCOMPARE(c.statesList.size(), 1);
        QCOMPARE(c.currenState, 0);
    }

    void clearingForANewPictureKeepsTheControls() {
        ViewController& c = fixture_.controller();
        c.checkForegroundSepia->setChecked(true);
        c.changesMade = true;
        c.originalImagePath = QStringLiteral("/a.jpg");
        c.processIsRunning = true;
        c.processesQueue = {ProcessType::backgroundPreview};
        c.infoProvider.isImageAdded = true;
        c.selectedFormat = QStringLiteral("GIF");

        c.clearSessionForNewPicture();

        QVERIFY(c.checkForegroundSepia->isChecked());
        QVERIFY(c.changesMade);
        QCOMPARE(c.selectedFormat, QStringLiteral("GIF"));
        QVERIFY(c.originalImagePath.isEmpty());
        QVERIFY(!c.processIsRunning);
        QVERIFY(c.processesQueue.isEmpty());
        QVERIFY(!c.infoProvider.isImageAdded);
        QVERIFY(c.statesList.isEmpty());
        QVERIFY(c.imageViewBackground->listOfPAths.isEmpty());
    }

    void outputFormatNotification() {
        auto& center = platform::NotificationCenter::defaultCenter();
        center.post(platform::kOutputFormatSelected,
                    {{QStringLiteral("format"), QStringLiteral("TIFF")}});
        QCOMPARE(fixture_.controller().selectedFormat, QStringLiteral("TIFF"));
        center.post(platform::kOutputFormatSelected);
        QCOMPARE(fixture_.controller().selectedFormat, QStringLiteral("TIFF"));
        center.post(platform::kOutputFormatSelected, {{QStringLiteral("format"), 42}});
        QCOMPARE(fixture_.controller().selectedFormat, QStringLiteral("TIFF"));
    }

    void editSwitchSelectsTheTab() {
        ViewController& c = fixture_.controller();
        QCOMPARE(c.tabViewEdit->currentIndex(), 0);
        fixture_.window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&fixture_.window()));
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
