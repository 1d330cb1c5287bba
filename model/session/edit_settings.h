#pragma once

#include <QColor>
#include <QString>

#include <span>
#include <variant>

#include "model/session/control_ranges.h"

#include "kernels/colour_key.h"
#include "model/effects/effect_settings.h"

namespace vividra {

// The brush as the user set it.
struct BrushSettings {
    float size = 20.0f; // width on screen, in points
    bool customColor = false;
    bool eraser = false;
    // The colour dialog's colour, painted in custom-colour mode. It belongs to the
    // dialog, so the resets leave it alone.
    QColor colour{Qt::white};
    // Paints only where the picture is like the colour under the brush where it went down.
    bool edgeAware = false;

    bool operator==(const BrushSettings&) const = default;
};

// A colour kept everywhere in the picture: its pixels show the foreground.
struct KeepColourSettings {
    bool on = false;
    float hue = 0.0f;        // degrees
    float tolerance = 12.0f; // degrees either side kept whole
    float falloff = 10.0f;   // degrees beyond over which it fades out

    fx::HueKey key() const { return {hue, tolerance, falloff}; }
    bool operator==(const KeepColourSettings&) const = default;
};

// Every setting of the editing controls. The widgets show these values and send
// the user's changes into them; renderings, history states and profiles are built
// from them, never from a widget.
struct EditSettings {
    EffectSettings background;
    EffectSettings foreground;
    AdjustmentSettings adjustments;
    BrushSettings brush;
    KeepColourSettings keep;

    // Back to the defaults: every effect off, neutral adjustments, brush 20 with
    // neither custom colour nor eraser. The custom colour itself stays.
    void resetToDefaults();
    // The brush label as shown: the width in whole points and " px".
    QString brushLabel() const;

    bool operator==(const EditSettings&) const = default;
};

// One field of the settings, described once for profiles, the history's text and range
// checks: where it lives, and the items or range a value must keep to. Its default is
// what a fresh EditSettings holds.
struct SettingField {
    using Slot = std::variant<bool*, QString*, float*>;
    const char* name;
    Slot (*in)(EditSettings&);
    const QStringList* items = nullptr; // a choice's items
    SliderRange range{};                // a value's range

    // NaN is in no range.
    bool accepts(float value) const { return value >= range.minimum && value <= range.maximum; }
};

namespace fields {
extern const SettingField customColour;
extern const SettingField eraser;
extern const SettingField brushSize;
// A layer's switches and choices: black & white and its effect, colour effects and its
// effect, sepia, blur, oil painting, sketch.
std::span<const SettingField> switches(bool foreground);
// A layer's sliders: sepia, blur, oil painting, sketch intensity, sketch edge.
std::span<const SettingField> sliders(bool foreground);
std::span<const SettingField> adjustments();
} // namespace fields

} // namespace vividra
