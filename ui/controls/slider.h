#pragma once

#include <QSlider>

#include "model/session/control_ranges.h"

namespace vividra {

// A horizontal slider with a 32-bit float value. The value set in code is kept
// exactly (0.2 stays the float nearest 0.2); the handle shows the nearest step.
// Drawn dark: a thin black track with its filled part in white and a grey knob.
class Slider : public QSlider {
    Q_OBJECT
public:
    explicit Slider(SliderRange range, QWidget* parent = nullptr);

    float floatValue() const { return value_; }
    // Sets the value without running the slider's action.
    void setFloatValue(float value);
    float minimum() const { return range_.minimum; }
    float maximum() const { return range_.maximum; }
    // Part of the track filled for the current value, 0…1.
    double fraction() const;

signals:
    // The user moved the slider.
    void floatValueChanged(float value);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int positionFor(float value) const;
    float valueFor(int position) const;

    SliderRange range_;
    float value_;
    bool settingFromCode_ = false;
};

} // namespace vividra
