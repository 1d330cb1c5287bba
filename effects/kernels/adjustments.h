#pragma once

#include <array>
#include <optional>

#include "effects/kernels/image_view.h"

namespace vividra::fx {

// Tonal adjustments. Each is the identity at its neutral value. `out` may be `in`.
void brightness(const ConstImageView& in, const ImageView& out, float value); // c + b
void contrast(const ConstImageView& in, const ImageView& out, float value);   // (c − ½)·k + ½
void saturation(const ConstImageView& in, const ImageView& out, float value); // L + s·(c − L)
void exposure(const ConstImageView& in, const ImageView& out, float value);   // c·2^e
void gamma(const ConstImageView& in, const ImageView& out, float value);      // c^g
void hue(const ConstImageView& in, const ImageView& out, float degrees);      // YIQ chroma turn
void rgb(const ConstImageView& in, const ImageView& out, float red, float green, float blue);

// Several adjustments in one pass over the pixels. The steps that are set run in
// the fixed order brightness, contrast, saturation, exposure, gamma, hue, rgb,
// each clamped to 0…1 like the separate calls; results stay within 1/255 of them.
struct Adjustments {
    std::optional<float> brightness;
    std::optional<float> contrast;
    std::optional<float> saturation;
    std::optional<float> exposure;
    std::optional<float> gamma;
    std::optional<float> hue;
    std::optional<std::array<float, 3>> rgb;

    bool any() const {
        return brightness || contrast || saturation || exposure || gamma || hue || rgb;
    }
};
void applyAdjustments(const ConstImageView& in, const ImageView& out, const Adjustments& steps);

} // namespace vividra::fx
