#pragma once

#include <array>
#include <optional>

#include "kernels/image_view.h"

namespace vividra::fx {

// Tonal adjustments. Each is the identity at its neutral value. `out` may be `in`.
[[nodiscard]] bool brightness(const ConstImageView& in, const ImageView& out, float value); // c + b
[[nodiscard]] bool contrast(const ConstImageView& in, const ImageView& out,
                            float value); // (c − ½)·k + ½
[[nodiscard]] bool saturation(const ConstImageView& in, const ImageView& out,
                              float value); // L + s·(c − L)
[[nodiscard]] bool exposure(const ConstImageView& in, const ImageView& out, float value); // c·2^e
[[nodiscard]] bool gamma(const ConstImageView& in, const ImageView& out, float value);    // c^g
[[nodiscard]] bool hue(const ConstImageView& in, const ImageView& out,
                       float degrees); // YIQ chroma turn
[[nodiscard]] bool rgb(const ConstImageView& in, const ImageView& out, float red, float green,
                       float blue);

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
[[nodiscard]] bool applyAdjustments(const ConstImageView& in, const ImageView& out,
                                    const Adjustments& steps);

} // namespace vividra::fx
