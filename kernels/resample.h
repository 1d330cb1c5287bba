#pragma once

#include "kernels/image_view.h"

namespace vividra::fx {

// Resizes four-channel 8-bit pixels to the size of `out`. Shrinking averages the input
// over the area each output pixel covers; enlarging interpolates linearly between the
// nearest input pixels. Every channel is treated alike, so premultiplied pixels stay
// premultiplied. `in` and `out` must not overlap. False when memory ran out.
[[nodiscard]] bool resample(const ConstImageView& in, const ImageView& out) noexcept;

// One window of a resize: `out` receives the pixels that `resample` would write at
// (`left`, `top`) onwards of an output `fullWidth` × `fullHeight`, computed from just the
// input they depend on. False when the window does not lie inside that output or memory
// ran out.
[[nodiscard]] bool resampleWindow(const ConstImageView& in, int fullWidth, int fullHeight, int left,
                                  int top, const ImageView& out) noexcept;

} // namespace vividra::fx
