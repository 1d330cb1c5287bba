#pragma once

#include "kernels/image_view.h"

namespace vividra::fx {

// Gaussian blur with standard deviation `radius` pixels, edges replicated.
// Cost per pixel does not depend on the radius; radius < 0.5 copies.
// `out` must not overlap `in`.
[[nodiscard]] bool gaussianBlur(const ConstImageView& in, const ImageView& out, double radius);

} // namespace vividra::fx
