#include "kernels/resample.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <new>
#include <vector>

#include "kernels/parallel.h"
#include "kernels/pixel_ops.h"

namespace vividra::fx {
namespace {

// The input samples one output position takes, and their weights (summing to 1).
struct Taps {
    int first = 0;
    std::vector<float> weights;
};

// Taps of the output positions `first` to `first + count - 1` of a resize to `outSize`.
std::vector<Taps> tapsFor(int inSize, int outSize, int first, int count) {
    std::vector<Taps> taps(static_cast<std::size_t>(count));
    const double scale = static_cast<double>(inSize) / outSize;
    for (int o = first; o < first + count; ++o) {
        Taps& t = taps[static_cast<std::size_t>(o - first)];
        if (scale > 1.0) {
            const double from = o * scale;
            const double to = std::min(static_cast<double>(inSize), (o + 1) * scale);
            t.first = static_cast<int>(from);
            const int last = std::min(inSize - 1, static_cast<int>(std::ceil(to)) - 1);
            for (int i = t.first; i <= last; ++i) {
                const double covered =
                    std::min(to, i + 1.0) - std::max(from, static_cast<double>(i));
                t.weights.push_back(static_cast<float>(covered / (to - from)));
            }
        } else {
            const double centre = std::clamp((o + 0.5) * scale - 0.5, 0.0, inSize - 1.0);
            t.first = std::min(static_cast<int>(centre), inSize - 1);
            const float f = static_cast<float>(centre - t.first);
            t.weights.push_back(1.0f - f);
            if (t.first + 1 < inSize && f > 0.0f)
                t.weights.push_back(f);
        }
    }
    return taps;
}

// sum += w × src over n values: the inner loop of the vertical pass, compiled for each
// instruction set.
VIVIDRA_INLINE void accumulateImpl(float* __restrict sum, const std::uint8_t* __restrict src,
                                   float w, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        sum[i] += w * static_cast<float>(src[i]);
}
#if VIVIDRA_HAVE_DISPATCH
VIVIDRA_TARGET_AVX512 void accumulateAvx512(float* sum, const std::uint8_t* src, float w,
                                            std::size_t n) {
    accumulateImpl(sum, src, w, n);
}
VIVIDRA_TARGET_AVX2 void accumulateAvx2(float* sum, const std::uint8_t* src, float w,
                                        std::size_t n) {
    accumulateImpl(sum, src, w, n);
}
#endif
void accumulate(float* sum, const std::uint8_t* src, float w, std::size_t n) {
#if VIVIDRA_HAVE_DISPATCH
    switch (detail::isa()) {
    case detail::Isa::Avx512:
        return accumulateAvx512(sum, src, w, n);
    case detail::Isa::Avx2:
        return accumulateAvx2(sum, src, w, n);
    default:
        break;
    }
#endif
    accumulateImpl(sum, src, w, n);
}

} // namespace

bool resample(const ConstImageView& in, const ImageView& out) noexcept {
    return resampleWindow(in, out.width, out.height, 0, 0, out);
}

bool resampleWindow(const ConstImageView& in, int fullWidth, int fullHeight, int left, int top,
                    const ImageView& out) noexcept {
    if (in.empty() || out.empty() || fullWidth <= 0 || fullHeight <= 0)
        return true;
    if (left < 0 || top < 0 || left + out.width > fullWidth || top + out.height > fullHeight)
        return false;
    std::vector<Taps> across, down;
    try {
        across = tapsFor(in.width, fullWidth, left, out.width);
        down = tapsFor(in.height, fullHeight, top, out.height);
    } catch (const std::bad_alloc&) {
        return false;
    }
    // Only the input columns the window reads are weighted down, so a small window of a
    // large picture costs little.
    const int firstColumn = across.front().first;
    int lastColumn = firstColumn;
    for (const Taps& t : across)
        lastColumn = std::max(lastColumn, t.first + static_cast<int>(t.weights.size()));
    const std::size_t rowFloats = static_cast<std::size_t>(lastColumn - firstColumn) * 4;
    const std::ptrdiff_t skip = static_cast<std::ptrdiff_t>(firstColumn) * 4;
    return parallelRows(out.height, [&](int y0, int y1) {
        std::vector<float> column(rowFloats);
        for (int y = y0; y < y1; ++y) {
            // Down first: the input rows this output row covers, weighted into one row.
            std::fill(column.begin(), column.end(), 0.0f);
            const Taps& v = down[static_cast<std::size_t>(y)];
            for (std::size_t k = 0; k < v.weights.size(); ++k)
                accumulate(column.data(), in.row(v.first + static_cast<int>(k)) + skip,
                           v.weights[k], rowFloats);
            // Then across.
            std::uint8_t* dst = out.row(y);
            for (int x = 0; x < out.width; ++x) {
                const Taps& h = across[static_cast<std::size_t>(x)];
                float sum[4] = {0.5f, 0.5f, 0.5f, 0.5f};
                const float* p =
                    column.data() + static_cast<std::ptrdiff_t>(h.first - firstColumn) * 4;
                for (std::size_t k = 0; k < h.weights.size(); ++k, p += 4) {
                    const float w = h.weights[k];
                    for (int c = 0; c < 4; ++c)
                        sum[c] += w * p[c];
                }
                for (int c = 0; c < 4; ++c)
                    dst[static_cast<std::ptrdiff_t>(x) * 4 + c] =
                        static_cast<std::uint8_t>(std::clamp(sum[c], 0.0f, 255.0f));
            }
        }
    });
}

} // namespace vividra::fx
