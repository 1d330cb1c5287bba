#pragma once

#include <cstdint>
#include <optional>

#include "kernels/image_view.h"

namespace vividra::fx {

// A colour to keep: every pixel whose hue lies within `tolerance` degrees of `hue` counts
// fully, and the weight fades to nothing over `falloff` degrees beyond. Greys and
// near-blacks hold no hue and never count.
struct HueKey {
    float hue = 0.0f;
    float tolerance = 20.0f;
    float falloff = 15.0f;

    bool operator==(const HueKey&) const = default;
};

// The hue of a colour in degrees, 0 ≤ h < 360, or nothing when it is too grey or too dark
// to have one worth keeping.
std::optional<float> keyableHue(std::uint8_t r, std::uint8_t g, std::uint8_t b);

// Paints `reveal` over `target` where the pixels of `guide` hold the key's hue, weighted
// by how much they count. All three are the same size and channel order; `target` may
// share its pixels with neither of the others.
[[nodiscard]] bool revealByHue(const ConstImageView& guide, const ConstImageView& reveal,
                               const ImageView& target, const HueKey& key);

// How alike two colours are for the edge-aware brush, 0…255, each a word with red in bits
// 16–23, green in 8–15 and blue in 0–7 (alpha ignored): the same to within a small
// distance gives 255, and the weight falls to 0 as the distance grows to a clear edge.
std::uint8_t colourLikeness(std::uint32_t a, std::uint32_t b);

} // namespace vividra::fx
