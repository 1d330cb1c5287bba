#include "kernels/sepia.h"

#include "kernels/pixel_ops.h"

namespace vividra::fx {

bool sepia(const ConstImageView& in, const ImageView& out, double intensity) {
    static constexpr double kSepia[3][3] = {
        {0.3588, 0.7044, 0.1368}, {0.2990, 0.5870, 0.1140}, {0.2392, 0.4696, 0.0912}};
    if (intensity == 0.0)
        return detail::copyPixels(in, out);
    // k·M + (1 − k)·I folds the blend into one matrix.
    detail::ColourMatrix cm{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            cm.m[i][j] =
                static_cast<float>(intensity * kSepia[i][j] + (i == j ? 1.0 - intensity : 0.0));
    return detail::applyColourMatrix(in, out, cm);
}

} // namespace vividra::fx
