#pragma once

#include <QColor>
#include <QString>

#include "effects/effect_settings.h"

namespace vividra {

// The brush as the user set it.
struct BrushSettings {
    float size = 20.0f; // width on screen, in points
    bool customColor = false;
    bool eraser = false;
    // The colour panel's colour, painted in custom-colour mode. It belongs to the
    // panel, so the resets leave it alone.
    QColor colour{Qt::white};

    bool operator==(const BrushSettings&) const = default;
};

// Every setting of the editing controls. The widgets show these values and send
// the user's changes into them; renderings, history states and profiles are built
// from them, never from a widget.
struct EditSettings {
    EffectSettings background;
    EffectSettings foreground;
    AdjustmentSettings adjustments;
    BrushSettings brush;

    // Back to the defaults: every effect off, neutral adjustments, brush 20 with
    // neither custom colour nor eraser. The custom colour itself stays.
    void resetToDefaults();
    // The brush label as shown: the width in whole points and " px".
    QString brushLabel() const;

    bool operator==(const EditSettings&) const = default;
};

} // namespace vividra
