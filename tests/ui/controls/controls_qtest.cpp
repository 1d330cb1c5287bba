// The custom-drawn controls, checked from their own pixels.
#include <QtTest>

#include "ui/controls/segmented_control.h"
#include "ui/controls/slider.h"

using namespace vividra;

class ControlsTest : public QObject {
    Q_OBJECT

private slots:
    // The track's white part along its middle row: nothing at the minimum, the control's
    // width less 8 at the maximum, in proportion between.
    void theSliderTrackFillsFromTheWidthLessEight() {
        Slider slider({0.0f, 100.0f, 100});
        slider.resize(240, 22);
        const auto whiteRun = [&](float value) {
            slider.setFloatValue(value);
            const QImage img = slider.grab().toImage();
            const int y = img.height() / 2;
            int run = 0;
            // Left of the knob only: the knob is grey, the track white or black.
            for (int x = 0; x < img.width(); ++x)
                if (qRed(img.pixel(x, y)) > 240 && qGreen(img.pixel(x, y)) > 240)
                    ++run;
            return run;
        };
        QCOMPARE(whiteRun(0.0f), 0);
        // The knob covers the white part's far end; what shows stops short of it.
        const int half = whiteRun(50.0f);
        QVERIFY2(std::abs(half - (240 - 8) / 2) <= 8, qPrintable(QString::number(half)));
        slider.setFloatValue(100.0f);
        const QImage full = slider.grab().toImage();
        const int y = full.height() / 2;
        QCOMPARE(qRed(full.pixel(2 + 240 - 8 - 1 - 9, y)), 255);
        QVERIFY(qRed(full.pixel(240 - 3, y)) < 200); // black track or grey knob beyond
        QCOMPARE(full.pixel(240 - 7, y), qRgb(128, 128, 128));
    }

    // A title not selected is half grey where its strokes cover whole pixels.
    void unselectedTitlesAreHalfGrey() {
        SegmentedControl control(2);
        control.resize(200, 26);
        const QImage img = control.grab().toImage();
        // Clear of the rounded corners, where the window shows through.
        const QRect unselected = control.segmentFrame(1).toAlignedRect().adjusted(8, 4, -8, -4);
        int brightest = 0;
        for (int y = unselected.top(); y <= unselected.bottom(); ++y)
            for (int x = unselected.left(); x <= unselected.right(); ++x)
                brightest = std::max(brightest, qGreen(img.pixel(x, y)));
        QCOMPARE(brightest, 128);
    }
};

QTEST_MAIN(ControlsTest)
#include "controls_qtest.moc"
