#pragma once

#include <QString>
#include <QStringList>

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

    bool operator==(const initialValues&) const = default;
};

// The nine adjustments shared by both layers.
using AdjustmentSettings = initialValues;

// The items of the two effect combo boxes, in their order; a setting is one of these.
inline const QStringList kBlackWhiteItems{QStringLiteral("Mono"), QStringLiteral("Noir"),
                                          QStringLiteral("Tonal")};
inline const QStringList kColorEffectItems{QStringLiteral("Chrome"), QStringLiteral("Fade"),
                                           QStringLiteral("Instant"), QStringLiteral("Process"),
                                           QStringLiteral("Transfer")};

// One layer's effect settings; a rendering copies them when it starts.
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

    bool operator==(const EffectSettings&) const = default;
};

} // namespace vividra
