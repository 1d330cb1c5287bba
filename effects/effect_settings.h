#pragma once

#include <QString>

#include <optional>

namespace vividra {

// The kinds of rendering a control can ask for.
enum class ProcessType {
    backgroundPreview = 1,
    foregroundPreview = 2,
    imagePreview = 3,
    updateEraserMode = 4
};

inline std::optional<ProcessType> processTypeFromRaw(int raw) {
    if (raw < 1 || raw > 4)
        return std::nullopt;
    return static_cast<ProcessType>(raw);
}

// The neutral value of every tonal adjustment; an adjustment equal to it is skipped.
struct initialValues {
    float brightness = 0.0f;
    float exposure = 0.0f;
    float contrast = 1.0f;
    float saturation = 1.0f;
    float gamma = 1.0f;
    float hue = 0.0f;
    float red = 1.0f;
    float green = 1.0f;
    float blue = 1.0f;
};

// The nine adjustments as read from the sliders when a rendering starts.
using AdjustmentSettings = initialValues;

// One layer's effect controls as read when a rendering starts.
struct EffectSettings {
    bool blackWhiteOn = false;
    QString blackWhiteEffect = QStringLiteral("Mono");
    bool colorEffectsOn = false;
    QString colorEffect = QStringLiteral("Chrome");
    bool sepiaOn = false;
    float sepiaIntensity = 1.0f;
    bool blurOn = false;
    float blurIntensity = 35.0f;
    bool oilPaintingOn = false;
    float oilPaintingIntensity = 4.0f;
    bool sketchOn = false;
    float sketchIntensity = 0.2f;
    float sketchEdge = 2.0f;
};

} // namespace vividra
