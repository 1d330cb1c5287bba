#pragma once

namespace vividra {

// Minimum, maximum and number of steps of each slider, in one place.
struct SliderRange {
    float minimum;
    float maximum;
    int steps; // positions between minimum and maximum
};

namespace ranges {
inline constexpr SliderRange brushSize{1.0f, 200.0f, 199};
inline constexpr SliderRange sepiaIntensity{0.0f, 1.0f, 100};
inline constexpr SliderRange blurIntensity{0.0f, 100.0f, 200};      // radius in pixels
inline constexpr SliderRange oilPaintingIntensity{0.0f, 20.0f, 20}; // radius in pixels
inline constexpr SliderRange sketchIntensity{0.01f, 1.0f, 99};      // texel size × 100
inline constexpr SliderRange sketchEdge{0.0f, 10.0f, 100};
inline constexpr SliderRange brightness{-1.0f, 1.0f, 200};
inline constexpr SliderRange exposure{-4.0f, 4.0f, 160};
inline constexpr SliderRange contrast{0.0f, 4.0f, 160};
inline constexpr SliderRange saturation{0.0f, 2.0f, 200};
inline constexpr SliderRange gamma{0.0f, 3.0f, 150};
inline constexpr SliderRange hue{0.0f, 360.0f, 360};
inline constexpr SliderRange channel{0.0f, 2.0f, 200};       // red, green, blue multipliers
inline constexpr SliderRange keepHue{0.0f, 360.0f, 360};     // degrees
inline constexpr SliderRange keepTolerance{0.0f, 90.0f, 90}; // degrees either side
inline constexpr SliderRange keepFalloff{0.0f, 90.0f, 90};   // degrees
} // namespace ranges

} // namespace vividra
