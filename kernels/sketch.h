#pragma once

#include "kernels/image_view.h"

namespace vividra::fx {

// Pencil sketch: a Sobel edge magnitude on luminance, sampled `texel` of the
// picture's width and height apart, drawn dark on white. Output alpha is opaque.
// `out` may be `in`: every row is read before any is written.
[[nodiscard]] bool sketch(const ConstImageView& in, const ImageView& out, double texel,
                          double edgeStrength);

} // namespace vividra::fx
