// The custom-drawn controls, checked from their own pixels.
#include <QtTest>

#include "ui/controls/segmented_control.h"
#include "ui/controls/slider.h"

using namespace vividra;

class ControlsTest : public QObject {
    Q_OBJECT

private slots:
    // The track's white part along its middle row, in proportion to the value, until the
    // grey knob.
    void theSliderTrackFillsInProportionUntilTheKnob() {
        Slider slider({0.0f, 100.0f, 100});
        slider.resize(240, 22);
        for (const float value : {0.0f, 50.0f, 100.0f}) {
            slider.setFloatValue(value);
            const QImage img = slider.grab().toImage();
            const int y = img.height() / 2;
            int white = 0;
            for (int x = 0; x < img.width(); ++x)
                white += qRed(img.pixel(x, y)) > 240 && qGreen(img.pixel(x, y)) > 240;
            // The white part shows from the bar's inset to the knob's left edge.
            const double f = value / 100.0;
            const int shown = std::max(0, static_cast<int>(std::min(2 + f * 232, f * 226)) - 2);
            QVERIFY2(std::abs(white - shown) <= 2, qPrintable(QString::number(white)));
            QCOMPARE(img.pixel(static_cast<int>(f * 226 + 7), y), qRgb(128, 128, 128));
        }
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
