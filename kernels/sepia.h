#pragma once

#include "kernels/image_view.h"

namespace vividra::fx {

// Sepia toning: out = k·M·c + (1 − k)·c with the classic sepia matrix M.
// `out` may be `in` itself.
[[nodiscard]] bool sepia(const ConstImageView& in, const ImageView& out, double intensity);

} // namespace vividra::fx
