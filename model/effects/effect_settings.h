#pragma once

#include <QString>
#include <QStringList>

namespace vividra {

// What a changed control needs done: a layer or both rendered again, or the eraser's
// mode carried to the brush.
enum class LayerUpdate { background, foreground, both, eraserMode };

// The nine adjustments shared by both layers. The defaults are neutral: an adjustment
// equal to its default is skipped.
struct AdjustmentSettings {
    float brightness = 0.0f;
    float exposure = 0.0f;
    float contrast = 1.0f;
    float saturation = 1.0f;
    float gamma = 1.0f;
    float hue = 0.0f;
    float red = 1.0f;
    float green = 1.0f;
    float blue = 1.0f;

    bool operator==(const AdjustmentSettings&) const = default;
};

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
