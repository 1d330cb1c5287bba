#pragma once

#include "effects/kernels/image_view.h"

namespace vividra::fx {

// Pencil sketch: a Sobel edge magnitude on luminance, sampled `texel` of the
// picture's width and height apart, drawn dark on white. Output alpha is opaque.
// `out` must not overlap `in`.
[[nodiscard]] bool sketch(const ConstImageView& in, const ImageView& out, double texel,
                          double edgeStrength);

} // namespace vividra::fx
