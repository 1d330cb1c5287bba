#pragma once

#include "kernels/image_view.h"

namespace vividra::fx {

// Four-quadrant Kuwahara ("oil painting"): each output pixel is the mean of the
// (r+1)×(r+1) quadrant around it with the lowest summed RGB variance.
// Cost per pixel does not depend on the radius; radius 0 copies.
// `out` must not overlap `in`.
[[nodiscard]] bool kuwahara(const ConstImageView& in, const ImageView& out, unsigned radius);

} // namespace vividra::fx
