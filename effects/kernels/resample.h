#pragma once

#include "effects/kernels/image_view.h"

namespace vividra::fx {

// Resizes four-channel 8-bit pixels to the size of `out`. Shrinking averages the input
// over the area each output pixel covers; enlarging interpolates linearly between the
// nearest input pixels. Every channel is treated alike, so premultiplied pixels stay
// premultiplied. `in` and `out` must not overlap. False when memory ran out.
[[nodiscard]] bool resample(const ConstImageView& in, const ImageView& out) noexcept;

} // namespace vividra::fx
